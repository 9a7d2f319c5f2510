#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "transport/parallel/PortIo.h"
#include "transport/parallel/PortOs.h"

namespace velk {

// The number N of the ppdev device /dev/parportN whose port has base as its base address, read
// from /proc/sys/dev/parport/parportN/base-addr; nothing when no port lists it.
std::optional<int> FindParport(PortOs& os, uint16_t base);

// A real parallel port. Access is taken through the ppdev device of the port when the kernel
// knows it (claimed until destruction or until another base is asked for), otherwise by ioperm
// on base..base+2 with outb/inb. Ports outside that range, and every port before access is
// granted, are never touched: writes are dropped and reads show all lines high.
class LinuxPortIo final : public PortIo {
 public:
  enum class Mode { None, Ppdev, Direct };

  explicit LinuxPortIo(PortOs& os) : os_(os) {}
  ~LinuxPortIo() override;
  LinuxPortIo(const LinuxPortIo&) = delete;
  LinuxPortIo& operator=(const LinuxPortIo&) = delete;

  void vbOut(uint16_t port, uint16_t value) override;
  uint16_t vbInp(uint16_t port) override;
  bool ObtainAccess(uint16_t base, std::string& advice) override;

  Mode AccessMode() const { return mode_; }
  // The claimed device, such as "/dev/parport0"; empty unless the mode is Ppdev.
  const std::string& DeviceNode() const { return node_; }

 private:
  bool Covers(uint16_t port) const;
  bool TryPpdev(uint16_t base, int number, std::string& trouble);
  bool TryDirect(uint16_t base, std::string& trouble);
  void Release();

  PortOs& os_;
  Mode mode_ = Mode::None;
  uint16_t base_ = 0;
  int fd_ = -1;
  std::string node_;
};

}  // namespace velk
