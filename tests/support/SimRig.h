#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "registers/Session.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"
#include "support/ManualClock.h"
#include "support/MessageRecorder.h"

namespace velk::test {

// A simulated sensor behind both the parallel adapter at 0x378 and a FIFO4 card on
// "Ezusb-0", and a session with the register table built that talks over the interface given.
// Time moves only when the test advances the clock.
struct SimRig {
  static constexpr int16_t kUnknownInterface = 7;  // as a hand-edited configuration may hold

  // Over USB the session has found the card, and the card records the requests that follow.
  // A driver given stands between the session and the card.
  explicit SimRig(int16_t interface = interface_type::kParallelPort, int product = 47120,
                  EzUsbDriver* driver = nullptr)
      : sensor(clock, product),
        adapter(sensor, 0x378),
        card(&sensor),
        session(adapter, driver != nullptr ? *driver : card, messages) {
    session.analyzer.InterfaceType = interface;
    session.analyzer.PortAddress = 0x378;
    session.reg.BuildRegisterTable();
    if (interface != interface_type::kUsbCard) return;
    usb.FindUsbBuffers();
    card.Record(true);
  }

  // The recorded requests in short, "?" for any not formed as the driver forms it:
  // "descriptor", "pipes", "str 1/4" (string 1 with room for 4 bytes), "out 0d 01" (the bytes
  // sent on pipe 0), "in 4" (a read of 4 bytes on pipe 1).
  std::vector<std::string> Wire() const {
    std::vector<std::string> wire;
    for (const SimUsbCard::Request& r : card.requests) {
      const bool zeroed = std::all_of(r.in.begin(), r.in.end(), [](uint8_t b) { return b == 0; });
      const auto sized = [&](size_t n) { return zeroed && r.in.size() == n && r.outCapacity == n; };
      std::string w = "?";
      if (r.code == kIoctlGetDeviceDescriptor && sized(147)) w = "descriptor";
      if (r.code == kIoctlGetPipeInfo && sized(356)) w = "pipes";
      if (r.code == kIoctlGetStringDescriptor && r.in.size() == 5 && r.in[4] == 27 &&
          (r.in[1] | r.in[2] | r.in[3]) == 0)
        w = "str " + std::to_string(r.in[0]) + "/" + std::to_string(r.outCapacity);
      if (r.code == kIoctlBulkTransfer && r.in == std::vector<uint8_t>{1, 0, 0, 0})
        w = "in " + std::to_string(r.outCapacity);
      if (r.code == kIoctlBulkTransfer && r.in == std::vector<uint8_t>{0, 0, 0, 0}) {
        w = "out";
        for (uint8_t b : r.outSent) {
          char hex[4];
          std::snprintf(hex, sizeof hex, " %02x", b);
          w += hex;
        }
      }
      wire.push_back(w);
    }
    return wire;
  }

  ManualClock clock;
  SimSensor sensor;
  SimParallelAdapter adapter;
  SimUsbCard card;
  MessageRecorder messages;
  Session session;
  EzUsb& ezUsb = session.ezUsb;
  UsbSpiDrivers& usb = session.usb;
};

struct UsbSimRig : SimRig {
  UsbSimRig() : SimRig(interface_type::kUsbCard) {}
};

}  // namespace velk::test
