#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/ChipConstants.h"
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

// One simulated sensor behind both emulated devices, as the simulated program has it:
// /dev/parport0 at 0x378 and a card on bus 1.
struct DevicesBench {
  DevicesBench() {
    bed.AddUsbDevice(1, 1, 2, card.Vendor(), card.Product(), card.Descriptors(), card);
    bed.AddParport(0, 0x378, port);
  }

  ManualClock clock;
  SimSensor sensor{clock};
  SimParallelAdapter adapter{sensor, 0x378};
  SimUsbCard firmware{&sensor};
  EmulatedParport port{adapter, 0x378};
  EmulatedUsbCard card{firmware};
  Testbed bed;
};

// Writes every writable register and reads it back (Command and Pwr_Mde act rather than
// store), so every kind of frame crosses the interface.
inline void ExpectWritableRegistersReadBack(Session& session) {
  Reg47120& reg = session.reg;
  Spi47120& spi = session.spi;
  reg.IdentifyProduct(spi);
  for (int16_t s = 1; s <= 62; ++s) {
    if (reg.RegWritable[s] == 0 || s == slot::Command || s == slot::Pwr_Mde) continue;
    const int32_t value = s == slot::KeyCode ? kKeyCode : (0x5A3C + s * 0x1357) & 0xFFFF;
    spi.WriteRegister(s, value);
    spi.ReadRegister(s);
    const int32_t mask = reg.RegBytes[s] == 1 ? 0xFF : (1 << reg.RegBits[s]) - 1;
    EXPECT_EQ(spi.RegData & mask, value & mask) << reg.RegName[s];
  }
}

inline std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace velk::test
