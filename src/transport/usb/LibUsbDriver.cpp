#include "transport/usb/LibUsbDriver.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <tuple>

#include "transport/usb/LibUsbHost.h"

namespace velk {

namespace {

constexpr uint8_t kInterface = 0;
constexpr uint8_t kDeviceDescriptorType = 1;
constexpr uint8_t kStringDescriptorType = 3;
constexpr int kDeviceDescriptorLength = 18;
constexpr int kMaxDescriptorLength = 255;
constexpr uint16_t kEnglishUs = 0x0409;
constexpr size_t kPipeCount = (kPipeInfoSize - kPipeInfoHeader) / kPipeRecordSize;
// The card answers a command at once; a transfer that hangs longer means it is not answering,
// and the user interface thread must not wait for it forever.
constexpr unsigned kBulkTimeoutMs = 1000;

constexpr const char* kDeviceNamePrefix = "Ezusb-";

// "Ezusb-<n>" -> n; -1 for any other name.
int CardIndex(const std::string& name) {
  const size_t prefix = std::strlen(kDeviceNamePrefix);
  if (name.size() <= prefix || name.size() > prefix + 2 ||
      name.compare(0, prefix, kDeviceNamePrefix) != 0)
    return -1;
  int index = 0;
  for (size_t i = prefix; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    index = index * 10 + (name[i] - '0');
  }
  return index;
}

bool BusOrder(const UsbDeviceEntry& a, const UsbDeviceEntry& b) {
  return std::tie(a.bus, a.ports, a.address) < std::tie(b.bus, b.ports, b.address);
}

uint32_t CopyOut(const uint8_t* from, int length, uint8_t* out, uint32_t capacity) {
  uint32_t n = std::min(static_cast<uint32_t>(std::max(length, 0)), capacity);
  if (n > 0) std::memcpy(out, from, n);
  return n;
}

}  // namespace

LibUsbDriver::LibUsbDriver() : LibUsbDriver(std::make_unique<LibUsbHost>()) {}

LibUsbDriver::LibUsbDriver(std::unique_ptr<UsbHost> host) : host_(std::move(host)) {}

LibUsbDriver::~LibUsbDriver() {
  for (auto& [handle, card] : open_) card.device->ReleaseInterface(kInterface);
}

std::vector<UsbDeviceEntry> LibUsbDriver::Cards() {
  std::vector<UsbDeviceEntry> cards;
  for (UsbDeviceEntry& entry : host_->ListDevices())
    if (entry.vendor == kCardVendorId) cards.push_back(std::move(entry));
  std::sort(cards.begin(), cards.end(), BusOrder);
  return cards;
}

std::string LibUsbDriver::Place(const std::string& deviceName) {
  const std::vector<UsbDeviceEntry> cards = Cards();
  const int index = CardIndex(deviceName);
  if (index < 0 || static_cast<size_t>(index) >= cards.size()) return {};
  const UsbDeviceEntry& card = cards[static_cast<size_t>(index)];
  std::string place = std::to_string(card.bus);
  for (size_t i = 0; i < card.ports.size(); ++i) {
    // Appended apart: g++ 12 at -O3 warns falsely on a literal joined to a temporary.
    place += i == 0 ? '-' : '.';
    place += std::to_string(card.ports[i]);
  }
  return place;
}

UsbArrival LibUsbDriver::AwaitArrival(double seconds) {
  return host_->AwaitArrival(kCardVendorId, seconds);
}

int32_t LibUsbDriver::Open(const std::string& deviceName) {
  const std::vector<UsbDeviceEntry> cards = Cards();

  const int index = CardIndex(deviceName);
  if (index < 0 || static_cast<size_t>(index) >= cards.size()) {
    if (cards.empty()) advice_.clear();
    lastError_ = ENODEV;
    return 0;
  }

  UsbStatus status = UsbStatus::Failed;
  std::unique_ptr<UsbDevice> device = host_->Open(cards[index], status);
  if (!device) return Refuse(status);
  // A failed detach shows up as a refused claim just below.
  if (device->KernelDriverActive(kInterface)) device->DetachKernelDriver(kInterface);
  status = device->ClaimInterface(kInterface);
  if (status != UsbStatus::Ok) return Refuse(status);

  OpenCard card;
  card.device = std::move(device);
  // Without the table every pipe request fails, which is all the callers need to know.
  card.device->InterfaceEndpoints(kInterface, card.endpoints);

  while (open_.count(nextHandle_)) nextHandle_ = nextHandle_ == INT32_MAX ? 1 : nextHandle_ + 1;
  const int32_t handle = nextHandle_;
  nextHandle_ = nextHandle_ == INT32_MAX ? 1 : nextHandle_ + 1;
  open_.emplace(handle, std::move(card));
  lastError_ = 0;
  advice_.clear();
  return handle;
}

int32_t LibUsbDriver::Refuse(UsbStatus status) {
  switch (status) {
    case UsbStatus::AccessDenied:
      lastError_ = EACCES;
      advice_ =
          "A USB SPI card was found but access to it was denied: install the udev rule "
          "60-velk47120.rules into /etc/udev/rules.d (it is installed with the program under "
          "lib/udev/rules.d), then run: sudo udevadm control --reload-rules && sudo udevadm "
          "trigger, and plug the card in again.";
      break;
    case UsbStatus::Busy:
      lastError_ = EBUSY;
      advice_ =
          "A USB SPI card was found but another program is using it: close that program and "
          "try again.";
      break;
    case UsbStatus::NoDevice:
      // Unplugged between the listing and the open: nothing the user has to do.
      lastError_ = ENODEV;
      advice_.clear();
      break;
    default:
      lastError_ = EIO;
      advice_ = "A USB SPI card was found but could not be opened: plug it in again.";
      break;
  }
  return 0;
}

LibUsbDriver::OpenCard* LibUsbDriver::Find(int32_t handle) {
  auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

int32_t LibUsbDriver::DeviceIoControl(int32_t handle, uint32_t code, const uint8_t* in,
                                      uint32_t inLength, uint8_t* out, uint32_t outCapacity,
                                      uint32_t& bytesReturned) {
  bytesReturned = 0;
  OpenCard* card = Find(handle);
  if (!card || (!out && outCapacity > 0)) return 0;

  switch (code) {
    case kIoctlGetDeviceDescriptor: {
      std::array<uint8_t, kDeviceDescriptorLength> descriptor{};
      int length = 0;
      if (card->device->ReadDescriptor(kDeviceDescriptorType, 0, 0, descriptor.data(),
                                       kDeviceDescriptorLength, length) != UsbStatus::Ok)
        return 0;
      bytesReturned = CopyOut(descriptor.data(), length, out, outCapacity);
      return 1;
    }
    case kIoctlGetStringDescriptor:
      if (!in || inLength < 1) return 0;
      return ReadString(*card, in[0], out, outCapacity, bytesReturned) ? 1 : 0;
    case kIoctlGetPipeInfo: {
      if (card->endpoints.empty()) return 0;
      std::array<uint8_t, kPipeInfoSize> block{};
      for (size_t p = 0; p < std::min(card->endpoints.size(), kPipeCount); ++p) {
        const uint16_t size = card->endpoints[p].maxPacketSize;
        block[kPipeInfoHeader + kPipeRecordSize * p] = static_cast<uint8_t>(size & 0xFF);
        block[kPipeInfoHeader + kPipeRecordSize * p + 1] = static_cast<uint8_t>(size >> 8);
      }
      bytesReturned = CopyOut(block.data(), kPipeInfoSize, out, outCapacity);
      return 1;
    }
    case kIoctlBulkTransfer: {
      if (!in || inLength < 4) return 0;
      const uint32_t pipe = in[0] | (in[1] << 8) | (in[2] << 16) | (uint32_t{in[3]} << 24);
      return Transfer(*card, pipe, out, outCapacity, bytesReturned) ? 1 : 0;
    }
    default:
      return 0;
  }
}

bool LibUsbDriver::ReadString(OpenCard& card, uint8_t index, uint8_t* out, uint32_t capacity,
                              uint32_t& bytesReturned) {
  std::array<uint8_t, kMaxDescriptorLength> descriptor{};
  int length = 0;
  uint16_t language = 0;
  if (index != 0) {
    // Strings come in the device's first language; descriptor 0 lists them.
    if (card.language == 0) {
      card.language = kEnglishUs;
      if (card.device->ReadDescriptor(kStringDescriptorType, 0, 0, descriptor.data(),
                                      kMaxDescriptorLength, length) == UsbStatus::Ok &&
          length >= 4) {
        const uint16_t first = descriptor[2] | (descriptor[3] << 8);
        if (first != 0) card.language = first;
      }
    }
    language = card.language;
  }
  if (card.device->ReadDescriptor(kStringDescriptorType, index, language, descriptor.data(),
                                  kMaxDescriptorLength, length) != UsbStatus::Ok)
    return false;
  bytesReturned = CopyOut(descriptor.data(), length, out, capacity);
  return true;
}

bool LibUsbDriver::Transfer(OpenCard& card, uint32_t pipe, uint8_t* out, uint32_t capacity,
                            uint32_t& bytesReturned) {
  if (pipe >= card.endpoints.size()) return false;
  const int length = static_cast<int>(std::min<uint32_t>(capacity, INT32_MAX));
  int transferred = 0;
  const UsbStatus status = card.device->BulkTransfer(card.endpoints[pipe].address, out, length,
                                                     kBulkTimeoutMs, transferred);
  bytesReturned = static_cast<uint32_t>(std::clamp(transferred, 0, length));
  return status == UsbStatus::Ok;
}

void LibUsbDriver::Close(int32_t handle) {
  auto it = open_.find(handle);
  if (it == open_.end()) return;
  // Unplugged cards refuse the release; closing still frees the handle.
  it->second.device->ReleaseInterface(kInterface);
  open_.erase(it);
}

}  // namespace velk
