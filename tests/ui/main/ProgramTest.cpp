#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
  std::ostringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  return text.str();
}

struct Outcome {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out, err;
};

// Starts the built program in `folder` with only the environment given; `whileRunning`, if
// any, gets its process id and acts on it before the wait.
Outcome RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   const test::TempDir& folder,
                   const std::function<void(pid_t)>& whileRunning = {}) {
  std::vector<std::string> argv = {VELK_PROGRAM};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> argp, envp;
  for (auto& a : argv) argp.push_back(a.data());
  argp.push_back(nullptr);
  std::vector<std::string> envCopy = env;
  for (auto& e : envCopy) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string out = (folder / "out.txt").string(), err = (folder / "err.txt").string();

  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.Path().c_str()) != 0) _exit(120);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  if (whileRunning) whileRunning(pid);
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadAll(out),
          ReadAll(err)};
}

TEST(Program, CommandLineIsAnsweredWithoutADisplayAndBadModelsAreRefused) {
  test::TempDir dir;
  struct Case {
    std::vector<std::string> args;
    std::string simulateVariable;
    int status;
    std::string out, err;
  } cases[] = {
      {{"--help"}, "", 0, "--simulate[=MODEL]", ""},
      {{"--version"}, "", 0, "velk47120 ", ""},
      {{"--simulate", "47122"},
       "",
       2,
       "",
       "velk47120: Unknown model \"47122\" for --simulate: use 47120 or 47121.\n"},
      {{"--simulate=x", "--help"}, "", 2, "", "velk47120: Unknown model \"x\""},
      {{}, "maybe", 2, "", "velk47120: VELK47120_SIMULATE=maybe is not understood"},
  };
  for (const Case& c : cases) {
    // No display and no platform chosen: opening a window would abort.
    std::vector<std::string> env = {"HOME=" + dir.Path().string()};
    if (!c.simulateVariable.empty()) env.push_back("VELK47120_SIMULATE=" + c.simulateVariable);
    const Outcome run = RunProgram(c.args, env, dir);
    EXPECT_EQ(run.status, c.status) << c.args.size();
    EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    EXPECT_EQ(run.err.substr(0, c.err.size()), c.err);
  }
}

TEST(Program, TermSavesTheSettingsOnceRunningAndNeverDuringTheCalibration) {
  test::TempDir dir;
  const std::string loose = "Interface = 1\r\nDevice Number = 47121\r\n";
  std::ofstream(dir / "Velk47120.cfg", std::ios::binary) << loose;
  const std::vector<std::string> env = {"HOME=" + dir.Path().string(), "QT_QPA_PLATFORM=offscreen",
                                        "VELK47120_SIMULATE=1",
                                        "VELK47120_SPI_TRACE=" + (dir / "spi.txt").string()};

  // The calibration runs for seconds before the settings are read.
  const Outcome early = RunProgram({}, env, dir, [](pid_t pid) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGTERM);
  });
  EXPECT_EQ(early.status, 128 + SIGTERM);
  EXPECT_EQ(ReadAll(dir / "Velk47120.cfg"), loose);

  // Once the window reads the chip, the settings are in force and TERM saves them.
  fs::remove(dir / "spi.txt");
  const Outcome late = RunProgram({}, env, dir, [&](pid_t pid) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < until &&
           (!fs::exists(dir / "spi.txt") || fs::file_size(dir / "spi.txt") == 0))
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, SIGTERM);
  });
  EXPECT_EQ(late.status, 0) << late.err;
  EXPECT_EQ(
      ReadAll(dir / "Velk47120.cfg"),
      "Interface =  1 \r\nPort Address =  888 \r\nFactory =  0 \r\nDevice Number = 47121\r\n");
}

}  // namespace
}  // namespace velk
