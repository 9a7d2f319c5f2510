#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "cli/CliRig.h"

namespace velk::test {
namespace {

struct Case {
  std::vector<std::string> args;
  const char* file;  // the content of a file the case names as "f"
  int status;
  const char* message;  // on standard output or standard error
  void (*fault)(CliRig&) = nullptr;
};

// Every case writes nothing to the chip or the file it reads; bad usage (status 1) does not send
// the chip one frame.
TEST(CliStatus, EachCaseEndsWithItsStatusAndMessage) {
  const auto silentChip = [](CliRig& rig) { rig.sensor.SetNoAnswer(true); };
  const auto noCard = [](CliRig& rig) { rig.card.FailOpen(true); };
  const Case cases[] = {
      {{"identify"}, nullptr, 0, "Product        VELK47120\n"},
      {{"--config", "f", "identify"}, "Interface = 2\r\n", 0, "Interface      USB card Ezusb-0\n"},
      {{"--config", "none.cfg", "identify"}, nullptr, 1, "--config names no readable file"},
      {{"identify", "--json"}, nullptr, 0, "{\"product\":\"VELK47120\",\"model\":47120,"},
      {{"identify", "--json"}, nullptr, 0, ",\"interface\":\"parallel port 0x378\"}\n"},
      {{"read"}, nullptr, 0, "Dgr/S  new "},
      {{"--interface", "usb", "read"}, nullptr, 0, "\nStatus"},
      {{"--help"}, nullptr, 0, "4  a read-back did not match"},
      {{"log", "--help"}, nullptr, 0, "4  a read-back did not match"},
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
      {{"setup", "load", "f"}, "\177ELF\2\1\1", 1, "line 1: not text"},
      {{"setup", "load", "f"}, "Product = 47120\nGyro_Ofst = 0\n", 1, "Gyro_Scale is missing"},
      {{"setup", "load", "f"}, "Product = 47120\nSens_Avg = 0x0403\n", 1, "allows at most 2^0"},
      {{"setup", "load", "f"}, "Product = 47120\nPwr_Mde = 1\n", 1, "not a register a setup holds"},
      {{"setup", "load", "f"}, "Product = 47120\nMsc_Ctrl = 0x100\n", 1, "self-test bits"},
      {{"identify"}, nullptr, 3, "No chip answers", silentChip},
      {{"--card", "1", "read"}, nullptr, 2, "No USB Buffers Found", noCard},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    CliRig rig;
    std::vector<std::string> args = c.args;
    std::replace(args.begin(), args.end(), std::string("f"), (rig.dir / "f").string());
    if (c.file != nullptr) std::ofstream(rig.dir / "f", std::ios::binary) << c.file;
    if (c.fault != nullptr) c.fault(rig);
    EXPECT_EQ(rig.Run(args), c.status) << rig.err.str();
    const std::string said = rig.out.str() + rig.err.str();
    EXPECT_NE(said.find(c.message), std::string::npos) << said;
    EXPECT_TRUE(rig.Writes().empty());
    EXPECT_EQ(ReadBytes(rig.dir / "f"), c.file != nullptr ? c.file : "");
    if (c.status == 1) {
      EXPECT_EQ(rig.sensor.FrameCount(), 0);
    }
  }
}

// The real program, stopped by SIGINT mid-run: exit 0, a summary, and only whole lines.
TEST(CliSignal, InterruptedLogLeavesCompleteLines) {
  TempDir dir;
  const std::string command = "cd " + dir.Path().string() +
                              " && timeout --preserve-status -s INT 2 " VELK_CLI_PATH
                              " --simulate log --interval 0 --out log.csv 2>stderr";
  EXPECT_EQ(std::system(command.c_str()), 0);

  const std::string text = ReadBytes(dir / "log.csv");
  const std::vector<std::string> lines = Lines(text);
  ASSERT_GT(lines.size(), 20u);
  EXPECT_EQ(text.back(), '\n');
  for (size_t i = 2; i < lines.size(); ++i)
    EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','), 9) << lines[i];
  const std::string summary = ReadBytes(dir / "stderr");
  EXPECT_NE(summary.find("rows in"), std::string::npos) << summary;
  EXPECT_NE(summary.find("stopped"), std::string::npos) << summary;
}

}  // namespace
}  // namespace velk::test
