#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kernel/KernelRigs.h"
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
  test::ExpectWritableRegistersReadBack(simulated.session);

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
  test::ExpectWritableRegistersReadBack(bench.session);
  EXPECT_TRUE(bench.messages.shown.empty());

  const std::string trace = test::FileText(folder / "simulated");
  EXPECT_GT(trace.size(), 1000u);
  EXPECT_EQ(test::FileText(folder / "emulated"), trace);
  EXPECT_EQ(Pipes(bench.firmware), Pipes(simulated.card));
  EXPECT_TRUE(bench.card.Unanswered().empty());
  EXPECT_FALSE(bench.card.Claimed()) << "an operation left the interface claimed";
  EXPECT_EQ(bench.card.UrbsInFlight(), 0);
}

// Cards take their names in bus order, by port rather than address; a device of another
// vendor on the bus is never opened.
TEST(UsbCard, CardsAreNamedInBusOrder) {
  test::ManualClock clock;
  SimSensor sensor(clock);
  SimUsbCard firmware(&sensor);
  for (int slot : {1, 2, 3}) firmware.Card(slot).present = true;
  firmware.Card(1).kind = SimUsbCard::Kind::Mcp;
  firmware.Card(2).kind = SimUsbCard::Kind::OtherVendor;
  firmware.Card(3).highSpeed = false;
  std::vector<std::unique_ptr<test::EmulatedUsbCard>> cards;
  for (int slot = 0; slot < 4; ++slot)
    cards.push_back(
        std::make_unique<test::EmulatedUsbCard>(firmware, "Ezusb-" + std::to_string(slot)));
  test::Testbed bed;
  struct Place {
    int bus, port, address;
  };
  const Place places[] = {{2, 1, 2}, {1, 3, 4}, {1, 1, 7}, {1, 2, 9}};
  for (int slot = 0; slot < 4; ++slot) {
    test::EmulatedUsbCard& card = *cards[static_cast<size_t>(slot)];
    const Place& at = places[slot];
    bed.AddUsbDevice(at.bus, at.port, at.address, card.Vendor(), card.Product(), card.Descriptors(),
                     card);
  }
  LibUsbDriver driver;
  test::MessageRecorder messages;
  EzUsb ezUsb(driver, messages);
  ezUsb.FindEzUsbBoards();
  EXPECT_EQ(ezUsb.UsbBoardCount, 3);
  std::vector<std::string> found;
  for (const UsbBoardInfo& board : ezUsb.UsbBoards)
    found.push_back(board.DeviceName + " " + board.BoardKind + " " + board.UsbSpeed);
  EXPECT_EQ(found, (std::vector<std::string>{"Ezusb-0 FIFO4 1.1", "Ezusb-1 MCP 2",
                                             "Ezusb-2 FIFO4 2", "  "}));
  EXPECT_EQ(cards[2]->Total(), 0);
  EXPECT_TRUE(messages.shown.empty());
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
