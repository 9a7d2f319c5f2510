#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "transport/parallel/PortOs.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define VELK_HAS_PORT_IO 1
#else
#define VELK_HAS_PORT_IO 0
#endif

namespace velk {

std::optional<std::string> LinuxPortOs::ReadTextFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

std::vector<std::string> LinuxPortOs::ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  return names;
}

int LinuxPortOs::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  return fd >= 0 ? fd : -errno;
}

int LinuxPortOs::Ioctl(int fd, unsigned long request, uint8_t* arg) {
  return ::ioctl(fd, request, arg) == 0 ? 0 : -errno;
}

void LinuxPortOs::Close(int fd) {
  ::close(fd);
}

int LinuxPortOs::Ioperm(uint16_t from, int count, bool on) {
#if VELK_HAS_PORT_IO
  return ::ioperm(from, static_cast<unsigned long>(count), on ? 1 : 0) == 0 ? 0 : -errno;
#else
  (void)from;
  (void)count;
  (void)on;
  return -ENOSYS;
#endif
}

void LinuxPortOs::Outb(uint8_t value, uint16_t port) {
#if VELK_HAS_PORT_IO
  ::outb(value, port);
#else
  (void)value;
  (void)port;
#endif
}

uint8_t LinuxPortOs::Inb(uint16_t port) {
#if VELK_HAS_PORT_IO
  return ::inb(port);
#else
  (void)port;
  return 0xFF;
#endif
}

std::string LinuxPortOs::ProgramPath() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

}  // namespace velk
