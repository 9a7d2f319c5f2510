#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/Messages.h"

namespace velk::test {

// Records every message box. Questions take the scripted answers in turn; once they run out,
// every question is answered No.
class MessageRecorder final : public MessageSink {
 public:
  struct Message {
    std::string text;
    std::string title;
    MessageIcon icon = MessageIcon::Information;
  };

  void Show(const std::string& text, const std::string& title = {}) override {
    shown.push_back({text, title});
  }
  void ShowWithIcon(MessageIcon icon, const std::string& text,
                    const std::string& title = {}) override {
    shown.push_back({text, title, icon});
  }
  bool Ask(const std::string& text, const std::string& title = {}) override {
    shown.push_back({text, title});
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Message& m : shown) texts.push_back(m.text);
    return texts;
  }

  std::vector<Message> shown;
  std::deque<bool> answers;  // true for Yes
};

}  // namespace velk::test
