#pragma once

#include <string>

namespace velk {

// Message boxes. An empty title means the program's title.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Show(const std::string& text, const std::string& title = {}) = 0;
  // Yes/No question; true for Yes.
  virtual bool Ask(const std::string& text, const std::string& title = {}) = 0;
};

}  // namespace velk
