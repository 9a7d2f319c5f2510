#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "kernel/EmulatedParport.h"
#include "kernel/EmulatedUsbCard.h"
#include "kernel/Testbed.h"
#include "registers/Session.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"
#include "support/ManualClock.h"
#include "support/MessageRecorder.h"
#include "transport/parallel/AbsentPortIo.h"
#include "transport/parallel/LinuxPortIo.h"
#include "transport/usb/AbsentEzUsbDriver.h"
#include "transport/usb/LibUsbDriver.h"

namespace velk::test {

// The simulated sensor on a USB SPI card that the testbed shows at bus 1, address 2, and a
// session that reaches it through the real LibUsbDriver and libusb. Members go in reverse:
// libusb first, then the testbed, then the card.
struct UsbBench {
  UsbBench() {
    bed.AddUsbDevice(1, 1, 2, card.Vendor(), card.Product(), card.Descriptors(), card);
    session.analyzer.InterfaceType = 2;
    session.reg.BuildRegisterTable();
  }

  ManualClock clock;
  SimSensor sensor{clock};
  SimUsbCard firmware{&sensor};
  EmulatedUsbCard card{firmware};
  Testbed bed;
  LibUsbDriver driver;
  AbsentPortIo noPort;
  MessageRecorder messages;
  Session session{noPort, driver, messages};
};

// The simulated sensor on the parallel-port adapter of /dev/parport0 at 0x378, and a session
// that reaches it through the real LinuxPortIo over ppdev.
struct PortBench {
  PortBench() {
    bed.AddParport(0, 0x378, port);
    session.analyzer.InterfaceType = 1;
    session.analyzer.PortAddress = 0x378;
    session.analyzer.OsName = "Linux";
    session.reg.BuildRegisterTable();
  }

  ManualClock clock;
  SimSensor sensor{clock};
  SimParallelAdapter adapter{sensor, 0x378};
  EmulatedParport port{adapter, 0x378};
  Testbed bed;
  LinuxPortOs os;
  LinuxPortIo io{os};
  AbsentEzUsbDriver noUsb;
  MessageRecorder messages;
  Session session{io, noUsb, messages};
};

inline std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace velk::test
