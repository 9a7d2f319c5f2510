#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "cli/CliRig.h"

namespace velk::test {
namespace {

struct Refusal {
  std::vector<std::string> args;
  const char* file;  // setup file content, when the case loads one
  int status;
  const char* message;
};

// Bad input: a clear message, the documented status and not one frame to the chip.
TEST(CliRefusal, BadInputWritesNothing) {
  const std::string good =
      "Product = 47120\nGyro_Ofst = 0\nGyro_Scale = 0x800\nAlm_Mag1 = 0\nAlm_Mag2 = 0\n"
      "Alm_Smp1 = 0\nAlm_Smp2 = 0\nAlm_Ctrl = 0\nAux_DAC = 0\nGpio_Ctrl = 0\nMsc_Ctrl = 0\n"
      "Smpl_Prd = 1\n";
  const Refusal cases[] = {
      {{"reg", "get", "Gyro_Outt"}, nullptr, 1, "unknown register \"Gyro_Outt\""},
      {{"reg", "get", "0x37"}, nullptr, 1, "high byte of Smpl_Prd"},
      {{"reg", "get", "0x5A"}, nullptr, 1, "no register at address 0x5A"},
      {{"reg", "set", "Smpl_Prd", "0x10000"}, nullptr, 1, "must be 0 to 0xFFFF"},
      {{"reg", "set", "ADC_Slct", "256", "--factory"}, nullptr, 1, "must be 0 to 0xFF"},
      {{"reg", "set", "Smpl_Prd", "-1"}, nullptr, 1, "must be 0 to 0xFFFF"},
      {{"reg", "set", "Status", "1"}, nullptr, 1, "Status is read-only"},
      {{"reg", "set", "Ref0trm", "1"}, nullptr, 1, "factory register: give --factory"},
      {{"--port", "zz", "identify"}, nullptr, 1, "--port takes a port address in hex"},
      {{"log", "--count", "-1"}, nullptr, 1, "--count takes a whole number"},
      {{"--card", "7", "identify"}, nullptr, 1, "--card takes 0 to 3"},
      {{"read", "--count", "3"}, nullptr, 1, "--count does not apply to read"},
      {{"frobnicate"}, nullptr, 1, "unknown command"},
      {{"setup", "load", "f"}, "", 1, "is empty"},
      {{"setup", "load", "f"},
       "\x7f"
       "ELF\x02\x01\x01",
       1,
       "line 1: not text"},
      {{"setup", "load", "f"}, "Product = 47120\nGyro_Ofst = 0\n", 1, "Gyro_Scale is missing"},
      {{"setup", "load", "f"},
       "Product = 47120\nSens_Avg = 0x0403\n",
       1,
       "line 2: Sens_Avg 0x0403 averages 2^3 taps; this range allows at most 2^0"},
      {{"setup", "load", "f"},
       "Product = 47120\nPwr_Mde = 1\n",
       1,
       "line 2: \"Pwr_Mde\" is not a register a setup holds"},
      {{"setup", "load", "f"}, "Product = 47120\nMsc_Ctrl = 0x100\n", 1, "self-test bits"},
  };
  for (const Refusal& c : cases) {
    CliRig rig;
    std::vector<std::string> args = c.args;
    if (c.file != nullptr) {
      rig.WriteFile("f", c.file);
      args.back() = (rig.dir / "f").string();
    }
    EXPECT_EQ(rig.Run(args), c.status) << c.message;
    EXPECT_NE(rig.err.str().find(c.message), std::string::npos) << rig.err.str();
    EXPECT_EQ(rig.sensor.FrameCount(), 0) << c.message;
  }

  // Another product's setup is refused once the chip has said what it is.
  CliRig rig(47121);
  rig.WriteFile("f", good + "Sens_Avg = 0x400\n");
  EXPECT_EQ(rig.Run({"setup", "load", (rig.dir / "f").string()}), 1);
  EXPECT_NE(rig.err.str().find("for the VELK47120, but the chip is a VELK47121"),
            std::string::npos);
  EXPECT_TRUE(rig.Writes().empty());
}

TEST(CliRefusal, NoChipOrNoCard) {
  for (int fault = 0; fault < 3; ++fault) {
    CliRig rig;
    std::vector<std::string> args = {"identify"};
    int status = 3;
    if (fault == 0) rig.sensor.SetNoAnswer(true);
    if (fault == 1) rig.sensor.Sleep(60.0);
    if (fault == 2) {
      rig.card.FailOpen(true);
      args = {"--card", "1", "read"};
      status = 2;
    }
    EXPECT_EQ(rig.Run(args), status) << fault;
    EXPECT_NE(rig.err.str().find(fault == 2 ? "No USB Buffers Found" : "No chip answers"),
              std::string::npos)
        << rig.err.str();
  }
}

TEST(CliRefusal, HelpListsTheExitStatuses) {
  CliRig rig;
  for (const char* command : {"", "log", "reg", "setup"}) {
    std::vector<std::string> args = {"--help"};
    if (*command != '\0') args.insert(args.begin(), command);
    EXPECT_EQ(rig.Run(args), 0);
    EXPECT_NE(rig.out.str().find("4  a read-back did not match"), std::string::npos) << command;
  }
}

// The real program, stopped by SIGINT mid-run: exit 0, a summary, and only whole lines.
TEST(CliSignal, InterruptedLogLeavesCompleteLines) {
  TempDir dir;
  const std::string out = (dir / "log.csv").string();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (chdir(dir.Path().c_str()) != 0) _exit(99);
    std::freopen((dir / "stderr").c_str(), "w", stderr);
    execl(VELK_CLI_PATH, VELK_CLI_PATH, "--simulate", "log", "--interval", "0", "--out",
          out.c_str(), static_cast<char*>(nullptr));
    _exit(98);
  }
  for (int i = 0; i < 2000; ++i) {
    std::ifstream in(out);
    if (std::count(std::istreambuf_iterator<char>(in), {}, '\n') > 20) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  std::ifstream in(out, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const std::vector<std::string> lines = Lines(text);
  ASSERT_GT(lines.size(), 20u);
  for (size_t i = 2; i < lines.size(); ++i)
    EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','), 9) << lines[i];
  std::ifstream err(dir / "stderr");
  const std::string summary((std::istreambuf_iterator<char>(err)), {});
  EXPECT_NE(summary.find("rows in"), std::string::npos) << summary;
  EXPECT_NE(summary.find("stopped"), std::string::npos) << summary;
}

}  // namespace
}  // namespace velk::test
