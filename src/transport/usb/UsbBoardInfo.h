#pragma once

#include <cstdint>
#include <string>

namespace velk {

// One EZ-USB board as found by the board search.
struct UsbBoardInfo {
  std::string DeviceName;  // "Ezusb-0".."Ezusb-3", empty when no known board answers
  uint8_t Spare = 0;
  int16_t Present = 0;  // -1 when the board is of a known kind and its information was read
  std::string BoardKind;
  std::string Descriptor0;
  std::string Descriptor1;
  float FirmwareRev = 0.0f;
  std::string UsbSpeed;
};

}  // namespace velk
