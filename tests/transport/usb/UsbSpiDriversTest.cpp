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

// The fuzz replay holds the rest of the card's rules: no traffic while not ready, a failed
// command leaves it not ready, the read words change only when delivered whole and only as
// many as were asked for, and every device opened is closed.
TEST(UsbSpiTransfer, KeepsTheChannelInRangeAndTheWordsWithinTheBuffers) {
  UsbSimRig c;
  c.usb.SpiReadData.fill(0x1234);
  c.usb.SpiChannel = 9;
  c.usb.SpiPolarity = 0;
  c.usb.SpiWriteData[1] = 0xFF12;
  c.usb.WriteReadSpi(1);
  EXPECT_EQ(c.usb.SpiReadData[1], 0x0000);  // no chip on channel 5: all ones, inverted
  EXPECT_EQ(c.usb.SpiChannel, 5);           // the channel used, for the next transfer too
  c.usb.SpiChannel = 0;
  c.usb.WriteReadSpi(0);
  EXPECT_EQ(c.usb.SpiChannel, 1);
  c.usb.WriteReadSpi(17);  // more than the buffers hold: nothing goes out
  EXPECT_EQ(c.Wire(), (Texts{"out 0e 05 01 ff 12", "in 2", "out 0e 01 00", "in 0"}));
  EXPECT_EQ(c.usb.SpiWordCount, 0);
}

TEST(UsbSpiFaults, AFailedCommandIsReportedOnceAndSilencesTheCard) {
  const auto run = [](UsbSpiDrivers& u, char command) {
    uint8_t delay = 9;
    if (command == 'r') u.ReadSpiSetup();
    if (command == 'd') u.SetupSpi(delay);
    if (command == 'b') u.SetSpiBits(8);
    if (command == 't') u.WriteReadSpi(2);
  };
  // The pipe whose next transfer fails; -1: the card is pulled out; 2: the answer comes cut
  // short, and must not be taken for data while the buffer still holds the command bytes.
  const std::vector<std::tuple<int, char, Texts>> faults = {
      {0, 'r', {"Error Setting up SPI", "Error Reading SPI"}},  // the answer still collected
      {1, 'r', {"Error Reading SPI"}},
      {2, 'r', {"Error Reading SPI"}},
      {0, 'd', {"Error Setting up SPI"}},
      {0, 'b', {"Error Setting SPI Bits"}},
      {0, 't', {"Error Writing SPI"}},
      {1, 't', {"Error Reading SPI"}},
      {2, 't', {"Error Reading SPI"}},
      {-1, 't', {"Error Writing SPI"}}};
  for (const auto& [pipe, command, messages] : faults) {
    UsbSimRig c;
    c.usb.SpiReadData.fill(0x1234);
    if (pipe < 0) c.card.Unplug();
    if (pipe == 2) c.card.CutNextAnswer(1);
    if (pipe == 0 || pipe == 1) c.card.FailBulkTransfer(pipe, 1);
    run(c.usb, command);
    EXPECT_EQ(c.messages.Texts(), messages) << messages[0] << " on pipe " << pipe;
    EXPECT_EQ(c.usb.SpiReadData[2], 0x1234);
    EXPECT_TRUE(command != 'r' || c.Wire().back() == "in 2") << "the setup answer is collected";
  }
}

}  // namespace
}  // namespace velk
