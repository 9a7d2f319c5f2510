#pragma once

#include "registers/Session.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "support/ManualClock.h"
#include "support/MessageRecorder.h"
#include "transport/usb/AbsentEzUsbDriver.h"

namespace velk::test {

// A simulated sensor on the parallel adapter at 0x378, and a session wired to it with the
// register table built. Time moves only when the test advances the clock.
struct SimRig {
  explicit SimRig(int product = 47120) : sensor(clock, product), adapter(sensor, 0x378) {
    session.analyzer.InterfaceType = 1;
    session.analyzer.PortAddress = 0x378;
    session.reg.BuildRegisterTable();
  }

  ManualClock clock;
  SimSensor sensor;
  SimParallelAdapter adapter;
  AbsentEzUsbDriver noUsb;
  MessageRecorder messages;
  Session session{adapter, noUsb, messages};
};

}  // namespace velk::test
