#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/Clock.h"

namespace velk {

// A power-down this program started. Until it ends the chip answers nothing and takes
// nothing, so no write is sent: Spi47120 refuses it and says so through `refused`. Only a
// window arms the watch; the command-line tool has a no-answer rule of its own.
class ChipSleep {
 public:
  // A steady clock until SetClock; tests give the simulated sensor's.
  ChipSleep();

  void SetClock(const Clock& clock) { clock_ = &clock; }
  void Arm(std::function<void()> refused) { refused_ = std::move(refused); }
  bool Armed() const { return static_cast<bool>(refused_); }

  // A write of `count` half seconds to Pwr_Mde went out; 0 starts no sleep.
  void Started(int32_t count);
  bool Asleep() const;
  double SecondsLeft() const;
  // The wake as a wall-clock time, HH:MM:SS.
  const std::string& WakeText() const { return wakeText_; }
  // Whether a sleep has ended that nobody has taken notice of yet; TakeWake takes notice.
  bool Woke() const;
  bool TakeWake();
  // Called for a write that was not sent.
  void Refuse() const;

 private:
  const Clock* clock_;
  std::function<void()> refused_;
  double wakeAt_ = 0.0;
  bool pending_ = false;  // a sleep started that has not been taken notice of as ended
  std::string wakeText_;
};

}  // namespace velk
