#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "transport/usb/UsbHost.h"

struct libusb_context;

namespace velk {

// UsbHost over libusb-1.0. The library is started on first use, so a run that never touches
// USB never initialises it; when it cannot start (no USB file system) the bus is empty.
class LibUsbHost final : public UsbHost {
 public:
  LibUsbHost() = default;
  ~LibUsbHost() override;
  LibUsbHost(const LibUsbHost&) = delete;
  LibUsbHost& operator=(const LibUsbHost&) = delete;

  std::vector<UsbDeviceEntry> ListDevices() override;
  std::unique_ptr<UsbDevice> Open(const UsbDeviceEntry& device, UsbStatus& status) override;
  // Through libusb's hot-plug events, where it has them; the callback is registered on the
  // first wait and the events pumped only while waiting (and by libusb's own transfers).
  UsbArrival AwaitArrival(uint16_t vendor, double seconds) override;

 private:
  bool Start();
  bool Watch(uint16_t vendor);

  libusb_context* context_ = nullptr;
  bool watching_ = false;
  int watch_ = 0;  // the callback handle while watching_
  uint16_t watchedVendor_ = 0;
  int arrived_ = 0;  // set by the callback, taken by the next wait
};

}  // namespace velk
