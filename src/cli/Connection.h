#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "core/Messages.h"
#include "measure/RunComment.h"

namespace velk {

class Session;
struct CliContext;
struct CliOptions;
enum class ExitStatus : int;

// Message boxes of the layers below, as lines on standard error. Counts them, so a step
// that reported a failure is known to have failed.
class CliMessages final : public MessageSink {
 public:
  explicit CliMessages(std::ostream& err) : err_(err) {}
  void Show(const std::string& text, const std::string& title = {}) override;
  // Nothing here may ask: every question is answered No.
  bool Ask(const std::string& text, const std::string& title = {}) override;
  int count() const { return count_; }

 private:
  std::ostream& err_;
  int count_ = 0;
};

// The chip found and what the tool says about the way to it.
struct Chip {
  int32_t model = 0;          // 47120 or 47121, as the chip names itself
  std::string interfaceText;  // "parallel port 0x378" or "USB card Ezusb-0"
  int32_t sensAvg = 0;        // Sens_Avg as read, which sets the range
};

// Applies the options over the configuration already loaded (which the tool never writes),
// prepares the interface, identifies the chip and sets the rate factor for its range.
// Returns an exit status; anything but 0 has been reported.
ExitStatus Connect(Session& session, const CliOptions& options, CliContext& context,
                   CliMessages& messages, Chip& chip);

}  // namespace velk
