#pragma once

#include <linux/ppdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>

#include "kernel/IoctlDevice.h"
#include "transport/parallel/PortIo.h"

namespace velk::test {

// /dev/parportN as ppdev shows it, with `adapter` (the simulated SPI adapter) on the port's
// lines: data and control writes reach it and are latched, status reads come from it. As in
// ppdev, the lines answer only while this file holds the claim, and a second claim is refused.
class EmulatedParport final : public IoctlDevice {
 public:
  EmulatedParport(PortIo& adapter, uint16_t base) : adapter_(adapter), base_(base) {}

 private:
  struct Line {
    unsigned long request;
    int offset;  // from the base: data, status, control
    bool write;
  };
  static constexpr Line kLines[] = {{PPWDATA, 0, true},
                                    {PPRDATA, 0, false},
                                    {PPRSTATUS, 1, false},
                                    {PPWCONTROL, 2, true},
                                    {PPRCONTROL, 2, false}};

  int Handle(unsigned long request, UMockdevIoctlData*, IoctlDataPtr& data) override {
    if (request == PPCLAIM && fault == Fault::BusyClaim) return EBUSY;
    if (request == PPCLAIM) return claimed.exchange(true) ? EINVAL : 0;
    if (request == PPRELEASE) return claimed.exchange(false) ? 0 : EINVAL;
    const Line* line = std::find_if(std::begin(kLines), std::end(kLines),
                                    [request](const Line& l) { return l.request == request; });
    if (line == std::end(kLines)) return ENOTTY;
    if (!claimed) return EINVAL;
    uint8_t& value = data->data[0];
    const auto port = static_cast<uint16_t>(base_ + line->offset);
    if (line->write) {
      latch_[line->offset] = value;
      adapter_.vbOut(port, value);
    } else {
      value = line->offset == 1 ? static_cast<uint8_t>(adapter_.vbInp(port)) : latch_[line->offset];
    }
    return 0;
  }

  PortIo& adapter_;
  uint16_t base_;
  uint8_t latch_[3] = {0, 0, 0};
};

}  // namespace velk::test
