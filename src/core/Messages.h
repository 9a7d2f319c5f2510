#pragma once

#include <string>

namespace velk {

// The icon of a message box.
enum class MessageIcon { Information, Warning, Critical };

// Message boxes. An empty title means the program's title.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Show(const std::string& text, const std::string& title = {}) = 0;
  // The same box with a chosen icon; a sink that has no icons shows it as Show does.
  virtual void ShowWithIcon(MessageIcon icon, const std::string& text,
                            const std::string& title = {}) {
    (void)icon;
    Show(text, title);
  }
  // Yes/No question; true for Yes.
  virtual bool Ask(const std::string& text, const std::string& title = {}) = 0;
};

}  // namespace velk
