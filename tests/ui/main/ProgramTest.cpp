#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>

#include "support/TempDir.h"

namespace velk {
namespace {

// Runs a shell line in `dir`, where $P is the built program started without a display, a
// platform or the program's variables; its exit status.
int Shell(const test::TempDir& dir, const std::string& line) {
  const std::string command = "cd '" + dir.Path().string() +
                              "' && unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM "
                              "VELK47120_SIMULATE VELK47120_SPI_TRACE && P='" VELK_PROGRAM "' && " +
                              line;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Program, CommandLineIsAnsweredWithoutADisplayAndBadModelsAreRefused) {
  test::TempDir dir;
  // Opening a window would abort here.
  for (const auto& [line, status, said] :
       {std::tuple{"$P --help", 0, "--simulate[=MODEL]"},
        {"$P --simulate 47122", 2, "Unknown model \"47122\" for --simulate"},
        {"$P --simulate=x --help", 2, "Unknown model \"x\""},
        {"VELK47120_SIMULATE=maybe $P", 2, "VELK47120_SIMULATE=maybe is not understood"}}) {
    EXPECT_EQ(Shell(dir, std::string(line) + " >out.txt 2>&1"), status) << line;
    EXPECT_NE(test::ReadBytes(dir / "out.txt").find(said), std::string::npos)
        << test::ReadBytes(dir / "out.txt");
  }
}

TEST(Program, TermSavesTheSettingsOnceRunningAndNeverDuringTheCalibration) {
  test::TempDir dir;
  const std::string loose = "Interface = 1\r\nDevice Number = 47121\r\n";
  std::ofstream(dir / "Velk47120.cfg", std::ios::binary) << loose;
  const std::string start =
      "QT_QPA_PLATFORM=offscreen VELK47120_SIMULATE=1 VELK47120_SPI_TRACE=spi.txt $P "
      ">out.txt 2>&1 & pid=$!; ";
  // The calibration takes seconds before the settings are read.
  EXPECT_EQ(Shell(dir, start + "sleep 0.3; kill -TERM $pid; wait $pid"), 128 + 15);
  EXPECT_EQ(test::ReadBytes(dir / "Velk47120.cfg"), loose);

  // Once the window reads the chip, TERM saves the settings in force.
  EXPECT_EQ(Shell(dir, "rm -f spi.txt; " + start +
                           "n=0; while [ ! -s spi.txt ] && [ $n -lt 1200 ]; do sleep 0.1; "
                           "n=$((n+1)); done; kill -TERM $pid; wait $pid"),
            0)
      << test::ReadBytes(dir / "out.txt");
  EXPECT_EQ(
      test::ReadBytes(dir / "Velk47120.cfg"),
      "Interface =  1 \r\nPort Address =  888 \r\nFactory =  0 \r\nDevice Number = 47121\r\n");
}

}  // namespace
}  // namespace velk
