#include "core/SmallFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velk {

SmallFile ReadSmallRegularFile(const std::filesystem::path& file, size_t limit) {
  SmallFile result;
  const auto failed = [&](int error) {
    result.status = error == ENOENT ? SmallFile::Status::Missing : SmallFile::Status::Failed;
    result.error = error;
    return result;
  };
  const auto refused = [&](SmallFile::Status status) {
    result.status = status;
    result.bytes.clear();
    return result;
  };

  // Decided before anything is opened: opening a FIFO or a device may block or act.
  struct stat named {};
  if (::stat(file.c_str(), &named) != 0) return failed(errno);
  if (S_ISDIR(named.st_mode)) return refused(SmallFile::Status::Folder);
  if (!S_ISREG(named.st_mode)) return refused(SmallFile::Status::NotRegular);
  if (static_cast<unsigned long long>(named.st_size) > limit)
    return refused(SmallFile::Status::TooLarge);

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
    return refused(SmallFile::Status::NotRegular);
  }

  // One byte past the limit tells a file that grew, or whose size the kernel does not know,
  // from one that fits.
  const size_t want = limit + 1;
  char chunk[1 << 14];
  while (result.bytes.size() < want) {
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, want - result.bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      result.bytes.clear();
      return failed(error);
    }
    if (n == 0) break;
    result.bytes.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  if (result.bytes.size() > limit) return refused(SmallFile::Status::TooLarge);
  result.status = SmallFile::Status::Read;
  return result;
}

}  // namespace velk
