#include "kernel/EmulatedUsbCard.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace velk::test {

namespace {

constexpr uint8_t kEndpoints[] = {0x01, 0x81, 0x02, 0x86};
constexpr char kBoundDriver[] = "usbtest";
constexpr uint8_t kGetDescriptor = 6;
constexpr uint8_t kDeviceType = 1;
constexpr uint8_t kConfigType = 2;
constexpr uint8_t kStringType = 3;
constexpr int kSetupLength = 8;

}  // namespace

EmulatedUsbCard::EmulatedUsbCard(EzUsbDriver& firmware, const std::string& name)
    : firmware_(firmware), handle_(firmware.Open(name)) {
  if (handle_ <= 0) throw std::runtime_error("the simulated card does not open");
  device_.resize(18);
  uint32_t n = 0;
  firmware_.DeviceIoControl(handle_, kIoctlGetDeviceDescriptor, nullptr, 0, device_.data(),
                            static_cast<uint32_t>(device_.size()), n);
  std::vector<uint8_t> pipes(kPipeInfoSize);
  firmware_.DeviceIoControl(handle_, kIoctlGetPipeInfo, nullptr, 0, pipes.data(), kPipeInfoSize, n);

  // One configuration with one vendor-specific interface and its bulk endpoints.
  const auto total = static_cast<uint8_t>(9 + 9 + 7 * std::size(kEndpoints));
  config_ = {9, kConfigType, total, 0, 1, 1, 0, 0x80, 50};
  config_.insert(config_.end(), {9, 4, 0, 0, std::size(kEndpoints), 0xFF, 0xFF, 0xFF, 0});
  for (size_t p = 0; p < std::size(kEndpoints); ++p) {
    const uint8_t* size = pipes.data() + kPipeInfoHeader + kPipeRecordSize * p;
    config_.insert(config_.end(), {7, 5, kEndpoints[p], 2, size[0], size[1], 0});  // bulk
  }
}

EmulatedUsbCard::~EmulatedUsbCard() {
  firmware_.Close(handle_);
}

std::vector<uint8_t> EmulatedUsbCard::Descriptors() const {
  std::vector<uint8_t> all = device_;
  all.insert(all.end(), config_.begin(), config_.end());
  return all;
}

void EmulatedUsbCard::SetFault(Fault fault) {
  std::lock_guard lock(mutex_);
  fault_ = fault;
}

bool EmulatedUsbCard::DriverBound() const {
  std::lock_guard lock(mutex_);
  return driverBound_;
}

bool EmulatedUsbCard::Claimed() const {
  std::lock_guard lock(mutex_);
  return claimed_;
}

int EmulatedUsbCard::UrbsInFlight() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(done_.size() + silent_.size());
}

bool EmulatedUsbCard::Handle(UMockdevIoctlClient* client, unsigned long request,
                             UMockdevIoctlData* arg) {
  if (fault_ == Fault::Gone) {
    Complete(client, -1, ENODEV);
    return true;
  }
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      IoctlDataPtr caps = Resolve(arg, 0, sizeof(uint32_t));
      const uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                             USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      std::memcpy(caps->data, &value, sizeof value);
      Complete(client, 0, 0);
      return true;
    }
    case USBDEVFS_GETDRIVER: {
      if (!driverBound_) {
        Complete(client, -1, ENODATA);
        return true;
      }
      IoctlDataPtr query = Resolve(arg, 0, sizeof(usbdevfs_getdriver));
      auto* getdriver = reinterpret_cast<usbdevfs_getdriver*>(query->data);
      std::strcpy(getdriver->driver, kBoundDriver);
      Complete(client, 0, 0);
      return true;
    }
    case USBDEVFS_IOCTL: {
      IoctlDataPtr command = Resolve(arg, 0, sizeof(usbdevfs_ioctl));
      if (reinterpret_cast<usbdevfs_ioctl*>(command->data)->ioctl_code != USBDEVFS_DISCONNECT)
        return false;
      const bool was = driverBound_;
      driverBound_ = false;
      Complete(client, was ? 0 : -1, was ? 0 : ENODATA);
      return true;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
      IoctlDataPtr number = Resolve(arg, 0, sizeof(unsigned int));
      if (*reinterpret_cast<unsigned int*>(number->data) != 0) {
        Complete(client, -1, ENOENT);
      } else if (request == USBDEVFS_RELEASEINTERFACE) {
        Complete(client, claimed_ ? 0 : -1, claimed_ ? 0 : EINVAL);
        claimed_ = false;
      } else {
        const bool taken = TakeInterface();
        Complete(client, taken ? 0 : -1, taken ? 0 : EBUSY);
      }
      return true;
    }
    case USBDEVFS_SUBMITURB:
      Submit(client, arg);
      return true;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      Reap(client, arg);
      return true;
    case USBDEVFS_DISCARDURB:
      Discard(client, arg);
      return true;
    default:
      return false;
  }
}

// The kernel claims the interface for the caller's first transfer when the caller did not.
bool EmulatedUsbCard::TakeInterface() {
  if (driverBound_ || fault_ == Fault::BusyClaim) return false;
  claimed_ = true;
  return true;
}

void EmulatedUsbCard::Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  IoctlDataPtr urbData = Resolve(arg, 0, sizeof(usbdevfs_urb));
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  const int length = std::max(urb->buffer_length, 0);
  IoctlDataPtr buffer = Resolve(urbData.get(), offsetof(usbdevfs_urb, buffer), length);
  int moved = -EINVAL;
  if (urb->type == USBDEVFS_URB_TYPE_CONTROL && urb->endpoint == 0 && length >= kSetupLength) {
    moved = Control(buffer->data, buffer->data + kSetupLength, length - kSetupLength);
  } else if (urb->type == USBDEVFS_URB_TYPE_BULK) {
    if (!claimed_ && !TakeInterface()) {
      Complete(client, -1, EBUSY);
      return;
    }
    if (fault_ == Fault::SilentAnswer && (urb->endpoint & 0x80) != 0) {
      silent_.push_back(std::move(urbData));
      Complete(client, 0, 0);
      return;
    }
    moved = Bulk(urb->endpoint, buffer->data, length);
  }
  if (moved == -EINVAL || moved == -ENOENT) {
    Complete(client, -1, -moved);
    return;
  }
  urb->status = moved < 0 ? moved : 0;
  urb->actual_length = std::max(moved, 0);
  done_.push_back(std::move(urbData));
  Complete(client, 0, 0);
}

// Bytes placed after the setup packet, or -EPIPE (a stall) for a request the card refuses.
int EmulatedUsbCard::Control(const uint8_t* setup, uint8_t* data, int capacity) {
  const uint8_t type = setup[3];
  const uint8_t index = setup[2];
  const int wanted = std::min<int>(setup[6] | setup[7] << 8, capacity);
  if (setup[0] != 0x80 || setup[1] != kGetDescriptor) return -EPIPE;
  std::vector<uint8_t> answer;
  if (type == kDeviceType) {
    answer = device_;
  } else if (type == kConfigType) {
    answer = config_;
  } else if (type == kStringType && index == 0) {
    answer = {4, kStringType, 0x09, 0x04};  // English (US)
  } else if (type == kStringType) {
    uint8_t in[5] = {index, 0, 0, 0, 27};
    answer.resize(255);
    uint32_t n = 0;
    if (!firmware_.DeviceIoControl(handle_, kIoctlGetStringDescriptor, in, sizeof in, answer.data(),
                                   255, n))
      return -EPIPE;
    answer.resize(n);
  } else {
    return -EPIPE;
  }
  const int n = std::min(wanted, static_cast<int>(answer.size()));
  std::memcpy(data, answer.data(), static_cast<size_t>(n));
  return n;
}

// Bytes moved on the endpoint's pipe, or -errno.
int EmulatedUsbCard::Bulk(uint8_t endpoint, uint8_t* data, int length) {
  const auto* at = std::find(std::begin(kEndpoints), std::end(kEndpoints), endpoint);
  if (at == std::end(kEndpoints)) return -ENOENT;
  const auto pipe = static_cast<uint8_t>(at - std::begin(kEndpoints));
  uint8_t in[4] = {pipe, 0, 0, 0};
  uint32_t n = 0;
  if (!firmware_.DeviceIoControl(handle_, kIoctlBulkTransfer, in, sizeof in, data,
                                 static_cast<uint32_t>(length), n))
    return -EPIPE;
  if (fault_ == Fault::ShortAnswer && (endpoint & 0x80) != 0) n /= 2;
  return static_cast<int>(n);
}

void EmulatedUsbCard::Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  if (done_.empty()) {
    Complete(client, -1, EAGAIN);
    return;
  }
  IoctlDataPtr where = Resolve(arg, 0, sizeof(void*));
  umockdev_ioctl_data_set_ptr(where.get(), 0, done_.front().get());
  done_.pop_front();
  Complete(client, 0, 0);
}

// A URB given up on comes back from the next reap with -ENOENT, as the kernel returns it.
void EmulatedUsbCard::Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  const auto address = *reinterpret_cast<const unsigned long*>(arg->data);
  auto it = std::find_if(silent_.begin(), silent_.end(), [address](const IoctlDataPtr& urb) {
    return urb->client_addr == address;
  });
  if (it == silent_.end()) {
    Complete(client, -1, EINVAL);
    return;
  }
  auto* urb = reinterpret_cast<usbdevfs_urb*>((*it)->data);
  urb->status = -ENOENT;
  urb->actual_length = 0;
  done_.push_back(std::move(*it));
  silent_.erase(it);
  Complete(client, 0, 0);
}

}  // namespace velk::test
