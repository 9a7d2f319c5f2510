#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/Clock.h"
#include "noise/LiveNoise.h"
#include "noise/Record.h"

namespace velk {

class Session;
struct OutputCycle;

// Hands each cycle's Gyro_Out reading to the live noise analysis, and starts the analysis anew
// when someone changed what it measures: a register written, the interface, the model or the
// chip's settings changed, the loop delay edited, the loop started, the chip woke from a
// power-down, the USB card was replugged, or a Read press. A busy host is no such change: its late
// cycles only miss samples. Reads nothing from the chip itself.
class NoiseFeed {
 public:
  explicit NoiseFeed(Session& session) : session_(session) {}

  noise::LiveNoise& Live() { return live_; }

  void LoopStarted() { pending_ = "the read loop started"; }
  // Before the activation's reads: they and the loop go on from a chip that slept.
  void ChipWoke() { pending_ = "the chip woke from a power-down"; }
  // Before the activation that follows: the samples on each side of the gap are no one record.
  void CardReplugged() { pending_ = "the USB card was replugged"; }
  // Before the reads of a Read click; an activation's reads (after a dialog) are no press.
  void ReadPressed() { pressed_ = true; }
  // Taken just before a cycle's reads: the samples are told apart by when each read began.
  double Now() const { return clock_.Seconds(); }
  // `paced`: a cycle of the read loop; false for a Read click or an activation's reads.
  void Cycle(const OutputCycle& cycle, double readStart, const noise::ChipSettings& chip,
             float loopDelay, bool paced);

 private:
  struct Seen {
    uint64_t writes = 0;
    int16_t interface = 0;
    noise::ChipSettings chip;
    float loopDelay = 0;
  };
  std::optional<std::string> Changed(const Seen& now) const;

  Session& session_;
  SteadyClock clock_;
  noise::LiveNoise live_;
  std::optional<Seen> seen_;
  std::optional<std::string> pending_;
  bool pressed_ = false;
};

}  // namespace velk
