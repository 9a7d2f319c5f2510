#pragma once

#include <cstdint>

#include "kernel/IoctlDevice.h"
#include "transport/parallel/PortIo.h"

namespace velk::test {

// /dev/parportN as ppdev shows it, with `adapter` (the simulated SPI adapter) on the port's
// lines: data and control writes reach it, status reads come from it. As in ppdev, the lines
// answer only while this file holds the claim (EINVAL before), and a second claim is refused.
class EmulatedParport final : public IoctlDevice {
 public:
  enum class Fault {
    None,
    Gone,       // every call fails with ENODEV
    BusyClaim,  // another program holds the port: the claim fails with EBUSY
  };

  EmulatedParport(PortIo& adapter, uint16_t base) : adapter_(adapter), base_(base) {}

  void SetFault(Fault fault);
  bool Claimed() const;

 private:
  bool Handle(UMockdevIoctlClient* client, unsigned long request, UMockdevIoctlData* arg) override;

  PortIo& adapter_;
  uint16_t base_;
  Fault fault_ = Fault::None;
  bool claimed_ = false;
  int mode_ = 0;  // IEEE1284_MODE_COMPAT
  uint8_t data_ = 0;
  uint8_t control_ = 0;
};

}  // namespace velk::test
