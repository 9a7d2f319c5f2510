#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace velk::test {

struct IoctlDataUnref {
  void operator()(UMockdevIoctlData* data) const;
};
using IoctlDataPtr = std::unique_ptr<UMockdevIoctlData, IoctlDataUnref>;

// The kernel side of one emulated device node: umockdev hands each ioctl made on the node to
// Handle(), on its own worker thread while the caller waits. Subclasses answer from a
// simulated device. Every request is counted.
class IoctlDevice {
 public:
  IoctlDevice();
  virtual ~IoctlDevice();
  IoctlDevice(const IoctlDevice&) = delete;
  IoctlDevice& operator=(const IoctlDevice&) = delete;

  UMockdevIoctlBase* Handler() const { return handler_; }

  // Requests seen so far, by request code; and those no case answered.
  std::map<unsigned long, int> Counts() const;
  int Total() const;
  std::vector<unsigned long> Unanswered() const;
  void ResetCounts();

 protected:
  // Answers through Complete(); false leaves the request unanswered (ENOTTY).
  virtual bool Handle(UMockdevIoctlClient* client, unsigned long request,
                      UMockdevIoctlData* arg) = 0;

  static void Complete(UMockdevIoctlClient* client, long result, int error);
  // The `size` bytes the argument points to, copied in; written back when the call completes.
  static IoctlDataPtr Resolve(UMockdevIoctlData* arg, size_t offset, size_t size);

  // Held while Handle() runs: tests change a device's state only under it.
  mutable std::mutex mutex_;

 private:
  static int Dispatch(UMockdevIoctlBase* base, UMockdevIoctlClient* client, void* self);

  UMockdevIoctlBase* handler_;
  std::map<unsigned long, int> counts_;
  std::vector<unsigned long> unanswered_;
};

}  // namespace velk::test
