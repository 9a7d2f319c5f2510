#pragma once

#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "kernel/IoctlDevice.h"
#include "transport/usb/EzUsbDriver.h"

namespace velk::test {

// A USB SPI card as the kernel's usbfs shows it to libusb: a kernel driver bound until
// detached, the claim of interface 0, and URBs answered by `firmware`, the simulated card
// answering as `name`: bulk URBs on the four endpoints (0x01, 0x81, 0x02, 0x86: pipes 0..3)
// carry what the pipes carry when simulated. Every URB completes within its submit call, to be
// reaped at once.
class EmulatedUsbCard final : public IoctlDevice {
 public:
  explicit EmulatedUsbCard(EzUsbDriver& firmware, const std::string& name = "Ezusb-0")
      : descriptors(kDeviceLength), firmware_(firmware), handle_(firmware.Open(name)) {
    if (handle_ <= 0) throw std::runtime_error("the simulated card does not open");
    uint32_t n = 0;
    firmware_.DeviceIoControl(handle_, kIoctlGetDeviceDescriptor, nullptr, 0, descriptors.data(),
                              kDeviceLength, n);
    std::vector<uint8_t> pipes(kPipeInfoSize);
    firmware_.DeviceIoControl(handle_, kIoctlGetPipeInfo, nullptr, 0, pipes.data(), kPipeInfoSize,
                              n);
    // One configuration with one vendor-specific interface and its bulk endpoints.
    const auto total = static_cast<uint8_t>(9 + 9 + 7 * std::size(kEndpoints));
    descriptors.insert(descriptors.end(), {9, 2, total, 0, 1, 1, 0, 0x80, 50});
    descriptors.insert(descriptors.end(), {9, 4, 0, 0, std::size(kEndpoints), 0xFF, 0xFF, 0xFF, 0});
    for (size_t p = 0; p < std::size(kEndpoints); ++p) {
      const uint8_t* size = pipes.data() + kPipeInfoHeader + kPipeRecordSize * p;
      descriptors.insert(descriptors.end(), {7, 5, kEndpoints[p], 2, size[0], size[1], 0});
    }
  }
  ~EmulatedUsbCard() override { firmware_.Close(handle_); }

  // Submitted and not yet reaped.
  int UrbsInFlight() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(done_.size() + silent_.size());
  }

  // The device descriptor followed by the configuration descriptor, as sysfs lists them.
  std::vector<uint8_t> descriptors;
  std::atomic<bool> driverBound{true};

 private:
  static constexpr uint8_t kEndpoints[] = {0x01, 0x81, 0x02, 0x86};
  static constexpr int kDeviceLength = 18;
  static constexpr int kSetupLength = 8;

  int Handle(unsigned long request, UMockdevIoctlData* arg, IoctlDataPtr& data) override {
    switch (request) {
      case USBDEVFS_GET_CAPABILITIES: {
        const uint32_t caps = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                              USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
        std::memcpy(data->data, &caps, sizeof caps);
        return 0;
      }
      case USBDEVFS_GETDRIVER:
        if (!driverBound) return ENODATA;
        std::strcpy(reinterpret_cast<usbdevfs_getdriver*>(data->data)->driver, "usbtest");
        return 0;
      case USBDEVFS_IOCTL:
        if (reinterpret_cast<usbdevfs_ioctl*>(data->data)->ioctl_code != USBDEVFS_DISCONNECT)
          return ENOTTY;
        return driverBound.exchange(false) ? 0 : ENODATA;
      case USBDEVFS_CLAIMINTERFACE:
      case USBDEVFS_RELEASEINTERFACE:
        if (*reinterpret_cast<unsigned int*>(data->data) != 0) return ENOENT;
        if (request == USBDEVFS_RELEASEINTERFACE) return claimed.exchange(false) ? 0 : EINVAL;
        return Claim() ? 0 : EBUSY;
      case USBDEVFS_SUBMITURB:
        return Submit(data);
      case USBDEVFS_REAPURBNDELAY:
        if (done_.empty()) return EAGAIN;
        umockdev_ioctl_data_set_ptr(data.get(), 0, done_.front().get());
        done_.pop_front();
        return 0;
      case USBDEVFS_DISCARDURB:
        return Discard(*reinterpret_cast<const unsigned long*>(arg->data));
      default:
        return ENOTTY;
    }
  }

  bool Claim() {
    if (driverBound || fault == Fault::BusyClaim) return false;
    claimed = true;
    return true;
  }

  // The transfer the URB asks for, made by the firmware as the driver seam would ask it: a
  // control URB's GET_DESCRIPTOR of the device or a string, a bulk URB's bytes on its pipe.
  // A transfer the firmware refuses completes with -EPIPE, a stall.
  int Submit(IoctlDataPtr& urbData) {
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    const int length = std::max(urb->buffer_length, 0);
    IoctlDataPtr buffer = Resolve(urbData.get(), offsetof(usbdevfs_urb, buffer), length);
    uint8_t* data = buffer->data;
    uint8_t in[5] = {0, 0, 0, 0, 27};  // pipe or string index; room for a string's characters
    uint32_t code = kIoctlBulkTransfer;
    int room = length;
    const bool answer = (urb->endpoint & 0x80) != 0;
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
      if (urb->endpoint != 0 || length < kSetupLength) return EINVAL;
      // A stall for anything but GET_DESCRIPTOR (6) of the device (1) or a string (3).
      const bool get = data[0] == 0x80 && data[1] == 6;
      code = 0;
      if (get && data[3] == 1) code = kIoctlGetDeviceDescriptor;
      if (get && data[3] == 3) code = kIoctlGetStringDescriptor;
      in[0] = data[2];
      room = std::min(length - kSetupLength, data[6] | data[7] << 8);
      data += kSetupLength;
    } else if (urb->type == USBDEVFS_URB_TYPE_BULK) {
      const auto* at = std::find(std::begin(kEndpoints), std::end(kEndpoints), urb->endpoint);
      if (at == std::end(kEndpoints)) return ENOENT;
      in[0] = static_cast<uint8_t>(at - std::begin(kEndpoints));
      // The kernel claims the interface for a caller's first transfer when the caller did not.
      if (!claimed && !Claim()) return EBUSY;
      if (fault == Fault::SilentAnswer && answer) {
        silent_.push_back(std::move(urbData));
        return 0;
      }
    } else {
      return EINVAL;
    }
    uint32_t n = 0;
    const uint32_t inLength = code == kIoctlGetStringDescriptor ? 5 : 4;
    const bool ok = code != 0 && firmware_.DeviceIoControl(handle_, code, in, inLength, data,
                                                           static_cast<uint32_t>(room), n);
    if (fault == Fault::ShortAnswer && answer && code == kIoctlBulkTransfer) n /= 2;
    urb->status = ok ? 0 : -EPIPE;
    urb->actual_length = ok ? static_cast<int>(n) : 0;
    done_.push_back(std::move(urbData));
    return 0;
  }

  // A URB given up on comes back from the next reap with -ENOENT, as the kernel returns it.
  int Discard(unsigned long address) {
    const auto it = std::find_if(silent_.begin(), silent_.end(), [address](const auto& urb) {
      return urb->client_addr == address;
    });
    if (it == silent_.end()) return EINVAL;
    auto* urb = reinterpret_cast<usbdevfs_urb*>((*it)->data);
    urb->status = -ENOENT;
    urb->actual_length = 0;
    done_.push_back(std::move(*it));
    silent_.erase(it);
    return 0;
  }

  EzUsbDriver& firmware_;
  int32_t handle_;
  std::deque<IoctlDataPtr> done_;     // to be reaped, oldest first
  std::vector<IoctlDataPtr> silent_;  // waiting for an answer that does not come
};

}  // namespace velk::test
