#include "core/AppendLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/WriteAll.h"

namespace velk {

namespace {

// The file's last byte, read through a descriptor of its own: the log's is write-only, and a
// FIFO must not be opened for reading. -1 when it cannot be read.
int LastByte(const std::filesystem::path& file, const struct stat& log) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat same {};
  unsigned char last = 0;
  const bool read = ::fstat(fd, &same) == 0 && same.st_dev == log.st_dev &&
                    same.st_ino == log.st_ino && ::pread(fd, &last, 1, log.st_size - 1) == 1;
  ::close(fd);
  return read ? last : -1;
}

}  // namespace

AppendLog::~AppendLog() {
  Close();
}

Result<void, AppendLog::OpenError> AppendLog::Open(const std::filesystem::path& file,
                                                   std::string_view eol) {
  Close();
  fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd_ < 0) return Unexpected(OpenError{.error = errno});
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EWOULDBLOCK) {
      Close();
      return Unexpected(OpenError{.busy = true});
    }
    // A file system without locks is written without one.
    if (error != ENOLCK && error != EOPNOTSUPP && error != EINVAL) {
      Close();
      return Unexpected(OpenError{.error = error});
    }
  }
  // Only now, under the lock: another writer may have been mid-line a moment ago.
  struct stat log {};
  int last = -1;
  if (::fstat(fd_, &log) == 0 && S_ISREG(log.st_mode) && log.st_size > 0)
    last = LastByte(file, log);
  if (last >= 0 && last != '\n') {
    if (const auto started = Write(eol); !started) {
      Close();
      return Unexpected(OpenError{.error = started.error().error});
    }
  }
  return {};
}

Result<void, AppendLog::WriteError> AppendLog::Write(std::string_view bytes) {
  if (fd_ < 0) return Unexpected(WriteError{.error = EBADF});
  size_t written = 0;
  const int error = WriteAll(fd_, bytes, &written);
  if (error == 0) return {};
  if (written == 0) return Unexpected(WriteError{.error = error});
  // The bytes written went to the end of the file (O_APPEND, and the lock keeps other writers
  // out), so its size now, less them, is where the line began: a row needs no size check
  // before it. Only a regular file can be cut back; what a pipe or device took is gone.
  struct stat after {};
  const auto taken = static_cast<off_t>(written);
  const bool cut = ::fstat(fd_, &after) == 0 && S_ISREG(after.st_mode) && after.st_size >= taken &&
                   ::ftruncate(fd_, after.st_size - taken) == 0;
  return Unexpected(WriteError{.error = error, .partialLine = !cut});
}

void AppendLog::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace velk
