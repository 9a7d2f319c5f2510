#pragma once

namespace velk {

// Monotonic time in seconds from an arbitrary origin.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual double Seconds() const = 0;
};

class SteadyClock final : public Clock {
 public:
  double Seconds() const override;
};

}  // namespace velk
