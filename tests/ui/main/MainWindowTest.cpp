#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStatusBar>
#include <QtTest/QTest>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>

#include "registers/WiredSession.h"
#include "support/Captions.h"
#include "support/LoopDriver.h"
#include "support/MessageRecorder.h"
#include "support/QtApp.h"
#include "support/TempDir.h"
#include "support/WindowRig.h"
#include "ui/main/Controls.h"
#include "ui/main/ExitSignals.h"
#include "ui/main/HelpWindow.h"
#include "ui/main/Startup.h"
#include "ui/main/WriteTrace.h"

namespace velk {
namespace {

using test::TempDir;
using test::WindowRig;

// A window on a scripted parallel port: every read answers the next word given.
struct WiredWindow : test::WiredSession {
  bool app = (test::EnsureQApp(), true);
  test::ScriptedModal modal;
  test::RecordingExit exit;
  frmVelk47120 w{session, modal, exit, nullptr};
};

TEST(MainWindow, AParallelPortAtAddressZeroIsNeverTouched) {
  WiredWindow rig;
  rig.session.analyzer.PortAddress = 0;
  rig.io.log.clear();
  rig.w.Form_Activate();
  EXPECT_TRUE(rig.w.mnuPort->isChecked());  // the activation leaves the choice alone
  rig.w.cmdReadData_Click();
  EXPECT_TRUE(rig.io.log.empty());
  EXPECT_EQ(rig.messages.Texts(), std::vector<std::string>{"Please select an interface first"});
  EXPECT_EQ(rig.session.analyzer.InterfaceType, interface_type::kNone);
  EXPECT_FALSE(rig.w.mnuPort->isChecked());
}

// At a low supply the error flag never clears. (A chip that settles at once, and what the
// activation writes, are in the list of frames the chip receives.)
TEST(MainWindow, ActivationLoadsThePanelsAndWaitsForTheChipAtMostTwentyFiveReads) {
  WindowRig rig;
  rig.sensor.SetSupply(4.5);
  test::WriteTrace trace(rig.sensor, rig.folder / "spi.txt");
  frmVelk47120& w = rig.Open();
  w.Form_Activate();
  // The chip's 0x402 keeps its range; the largest range allows no averaging.
  EXPECT_EQ(w.hscScale->value(), 2);
  EXPECT_EQ(w.txtSmplPrd->text() + ' ' + w.txtSamplePeriod->text() + ' ' + w.txtAvgCnt->text(),
            "1 3.91 0");
  EXPECT_EQ(trace.Reads(rig.session.reg.RegAddr[slot::Angle_Out]), 25);
  EXPECT_EQ(w.lblErrorAlarmFlag->text(), "Alarm");
}

TEST(MainWindow, ASilentChipIsNamedAndNothingIsWrittenFromIt) {
  WindowRig rig;
  rig.session.Simulated = true;
  frmVelk47120& w = rig.Open();
  w.Form_Activate();
  w.hscSmplPrd->setValue(50);
  test::WriteTrace trace(rig.sensor, rig.folder / "spi.txt");
  rig.sensor.Sleep(10.0);  // not by this window: only the key code, nothing from the zeros read
  w.cmdNewPart->click();
  for (const test::ByteWrite& write : trace.Take())
    EXPECT_TRUE(write.first == 0x50 || write.first == 0x51) << write.first;
  EXPECT_EQ(w.statusBar()->currentMessage(),
            "No chip answers on parallel port 378: check the adapter and cable, the port address "
            "and access, or wait for the end of a power-down.");

  rig.messages.answers = {false, true};
  QTest::mouseClick(w.CmdReadLoop, Qt::LeftButton);
  EXPECT_EQ(rig.messages.Texts().back(),
            "No chip answered at the last check. Start the run anyway?");
  EXPECT_EQ(test::Caption(w.CmdReadLoop->text()), "Start");
  EXPECT_EQ(test::LoopDriver(rig).Run(2), 2);  // Yes runs

  rig.clock.Advance(20.0);  // the power-down is over
  w.Form_Activate();
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("VELK47120 (simulated), firmware 1.2"));
}

TEST(MainWindow, EveryStatusBitLightsItsOwnIndicatorAndIsHeardSo) {
  WiredWindow rig;
  frmVelk47120& w = rig.w;
  const std::vector<QLabel*> indicators = {
      w.lblLowSupplyFlag, w.lblHighSupplyFlag, w.lblWriteFailFlag, w.lblSpiWriteFlag,
      w.lblOverrange,     w.lblDiagError,      w.lblAlarm1SetFlag, w.lblAlarm2SetFlag};
  const int bits[] = {0x001, 0x002, 0x004, 0x008, 0x010, 0x020, 0x100, 0x200};
  for (size_t n = 0; n < indicators.size(); ++n) {
    rig.Answer({static_cast<uint16_t>(bits[n])});
    w.CmdUpdateStatus->click();
    for (size_t k = 0; k < indicators.size(); ++k) {
      EXPECT_EQ(indicators[k]->text(), k == n ? "Alarm" : "OK") << "bit " << bits[n];
      EXPECT_TRUE(test::SpokenName(indicators[k]).endsWith(": " + indicators[k]->text()));
    }
  }
}

TEST(MainWindow, ExitCloseBoxAndSignalsSaveTheConfigurationAndEnd) {
  TempDir dir;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  for (int way : {0, 1, 2}) {
    WindowRig rig;
    rig.session.analyzer.DeviceNumber = DeviceNumberSetting::FromNumber(47121);
    frmVelk47120& w = rig.Open();
    EXPECT_TRUE(w.mnu47121->isChecked() && !w.mnu47120->isChecked());
    w.show();
    if (way == 0) {
      w.MnuExit->trigger();
    } else if (way == 1) {
      w.close();
    } else {
      ExitSignals onSignal([&] { w.MnuExit_Click(); });
      std::raise(SIGTERM);
      for (int i = 0; i < 100 && rig.exit.codes.empty(); ++i) QCoreApplication::processEvents();
      struct sigaction now {};
      sigaction(SIGTERM, nullptr, &now);
      EXPECT_EQ(now.sa_handler, SIG_DFL);  // a second signal acts as the default would
    }
    EXPECT_EQ(rig.exit.codes, std::vector<int>{0});
    EXPECT_FALSE(w.isVisible());
    Analyzer saved;
    ASSERT_TRUE(saved.LoadConfig(dir / "Velk47120.cfg"));
    EXPECT_EQ(saved.InterfaceType, interface_type::kParallelPort);
    EXPECT_EQ(saved.DeviceNumber.Numeric(), 47121);
    std::filesystem::remove(dir / "Velk47120.cfg");
  }
  std::filesystem::current_path(previous);
}

TEST(MainWindow, ASettingsFileNotReadIsReportedAndNeverWritten) {
  TempDir dir;
  std::ofstream(dir / "big.cfg") << std::string((1 << 20) + 1, '\n');
  std::ofstream(dir / "Datalog_1.txt") << "VELK 47120 Datalog File\r\nIndex = 1\r\n";
  for (const auto& [file, what] :
       {std::pair{std::filesystem::path("/dev/zero"), " is not a regular file"},
        {dir / "big.cfg", " is larger than 1 MiB"},
        {dir / "Datalog_1.txt", " holds no settings"},
        {dir.Path(), " is a folder"}}) {
    WindowRig rig;
    EXPECT_EQ(LoadConfiguration(rig.session, file).error(),
              "The settings file " + file.string() + what +
                  "; the program starts with the default settings and will not save them.");
    rig.Open().MnuExit->trigger();
    EXPECT_TRUE(rig.messages.shown.empty()) << file;
  }
  EXPECT_EQ(std::filesystem::file_size(dir / "big.cfg"), (1u << 20) + 1);
  EXPECT_EQ(test::ReadBytes(dir / "Datalog_1.txt"), "VELK 47120 Datalog File\r\nIndex = 1\r\n");
}

// Simulated, a first run without an interface takes the simulated port; the settings keep
// that choice only once the user picks an interface.
TEST(MainWindow, SimulatedFirstRunTakesTheSimulatedPortAndSavesOnlyAPickedOne) {
  for (bool pick : {false, true}) {
    WindowRig rig(WindowRig::kUnknownInterface);
    rig.session.Simulated = true;
    rig.session.configFile = rig.folder / "v.cfg";
    frmVelk47120& w = rig.Open();
    w.Form_Activate();
    EXPECT_TRUE(rig.messages.shown.empty() && w.mnuPort->isChecked());
    EXPECT_TRUE(w.statusBar()->currentMessage().endsWith("on parallel port 378"));
    rig.modal.script = [](QDialog& d) { d.findChild<QPushButton*>("cmdOK")->click(); };
    if (pick) w.mnuPort->trigger();
    w.MnuExit_Click();
    Analyzer saved;
    ASSERT_TRUE(saved.LoadConfig(rig.session.configFile));
    EXPECT_EQ(saved.InterfaceType, pick ? interface_type::kParallelPort : interface_type::kNone);
  }
}

TEST(MainWindow, SettingsEntriesOpenTheirDialogsOnceMade) {
  WindowRig rig;
  frmVelk47120& w = rig.Open();
  QStringList titles;
  rig.modal.script = [&](QDialog& d) { titles << d.windowTitle(); };
  for (QAction* entry :
       {w.MnuAlarms, w.MnuGpioMsc, w.mnuRegister, w.mnuAuxDac, w.mnuPowerdown, w.MnuAlarms})
    entry->trigger();
  EXPECT_EQ(titles.join(","),
            "Alarms,GPIO & Misc Ctrl,Register Information,AUX DAC Settings,Powerdown,Alarms");
  EXPECT_EQ(rig.modal.opened.front(), rig.modal.opened.back());  // made once, shown again
  EXPECT_TRUE(rig.messages.shown.empty());
}

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

  // A folder by that name is no help file either.
  std::filesystem::create_directory(missing);
  EXPECT_FALSE(window.ShowTopics(missing));
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace velk
