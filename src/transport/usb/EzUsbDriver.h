#pragma once

#include <cstdint>
#include <string>

#include "transport/usb/UsbArrival.h"

namespace velk {

// The EZ-USB device driver: boards named "Ezusb-0".."Ezusb-3", reached by device-control
// requests. Implemented over the platform's USB access, or by the simulated card.
class EzUsbDriver {
 public:
  virtual ~EzUsbDriver() = default;

  // A handle greater than 0 when the device opens; 0 or less when it does not.
  virtual int32_t Open(const std::string& deviceName) = 0;
  // One synchronous request. `in` holds inLength bytes; `out` has room for outCapacity bytes
  // and, for a bulk transfer to the card, already holds the bytes to send. Returns nonzero on
  // success and the number of bytes placed in `out` in bytesReturned.
  virtual int32_t DeviceIoControl(int32_t handle, uint32_t code, const uint8_t* in,
                                  uint32_t inLength, uint8_t* out, uint32_t outCapacity,
                                  uint32_t& bytesReturned) = 0;
  virtual void Close(int32_t handle) = 0;
  // Consulted only right after a failed open.
  virtual uint32_t LastError() const = 0;
  // What the user can do about the last failed open; empty when there is nothing to say.
  virtual std::string Advice() const { return {}; }
  // Where the named device sits on the bus ("1-2.3": bus, then ports from the root hub), which
  // outlasts a replug into the same socket; empty where the driver cannot tell.
  virtual std::string Place(const std::string& /*deviceName*/) { return {}; }
  // Waits up to `seconds` (0: does not block, for a timer) for a card to be plugged in, where
  // the platform tells of it; a card that is plugged in may still need a moment to answer.
  virtual UsbArrival AwaitArrival(double /*seconds*/) { return UsbArrival::Unsupported; }
};

// Request codes.
inline constexpr uint32_t kIoctlGetPipeInfo = 0x222000;
inline constexpr uint32_t kIoctlGetDeviceDescriptor = 0x222004;
inline constexpr uint32_t kIoctlGetStringDescriptor = 0x222044;
inline constexpr uint32_t kIoctlBulkTransfer = 0x222051;

// Buffer layouts.
inline constexpr uint32_t kPipeInfoSize = 356;  // 16-byte header, 17 pipe records of 20 bytes
inline constexpr uint32_t kPipeInfoHeader = 16;
inline constexpr uint32_t kPipeRecordSize = 20;
inline constexpr uint32_t kDeviceDescriptorSize = 147;

// Identification of the SPI cards.
inline constexpr uint16_t kCardVendorId = 0x1E7A;
inline constexpr uint16_t kFifo4ProductId = 0xB0A3;
inline constexpr uint16_t kMcpProductId = 0xB1C0;

}  // namespace velk
