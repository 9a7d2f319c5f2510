#include "transport/usb/UsbSpiDrivers.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/SimRig.h"

namespace velk {
namespace {

using test::UsbSimRig;
using Texts = std::vector<std::string>;

TEST(UsbSpiTransfer, KeepsTheChannelInRangeAndTheWordsWithinTheBuffers) {
  UsbSimRig c;
  c.usb.SpiReadData.fill(0x1234);
  c.usb.SpiChannel = 9;
  c.usb.SpiPolarity = 0;
  c.usb.SpiWriteData[1] = 0xFF12;
  c.usb.WriteReadSpi(1);
  EXPECT_EQ(c.usb.SpiReadData[1], 0x0000);  // no chip on channel 5: all ones, inverted
  EXPECT_EQ(c.usb.SpiReadData[2], 0x1234);
  EXPECT_EQ(c.usb.SpiChannel, 5);  // the channel used, for the next transfer too
  c.usb.SpiChannel = 0;
  c.usb.WriteReadSpi(0);
  EXPECT_EQ(c.usb.SpiChannel, 1);
  c.usb.WriteReadSpi(17);  // more than the buffers hold: nothing goes out
  EXPECT_EQ(c.Wire(), (Texts{"out 0e 05 01 ff 12", "in 2", "out 0e 01 00", "in 0"}));
  EXPECT_EQ(c.usb.SpiWordCount, 0);
  EXPECT_EQ(c.card.openHandles(), 0);
}

TEST(UsbSpiSettings, ReachTheCardOnlyWhenReady) {
  UsbSimRig c;
  c.usb.SelectedUsbBoard.Present = 0;
  uint8_t delay = 0;
  c.usb.SetupSpi(delay);
  c.usb.SetSpiBits(0xFF);
  c.usb.ReadSpiSetup();
  c.usb.WriteReadSpi(2);
  EXPECT_TRUE(c.card.requests.empty());
  EXPECT_EQ(delay + c.usb.SpiWordDelay, 25);

  c.usb.SelectedUsbBoard.Present = -1;
  c.usb.SetupSpi(delay);
  EXPECT_EQ(delay, 1);
  EXPECT_EQ(c.card.WordDelay(), 1);
  c.usb.SetSpiBits(0xFF);
  c.usb.ReadSpiSetup();
  EXPECT_EQ(c.usb.SpiStaticBits, 0x78);  // only the four static lines are kept
  EXPECT_EQ(c.Wire(), (Texts{"out 0b 01", "out 0c ff", "out 01", "in 2"}));
  EXPECT_TRUE(c.messages.shown.empty());
}

TEST(UsbSpiFaults, AFailedCommandIsReportedOnceAndSilencesTheCard) {
  const auto run = [](UsbSpiDrivers& u, char command) {
    uint8_t delay = 9;
    if (command == 'r') u.ReadSpiSetup();
    if (command == 'd') u.SetupSpi(delay);
    if (command == 'b') u.SetSpiBits(8);
    if (command == 't') u.WriteReadSpi(2);
  };
  // pipe -1: the card is pulled out.
  // A refused setup query leaves no answer to collect either.
  const std::vector<std::tuple<int, char, Texts>> faults = {
      {0, 'r', {"Error Setting up SPI", "Error Reading SPI"}},
      {1, 'r', {"Error Reading SPI"}},
      {0, 'd', {"Error Setting up SPI"}},
      {0, 'b', {"Error Setting SPI Bits"}},
      {0, 't', {"Error Writing SPI"}},
      {1, 't', {"Error Reading SPI"}},
      {-1, 't', {"Error Writing SPI"}}};
  for (const auto& [pipe, command, messages] : faults) {
    UsbSimRig c;
    c.usb.SpiReadData.fill(0x1234);
    pipe < 0 ? c.card.Unplug() : c.card.FailBulkTransfer(pipe, 1);
    run(c.usb, command);
    EXPECT_EQ(c.messages.Texts(), messages) << messages[0] << " on pipe " << pipe;
    EXPECT_EQ(c.card.openHandles(), 0);
    EXPECT_EQ(c.usb.SpiReadData[2], 0x1234);

    c.card.requests.clear();  // later register traffic is skipped without a word
    run(c.usb, 't');
    EXPECT_TRUE(c.card.requests.empty());
    EXPECT_EQ(c.messages.shown.size(), messages.size());
  }

  // A cut answer is not taken for data: the buffer still holds the command bytes.
  UsbSimRig cut;
  cut.usb.SpiReadData.fill(0x1234);
  cut.card.CutNextAnswer(2);
  cut.usb.WriteReadSpi(2);
  EXPECT_EQ(cut.messages.Texts(), Texts{"Error Reading SPI"});
  EXPECT_EQ(cut.usb.SpiReadData[2], 0x1234);

  // A refused setup query still collects the answer.
  UsbSimRig refused;
  refused.card.FailBulkTransfer(0, 1);
  refused.usb.ReadSpiSetup();
  EXPECT_EQ(refused.Wire().back(), "in 2");
}

}  // namespace
}  // namespace velk
