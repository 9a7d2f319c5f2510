#include "kernel/IoctlDevice.h"

#include <umockdev.h>

#include <cerrno>
#include <numeric>

namespace velk::test {

IoctlDevice::IoctlDevice() : handler_(umockdev_ioctl_base_new()) {
  g_signal_connect_after(handler_, "handle-ioctl", G_CALLBACK(&IoctlDevice::Dispatch), this);
}

IoctlDevice::~IoctlDevice() {
  g_signal_handlers_disconnect_by_data(handler_, this);
  g_object_unref(handler_);
}

int IoctlDevice::Dispatch(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
  auto& device = *static_cast<IoctlDevice*>(self);
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  std::lock_guard lock(device.mutex_);
  ++device.counts_[request];
  if (device.Handle(client, request, umockdev_ioctl_client_get_arg(client))) return TRUE;
  device.unanswered_.push_back(request);
  umockdev_ioctl_client_complete(client, -1, ENOTTY);
  return TRUE;
}

void IoctlDevice::Complete(UMockdevIoctlClient* client, long result, int error) {
  umockdev_ioctl_client_complete(client, result, error);
}

void IoctlDataUnref::operator()(UMockdevIoctlData* data) const {
  g_object_unref(data);
}

IoctlDataPtr IoctlDevice::Resolve(UMockdevIoctlData* arg, size_t offset, size_t size) {
  return IoctlDataPtr(umockdev_ioctl_data_resolve(arg, offset, size, nullptr));
}

std::map<unsigned long, int> IoctlDevice::Counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

int IoctlDevice::Total() const {
  std::lock_guard lock(mutex_);
  return std::accumulate(counts_.begin(), counts_.end(), 0,
                         [](int sum, const auto& entry) { return sum + entry.second; });
}

std::vector<unsigned long> IoctlDevice::Unanswered() const {
  std::lock_guard lock(mutex_);
  return unanswered_;
}

void IoctlDevice::ResetCounts() {
  std::lock_guard lock(mutex_);
  counts_.clear();
}

}  // namespace velk::test
