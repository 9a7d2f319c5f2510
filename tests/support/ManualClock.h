#pragma once

#include "core/Clock.h"

namespace velk::test {

// A clock that moves only when the test says so.
class ManualClock final : public Clock {
 public:
  double Seconds() const override { return now_; }
  void Advance(double seconds) { now_ += seconds; }

 private:
  double now_ = 1000.0;
};

}  // namespace velk::test
