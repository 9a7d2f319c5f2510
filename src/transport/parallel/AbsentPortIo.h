#pragma once

#include "transport/parallel/PortIo.h"

namespace velk {

// A parallel port with nothing behind it: writes vanish, reads show all lines high, so the
// protocol reads zeros, as it does from a missing adapter.
class AbsentPortIo final : public PortIo {
 public:
  void vbOut(uint16_t, uint16_t) override {}
  uint16_t vbInp(uint16_t) override { return 0xFF; }
};

}  // namespace velk
