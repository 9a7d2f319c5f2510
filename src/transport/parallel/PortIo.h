#pragma once

#include <cstdint>
#include <string>

namespace velk {

// Port I/O: the two operations the bit-banged SPI needs. Ports and values are used as their
// 16-bit patterns; vbOut writes the low byte of value at once, vbInp returns the byte the
// port shows at the moment of the call.
class PortIo {
 public:
  virtual ~PortIo() = default;
  virtual void vbOut(uint16_t port, uint16_t value) = 0;
  virtual uint16_t vbInp(uint16_t port) = 0;

  // Gains the right to use the port at base (base..base+2). On failure, advice says what the
  // user can do about it (the device node found or not, the group or capability needed).
  // Until access is obtained a real backend writes nothing and reads all lines high.
  virtual bool ObtainAccess(uint16_t base, std::string& advice) {
    (void)base;
    (void)advice;
    return true;
  }
};

}  // namespace velk
