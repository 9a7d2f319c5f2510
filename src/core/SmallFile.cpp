#include "core/SmallFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velk {

Result<std::string, SmallFileError> ReadSmallRegularFile(const std::filesystem::path& file,
                                                         size_t limit) {
  using Status = SmallFileError::Status;
  const auto failed = [](int error) {
    return Unexpected(SmallFileError{error == ENOENT ? Status::Missing : Status::Failed, error});
  };
  const auto refused = [](Status status) { return Unexpected(SmallFileError{status}); };

  // Decided before anything is opened: opening a FIFO or a device may block or act.
  struct stat named {};
  if (::stat(file.c_str(), &named) != 0) return failed(errno);
  if (S_ISDIR(named.st_mode)) return refused(Status::Folder);
  if (!S_ISREG(named.st_mode)) return refused(Status::NotRegular);
  if (static_cast<unsigned long long>(named.st_size) > limit) return refused(Status::TooLarge);

  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return failed(errno);
  struct stat opened {};
  if (::fstat(fd, &opened) != 0) {
    const int error = errno;
    ::close(fd);
    return failed(error);
  }
  // Swapped for something else between the two looks.
  if (!S_ISREG(opened.st_mode) || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
    ::close(fd);
    return refused(Status::NotRegular);
  }

  // One byte past the limit tells a file that grew, or whose size the kernel does not know,
  // from one that fits.
  const size_t want = limit + 1;
  std::string bytes;
  char chunk[1 << 14];
  while (bytes.size() < want) {
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, want - bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      return failed(error);
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  if (bytes.size() > limit) return refused(Status::TooLarge);
  return bytes;
}

}  // namespace velk
