#include "transport/usb/EzUsb.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/SimRig.h"

namespace velk {
namespace {

using Texts = std::vector<std::string>;

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

  // A card whose second string cannot be read is counted, not used, and closed. (The fuzz
  // replay holds the other failed reads and the closing of every device opened.)
  NoSecondString driver(b.card);
  EzUsb other(driver, b.messages);
  other.FindEzUsbBoards();
  EXPECT_EQ(other.UsbBoardCount, 1);
  EXPECT_EQ(other.UsbBoards[2].Present, 0);
  EXPECT_EQ(b.messages.Texts(), Texts{"Error getting Board Info"});
}

// Claims to have moved more than it was given room for. (The fuzz replay holds the answers
// trusted only as far as they came.)
struct OverClaimingDriver final : EzUsbDriver {
  int32_t Open(const std::string&) override { return 1; }
  int32_t DeviceIoControl(int32_t, uint32_t, const uint8_t*, uint32_t, uint8_t*, uint32_t,
                          uint32_t& returned) override {
    returned = 1000;
    return 1;
  }
  void Close(int32_t) override {}
  uint32_t LastError() const override { return 0; }
};

TEST(EzUsbRequests, ABulkTransferMovesNoMoreThanWasAskedFor) {
  OverClaimingDriver driver;
  test::MessageRecorder messages;
  EzUsb ezUsb(driver, messages);
  uint8_t data[4] = {};
  int32_t length = 2;
  EXPECT_EQ(ezUsb.BulkTransfer(1, 1, data, length), 1);
  EXPECT_EQ(length, 2);
}

}  // namespace
}  // namespace velk
