#include "transport/parallel/LinuxPortIo.h"

#include <sys/ioctl.h>

#include <linux/parport.h>
#include <linux/ppdev.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace velk {

namespace {

constexpr const char* kProcDir = "/proc/sys/dev/parport";
constexpr int kPortCount = 3;  // data, status, control
// Below this the I/O space belongs to the system board (interrupt and DMA controllers, timer,
// keyboard controller): no parallel port lives there, and a stray write could hang the machine.
constexpr uint16_t kLowestDirectBase = 0x100;

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// "parport12" -> 12; anything else (such as "default") -> nothing.
std::optional<int> ParportNumber(const std::string& name) {
  constexpr std::string_view prefix = "parport";
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return {};
  int number = 0;
  const char* first = name.data() + prefix.size();
  const char* last = name.data() + name.size();
  const auto [end, ec] = std::from_chars(first, last, number);
  if (ec != std::errc() || end != last) return {};
  return number;
}

// base-addr holds the base and the extended-mode base, "888\t1912"; the first is ours.
std::optional<unsigned long> FirstNumber(const std::string& text) {
  size_t i = text.find_first_not_of(" \t\r\n");
  if (i == std::string::npos) return {};
  unsigned long value = 0;
  const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (ec != std::errc()) return {};
  return value;
}

}  // namespace

std::optional<int> FindParport(PortOs& os, uint16_t base) {
  std::optional<int> found;
  for (const std::string& name : os.ListDirectory(kProcDir)) {
    const auto number = ParportNumber(name);
    if (!number) continue;
    const auto text = os.ReadTextFile(std::string(kProcDir) + "/" + name + "/base-addr");
    if (!text) continue;
    const auto listed = FirstNumber(*text);
    if (listed && *listed == base && (!found || *number < *found)) found = number;
  }
  return found;
}

LinuxPortIo::~LinuxPortIo() {
  Release();
}

bool LinuxPortIo::Covers(uint16_t port) const {
  return mode_ != Mode::None && port >= base_ && port - base_ < kPortCount;
}

void LinuxPortIo::vbOut(uint16_t port, uint16_t value) {
  if (!Covers(port)) return;
  uint8_t byte = static_cast<uint8_t>(value & 0xFF);
  if (mode_ == Mode::Direct) {
    os_.Outb(byte, port);
    return;
  }
  switch (port - base_) {
    case 0:
      os_.Ioctl(fd_, PPWDATA, &byte);
      break;
    case 2:
      // The kernel keeps the direction and interrupt bits to itself.
      os_.Ioctl(fd_, PPWCONTROL, &byte);
      break;
    default:
      // The status register is read-only on a standard port; ppdev has no call to write it.
      break;
  }
}

uint16_t LinuxPortIo::vbInp(uint16_t port) {
  if (!Covers(port)) return 0xFF;
  if (mode_ == Mode::Direct) return os_.Inb(port);
  static constexpr unsigned long kRead[kPortCount] = {PPRDATA, PPRSTATUS, PPRCONTROL};
  uint8_t byte = 0xFF;
  if (os_.Ioctl(fd_, kRead[port - base_], &byte) != 0) return 0xFF;
  return byte;
}

bool LinuxPortIo::ObtainAccess(uint16_t base, std::string& advice) {
  if (mode_ != Mode::None && base == base_) return true;
  Release();

  std::string ppdevTrouble;
  if (const auto number = FindParport(os_, base)) {
    if (TryPpdev(base, *number, ppdevTrouble)) return true;
  }
  // A user given the capability rather than the lp group still gets through here.
  std::string directTrouble;
  if (TryDirect(base, directTrouble)) return true;

  if (!ppdevTrouble.empty()) {
    advice = ppdevTrouble;
  } else {
    advice = "No parallel port device (/dev/parport*) lists base address " + Hex(base) + "; " +
             directTrouble;
  }
  return false;
}

bool LinuxPortIo::TryPpdev(uint16_t base, int number, std::string& trouble) {
  const std::string node = "/dev/parport" + std::to_string(number);
  const int fd = os_.Open(node);
  if (fd < 0) {
    if (fd == -EACCES || fd == -EPERM) {
      trouble = "Access to " + node +
                " was denied: add your user to the lp group (sudo usermod -aG lp $USER) and "
                "log in again.";
    } else if (fd == -ENOENT) {
      trouble = "The port at " + Hex(base) + " is parport" + std::to_string(number) + ", but " +
                node + " does not exist: load the ppdev module (sudo modprobe ppdev).";
    } else {
      trouble = node + " could not be opened: " + std::strerror(-fd) + ".";
    }
    return false;
  }
  if (const int r = os_.Ioctl(fd, PPCLAIM, nullptr); r != 0) {
    os_.Close(fd);
    trouble = node + " could not be claimed (" + std::strerror(-r) +
              "): close any other program that uses the parallel port and try again.";
    return false;
  }
  mode_ = Mode::Ppdev;
  base_ = base;
  fd_ = fd;
  node_ = node;
  return true;
}

bool LinuxPortIo::TryDirect(uint16_t base, std::string& trouble) {
  if (base < kLowestDirectBase) {
    trouble = "direct access to " + Hex(base) +
              " is refused, as ports below 0x100 belong to the system board: enter the address "
              "of your parallel port.";
    return false;
  }
  const int r = os_.Ioperm(base, kPortCount, true);
  if (r == 0) {
    mode_ = Mode::Direct;
    base_ = base;
    return true;
  }
  switch (-r) {
    case EPERM: {
      std::string program = os_.ProgramPath();
      if (program.empty()) program = "<program>";
      trouble =
          "direct port access needs root or the CAP_SYS_RAWIO capability (sudo setcap "
          "cap_sys_rawio+ep " +
          program + ").";
      break;
    }
    case ENOSYS:
      trouble =
          "this system's kernel offers no direct port access (ioperm), so the port needs "
          "the ppdev module (sudo modprobe parport_pc ppdev).";
      break;
    case EINVAL:
      trouble = "ports " + Hex(base) + " to " + Hex(base + kPortCount - 1u) +
                " lie outside the range direct port access can reach.";
      break;
    default:
      trouble = std::string("direct port access failed: ") + std::strerror(-r) + ".";
      break;
  }
  return false;
}

void LinuxPortIo::Release() {
  if (mode_ == Mode::Ppdev) {
    os_.Ioctl(fd_, PPRELEASE, nullptr);
    os_.Close(fd_);
  } else if (mode_ == Mode::Direct) {
    os_.Ioperm(base_, kPortCount, false);
  }
  mode_ = Mode::None;
  fd_ = -1;
  node_.clear();
}

}  // namespace velk
