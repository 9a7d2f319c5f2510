#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/Messages.h"
#include "transport/usb/EzUsbDriver.h"
#include "transport/usb/UsbBoardInfo.h"

namespace velk {

// Module EzUsb: EZ-USB boards through the driver. Every operation opens its device, issues
// its requests and closes it again; no handle outlives an operation.
class EzUsb {
 public:
  EzUsb(EzUsbDriver& driver, MessageSink& messages) : driver_(driver), messages_(messages) {}

  std::array<UsbBoardInfo, 4> UsbBoards{};  // record i belongs to "Ezusb-i"
  int16_t UsbBoardCount = 0;

  int32_t OpenEzUsbDevice(const std::string& deviceName);
  void CloseEzUsbDevice(int32_t handle);
  // The 356-byte pipe-information block; nonzero on success.
  int32_t GetPipeInfo(int32_t handle, uint8_t* block);
  uint16_t GetMaxPacketSize(int32_t handle, int pipe);
  // "None" on any failure.
  std::string GetStringDescriptor(int32_t handle, int16_t index);
  // 1 on success, 0 on failure, -2 with handle 0; length is in/out (bytes moved).
  int32_t BulkTransfer(int32_t handle, int16_t pipe, uint8_t* buffer, int32_t& length);
  void ReadBoardInfo(int32_t handle, UsbBoardInfo& board);
  void FindEzUsbBoards();

  // What the user can do about the last device that would not open; empty when nothing.
  std::string DriverAdvice() const { return driver_.Advice(); }
  // Where the board sits on the bus; empty where the driver cannot tell.
  std::string DevicePlace(const std::string& deviceName) { return driver_.Place(deviceName); }
  // Waits up to `seconds` for a board to be plugged in, where the driver can tell.
  UsbArrival AwaitBoardArrival(double seconds) { return driver_.AwaitArrival(seconds); }

 private:
  EzUsbDriver& driver_;
  MessageSink& messages_;
};

}  // namespace velk
