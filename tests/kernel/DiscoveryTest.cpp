#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kernel/KernelRigs.h"

namespace velk {
namespace {

// Cards take their names in bus order, by port rather than address; a device of another
// vendor on the bus is never opened.
TEST(Discovery, CardsAreNamedInBusOrder) {
  test::ManualClock clock;
  SimSensor sensor(clock);
  SimUsbCard firmware(&sensor);
  for (int slot : {1, 2, 3}) firmware.Card(slot).present = true;
  firmware.Card(1).kind = SimUsbCard::Kind::Mcp;
  firmware.Card(2).kind = SimUsbCard::Kind::OtherVendor;
  firmware.Card(3).highSpeed = false;
  const int places[][3] = {{2, 1, 2}, {1, 3, 4}, {1, 1, 7}, {1, 2, 9}};  // bus, port, address
  std::vector<std::unique_ptr<test::EmulatedUsbCard>> cards;
  test::Testbed bed;
  for (const auto& at : places) {
    const std::string name = "Ezusb-" + std::to_string(cards.size());
    cards.push_back(std::make_unique<test::EmulatedUsbCard>(firmware, name));
    bed.AddUsbDevice(at[0], at[1], at[2], cards.back()->descriptors, *cards.back());
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
  // The place a log knows its card by when it comes back: bus, then ports.
  std::vector<std::string> placed;
  for (const char* name : {"Ezusb-0", "Ezusb-1", "Ezusb-2", "Ezusb-3"})
    placed.push_back(driver.Place(name));
  EXPECT_EQ(placed, (std::vector<std::string>{"1-2", "1-3", "2-1", ""}));
}

// /proc names the port of each base address; access moves with the base, and no line outside
// base..base+2 of the claimed port is ever reached.
TEST(Discovery, ThePortClaimFollowsTheBaseAndTouchesNoOtherLine) {
  test::Bench bench;
  SimParallelAdapter adapter(bench.sensor, 0x278);
  test::EmulatedParport port1(adapter, 0x278);
  bench.bed.AddParport(1, 0x278, port1);
  const auto proc = bench.bed.InSandbox("/proc/sys/dev/parport");
  std::filesystem::create_directories(proc / "parport3");
  std::ofstream(proc / "parport3/base-addr") << "48128\t48132\n";
  std::filesystem::create_directories(proc / "parportx");
  std::ofstream(proc / "parportx/base-addr") << "956\t0\n";  // not a port's name
  std::filesystem::create_directories(proc / "parport2");    // no base address listed
  EXPECT_EQ(FindParport(bench.os, 0x378), 0);
  EXPECT_EQ(FindParport(bench.os, 0x278), 1);
  EXPECT_EQ(FindParport(bench.os, 0xBC00), 3);
  EXPECT_EQ(FindParport(bench.os, 0x3BC), std::nullopt);
  EXPECT_EQ(FindParport(bench.os, 0x778), std::nullopt);  // the extended-mode base is not the base

  std::string advice;
  ASSERT_TRUE(bench.io.ObtainAccess(0x278, advice));
  EXPECT_EQ(bench.io.DeviceNode(), "/dev/parport1");
  bench.io.vbOut(0x278, 0x1A5);
  EXPECT_EQ(bench.io.vbInp(0x278), 0xA5);  // the low byte, read back from the data lines
  port1.ResetCounts();
  bench.io.vbOut(0x279, 0x40);  // the status register cannot be written
  bench.io.vbOut(0x27B, 1);
  EXPECT_EQ(bench.io.vbInp(0x277), 0xFF);
  EXPECT_TRUE(bench.io.ObtainAccess(0x278, advice));  // the claim is kept
  ASSERT_TRUE(bench.io.ObtainAccess(0x378, advice));
  EXPECT_TRUE(bench.port.claimed);
  bench.io.vbOut(0x278, 1);
  EXPECT_EQ(port1.Total(), 1);  // the release
  EXPECT_FALSE(port1.claimed);
}

}  // namespace
}  // namespace velk
