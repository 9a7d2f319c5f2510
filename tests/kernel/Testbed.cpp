#include "kernel/Testbed.h"

#include <umockdev.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "kernel/IoctlDevice.h"

namespace velk::test {

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char two[3];
  for (uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02x", b);
    text += two;
  }
  return text;
}

std::string HexWord(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

std::string Printf(const char* format, int a, int b) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

Testbed::Testbed() : bed_(umockdev_testbed_new()) {
  gchar* root = umockdev_testbed_get_root_dir(bed_);
  root_ = root;
  g_free(root);
}

Testbed::~Testbed() {
  // The testbed removes its folder and unsets UMOCKDEV_DIR as it goes.
  g_object_unref(bed_);
}

std::filesystem::path Testbed::InSandbox(const std::string& path) const {
  return root_ / std::filesystem::path(path).relative_path();
}

void Testbed::Attach(const std::string& node, IoctlDevice& device) {
  GError* error = nullptr;
  if (!umockdev_testbed_attach_ioctl(bed_, node.c_str(), device.Handler(), &error)) {
    const std::string text = error != nullptr ? error->message : "unknown";
    g_clear_error(&error);
    throw std::runtime_error("cannot attach an ioctl handler to " + node + ": " + text);
  }
}

std::string Testbed::AddUsbDevice(int bus, int port, int address, uint16_t vendor, uint16_t product,
                                  const std::vector<uint8_t>& descriptors, IoctlDevice& device) {
  const std::string node = Printf("/dev/bus/usb/%03d/%03d", bus, address);
  // The handler first, so the node answers from the moment it appears.
  Attach(node, device);
  const std::string sysname = Printf("%d-%d", bus, port);
  const std::string record =
      "P: /devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus) + "/" + sysname + "\n" +
      "N: " + node.substr(5) + "\n" +
      "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
      "E: DEVNAME=" +
      node + "\n" + Printf("E: BUSNUM=%03d\nE: DEVNUM=%03d\n", bus, address) +
      Printf("A: busnum=%d\\n\nA: devnum=%d\\n\n", bus, address) +
      "A: idVendor=" + HexWord(vendor) + "\\n\nA: idProduct=" + HexWord(product) + "\\n\n" +
      "A: speed=480\\n\nA: bConfigurationValue=1\\n\nA: bNumConfigurations=1\\n\n" +
      Printf("A: dev=189:%d\\n\n", (bus - 1) * 128 + address - 1, 0) +
      "H: descriptors=" + Hex(descriptors) + "\n";
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(bed_, record.c_str(), &error)) {
    const std::string text = error != nullptr ? error->message : "unknown";
    g_clear_error(&error);
    throw std::runtime_error("cannot add " + node + ": " + text);
  }
  return node;
}

std::string Testbed::AddParport(int number, uint16_t base, IoctlDevice& device) {
  const std::string name = "parport" + std::to_string(number);
  const std::string node = "/dev/" + name;
  Attach(node, device);
  const std::string record = "P: /devices/platform/parport_pc.956/ppdev/" + name + "\n" +
                             "N: " + name + "\nE: SUBSYSTEM=ppdev\nE: DEVNAME=" + node + "\n" +
                             Printf("A: dev=99:%d\\n\n", number, 0);
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(bed_, record.c_str(), &error)) {
    const std::string text = error != nullptr ? error->message : "unknown";
    g_clear_error(&error);
    throw std::runtime_error("cannot add " + node + ": " + text);
  }
  // The kernel lists the base and the extended-mode base; the preload serves /proc files
  // that exist in the sandbox.
  const std::filesystem::path proc = InSandbox("/proc/sys/dev/parport/" + name);
  std::filesystem::create_directories(proc);
  std::ofstream(proc / "base-addr") << base << "\t" << base + 0x400 << "\n";
  return node;
}

}  // namespace velk::test
