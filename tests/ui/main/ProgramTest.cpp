#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QRegularExpression>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>

#include "support/MessageRecorder.h"
#include "support/QtApp.h"
#include "support/TempDir.h"
#include "ui/main/HelpWindow.h"

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

TEST(HelpWindow, EveryLinkOfTheHelpFileLeadsToAnAnchorInIt) {
  test::EnsureQApp();
  const auto file = std::filesystem::path(VELK_SOURCE_DIR) / "packaging" / HelpWindow::kFileName;
  HelpWindow window;
  ASSERT_TRUE(window.ShowTopics(file));
  const QString html = QString::fromStdString(test::ReadBytes(file));
  int links = 0;
  for (auto it = QRegularExpression("href=\"#([^\"]*)\"").globalMatch(html); it.hasNext();
       ++links) {
    const QString name = it.next().captured(1);
    EXPECT_TRUE(html.contains("name=\"" + name + "\"")) << "no anchor for " << name.toStdString();
  }
  EXPECT_GT(links, 20);  // the list of topics alone names more than twenty sections
}

TEST(HelpWindow, AMissingFileIsReportedOnceWithItsPathAndNothingIsShown) {
  test::EnsureQApp();
  test::TempDir dir;
  const std::filesystem::path missing = dir / HelpWindow::kFileName;
  HelpWindow window;
  test::MessageRecorder messages;
  OpenHelp(window, messages, missing);
  ASSERT_EQ(messages.shown.size(), 1u);
  const std::string& text = messages.shown[0].text;
  EXPECT_NE(text.find(missing.string()), std::string::npos) << text;
  EXPECT_NE(text.find("Install the program again"), std::string::npos) << text;
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(window.browser()->toPlainText().isEmpty());

  // A folder by that name is no help file either.
  std::filesystem::create_directory(missing);
  EXPECT_FALSE(window.ShowTopics(missing));
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace velk
