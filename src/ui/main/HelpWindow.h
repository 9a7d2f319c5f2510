#pragma once

#include <QTextBrowser>
#include <QWidget>
#include <filesystem>

#include "core/Messages.h"

namespace velk {

// The help file in a window of its own; it needs no web browser, and links inside the page
// move within it.
class HelpWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr const char* kFileName = "VELK47120.html";

  explicit HelpWindow(QWidget* parent = nullptr);

  // <folder of the running executable>/VELK47120.html
  static std::filesystem::path HelpFilePath();

  // Loads `file` and shows it at its list of topics (top of the page), raised and activated.
  // False, and nothing shown, when the file cannot be read.
  bool ShowTopics(const std::filesystem::path& file);

  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
};

// Shows the help file beside the executable; a missing file is reported through `messages`,
// naming the path looked for and what to do.
void OpenHelp(HelpWindow& window, MessageSink& messages,
              const std::filesystem::path& file = HelpWindow::HelpFilePath());

}  // namespace velk
