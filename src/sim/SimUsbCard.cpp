#include "sim/SimUsbCard.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velk {

namespace {

constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorInvalidHandle = 6;

constexpr int kMaxWords = 16;
constexpr size_t kDeviceDescriptorLength = 18;
constexpr uint16_t kOtherProductId = 0x1234;
constexpr uint16_t kOtherVendorId = 0x04B4;

// "Ezusb-0".."Ezusb-3" -> 0..3, anything else -> -1.
int SlotIndex(const std::string& name) {
  static constexpr char kPrefix[] = "Ezusb-";
  constexpr size_t kPrefixLength = sizeof(kPrefix) - 1;
  if (name.size() != kPrefixLength + 1 || name.compare(0, kPrefixLength, kPrefix) != 0) return -1;
  const char digit = name[kPrefixLength];
  return digit >= '0' && digit <= '3' ? digit - '0' : -1;
}

void PutLittleEndian(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  at[1] = static_cast<uint8_t>(value >> 8);
}

uint32_t CopyOut(const uint8_t* from, size_t length, uint8_t* out, uint32_t capacity) {
  const auto n = static_cast<uint32_t>(std::min<size_t>(length, capacity));
  if (n > 0) std::memcpy(out, from, n);
  return n;
}

}  // namespace

SimUsbCard::SimUsbCard(SimSensor* sensor, const Clock* clock) : sensor_(sensor) {
  slots_[0].present = sensor != nullptr;
  open_.reserve(16);
  answer_.reserve(2 * kMaxWords);
  if (clock == nullptr) return;
  const char* unplug = std::getenv("VELK47120_SIM_USB_UNPLUG");
  const auto window = ParseUnplugWindow(unplug != nullptr ? unplug : "");
  if (!window) std::fprintf(stderr, "%s\n", window.error().c_str());
  if (window && window->has_value()) UnplugDuring(*clock, **window);
}

void SimUsbCard::UnplugDuring(const Clock& clock, const UnplugWindow& window) {
  const double now = clock.Seconds();
  unplugClock_ = &clock;
  awayFrom_ = now + window.goneAt;
  awayUntil_.reset();
  if (window.backAt) awayUntil_ = now + *window.backAt;
}

bool SimUsbCard::Away() const {
  if (unplugged_) return true;
  if (unplugClock_ == nullptr) return false;
  const double now = unplugClock_->Seconds();
  return now >= awayFrom_ && (!awayUntil_ || now < *awayUntil_);
}

void SimUsbCard::FailBulkTransfer(int pipe, int nth) {
  failPipe_ = pipe;
  failCountdown_ = nth;
}

std::string SimUsbCard::Place(const std::string& deviceName) {
  const int slot = SlotIndex(deviceName);
  if (slot < 0 || !slots_[static_cast<size_t>(slot)].present || Away()) return {};
  return slots_[static_cast<size_t>(slot)].place;
}

int32_t SimUsbCard::Open(const std::string& deviceName) {
  const int slot = SlotIndex(deviceName);
  if (slot < 0 || !slots_[static_cast<size_t>(slot)].present || Away()) {
    lastError_ = kErrorFileNotFound;
    return 0;
  }
  if (failOpen_) {
    lastError_ = kErrorGenFailure;
    return 0;
  }
  const int32_t handle = nextHandle_++;
  open_.push_back({handle, slot});
  openHandles_ = static_cast<int>(open_.size());
  return handle;
}

void SimUsbCard::Close(int32_t handle) {
  auto it = std::find_if(open_.begin(), open_.end(),
                         [handle](const OpenDevice& d) { return d.handle == handle; });
  if (it == open_.end()) return;
  open_.erase(it);
  openHandles_ = static_cast<int>(open_.size());
}

int SimUsbCard::SlotOf(int32_t handle) const {
  for (const OpenDevice& d : open_)
    if (d.handle == handle) return d.slot;
  return -1;
}

int32_t SimUsbCard::DeviceIoControl(int32_t handle, uint32_t code, const uint8_t* in,
                                    uint32_t inLength, uint8_t* out, uint32_t outCapacity,
                                    uint32_t& bytesReturned) {
  bytesReturned = 0;
  if (out == nullptr) outCapacity = 0;
  if (in == nullptr) inLength = 0;
  if (record_) {
    Request r{code, std::vector<uint8_t>(in, in + inLength), outCapacity, {}};
    if (code == kIoctlBulkTransfer && inLength >= 4 && in[0] == 0 && in[1] == 0 && in[2] == 0 &&
        in[3] == 0)
      r.outSent.assign(out, out + outCapacity);
    requests.push_back(std::move(r));
  }

  const int slotIndex = SlotOf(handle);
  if (slotIndex < 0 || Away()) {
    lastError_ = kErrorInvalidHandle;
    return 0;
  }
  const Slot& slot = slots_[static_cast<size_t>(slotIndex)];

  bool ok = false;
  switch (code) {
    case kIoctlGetDeviceDescriptor: {
      uint16_t vendor = kCardVendorId;
      uint16_t product = kFifo4ProductId;
      if (slot.kind == Kind::Mcp) product = kMcpProductId;
      if (slot.kind == Kind::OtherProduct) product = kOtherProductId;
      if (slot.kind == Kind::OtherVendor) vendor = kOtherVendorId;
      uint8_t d[kDeviceDescriptorLength] = {
          kDeviceDescriptorLength,
          1,                                                   // length, type: device
          static_cast<uint8_t>(slot.highSpeed ? 0x00 : 0x10),  // USB 2.0 or 1.1
          static_cast<uint8_t>(slot.highSpeed ? 0x02 : 0x01),
          0xFF,
          0xFF,
          0xFF,
          64,  // vendor-specific class, control packet size
          0,
          0,
          0,
          0,  // vendor, product (below)
          slot.firmwareMinor,
          slot.firmwareMajor,  // device release
          1,
          2,
          0,
          1};  // manufacturer and product strings, no serial, one configuration
      PutLittleEndian(d + 8, vendor);
      PutLittleEndian(d + 10, product);
      bytesReturned = CopyOut(d, sizeof d, out, outCapacity);
      ok = true;
      break;
    }
    case kIoctlGetStringDescriptor: {
      if (inLength < 1 || slot.failStringDescriptor || (in[0] != 1 && in[0] != 2)) break;
      const std::string& text = in[0] == 1 ? slot.descriptor1 : slot.descriptor2;
      // A descriptor's length is one byte: at most 126 characters fit.
      const size_t chars = std::min<size_t>(text.size(), 126);
      uint8_t d[2 + 2 * 126] = {};
      d[0] = static_cast<uint8_t>(2 + 2 * chars);
      d[1] = 3;
      for (size_t i = 0; i < chars; ++i) d[2 + 2 * i] = static_cast<uint8_t>(text[i]);
      bytesReturned = CopyOut(d, d[0], out, outCapacity);
      ok = true;
      break;
    }
    case kIoctlGetPipeInfo: {
      uint8_t block[kPipeInfoSize] = {};
      const uint16_t sizes[4] = {64, 64, 64, static_cast<uint16_t>(slot.highSpeed ? 512 : 64)};
      for (uint32_t p = 0; p < 4; ++p)
        PutLittleEndian(block + kPipeInfoHeader + kPipeRecordSize * p, sizes[p]);
      bytesReturned = CopyOut(block, sizeof block, out, outCapacity);
      ok = true;
      break;
    }
    case kIoctlBulkTransfer:
      ok = BulkTransfer(slotIndex, in, inLength, out, outCapacity, bytesReturned);
      break;
    default:
      break;
  }
  if (!ok) {
    bytesReturned = 0;
    lastError_ = kErrorGenFailure;
  }
  return ok ? 1 : 0;
}

bool SimUsbCard::BulkTransfer(int slot, const uint8_t* in, uint32_t inLength, uint8_t* out,
                              uint32_t outCapacity, uint32_t& bytesReturned) {
  if (inLength < 4) return false;
  const uint32_t pipe = in[0] | in[1] << 8 | in[2] << 16 | static_cast<uint32_t>(in[3]) << 24;
  if (pipe > 1) return false;

  if (failPipe_ == static_cast<int>(pipe) && --failCountdown_ <= 0) {
    failPipe_ = -1;
    return false;
  }

  if (pipe == 0) {
    if (!RunCommand(slot, out, outCapacity)) return false;
    bytesReturned = outCapacity;
    return true;
  }
  if (cutAnswer_ && answer_.size() > *cutAnswer_) answer_.resize(*cutAnswer_);
  cutAnswer_.reset();
  // A short read leaves the rest of the answer for the next one.
  bytesReturned = CopyOut(answer_.data(), answer_.size(), out, outCapacity);
  answer_.erase(answer_.begin(), answer_.begin() + bytesReturned);
  return true;
}

bool SimUsbCard::RunCommand(int slot, const uint8_t* bytes, uint32_t length) {
  if (length < 1) return false;
  const Slot& card = slots_[static_cast<size_t>(slot)];
  switch (bytes[0]) {
    case 0:
      answer_.assign({card.firmwareMajor, card.firmwareMinor});
      return true;
    case 1:
      answer_.assign({wordDelay_, staticBits_});
      return true;
    case 11:
      if (length < 2) return false;
      wordDelay_ = bytes[1];
      answer_.clear();
      return true;
    case 12:
      if (length < 2) return false;
      staticBits_ = bytes[1];
      answer_.clear();
      return true;
    case 13:
    case 14:
      return TransferWords(bytes, length, bytes[0] == 14);
    default:
      return false;
  }
}

bool SimUsbCard::TransferWords(const uint8_t* bytes, uint32_t length, bool invert) {
  if (length < 3) return false;
  const uint8_t channel = bytes[1];
  const int n = bytes[2];
  if (n > kMaxWords || length < static_cast<uint32_t>(3 + 2 * n)) return false;

  answer_.resize(static_cast<size_t>(2 * n));
  for (int i = 0; i < n; ++i) {
    const auto word = static_cast<uint16_t>(bytes[3 + 2 * i] << 8 | bytes[4 + 2 * i]);
    // Only channel 1 has a chip on it; an empty bus reads all ones.
    uint16_t answer = channel == 1 && sensor_ != nullptr ? sensor_->Transfer(word) : 0xFFFF;
    if (invert) answer ^= 0xFFFF;
    answer_[static_cast<size_t>(2 * i)] = static_cast<uint8_t>(answer >> 8);
    answer_[static_cast<size_t>(2 * i + 1)] = static_cast<uint8_t>(answer & 0xFF);
  }
  return true;
}

}  // namespace velk
