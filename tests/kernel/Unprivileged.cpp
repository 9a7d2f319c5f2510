#include "kernel/Unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "registers/Session.h"
#include "support/MessageRecorder.h"
#include "transport/parallel/LinuxPortIo.h"
#include "transport/usb/LibUsbDriver.h"

namespace velk::test {

namespace {

constexpr uid_t kNobody = 65534;

}  // namespace

std::vector<std::string> MessagesOfUnprivilegedAccess(const std::string& what) {
  int out[2];
  if (pipe(out) != 0) return {"no pipe"};
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    if (getuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
      _exit(3);
    const char* argv[] = {"kernel_tests", kUnprivilegedFlag, what.c_str(), nullptr};
    execv("/proc/self/exe", const_cast<char* const*>(argv));
    _exit(4);
  }
  close(out[1]);
  std::string text;
  char chunk[512];
  for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;) text.append(chunk, n);
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return {"the child failed: status " + std::to_string(status)};
  // One message per NUL-terminated record.
  std::vector<std::string> messages;
  for (size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1)
    messages.push_back(text.substr(at, end - at));
  return messages;
}

int RunUnprivileged(const std::string& what) {
  MessageRecorder messages;
  LinuxPortOs os;
  LinuxPortIo port(os);
  LibUsbDriver usb;
  Session session(port, usb, messages);
  if (what == "usb") {
    session.usb.FindUsbBuffers();
  } else if (what == "parport") {
    session.giveio.InstallGiveio(0x378);
  } else {
    return 5;
  }
  for (const std::string& text : messages.Texts())
    std::fwrite(text.c_str(), 1, text.size() + 1, stdout);
  return 0;
}

}  // namespace velk::test
