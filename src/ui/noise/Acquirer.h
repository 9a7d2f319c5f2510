#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/Realtime.h"
#include "core/Result.h"
#include "noise/Record.h"

namespace velk {

// What "Acquire..." asks for: a duration, and the acquisition file (empty: none).
struct AcquirePlan {
  double seconds = 0.0;
  std::string file;
};

// One chip sample as the acquisition took it.
struct AcquiredPoint {
  int64_t number = 0;  // the chip's, 0 for the first
  int32_t code = 0;
  float rate = 0.0f;  // deg/s
  std::optional<float> temp;
};

struct AcquireProgress {
  int64_t taken = 0;
  int64_t lost = 0;
  double seconds = 0.0;
  bool silent = false;  // no new sample for a second: the chip asleep, or another reader
  // Known once the engine's thread has asked for real-time priority.
  std::optional<RealtimeGrant> priority;
};

struct AcquireEnd {
  std::string how;  // "done", "cancelled", "the USB card went away", ...
  int64_t taken = 0;
  int64_t lost = 0;
  RealtimeGrant priority;
  // The record of what was taken, marked with the priority; or why there is none.
  noise::ReadResult record = noise::ReadFailed("nothing was taken");
  // To tell the user: the file failed (what it keeps), or why the engine did not start.
  std::string problem;
};

// The window's side of an acquisition, all on the GUI thread.
struct AcquireCallbacks {
  // The engine is about to start, for a chip set like this.
  std::function<void(const noise::ChipSettings&)> started;
  std::function<void(std::span<const AcquiredPoint>)> samples;
  std::function<void(const AcquireProgress&)> progress;
  std::function<void(AcquireEnd)> ended;
};

// Runs the chip's acquisition engine for the Noise window, which neither reads the chip nor
// knows how: the main window supplies it.
class Acquirer {
 public:
  virtual ~Acquirer() = default;
  // Nothing started when it fails: the error is the message box's text, with the fix.
  virtual Result<void, std::string> Start(const AcquirePlan& plan, AcquireCallbacks callbacks) = 0;
  // Ends the run early; `ended` still comes, with the samples taken so far.
  virtual void Cancel() = 0;
  virtual bool Busy() const = 0;
};

}  // namespace velk
