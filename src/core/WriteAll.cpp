#include "core/WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace velk {

int WriteAll(int fd, std::string_view bytes, size_t* written) {
  size_t done = 0;
  int error = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      error = n == 0 ? EIO : errno;
      break;
    }
  }
  if (written != nullptr) *written = done;
  return error;
}

}  // namespace velk
