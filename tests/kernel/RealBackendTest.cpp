#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <tuple>
#include <vector>

#include "core/ChipConstants.h"
#include "kernel/KernelRigs.h"
#include "support/SimRig.h"
#include "support/TempDir.h"

namespace velk {
namespace {

// Every writable register written and read back, so every kind of frame crosses the
// interface (Command and Pwr_Mde act rather than store).
void WriteAndReadEveryRegister(Session& session) {
  session.reg.IdentifyProduct(session.spi);
  for (int16_t s = 1; s <= 62; ++s) {
    if (session.reg.RegWritable[s] == 0 || s == slot::Command || s == slot::Pwr_Mde) continue;
    session.spi.WriteRegister(s, s == slot::KeyCode ? kKeyCode : (0x5A3C + s * 0x1357) & 0xFFFF);
    session.spi.ReadRegister(s);
  }
}

// The bulk transfers the card's firmware saw: pipe, room for the answer, bytes sent.
auto Pipes(const SimUsbCard& card) {
  std::vector<std::tuple<uint8_t, uint32_t, std::vector<uint8_t>>> pipes;
  for (const SimUsbCard::Request& r : card.requests)
    if (r.code == kIoctlBulkTransfer) pipes.emplace_back(r.in.at(0), r.outCapacity, r.outSent);
  return pipes;
}

class RealBackend : public ::testing::TestWithParam<int16_t> {};

// The port found through /proc and claimed through ppdev, or the card found, detached from its
// kernel driver and described through libusb: the chip then sees exactly the frames it sees
// when simulated, and the card's firmware the same transfers.
TEST_P(RealBackend, TheChipSeesWhatItSeesSimulated) {
  const int16_t interface = GetParam();
  const bool port = interface == interface_type::kParallelPort;
  test::TempDir folder;
  test::SimRig simulated(interface);
  simulated.session.parallel.ParallelPortInit();
  ASSERT_TRUE(simulated.sensor.TraceTo(folder / "simulated"));
  WriteAndReadEveryRegister(simulated.session);

  test::Bench bench(interface);
  test::IoctlDevice& device = port ? static_cast<test::IoctlDevice&>(bench.port) : bench.card;
  if (port) {
    EXPECT_TRUE(bench.session.giveio.PreparePort(bench.session.analyzer, bench.session.parallel));
    EXPECT_EQ(bench.io.DeviceNode(), "/dev/parport0");
  } else {
    bench.session.usb.FindUsbBuffers();
    const auto board = [](const UsbBoardInfo& b) {
      return std::tie(b.DeviceName, b.Present, b.BoardKind, b.Descriptor0, b.Descriptor1,
                      b.FirmwareRev, b.UsbSpeed);
    };
    EXPECT_EQ(board(bench.session.usb.SelectedUsbBoard),
              board(simulated.session.usb.SelectedUsbBoard));
    EXPECT_FALSE(bench.card.driverBound);
    bench.firmware.Record(true);
  }
  ASSERT_TRUE(bench.sensor.TraceTo(folder / "emulated"));
  WriteAndReadEveryRegister(bench.session);
  EXPECT_TRUE(bench.messages.shown.empty());
  const std::string trace = test::ReadBytes(folder / "simulated");
  EXPECT_GT(trace.size(), 1000u);
  EXPECT_EQ(test::ReadBytes(folder / "emulated"), trace);
  EXPECT_EQ(Pipes(bench.firmware), Pipes(simulated.card));
  EXPECT_TRUE(device.Unanswered().empty());

  device.ResetCounts();
  bench.session.spi.ReadRegister(slot::Gyro_Out);
  std::cout << "ioctls for one register read: " << device.Total() << "\n";
  EXPECT_EQ(bench.port.claimed, port) << "the port is held, the card let go";
  EXPECT_EQ(bench.card.UrbsInFlight(), 0);
}

INSTANTIATE_TEST_SUITE_P(Both, RealBackend,
                         ::testing::Values(interface_type::kParallelPort, interface_type::kUsbCard),
                         [](const auto& info) { return info.index == 0 ? "Ppdev" : "Libusb"; });

}  // namespace
}  // namespace velk
