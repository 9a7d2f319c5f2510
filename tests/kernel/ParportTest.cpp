#include <gtest/gtest.h>

#include <iostream>

#include "kernel/KernelRigs.h"
#include "registers/RoundTrip.h"
#include "support/SimRig.h"
#include "support/TempDir.h"

namespace velk {
namespace {

using test::PortBench;

// The port found through /proc, opened and claimed through ppdev, and every register write and
// read bit-banged through its ioctls: the chip sees exactly what it sees when simulated.
TEST(Parport, ThroughPpdevTheChipSeesWhatItSeesSimulated) {
  test::TempDir folder;
  test::SimRig simulated(test::SimRig::kParallel);
  simulated.session.parallel.ParallelPortInit();
  simulated.sensor.TraceTo(folder / "simulated");
  test::ExpectWritableRegistersReadBack(simulated.session, simulated.sensor);

  PortBench bench;
  EXPECT_TRUE(bench.session.giveio.PreparePort(bench.session.analyzer, bench.session.parallel));
  EXPECT_TRUE(bench.messages.shown.empty());
  EXPECT_EQ(bench.io.AccessMode(), LinuxPortIo::Mode::Ppdev);
  EXPECT_EQ(bench.io.DeviceNode(), "/dev/parport0");
  EXPECT_TRUE(bench.port.Claimed());

  bench.sensor.TraceTo(folder / "emulated");
  test::ExpectWritableRegistersReadBack(bench.session, bench.sensor);
  EXPECT_TRUE(bench.messages.shown.empty());
  const std::string trace = test::FileText(folder / "simulated");
  EXPECT_GT(trace.size(), 1000u);
  EXPECT_EQ(test::FileText(folder / "emulated"), trace);
  EXPECT_TRUE(bench.port.Unanswered().empty());

  bench.port.ResetCounts();
  bench.session.spi.ReadRegister(slot::Gyro_Out);
  std::cout << "ioctls for one register read over ppdev: " << bench.port.Total() << "\n";
}

}  // namespace
}  // namespace velk
