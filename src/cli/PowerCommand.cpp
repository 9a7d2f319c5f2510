#include "cli/PowerCommand.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/Clock.h"
#include "registers/Session.h"

extern char** environ;

namespace velk {

namespace {

// After power-on the chip is looked for this often, for this long (s).
constexpr double kIdentifyEvery = 0.5;
constexpr double kIdentifyFor = 5.0;
// The most of a failed command's output a message quotes.
constexpr size_t kMostQuoted = 400;

std::string Said(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  if (text.size() > kMostQuoted) text = "..." + text.substr(text.size() - kMostQuoted);
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text.empty() ? "" : ": " + text;
}

}  // namespace

Result<void, std::string> RunPowerCommand(const std::string& command, const char* word,
                                          const char* what) {
  const std::string line = command + " " + word;
  const std::string named = "the " + std::string(what) + " \"" + line + "\"";
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0)
    return Unexpected("cannot run " + named + ": " + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    return Unexpected("cannot run " + named + ": " + std::strerror(spawned));
  }
  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
    if (got > 0) {
      output.append(buffer, static_cast<size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    break;
  }
  close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFSIGNALED(status))
    return Unexpected(named + " was ended by signal " + std::to_string(WTERMSIG(status)) +
                      Said(output));
  return Unexpected(named + " failed with status " + std::to_string(WEXITSTATUS(status)) +
                    Said(output));
}

Result<void, std::string> SwitchedPowerDown::Cycle(double offS) {
  if (auto off = power_(false); !off) return off;
  // Back on whatever happens meanwhile: a stop only cuts the time off short.
  WaitFor(time_, offS);
  if (auto on = power_(true); !on) return on;
  Spi47120& spi = session_.spi;
  const double until = time_.clock.Seconds() + kIdentifyFor;
  WaitFor(time_, kWakeMargin);
  for (;;) {
    session_.reg.IdentifyProduct(spi);
    if (spi.RegData == model_) break;
    if (time_.clock.Seconds() >= until)
      return Unexpected("no VELK" + std::to_string(model_) + " answers " +
                        std::to_string(static_cast<int>(kIdentifyFor)) +
                        " s after power-on (Product reads " + std::to_string(spi.RegData) +
                        "): is the supply back on?");
    time_.sleep(kIdentifyEvery);
  }
  const std::vector<std::string> mismatches = WriteSetup(session_, saved_);
  if (!mismatches.empty())
    return Unexpected("the setup did not hold after power-on: " + mismatches.front());
  return {};
}

}  // namespace velk
