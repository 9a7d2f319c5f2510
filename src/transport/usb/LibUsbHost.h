#pragma once

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

 private:
  bool Start();

  libusb_context* context_ = nullptr;
};

}  // namespace velk
