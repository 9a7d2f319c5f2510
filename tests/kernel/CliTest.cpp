// The command-line tool, a separate program, in the same testbed: its ioctls reach this
// process's emulated devices through umockdev's sockets.
#ifdef VELK_CLI

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "kernel/KernelRigs.h"
#include "support/TempDir.h"

namespace velk {
namespace {

struct CliRun {
  int status = -1;
  std::string out;
};

// The tool with these arguments, in `folder`, its standard output collected.
CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& folder) {
  std::vector<char*> argv{const_cast<char*>(VELK_CLI)};
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    if (chdir(folder.c_str()) != 0) _exit(126);
    execv(VELK_CLI, argv.data());
    _exit(127);
  }
  close(out[1]);
  CliRun run;
  char chunk[4096];
  for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;) run.out.append(chunk, n);
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// Rows of a log: lines that are neither comments nor the header.
int DataRows(const std::string& text) {
  std::istringstream in(text);
  int rows = -1;  // the header line
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') ++rows;
  return rows;
}

TEST(Cli, IdentifiesAndLogsOverEachRealBackend) {
  const std::vector<std::vector<std::string>> interfaces = {
      {"--interface", "usb"}, {"--interface", "parallel", "--port", "378"}};
  for (const auto& interface : interfaces) {
    SCOPED_TRACE(interface[1]);
    test::TempDir folder;
    test::DevicesBench devices;
    std::vector<std::string> identify = interface;
    identify.push_back("identify");
    const CliRun id = RunCli(identify, folder.Path());
    EXPECT_EQ(id.status, 0);
    EXPECT_NE(id.out.find("VELK47120"), std::string::npos) << id.out;

    std::vector<std::string> log = interface;
    for (const char* a : {"log", "--count", "100", "--interval", "0"}) log.push_back(a);
    const CliRun logged = RunCli(log, folder.Path());
    EXPECT_EQ(logged.status, 0);
    EXPECT_EQ(DataRows(logged.out), 100) << logged.out.substr(0, 400);
  }
}

}  // namespace
}  // namespace velk

#endif
