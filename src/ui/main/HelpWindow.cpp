#include "ui/main/HelpWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>
#include <string>
#include <system_error>

#include "core/FilePlaces.h"
#include "ui/main/Twips.h"

namespace velk {

namespace {

QString PathText(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), browser_(new QTextBrowser) {
  setObjectName("HelpWindow");
  setWindowTitle("VELK47120 Help");
  browser_->setObjectName("HelpBrowser");
  browser_->setAccessibleName("Help");
  // Anchors move within the page; a web address, should the page hold one, goes to the
  // desktop's browser.
  browser_->setOpenLinks(true);
  browser_->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(Twips(this, 10800), Twips(this, 10080));
}

std::filesystem::path HelpWindow::HelpFilePath() {
  return ResolveFilePlaces(PlaceFactsOfThisProcess()).helpFile;
}

bool HelpWindow::ShowTopics(const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(file, ec);
  if (ec) absolute = file;
  // The browser only warns on the console about a file it cannot load: ask first.
  if (std::filesystem::is_directory(absolute, ec)) return false;
  QFile probe(PathText(absolute));
  if (!probe.open(QIODevice::ReadOnly)) return false;
  probe.close();

  const QUrl url = QUrl::fromLocalFile(PathText(absolute));
  // The same page set again is not read anew, and the file may have been replaced since.
  const bool samePage = browser_->source().adjusted(QUrl::RemoveFragment) == url;
  browser_->setSource(url);
  if (samePage) browser_->reload();
  browser_->verticalScrollBar()->setValue(0);
  browser_->horizontalScrollBar()->setValue(0);
  show();
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  return true;
}

void OpenHelp(HelpWindow& window, MessageSink& messages, const std::filesystem::path& file) {
  if (!window.ShowTopics(file)) {
    messages.Show("The help file could not be opened:\n" + file.string() +
                  "\n\nInstall the program again, or copy packaging/" +
                  std::string(HelpWindow::kFileName) + " from the source tree there.");
  }
  QCoreApplication::processEvents();
}

}  // namespace velk
