#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace velk::test {

class IoctlDevice;

// A umockdev sandbox of /sys, /dev and the /proc files the backends read. The process runs
// under umockdev's preload (see KernelMain.cpp), so libusb, libudev and plain open/ioctl see
// only what is added here. Its folder is removed when it goes.
class Testbed {
 public:
  Testbed();
  ~Testbed();
  Testbed(const Testbed&) = delete;
  Testbed& operator=(const Testbed&) = delete;

  std::filesystem::path Root() const { return root_; }

  // A USB device on a port of a bus's root hub, at an address, with the sysfs attributes
  // libusb and libudev read and its /dev/bus/usb/BBB/DDD node, whose ioctls go to `device`.
  // `descriptors` is the device descriptor followed by the configuration descriptor.
  // Returns the node's path.
  std::string AddUsbDevice(int bus, int port, int address, uint16_t vendor, uint16_t product,
                           const std::vector<uint8_t>& descriptors, IoctlDevice& device);
  // /dev/parportN, whose ioctls go to `device`, and the port's base address in /proc.
  std::string AddParport(int number, uint16_t base, IoctlDevice& device);

  // The file that stands for `path` (such as a /dev node) inside the sandbox.
  std::filesystem::path InSandbox(const std::string& path) const;

 private:
  void Attach(const std::string& node, IoctlDevice& device);

  UMockdevTestbed* bed_;
  std::filesystem::path root_;
};

}  // namespace velk::test
