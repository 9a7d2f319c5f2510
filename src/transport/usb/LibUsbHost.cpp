#include "transport/usb/LibUsbHost.h"

#include <libusb.h>
#include <sys/time.h>

#include <algorithm>
#include <chrono>

namespace velk {

namespace {

UsbStatus ToStatus(int code) {
  switch (code) {
    case LIBUSB_SUCCESS:
      return UsbStatus::Ok;
    case LIBUSB_ERROR_ACCESS:
      return UsbStatus::AccessDenied;
    case LIBUSB_ERROR_NO_DEVICE:
      return UsbStatus::NoDevice;
    case LIBUSB_ERROR_NOT_FOUND:
      return UsbStatus::NotFound;
    case LIBUSB_ERROR_BUSY:
      return UsbStatus::Busy;
    case LIBUSB_ERROR_TIMEOUT:
      return UsbStatus::Timeout;
    default:
      return UsbStatus::Failed;
  }
}

// Descriptors are small and their requests answer at once; a device that does not is broken.
constexpr unsigned kControlTimeoutMs = 1000;

// The device list, freed (and its devices unreferenced) on every way out.
class DeviceList {
 public:
  explicit DeviceList(libusb_context* context) {
    ssize_t n = libusb_get_device_list(context, &list_);
    count_ = n > 0 ? n : 0;
  }
  ~DeviceList() {
    if (list_) libusb_free_device_list(list_, 1);
  }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;
  libusb_device* const* begin() const { return list_; }
  libusb_device* const* end() const { return list_ + count_; }

 private:
  libusb_device** list_ = nullptr;
  ssize_t count_ = 0;
};

class LibUsbDevice final : public UsbDevice {
 public:
  explicit LibUsbDevice(libusb_device_handle* handle) : handle_(handle) {}
  ~LibUsbDevice() override { libusb_close(handle_); }
  LibUsbDevice(const LibUsbDevice&) = delete;
  LibUsbDevice& operator=(const LibUsbDevice&) = delete;

  UsbStatus ReadDescriptor(uint8_t type, uint8_t index, uint16_t language, uint8_t* data,
                           int capacity, int& length) override {
    length = 0;
    int n = libusb_control_transfer(handle_, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                    static_cast<uint16_t>((type << 8) | index), language, data,
                                    static_cast<uint16_t>(std::clamp(capacity, 0, 0xFFFF)),
                                    kControlTimeoutMs);
    if (n < 0) return ToStatus(n);
    length = n;
    return UsbStatus::Ok;
  }

  UsbStatus InterfaceEndpoints(uint8_t interface, std::vector<UsbEndpoint>& endpoints) override {
    endpoints.clear();
    libusb_config_descriptor* config = nullptr;
    int rc = libusb_get_active_config_descriptor(libusb_get_device(handle_), &config);
    if (rc != LIBUSB_SUCCESS) return ToStatus(rc);
    UsbStatus status = UsbStatus::NotFound;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
      const libusb_interface& candidate = config->interface[i];
      if (candidate.num_altsetting < 1) continue;
      const libusb_interface_descriptor& setting = candidate.altsetting[0];
      if (setting.bInterfaceNumber != interface) continue;
      for (int e = 0; e < setting.bNumEndpoints; ++e)
        endpoints.push_back({setting.endpoint[e].bEndpointAddress,
                             static_cast<uint16_t>(setting.endpoint[e].wMaxPacketSize)});
      status = UsbStatus::Ok;
      break;
    }
    libusb_free_config_descriptor(config);
    return status;
  }

  bool KernelDriverActive(uint8_t interface) override {
    return libusb_kernel_driver_active(handle_, interface) == 1;
  }
  UsbStatus DetachKernelDriver(uint8_t interface) override {
    return ToStatus(libusb_detach_kernel_driver(handle_, interface));
  }
  UsbStatus ClaimInterface(uint8_t interface) override {
    return ToStatus(libusb_claim_interface(handle_, interface));
  }
  UsbStatus ReleaseInterface(uint8_t interface) override {
    return ToStatus(libusb_release_interface(handle_, interface));
  }

  UsbStatus BulkTransfer(uint8_t endpoint, uint8_t* data, int length, unsigned timeoutMs,
                         int& transferred) override {
    transferred = 0;
    return ToStatus(libusb_bulk_transfer(handle_, endpoint, data, length, &transferred, timeoutMs));
  }

 private:
  libusb_device_handle* handle_;
};

UsbDeviceEntry Describe(libusb_device* device) {
  UsbDeviceEntry entry;
  entry.bus = libusb_get_bus_number(device);
  entry.address = libusb_get_device_address(device);
  uint8_t ports[8];
  int depth = libusb_get_port_numbers(device, ports, sizeof ports);
  if (depth > 0) entry.ports.assign(ports, ports + depth);
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device, &descriptor) == LIBUSB_SUCCESS) {
    entry.vendor = descriptor.idVendor;
    entry.product = descriptor.idProduct;
  }
  return entry;
}

int LIBUSB_CALL OnArrival(libusb_context*, libusb_device*, libusb_hotplug_event, void* arrived) {
  *static_cast<int*>(arrived) = 1;
  return 0;  // stay registered
}

}  // namespace

LibUsbHost::~LibUsbHost() {
  if (watching_) libusb_hotplug_deregister_callback(context_, watch_);
  if (context_) libusb_exit(context_);
}

bool LibUsbHost::Start() {
  if (context_) return true;
  if (libusb_init(&context_) != LIBUSB_SUCCESS) context_ = nullptr;
  return context_ != nullptr;
}

bool LibUsbHost::Watch(uint16_t vendor) {
  if (watching_ && watchedVendor_ == vendor) return true;
  if (!Start() || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) return false;
  if (watching_) libusb_hotplug_deregister_callback(context_, watch_);
  // Arrivals only: the devices already there are not news.
  watching_ = libusb_hotplug_register_callback(context_, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED,
                                               LIBUSB_HOTPLUG_NO_FLAGS, vendor,
                                               LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                                               &OnArrival, &arrived_, &watch_) == LIBUSB_SUCCESS;
  watchedVendor_ = vendor;
  return watching_;
}

UsbArrival LibUsbHost::AwaitArrival(uint16_t vendor, double seconds) {
  using Clock = std::chrono::steady_clock;
  if (!Watch(vendor)) return UsbArrival::Unsupported;
  // A day at most keeps the deadline clear of the clock's range; NaN waits not at all.
  const double wait = seconds > 0 ? std::min(seconds, 86400.0) : 0.0;
  const Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                        std::chrono::duration<double>(wait));
  for (;;) {
    if (arrived_ != 0) {
      arrived_ = 0;
      return UsbArrival::Arrived;
    }
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        std::max(deadline - Clock::now(), Clock::duration::zero()));
    timeval timeout{static_cast<time_t>(left.count() / 1000000),
                    static_cast<suseconds_t>(left.count() % 1000000)};
    // Returns early on any event handled, so the deadline is checked again.
    const int rc = libusb_handle_events_timeout_completed(context_, &timeout, &arrived_);
    if (arrived_ != 0) continue;
    // Interrupted by a signal: back to the caller, who checks for a stop.
    if (rc == LIBUSB_ERROR_INTERRUPTED) return UsbArrival::None;
    // A broken event loop would turn the wait into a busy loop: poll instead.
    if (rc != LIBUSB_SUCCESS) return UsbArrival::Unsupported;
    if (Clock::now() >= deadline) return UsbArrival::None;
  }
}

std::vector<UsbDeviceEntry> LibUsbHost::ListDevices() {
  std::vector<UsbDeviceEntry> entries;
  if (!Start()) return entries;
  for (libusb_device* device : DeviceList(context_)) entries.push_back(Describe(device));
  return entries;
}

std::unique_ptr<UsbDevice> LibUsbHost::Open(const UsbDeviceEntry& wanted, UsbStatus& status) {
  status = UsbStatus::NoDevice;
  if (!Start()) return nullptr;
  // Bus and address name one device at a time; the ids guard against an address handed to
  // another device after an unplug.
  for (libusb_device* device : DeviceList(context_)) {
    UsbDeviceEntry entry = Describe(device);
    if (entry.bus != wanted.bus || entry.address != wanted.address ||
        entry.vendor != wanted.vendor || entry.product != wanted.product)
      continue;
    libusb_device_handle* handle = nullptr;
    int rc = libusb_open(device, &handle);
    status = ToStatus(rc);
    if (rc != LIBUSB_SUCCESS) return nullptr;
    return std::make_unique<LibUsbDevice>(handle);
  }
  return nullptr;
}

}  // namespace velk
