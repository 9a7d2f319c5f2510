#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "transport/usb/UsbArrival.h"

namespace velk {

// The few USB calls the EZ-USB driver makes, so that it can run over a fake bus in tests.
enum class UsbStatus { Ok, AccessDenied, NoDevice, NotFound, Busy, Timeout, Failed };

// One device on the bus as listed, before it is opened.
struct UsbDeviceEntry {
  uint8_t bus = 0;
  std::vector<uint8_t> ports;  // port numbers from the root hub down
  uint8_t address = 0;
  uint16_t vendor = 0;
  uint16_t product = 0;
};

struct UsbEndpoint {
  uint8_t address = 0;  // bit 7 set: device to host
  uint16_t maxPacketSize = 0;
};

// An opened device; destroying it closes the device.
class UsbDevice {
 public:
  virtual ~UsbDevice() = default;

  // GET_DESCRIPTOR as the device sends it, length byte first.
  virtual UsbStatus ReadDescriptor(uint8_t type, uint8_t index, uint16_t language, uint8_t* data,
                                   int capacity, int& length) = 0;
  // The endpoints of alternate setting 0 of an interface of the active configuration, in the
  // order the configuration lists them.
  virtual UsbStatus InterfaceEndpoints(uint8_t interface, std::vector<UsbEndpoint>& endpoints) = 0;
  virtual bool KernelDriverActive(uint8_t interface) = 0;
  virtual UsbStatus DetachKernelDriver(uint8_t interface) = 0;
  virtual UsbStatus ClaimInterface(uint8_t interface) = 0;
  virtual UsbStatus ReleaseInterface(uint8_t interface) = 0;
  // Direction from the endpoint address; transferred counts bytes moved, also on failure.
  virtual UsbStatus BulkTransfer(uint8_t endpoint, uint8_t* data, int length, unsigned timeoutMs,
                                 int& transferred) = 0;
};

class UsbHost {
 public:
  virtual ~UsbHost() = default;

  // Empty when USB cannot be reached at all.
  virtual std::vector<UsbDeviceEntry> ListDevices() = 0;
  // Null on failure, with the reason in status.
  virtual std::unique_ptr<UsbDevice> Open(const UsbDeviceEntry& device, UsbStatus& status) = 0;
  // Waits up to `seconds` (0: does not block) for a device of `vendor` to be plugged in. An
  // arrival since the last wait counts, so none is missed between two waits.
  virtual UsbArrival AwaitArrival(uint16_t /*vendor*/, double /*seconds*/) {
    return UsbArrival::Unsupported;
  }
};

}  // namespace velk
