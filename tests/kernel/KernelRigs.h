#pragma once

#include "kernel/EmulatedParport.h"
#include "kernel/EmulatedUsbCard.h"
#include "kernel/Testbed.h"
#include "registers/Session.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"
#include "support/ManualClock.h"
#include "support/MessageRecorder.h"
#include "transport/parallel/LinuxPortIo.h"
#include "transport/usb/LibUsbDriver.h"

namespace velk::test {

// One simulated sensor behind /dev/parport0 at 0x378 and a USB card on bus 1, address 2, as
// the simulated program has it, and a session that reaches them through the real ppdev and
// libusb backends over `interface`. Members go in reverse: the backends first, then the
// testbed, then the devices.
struct Bench {
  explicit Bench(int16_t interface = interface_type::kNone) {
    bed.AddUsbDevice(1, 1, 2, card.descriptors, card);
    bed.AddParport(0, 0x378, port);
    session.analyzer.InterfaceType = interface;
    session.analyzer.PortAddress = 0x378;
    session.analyzer.OsName = "Linux";
    session.reg.BuildRegisterTable();
  }

  ManualClock clock;
  SimSensor sensor{clock};
  SimParallelAdapter adapter{sensor, 0x378};
  SimUsbCard firmware{&sensor};
  EmulatedParport port{adapter, 0x378};
  EmulatedUsbCard card{firmware};
  Testbed bed;
  LinuxPortOs os;
  LinuxPortIo io{os};
  LibUsbDriver usb;
  MessageRecorder messages;
  Session session{io, usb, messages};
};

}  // namespace velk::test
