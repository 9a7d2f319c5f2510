#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <iostream>
#include <map>

#include "kernel/KernelRigs.h"
#include "registers/RoundTrip.h"
#include "support/SimRig.h"
#include "support/TempDir.h"

namespace velk {
namespace {

using test::UsbBench;

// The bulk transfers the card's firmware saw: pipe, bytes sent or room for the answer.
std::vector<std::string> Pipes(const SimUsbCard& card) {
  std::vector<std::string> pipes;
  for (const SimUsbCard::Request& r : card.requests) {
    if (r.code != kIoctlBulkTransfer) continue;
    std::string line =
        "pipe " + std::to_string(r.in.at(0)) + " room " + std::to_string(r.outCapacity) + ":";
    for (uint8_t b : r.outSent) line += " " + std::to_string(b);
    pipes.push_back(line);
  }
  return pipes;
}

// libusb finds the card, reads its board information and carries every register write and
// read; the chip and the card's firmware see exactly what they see when simulated.
TEST(UsbCard, ThroughLibusbTheChipSeesWhatItSeesSimulated) {
  test::TempDir folder;
  test::SimRig simulated(test::SimRig::kUsb);
  simulated.card.requests.clear();
  simulated.sensor.TraceTo(folder / "simulated");
  test::ExpectWritableRegistersReadBack(simulated.session, simulated.sensor);

  UsbBench bench;
  bench.session.usb.FindUsbBuffers();
  EXPECT_TRUE(bench.messages.shown.empty());
  const UsbBoardInfo& board = bench.session.usb.SelectedUsbBoard;
  const UsbBoardInfo& expected = simulated.session.usb.SelectedUsbBoard;
  EXPECT_EQ(board.DeviceName, "Ezusb-0");
  EXPECT_EQ(board.Present, -1);
  EXPECT_EQ(board.BoardKind, expected.BoardKind);
  EXPECT_EQ(board.Descriptor0, expected.Descriptor0);
  EXPECT_EQ(board.Descriptor1, expected.Descriptor1);
  EXPECT_EQ(board.FirmwareRev, expected.FirmwareRev);
  EXPECT_EQ(board.UsbSpeed, expected.UsbSpeed);
  EXPECT_FALSE(bench.card.DriverBound()) << "the kernel driver was not detached";

  bench.firmware.Record(true);
  bench.sensor.TraceTo(folder / "emulated");
  test::ExpectWritableRegistersReadBack(bench.session, bench.sensor);
  EXPECT_TRUE(bench.messages.shown.empty());

  const std::string trace = test::FileText(folder / "simulated");
  EXPECT_GT(trace.size(), 1000u);
  EXPECT_EQ(test::FileText(folder / "emulated"), trace);
  EXPECT_EQ(Pipes(bench.firmware), Pipes(simulated.card));
  EXPECT_TRUE(bench.card.Unanswered().empty());
  EXPECT_FALSE(bench.card.Claimed()) << "an operation left the interface claimed";
  EXPECT_EQ(bench.card.UrbsInFlight(), 0);
}

const char* RequestName(unsigned long request) {
  static const std::map<unsigned long, const char*> names = {
      {USBDEVFS_GET_CAPABILITIES, "GET_CAPABILITIES"}, {USBDEVFS_GETDRIVER, "GETDRIVER"},
      {USBDEVFS_IOCTL, "IOCTL (DISCONNECT)"},          {USBDEVFS_CLAIMINTERFACE, "CLAIMINTERFACE"},
      {USBDEVFS_RELEASEINTERFACE, "RELEASEINTERFACE"}, {USBDEVFS_SUBMITURB, "SUBMITURB"},
      {USBDEVFS_REAPURBNDELAY, "REAPURBNDELAY"},       {USBDEVFS_DISCARDURB, "DISCARDURB"}};
  const auto it = names.find(request);
  return it == names.end() ? "other" : it->second;
}

// One open, one claim, a bulk write, a bulk read, one release: the cost of a register read.
TEST(UsbCard, ARegisterReadIsOneClaimAndTwoBulkTransfers) {
  UsbBench bench;
  bench.session.usb.FindUsbBuffers();
  bench.card.ResetCounts();
  bench.session.spi.ReadRegister(slot::Gyro_Out);
  auto counts = bench.card.Counts();
  EXPECT_EQ(counts[USBDEVFS_CLAIMINTERFACE], 1);
  EXPECT_EQ(counts[USBDEVFS_RELEASEINTERFACE], 1);
  EXPECT_EQ(counts[USBDEVFS_SUBMITURB], 2);
  std::cout << "ioctls for one register read over the USB card: " << bench.card.Total() << "\n";
  for (const auto& [request, times] : counts)
    std::cout << "  " << RequestName(request) << " x" << times << "\n";
}

}  // namespace
}  // namespace velk
