#pragma once

#include <array>
#include <cstdint>

#include "transport/usb/UsbBoardInfo.h"

namespace velk {

// The USB SPI card as an SPI master: the selected card, its SPI settings and the word
// buffers of the last transfer. While SelectedUsbBoard.Present is 0 the card is not ready
// and every transfer returns at once, leaving SpiReadData as it was.
class UsbSpiDrivers {
 public:
  UsbBoardInfo SelectedUsbBoard;
  int16_t UsbDeviceIndex = 0;
  uint8_t SpiChannel = 1;
  uint8_t SpiWordDelay = 25;
  uint8_t SpiStaticBits = 120;
  int16_t SpiPolarity = -1;
  std::array<int32_t, 17> SpiWriteData{};  // elements 1..n are sent
  std::array<int32_t, 17> SpiReadData{};   // elements 1..n are received
  uint8_t SpiWordCount = 0;

  // Sends SpiWriteData elements 1..n as 16-bit frames on SpiChannel and leaves in element i
  // of SpiReadData the word clocked in during frame i.
  void WriteReadSpi(uint8_t n);

  bool CardReady() const { return SelectedUsbBoard.Present != 0; }
};

}  // namespace velk
