#include "core/StandardDescriptors.h"

#include <fcntl.h>
#include <unistd.h>

namespace velk {

void FillClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    // The lowest free number is taken, which is this one: the smaller ones are open.
    const int opened = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (opened >= 0 && opened != fd) close(opened);
  }
}

}  // namespace velk
