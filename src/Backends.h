#pragma once

#include <memory>

#include "core/Clock.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"
#include "transport/parallel/LinuxPortIo.h"
#include "transport/parallel/PortOs.h"
#include "transport/usb/LibUsbDriver.h"

namespace velk {

// What both executables talk to. Simulated, one sensor sits behind both adapters: the
// parallel one at 0x378 and a FIFO4 card on "Ezusb-0". Otherwise the real port I/O and libusb.
struct Backends {
  explicit Backends(int simulatedProduct) {
    if (simulatedProduct != 0) {
      sensor = std::make_unique<SimSensor>(clock, simulatedProduct);
      port = std::make_unique<SimParallelAdapter>(*sensor);
      usb = std::make_unique<SimUsbCard>(sensor.get(), &clock);
    } else {
      port = std::make_unique<LinuxPortIo>(portOs);
      usb = std::make_unique<LibUsbDriver>();
    }
  }

  SteadyClock clock;
  LinuxPortOs portOs;
  std::unique_ptr<SimSensor> sensor;
  std::unique_ptr<PortIo> port;
  std::unique_ptr<EzUsbDriver> usb;
};

}  // namespace velk
