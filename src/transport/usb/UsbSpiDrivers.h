#pragma once

#include <array>
#include <cstdint>

#include "core/Messages.h"
#include "transport/usb/EzUsb.h"
#include "transport/usb/UsbBoardInfo.h"

namespace velk {

// Module UsbSpiDrivers: the USB SPI card as an SPI master: the selected card, its SPI
// settings and the word buffers of the last transfer. While SelectedUsbBoard.Present is 0 the
// card is not ready and every card operation returns at once, without a message and leaving
// SpiReadData as it was. A failed command shows its message and makes the card not ready.
class UsbSpiDrivers {
 public:
  UsbSpiDrivers(EzUsb& ezUsb, MessageSink& messages) : ezUsb_(ezUsb), messages_(messages) {}

  UsbBoardInfo SelectedUsbBoard;
  int16_t UsbDeviceIndex = 0;
  uint8_t SpiChannel = 1;
  uint8_t SpiWordDelay = 25;
  uint8_t SpiStaticBits = 120;
  int16_t SpiPolarity = -1;
  std::array<int32_t, 17> SpiWriteData{};  // elements 1..n are sent
  std::array<int32_t, 17> SpiReadData{};   // elements 1..n are received
  uint8_t SpiWordCount = 0;

  // Searches the boards and selects the first usable one.
  void FindUsbBuffers();
  // Command 1: reads the word delay and static bits back from the card.
  void ReadSpiSetup();
  // Command 11: a delay of 0 is raised to 1, also in the caller's variable.
  void SetupSpi(uint8_t& delay);
  // Command 12.
  void SetSpiBits(uint8_t bits);
  // Command 13 or 14: sends SpiWriteData elements 1..n (n <= 16) as 16-bit frames on
  // SpiChannel and leaves in element i of SpiReadData the word clocked in during frame i.
  void WriteReadSpi(uint8_t n);

  bool CardReady() const { return SelectedUsbBoard.Present != 0; }

  // Set by a caller that watches for a card going away and says so itself: a failed command
  // then only makes the card not ready, with no message box in the way.
  bool QuietFailures = false;

 private:
  EzUsb& ezUsb_;
  MessageSink& messages_;
};

}  // namespace velk
