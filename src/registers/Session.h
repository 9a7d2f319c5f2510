#pragma once

#include "core/Analyzer.h"
#include "registers/Reg47120.h"
#include "registers/Spi47120.h"
#include "transport/parallel/ParallelSpi.h"
#include "transport/parallel/PortIo.h"
#include "transport/usb/UsbSpiDrivers.h"

namespace velk {

// The process-wide state of one run: one instance of each module, handed by reference to
// every window. The hardware seams are supplied by whoever builds it (real or simulated).
class Session {
 public:
  explicit Session(PortIo& portIo) : parallel(analyzer, portIo) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Analyzer analyzer;
  Reg47120 reg;
  UsbSpiDrivers usb;
  ParallelSpi parallel;
  Spi47120 spi{analyzer, reg, parallel, usb};
};

}  // namespace velk
