#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "kernel/KernelRigs.h"
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
  test::ExpectWritableRegistersReadBack(simulated.session);

  PortBench bench;
  EXPECT_TRUE(bench.session.giveio.PreparePort(bench.session.analyzer, bench.session.parallel));
  EXPECT_TRUE(bench.messages.shown.empty());
  EXPECT_EQ(bench.io.AccessMode(), LinuxPortIo::Mode::Ppdev);
  EXPECT_EQ(bench.io.DeviceNode(), "/dev/parport0");
  EXPECT_TRUE(bench.port.Claimed());

  bench.sensor.TraceTo(folder / "emulated");
  test::ExpectWritableRegistersReadBack(bench.session);
  EXPECT_TRUE(bench.messages.shown.empty());
  const std::string trace = test::FileText(folder / "simulated");
  EXPECT_GT(trace.size(), 1000u);
  EXPECT_EQ(test::FileText(folder / "emulated"), trace);
  EXPECT_TRUE(bench.port.Unanswered().empty());

  bench.port.ResetCounts();
  bench.session.spi.ReadRegister(slot::Gyro_Out);
  std::cout << "ioctls for one register read over ppdev: " << bench.port.Total() << "\n";
}

// /proc names the port of each base address; access moves with the base, and no line outside
// base..base+2 of the claimed port is ever reached.
TEST(Parport, TheClaimFollowsTheBaseAndTouchesNoOtherLine) {
  test::ManualClock clock;
  SimSensor sensor(clock);
  SimParallelAdapter first(sensor, 0x378), second(sensor, 0x278);
  test::EmulatedParport port0(first, 0x378), port1(second, 0x278);
  test::Testbed bed;
  bed.AddParport(0, 0x378, port0);
  bed.AddParport(1, 0x278, port1);
  const auto proc = bed.InSandbox("/proc/sys/dev/parport");
  std::filesystem::create_directories(proc / "parport3");
  std::ofstream(proc / "parport3/base-addr") << "48128\t48132\n";
  std::filesystem::create_directories(proc / "parportx");
  std::ofstream(proc / "parportx/base-addr") << "956\t0\n";  // not a port's name
  std::filesystem::create_directories(proc / "parport2");    // no base address listed

  LinuxPortOs os;
  EXPECT_EQ(FindParport(os, 0x378), 0);
  EXPECT_EQ(FindParport(os, 0x278), 1);
  EXPECT_EQ(FindParport(os, 0xBC00), 3);
  EXPECT_EQ(FindParport(os, 0x3BC), std::nullopt);
  EXPECT_EQ(FindParport(os, 0x778), std::nullopt);  // the extended-mode base is not the base
  {
    LinuxPortIo io(os);
    std::string advice;
    ASSERT_TRUE(io.ObtainAccess(0x278, advice));
    EXPECT_EQ(io.DeviceNode(), "/dev/parport1");
    io.vbOut(0x278, 0x1A5);
    EXPECT_EQ(io.vbInp(0x278), 0xA5);  // the low byte, read back from the data lines
    const int calls = port1.Total();
    io.vbOut(0x279, 0x40);  // the status register cannot be written
    io.vbOut(0x27B, 1);
    EXPECT_EQ(io.vbInp(0x277), 0xFF);
    EXPECT_TRUE(io.ObtainAccess(0x278, advice));  // the claim is kept
    EXPECT_EQ(port1.Total(), calls);

    ASSERT_TRUE(io.ObtainAccess(0x378, advice));
    EXPECT_FALSE(port1.Claimed());
    EXPECT_TRUE(port0.Claimed());
    io.vbOut(0x278, 1);
    EXPECT_EQ(port1.Total(), calls + 1);  // only the release
  }
  EXPECT_FALSE(port0.Claimed());
  EXPECT_TRUE(port0.Unanswered().empty());
}

}  // namespace
}  // namespace velk
