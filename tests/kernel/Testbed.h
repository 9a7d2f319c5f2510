#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "kernel/IoctlDevice.h"

namespace velk::test {

// A umockdev sandbox of /sys, /dev and the /proc files the backends read. The process runs
// under umockdev's preload (see KernelMain.cpp), so libusb, libudev and plain open/ioctl see
// only what is added here. Its folder is removed when it goes, and UMOCKDEV_DIR unset.
class Testbed {
 public:
  Testbed() : bed_(umockdev_testbed_new()) {
    gchar* root = umockdev_testbed_get_root_dir(bed_);
    root_ = root;
    g_free(root);
  }
  ~Testbed() { g_object_unref(bed_); }
  Testbed(const Testbed&) = delete;
  Testbed& operator=(const Testbed&) = delete;

  std::filesystem::path Root() const { return root_; }
  // The file that stands for `path` (such as a /dev node) inside the sandbox.
  std::filesystem::path InSandbox(const std::string& path) const {
    return root_ / std::filesystem::path(path).relative_path();
  }

  // A USB device on a port of a bus's root hub, at an address, with the sysfs attributes
  // libusb and libudev read and its /dev/bus/usb/BBB/DDD node, whose ioctls go to `device`.
  // `descriptors` is the device descriptor followed by the configuration descriptor.
  void AddUsbDevice(int bus, int port, int address, const std::vector<uint8_t>& descriptors,
                    IoctlDevice& device) {
    Add(UsbNode(bus, address), UsbRecord(bus, port, address, descriptors), device);
  }

  // Unplugged: the "remove" uevent that libudev's monitors (libusb's among them) hear, then
  // the sysfs directory and the /dev node go. The node's ioctl handler stays attached.
  void UnplugUsbDevice(int bus, int port) {
    const std::string path = UsbSysPath(bus, port);
    umockdev_testbed_uevent(bed_, path.c_str(), "remove");
    umockdev_testbed_remove_device(bed_, path.c_str());
  }

  // Plugged in again where it was, announced by an "add" uevent.
  void ReplugUsbDevice(int bus, int port, int address, const std::vector<uint8_t>& descriptors) {
    AddRecord(UsbNode(bus, address), UsbRecord(bus, port, address, descriptors));
    umockdev_testbed_uevent(bed_, UsbSysPath(bus, port).c_str(), "add");
  }

  // /dev/parportN, whose ioctls go to `device`, and the port's base address in /proc.
  void AddParport(int number, uint16_t base, IoctlDevice& device) {
    Add(Printf("/dev/parport%d", number),
        Printf("P: /devices/platform/parport_pc.956/ppdev/parport%d\nN: parport%d\n"
               "E: SUBSYSTEM=ppdev\nE: DEVNAME=/dev/parport%d\nA: dev=99:%d\\n\n",
               number, number, number, number),
        device);
    // The kernel lists the base and the extended-mode base; the preload serves /proc files
    // that exist in the sandbox.
    const auto proc = InSandbox(Printf("/proc/sys/dev/parport/parport%d", number));
    std::filesystem::create_directories(proc);
    std::ofstream(proc / "base-addr") << base << "\t" << base + 0x400 << "\n";
  }

 private:
  template <typename... Args>
  static std::string Printf(const char* format, Args... args) {
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
  }

  static std::string UsbNode(int bus, int address) {
    return Printf("/dev/bus/usb/%03d/%03d", bus, address);
  }
  static std::string UsbSysPath(int bus, int port) {
    return Printf("/sys/devices/pci0000:00/0000:00:14.0/usb%d/%d-%d", bus, bus, port);
  }
  static std::string UsbRecord(int bus, int port, int address,
                               const std::vector<uint8_t>& descriptors) {
    const std::string node = UsbNode(bus, address);
    std::string record =
        "P: " + UsbSysPath(bus, port).substr(4) + "\nN: " + node.substr(5) + "\n" +
        "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: DEVNAME=" + node + "\n" +
        Printf("E: BUSNUM=%03d\nE: DEVNUM=%03d\nA: busnum=%d\\n\nA: devnum=%d\\n\n", bus, address,
               bus, address) +
        Printf("A: idVendor=%02x%02x\\n\nA: idProduct=%02x%02x\\n\n", descriptors[9],
               descriptors[8], descriptors[11], descriptors[10]) +
        "A: speed=480\\n\nA: bConfigurationValue=1\\n\nA: bNumConfigurations=1\\n\n" +
        Printf("A: dev=189:%d\\n\nH: descriptors=", (bus - 1) * 128 + address - 1);
    for (uint8_t b : descriptors) record += Printf("%02x", b);
    return record + "\n";
  }

  // The node's ioctls go to `device` from the moment the node appears.
  void Add(const std::string& node, const std::string& record, IoctlDevice& device) {
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(bed_, node.c_str(), device.Handler(), &error))
      Fail(node, error);
    AddRecord(node, record);
  }
  void AddRecord(const std::string& node, const std::string& record) {
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed_, record.c_str(), &error)) Fail(node, error);
  }
  [[noreturn]] static void Fail(const std::string& node, GError*& error) {
    const std::string text = error != nullptr ? error->message : "unknown";
    g_clear_error(&error);
    throw std::runtime_error("cannot add " + node + ": " + text);
  }

  UMockdevTestbed* bed_;
  std::filesystem::path root_;
};

}  // namespace velk::test
