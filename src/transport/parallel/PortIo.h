#pragma once

#include <cstdint>

namespace velk {

// Port I/O: the two operations the bit-banged SPI needs. Ports and values are used as their
// 16-bit patterns; vbOut writes the low byte of value at once, vbInp returns the byte the
// port shows at the moment of the call.
class PortIo {
 public:
  virtual ~PortIo() = default;
  virtual void vbOut(uint16_t port, uint16_t value) = 0;
  virtual uint16_t vbInp(uint16_t port) = 0;
};

}  // namespace velk
