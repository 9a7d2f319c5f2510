#pragma once

#include <cstdint>
#include <string>

#include "support/ManualClock.h"
#include "transport/parallel/PortIo.h"

namespace velk::test {

// Port I/O that passes each access on and moves a manual clock on by `costS`, as a real
// port's bus cycle takes its microsecond.
class TimedPortIo final : public PortIo {
 public:
  TimedPortIo(PortIo& port, ManualClock& clock) : port_(port), clock_(clock) {}

  void vbOut(uint16_t port, uint16_t value) override {
    clock_.Advance(costS);
    port_.vbOut(port, value);
  }
  uint16_t vbInp(uint16_t port) override {
    clock_.Advance(costS);
    return port_.vbInp(port);
  }
  bool ObtainAccess(uint16_t base, std::string& advice) override {
    return port_.ObtainAccess(base, advice);
  }

  double costS = 0.0;

 private:
  PortIo& port_;
  ManualClock& clock_;
};

}  // namespace velk::test
