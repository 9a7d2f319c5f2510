#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "core/Delay.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"
#include "support/ManualClock.h"
#include "support/TempDir.h"
#include "support/TimedPortIo.h"

namespace velk::test {

// The tool run in-process against a simulated sensor behind both adapters, in simulated
// time, with every SPI frame traced.
struct CliRig {
  explicit CliRig(int product = 47120) : sensor(clock, product), adapter(sensor), card(&sensor) {
    if (const auto traced = sensor.TraceTo(dir / "trace"); !traced) ADD_FAILURE() << traced.error();
    context.sleep = [this](double s) { clock.Advance(s); };
    context.wallClock = [] { return std::chrono::system_clock::time_point{}; };
    context.simulated = product;
    context.configFile = dir / "Velk47120.cfg";
  }

  int Run(std::vector<std::string> args) {
    out.str({});
    err.str({});
    return static_cast<int>(RunCli(args, context));
  }

  // Write frames the sensor received, other than the key code that unlocks identification.
  std::vector<uint16_t> Writes() const {
    std::vector<uint16_t> writes;
    std::ifstream in(dir / "trace");
    for (std::string sent, answered; in >> sent >> answered;) {
      const auto frame = static_cast<uint16_t>(std::stoul(sent, nullptr, 16));
      if ((frame & 0x8000) != 0 && (frame >> 8 & 0x7E) != 0x50) writes.push_back(frame);
    }
    return writes;
  }

  TempDir dir;
  ManualClock clock;
  SimSensor sensor;
  SimParallelAdapter adapter;
  SimUsbCard card;
  TimedPortIo port{adapter, clock};  // free unless ReadsCostTime says otherwise
  std::ostringstream out;
  std::ostringstream err;
  CliContext context{out, err, port, card, clock};
};

// While it lives, reads cost the rig simulated time as on the bench: a microsecond a port
// access, and the protocol's pauses (0.3 ms a parallel read, 0.1 ms a USB read) as they are.
struct ReadsCostTime {
  explicit ReadsCostTime(CliRig& rig) : rig(rig) {
    rig.port.costS = 1e-6;
    SetDelayWaiter([&clock = rig.clock](double s) { clock.Advance(s); });
  }
  ~ReadsCostTime() {
    rig.port.costS = 0.0;
    SetDelayWaiter([](double) {});
  }
  CliRig& rig;
};

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace velk::test
