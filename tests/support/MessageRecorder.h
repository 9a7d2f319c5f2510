#pragma once

#include <string>
#include <vector>

#include "core/Messages.h"

namespace velk::test {

// Records every message box; every question is answered No.
class MessageRecorder final : public MessageSink {
 public:
  struct Message {
    std::string text;
    std::string title;
  };

  void Show(const std::string& text, const std::string& title = {}) override {
    shown.push_back({text, title});
  }
  bool Ask(const std::string& text, const std::string& title = {}) override {
    shown.push_back({text, title});
    return false;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Message& m : shown) texts.push_back(m.text);
    return texts;
  }

  std::vector<Message> shown;
};

}  // namespace velk::test
