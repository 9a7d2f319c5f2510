#pragma once

#include <asm/ioctl.h>
#include <umockdev.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <vector>

namespace velk::test {

struct IoctlDataUnref {
  void operator()(UMockdevIoctlData* data) const { g_object_unref(data); }
};
using IoctlDataPtr = std::unique_ptr<UMockdevIoctlData, IoctlDataUnref>;

enum class Fault {
  None,
  Gone,          // unplugged: every call fails with ENODEV
  BusyClaim,     // another program holds the device: the claim fails with EBUSY
  ShortAnswer,   // a USB card's answers arrive cut to half their length
  SilentAnswer,  // a USB card's answers never arrive (until the caller gives up)
};

// The kernel side of one emulated device node: umockdev hands each ioctl made on the node to
// Handle(), on its own worker thread while the caller waits. Every request is counted.
class IoctlDevice {
 public:
  IoctlDevice() : handler_(umockdev_ioctl_base_new()) {
    g_signal_connect_after(handler_, "handle-ioctl", G_CALLBACK(&IoctlDevice::Dispatch), this);
  }
  virtual ~IoctlDevice() {
    g_signal_handlers_disconnect_by_data(handler_, this);
    g_object_unref(handler_);
  }
  IoctlDevice(const IoctlDevice&) = delete;
  IoctlDevice& operator=(const IoctlDevice&) = delete;

  UMockdevIoctlBase* Handler() const { return handler_; }

  // Requests since the last reset; and every request the device did not know.
  int Total() const {
    std::lock_guard lock(mutex_);
    return total_;
  }
  std::vector<unsigned long> Unanswered() const {
    std::lock_guard lock(mutex_);
    return unanswered_;
  }
  void ResetCounts() {
    std::lock_guard lock(mutex_);
    total_ = 0;
  }

  std::atomic<Fault> fault{Fault::None};
  std::atomic<bool> claimed{false};

 protected:
  // Returns 0 or the errno the call fails with (ENOTTY: not a request of this device).
  // `data` holds the bytes the argument points to, as many as the request code gives; they
  // are written back when the call completes. Runs under `mutex_`.
  virtual int Handle(unsigned long request, UMockdevIoctlData* arg, IoctlDataPtr& data) = 0;

  static IoctlDataPtr Resolve(UMockdevIoctlData* arg, size_t offset, size_t size) {
    return IoctlDataPtr(umockdev_ioctl_data_resolve(arg, offset, size, nullptr));
  }

  mutable std::mutex mutex_;

 private:
  static int Dispatch(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    auto& device = *static_cast<IoctlDevice*>(self);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard lock(device.mutex_);
    ++device.total_;
    int error = ENODEV;
    if (device.fault != Fault::Gone) {
      IoctlDataPtr data;
      if (_IOC_SIZE(request) > 0) data = Resolve(arg, 0, _IOC_SIZE(request));
      error = device.Handle(request, arg, data);
    }
    if (error == ENOTTY) device.unanswered_.push_back(request);
    umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
    return TRUE;
  }

  UMockdevIoctlBase* handler_;
  int total_ = 0;
  std::vector<unsigned long> unanswered_;
};

}  // namespace velk::test
