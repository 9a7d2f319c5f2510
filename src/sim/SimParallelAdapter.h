#pragma once

#include <cstdint>

#include "sim/SimSensor.h"
#include "transport/parallel/PortIo.h"

namespace velk {

// The parallel-port SPI adapter with the sensor on it. Decodes every write to the data
// register at base (frame select bit 0, clock bit 1, inverted data bit 2), shifts a bit in on
// each falling clock edge and shows the answer bit, inverted, on status bit 6 at base + 1.
// Whole 16-bit frames go to the sensor. Every other port reads 0xFF, so a wrong address
// yields zeros, as a missing adapter does.
class SimParallelAdapter final : public PortIo {
 public:
  explicit SimParallelAdapter(SimSensor& sensor, uint16_t base = 0x378)
      : sensor_(sensor), base_(base) {}

  void vbOut(uint16_t port, uint16_t value) override;
  uint16_t vbInp(uint16_t port) override;

  uint16_t Base() const { return base_; }

 private:
  SimSensor& sensor_;
  uint16_t base_;
  uint8_t data_ = 0;  // last value written to the data register
  bool inFrame_ = false;
  int bits_ = 0;
  uint16_t in_ = 0;   // bits shifted in from the master
  uint16_t out_ = 0;  // word being shifted out to the master
};

}  // namespace velk
