#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velk {

// The operating-system calls the real port backend makes, kept thin so the backend's decisions
// can be exercised without a parallel port. Failures come back as negative errno values.
class PortOs {
 public:
  virtual ~PortOs() = default;

  // Whole contents of a small text file; nothing when it cannot be read.
  virtual std::optional<std::string> ReadTextFile(const std::string& path) = 0;
  // Entry names of a directory; empty when it cannot be listed.
  virtual std::vector<std::string> ListDirectory(const std::string& path) = 0;
  // A read-write file descriptor, or -errno.
  virtual int Open(const std::string& path) = 0;
  // ioctl with a byte argument (or none); 0 or -errno.
  virtual int Ioctl(int fd, unsigned long request, uint8_t* arg) = 0;
  virtual void Close(int fd) = 0;
  // 0 or -errno.
  virtual int Ioperm(uint16_t from, int count, bool on) = 0;
  virtual void Outb(uint8_t value, uint16_t port) = 0;
  virtual uint8_t Inb(uint16_t port) = 0;
  // The running executable, for advice that names it; empty when unknown.
  virtual std::string ProgramPath() = 0;
};

// The real calls.
class LinuxPortOs final : public PortOs {
 public:
  std::optional<std::string> ReadTextFile(const std::string& path) override;
  std::vector<std::string> ListDirectory(const std::string& path) override;
  int Open(const std::string& path) override;
  int Ioctl(int fd, unsigned long request, uint8_t* arg) override;
  void Close(int fd) override;
  int Ioperm(uint16_t from, int count, bool on) override;
  void Outb(uint8_t value, uint16_t port) override;
  uint8_t Inb(uint16_t port) override;
  std::string ProgramPath() override;
};

}  // namespace velk
