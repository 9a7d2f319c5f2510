#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/Messages.h"

namespace velk::test {

// Records every message box; questions take their answers from a script (No when it runs out).
class MessageRecorder final : public MessageSink {
 public:
  struct Message {
    std::string text;
    std::string title;
    bool question;
  };

  void Show(const std::string& text, const std::string& title = {}) override {
    shown.push_back({text, title, false});
  }
  bool Ask(const std::string& text, const std::string& title = {}) override {
    shown.push_back({text, title, true});
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Message& m : shown) texts.push_back(m.text);
    return texts;
  }

  std::vector<Message> shown;
  std::deque<bool> answers;
};

}  // namespace velk::test
