#include "transport/usb/EzUsb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/SimRig.h"

namespace velk {
namespace {

using Texts = std::vector<std::string>;

TEST(EzUsbSearch, CountsAndFillsOnlyCardsOfAKnownKind) {
  test::UsbSimRig b;
  for (int i : {1, 2}) b.card.Card(i).present = true;
  b.card.Card(0).kind = SimUsbCard::Kind::OtherVendor;
  b.card.Card(1).kind = SimUsbCard::Kind::OtherProduct;
  b.card.Card(2).highSpeed = false;
  b.ezUsb.FindEzUsbBoards();
  EXPECT_EQ(b.ezUsb.UsbBoardCount, 1);
  for (int i : {0, 1, 3}) EXPECT_TRUE(b.ezUsb.UsbBoards[i].Present == 0) << i;
  const UsbBoardInfo& fifo = b.ezUsb.UsbBoards[2];
  EXPECT_EQ(fifo.Present, -1);
  EXPECT_EQ(fifo.DeviceName + " " + fifo.BoardKind + " " + fifo.UsbSpeed, "Ezusb-2 FIFO4 1.1");
  EXPECT_EQ(fifo.Descriptor0 + "/" + fifo.Descriptor1, "USB SPI Card/FIFO4 SPI Interface");
  EXPECT_EQ(fifo.FirmwareRev, 1.2f);
  // Each string is asked for twice: its header, then the length the header announced.
  EXPECT_EQ(b.Wire(), (Texts{"descriptor", "descriptor", "descriptor", "str 1/4", "str 1/26",
                             "str 2/4", "str 2/40", "out 00", "in 2", "pipes"}));

  b.card.FailBulkTransfer(1, 1);  // the firmware answer
  b.ezUsb.FindEzUsbBoards();
  EXPECT_EQ(b.ezUsb.UsbBoardCount, 1);  // counted, though it could not be read
  EXPECT_EQ(fifo.Present, 0);
  EXPECT_EQ(b.messages.Texts(), Texts{"Error getting Board Info"});
  EXPECT_EQ(b.card.openHandles(), 0);  // foreign and unreadable devices are closed too
}

// The card, except that its second string descriptor cannot be read.
struct NoSecondString final : EzUsbDriver {
  explicit NoSecondString(SimUsbCard& card) : card(card) {}
  int32_t Open(const std::string& name) override { return card.Open(name); }
  int32_t DeviceIoControl(int32_t handle, uint32_t code, const uint8_t* in, uint32_t length,
                          uint8_t* out, uint32_t capacity, uint32_t& returned) override {
    if (code == kIoctlGetStringDescriptor && length > 0 && in[0] == 2) {
      returned = 0;
      return 0;
    }
    return card.DeviceIoControl(handle, code, in, length, out, capacity, returned);
  }
  void Close(int32_t handle) override { card.Close(handle); }
  uint32_t LastError() const override { return card.LastError(); }
  SimUsbCard& card;
};

TEST(EzUsbSearch, ACardWhoseSecondStringFailsIsCountedButNotUsed) {
  test::SimRig rig;
  NoSecondString driver(rig.card);
  EzUsb ezUsb(driver, rig.messages);
  ezUsb.FindEzUsbBoards();
  EXPECT_EQ(ezUsb.UsbBoardCount, 1);
  EXPECT_EQ(ezUsb.UsbBoards[0].Present, 0);
  EXPECT_EQ(rig.messages.Texts(), Texts{"Error getting Board Info"});
  EXPECT_EQ(rig.card.openHandles(), 0);
}

// Answers every request with fixed bytes and claims whatever byte count it is told to.
struct OddDriver final : EzUsbDriver {
  std::vector<uint8_t> answer;
  uint32_t claimed = 0;
  int requests = 0;
  int32_t Open(const std::string&) override { return 1; }
  int32_t DeviceIoControl(int32_t, uint32_t, const uint8_t*, uint32_t, uint8_t* out,
                          uint32_t capacity, uint32_t& returned) override {
    std::copy_n(answer.begin(), std::min<size_t>(answer.size(), capacity), out);
    returned = claimed;
    return ++requests;
  }
  void Close(int32_t) override {}
  uint32_t LastError() const override { return 0; }
};

TEST(EzUsbRequests, TrustOnlyWhatTheDriverReturned) {
  OddDriver driver;
  test::MessageRecorder messages;
  EzUsb ezUsb(driver, messages);
  uint8_t data[4] = {};
  int32_t length = 2;
  EXPECT_EQ(ezUsb.BulkTransfer(0, 0, data, length), -2);  // no device, no request
  EXPECT_EQ(ezUsb.GetStringDescriptor(0, 1), "None");
  EXPECT_EQ(driver.requests, 0);

  driver.claimed = 1000;
  EXPECT_EQ(ezUsb.BulkTransfer(1, 1, data, length), 1);
  EXPECT_EQ(length, 2);  // no more than was asked for

  driver.answer = {200, 3, 'A', 0, 'B', 0};  // a length byte far beyond what came
  driver.claimed = 6;
  EXPECT_EQ(ezUsb.GetStringDescriptor(1, 1), "AB");

  driver.answer = std::vector<uint8_t>(356, 0x40);  // a pipe table cut short before pipe 3
  driver.claimed = 40;
  EXPECT_EQ(ezUsb.GetMaxPacketSize(1, 1), 0x4040);
  EXPECT_EQ(ezUsb.GetMaxPacketSize(1, 3), 0);
}

}  // namespace
}  // namespace velk
