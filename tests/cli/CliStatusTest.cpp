#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
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
  // Alarm 1 on supply above code 0 (Alm_Ctrl 0x0100, Alm_Mag1 0x8000), set on the bench.
  const auto alarmed = [](CliRig& rig) {
    for (uint16_t frame : {0xA901, 0xA180}) rig.sensor.Receive(frame);
    std::filesystem::resize_file(rig.dir / "trace", 0);
  };
  const auto folder = [](CliRig& rig) { std::filesystem::create_directory(rig.dir / "f"); };
  const auto configIsDevice = [](CliRig& rig) {
    std::filesystem::create_symlink("/dev/null", rig.context.configFile);
  };
  static const volatile std::sig_atomic_t sigterm = SIGTERM;
  const auto stopped = [](CliRig& rig) { rig.context.stop = &sigterm; };
  const auto lockedByAnother = [](CliRig& rig) {
    static int held = -1;
    if (held >= 0) close(held);
    held = open((rig.dir / "f").c_str(), O_RDONLY | O_CLOEXEC);
    flock(held, LOCK_EX);
  };
  const Case cases[] = {
      {{"identify"}, nullptr, 0, "VELK47120\nFirmware       1.2\nRevision date  2026-06-14\n"},
      {{"--config", "f", "identify"}, "Interface = 2\r\n", 0, "Interface      USB card Ezusb-0\n"},
      {{"--config", "none.cfg", "identify"}, nullptr, 1, "--config names no readable file"},
      {{"identify", "--json"}, nullptr, 0, "{\"product\":\"VELK47120\",\"model\":47120,"},
      {{"identify", "--json"}, nullptr, 0, ",\"interface\":\"parallel port 0x378\"}\n"},
      {{"read"}, nullptr, 0, "Dgr/S  new "},
      {{"read", "--json"}, nullptr, 0, "{\"supply\":{\"value\":"},
      {{"reg", "dump", "--json"}, nullptr, 0, "[{\"name\":\"Fls_Cyc\",\"address\":0,\"value\":37}"},
      {{"--interface", "usb", "read"}, nullptr, 0, "\nStatus"},
      {{"-h"}, nullptr, 0, "1  bad usage, or output that could not be written"},
      {{"log", "--help"}, nullptr, 0, "4  a read-back did not match"},
      {{"noise", "--help"}, nullptr, 0, "6  noise, characterise: a term or figure may be beyond its limit"},
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
      {{"frob\t\x01\"\n"}, nullptr, 1, "unknown command \"frob\\t\\x01\\\"\\n\"\n"},
      {{"identify"}, nullptr, 1, "Velk47120.cfg is not a regular file", configIsDevice},
      {{"identify"}, nullptr, 143, "stopped; nothing was written to the chip", stopped},
      {{"log", "--out", "f"}, nullptr, 1, "f for writing: Is a directory", folder},
      {{"log", "--count", "1", "--out", "f"}, "", 1, "f is being written by", lockedByAnother},
      {{"setup", "save", "f"}, nullptr, 1, "f is a folder; nothing was saved", folder},
      {{"setup", "load", "f"}, nullptr, 1, "f is a folder, not a setup file", folder},
      {{"setup", "load", "f"}, "\xEF\xBB\xBFProduct = 47120 # a\n", 1, "Gyro_Ofst is missing"},
      {{"setup", "load", "f"}, "Product = 47120\nGyro_Ofst = 0x800\n", 1, "or 0xF800 to 0xFFFF)"},
      {{"setup", "load", "f"}, "", 1, "is empty"},
      {{"setup", "load", "f"}, "\177ELF\2\1\1", 1, "line 1: not text"},
      {{"setup", "load", "f"}, "Product = 47120\nGyro_Ofst = 0\n", 1, "Gyro_Scale is missing"},
      {{"setup", "load", "f"}, "Product = 47120\nSens_Avg = 0x0403\n", 1, "allows at most 2^0"},
      {{"setup", "load", "f"}, "Product = 47120\nPwr_Mde = 1\n", 1, "not a register a setup holds"},
      {{"setup", "load", "f"}, "Product = 47120\nMsc_Ctrl = 0x100\n", 1, "self-test bits"},
      {{"identify"}, nullptr, 3, "No chip answers", silentChip},
      {{"log", "--count", "1"}, nullptr, 0, ",256\n", alarmed},  // Status above its low byte
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
    if (!std::filesystem::is_directory(rig.dir / "f")) {
      EXPECT_EQ(ReadBytes(rig.dir / "f"), c.file != nullptr ? c.file : "");
    }
    if (c.status == 1) {
      EXPECT_EQ(rig.sensor.FrameCount(), 0);
    }
  }
}

// The programs themselves, through a shell in a fresh folder: status and what stderr says.
TEST(CliStatus, ProgramsReportWhatTheShellSees) {
  struct Run {
    const char* command;
    int status;
    const char* said;
  };
  const Run runs[] = {
      {"$CLI --simulate read --json >/dev/full", 1, "standard output: No space left on device"},
      {"$CLI --simulate identify >&-", 1, "standard output: Bad file descriptor"},
      {"$CLI --help >/dev/full", 1, "standard output: No space left on device"},
      {"$CLI --simulate reg set Smpl_Prd 1 >/dev/full", 1, "device (the chip was written)"},
      {"$WINDOW --version >/dev/full", 1, "standard output: No space left on device"},
      {"$WINDOW --help >&-", 1, "standard output: Bad file descriptor"},
      {"$CLI --simulate=47122 identify", 2, "Unknown model \"47122\""},
      {"VELK47120_SIMULATE=47122 $CLI identify", 2, "VELK47120_SIMULATE=47122 is not"},
      {"mkfifo c && $CLI --simulate --config c identify", 1, "c is not a regular file"},
      // Stopped by SIGINT mid-run: status 0 and a summary.
      {"timeout --preserve-status -s INT 2 $CLI --simulate log --interval 0 --out l.csv", 0,
       "stopped"},
      // Waiting for input that does not come, a noise read ends on the signal. (The outer
      // timeout only ends a hang.)
      {"mkfifo p && { sleep 30 >p & w=$!; timeout -s KILL 5 timeout --preserve-status -s INT 0.3 "
       "$CLI noise - <p; s=$?; kill $w; exit $s; }",
       130, "stopped while reading standard input; nothing was analysed"},
      {"mkfifo p && { sleep 30 >p & w=$!; timeout -s KILL 5 timeout --preserve-status -s TERM 0.3 "
       "$CLI noise p; s=$?; kill $w; exit $s; }",
       143, "stopped while reading p"},
      // Messages never land in a file opened where stderr was.
      {"$CLI --simulate log --count 2 --out l.csv 2>&-", 0, ""},
      // A full disk: the row it could not take is cut back; the next run starts a line.
      {"(ulimit -f 1; trap '' XFSZ; $CLI --simulate log --interval 0 --out l.csv);"
       "[ $? = 1 ] && printf 'x' >>l.csv && $CLI --simulate log --count 1 --out l.csv",
       0, "1 rows in"},
  };
  for (const Run& run : runs) {
    SCOPED_TRACE(run.command);
    TempDir dir;
    const std::string command = "cd " + dir.Path().string() +
                                " && CLI=" VELK_CLI_PATH " WINDOW=" VELK_WINDOW_PATH " && { " +
                                run.command + "; } 2>stderr";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), run.status);
    const std::string said = ReadBytes(dir / "stderr");
    EXPECT_NE(said.find(run.said), std::string::npos) << said;
    // Only whole rows and comments: no message, no half row, no row run on from a line.
    for (const std::string& line : Lines(ReadBytes(dir / "l.csv"))) {
      if (line[0] != '#' && line != "x") {
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 9) << line;
      }
    }
  }
}

}  // namespace
}  // namespace velk::test
