#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStatusBar>
#include <QtTest/QTest>
#include <csignal>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>

#include "registers/WiredSession.h"
#include "support/Captions.h"
#include "support/LoopDriver.h"
#include "support/WindowRig.h"
#include "ui/dialogs/frmPowerdown.h"
#include "ui/main/Controls.h"
#include "ui/main/ExitSignals.h"
#include "ui/main/WriteTrace.h"

namespace velk {
namespace {

using test::SimRig;
using test::TempDir;
using test::WindowRig;

// Read commands the chip received for a register, from its frame log.
int ReadsOf(const std::filesystem::path& trace, int address) {
  std::ifstream in(trace);
  int n = 0;
  for (std::string line; std::getline(in, line);) {
    const unsigned sent = std::stoul(line.substr(0, 4), nullptr, 16);
    n += (sent & 0x8000) == 0 && (sent >> 8) == static_cast<unsigned>(address);
  }
  return n;
}

TEST(MainWindow, LoadSetsStartValuesAndModel) {
  WindowRig rig;
  rig.session.analyzer.DeviceNumber = DeviceNumberSetting::FromText("47121");
  frmVelk47120& w = rig.Open();
  EXPECT_EQ(w.txtLoopDelay->text(), "5.0");
  EXPECT_EQ(w.lblLoop->text(), "Stopped");
  EXPECT_EQ(rig.session.analyzer.LoopDelay, 25.0f);
  EXPECT_EQ(w.lblDeviceNumber->text(), "47121");
  EXPECT_TRUE(w.mnu47121->isChecked());
  EXPECT_FALSE(w.mnu47120->isChecked());
  EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(MainWindow, NoInterfaceConfiguredIsReportedAndTouchesNothing) {
  WindowRig rig;
  rig.session.analyzer.InterfaceType = 5;
  frmVelk47120& w = rig.Open();
  EXPECT_EQ(rig.messages.Texts(),
            std::vector<std::string>{"Please select an interface before taking data"});
  EXPECT_EQ(rig.session.analyzer.InterfaceType, 0);

  const long frames = rig.sensor.FrameCount();
  w.Form_Activate();
  w.cmdReadData_Click();
  EXPECT_EQ(rig.sensor.FrameCount(), frames);
  EXPECT_EQ(rig.messages.Texts().back(), "Please select an interface first");
  EXPECT_TRUE(w.txtReadReg[slot::Gyro_Out]->text().isEmpty());
}

TEST(MainWindow, PortAddressZeroIsNoPort) {
  WindowRig rig;
  frmVelk47120& w = rig.Open();
  rig.session.analyzer.PortAddress = 0;
  const long frames = rig.sensor.FrameCount();
  w.Form_Activate();  // no chip access through port 0
  EXPECT_EQ(rig.sensor.FrameCount(), frames);
  EXPECT_TRUE(w.mnuPort->isChecked());

  EXPECT_FALSE(w.Check_Interface());
  EXPECT_EQ(rig.messages.Texts().back(), "Please select an interface first");
  EXPECT_EQ(rig.session.analyzer.InterfaceType, 0);
  EXPECT_FALSE(w.mnuPort->isChecked());
}

TEST(MainWindow, ActivationLoadsThePanelsAndWaitsForTheChip) {
  WindowRig rig;
  TempDir dir;
  rig.sensor.TraceTo(dir / "spi.txt");
  frmVelk47120& w = rig.Open();
  w.Form_Activate();
  EXPECT_EQ(w.txtSmplPrd->text(), "1");
  EXPECT_EQ(w.txtSamplePeriod->text(), "3.91");
  // The chip's 0x402 keeps its range; the largest range allows no averaging.
  EXPECT_EQ(w.hscScale->value(), 2);
  EXPECT_EQ(rig.sensor.Word(0x38), 0x400);
  EXPECT_EQ(w.txtAvgCnt->text(), "0");
  EXPECT_EQ(w.txtRollAvg->text(), "1");
  EXPECT_EQ(w.txtAvgUpdateRate->text(), "0.01");
  EXPECT_FLOAT_EQ(rig.session.reg.FirmwareRevision, 1.2f);
  EXPECT_EQ(w.lblAlarm1SetFlag->text(), "OK");
  // The power-up error flag clears within the first settling reads.
  const int angle = rig.session.reg.RegAddr[slot::Angle_Out];
  EXPECT_LT(ReadsOf(dir / "spi.txt", angle), 25);
  EXPECT_EQ(rig.session.spi.ErrorAlarmBit, 0);
}

TEST(MainWindow, SettlingGivesUpAfterTwentyFiveReads) {
  WindowRig rig;
  TempDir dir;
  rig.sensor.SetSupply(4.5);  // low supply: the error flag never clears
  frmVelk47120& w = rig.Open();
  rig.sensor.TraceTo(dir / "spi.txt");
  w.Form_Activate();
  EXPECT_EQ(ReadsOf(dir / "spi.txt", rig.session.reg.RegAddr[slot::Angle_Out]), 25);
  EXPECT_EQ(w.lblErrorAlarmFlag->text(), "Alarm");
  EXPECT_EQ(Background(w.lblLowSupplyFlag), QColor(255, 0, 0));
}

TEST(MainWindow, ASilentChipIsNamedAndNothingIsWrittenFromIt) {
  WindowRig rig;
  frmVelk47120& w = rig.Open();
  w.Form_Activate();
  w.hscSmplPrd->setValue(50);
  test::WriteTrace trace(rig.sensor, rig.folder / "spi.txt");
  rig.modal.script = [](QDialog& d) {  // Powerdown "Set", then OK
    dynamic_cast<frmPowerdown&>(d).hscPowerdown->setValue(20);
    dynamic_cast<frmPowerdown&>(d).cmdPowerDown->click();
  };
  w.mnuPowerdown->trigger();
  // The sleep count, the identification's key code, and nothing from the zeros read.
  for (const test::ByteWrite& write : trace.Take())
    EXPECT_TRUE(write.first == 0x3A || write.first == 0x3B || write.first == 0x50 ||
                write.first == 0x51)
        << write.first;
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
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("VELK47120, firmware 1.2"));
}

// A window on a scripted parallel port: every read answers the next word given.
struct WiredWindow : test::WiredSession {
  WiredWindow() {
    test::EnsureQApp();
    session.analyzer.PortAddress = 0x378;
    window = std::make_unique<frmVelk47120>(session, modal, exit, nullptr);
  }
  test::ScriptedModal modal;
  test::RecordingExit exit;
  std::unique_ptr<frmVelk47120> window;
};

TEST(MainWindow, EveryStatusBitLightsItsOwnIndicator) {
  WiredWindow rig;
  frmVelk47120& w = *rig.window;
  const std::vector<QLabel*> indicators = {
      w.lblLowSupplyFlag, w.lblHighSupplyFlag, w.lblWriteFailFlag, w.lblSpiWriteFlag,
      w.lblOverrange,     w.lblDiagError,      w.lblAlarm1SetFlag, w.lblAlarm2SetFlag};
  const int bits[] = {0x001, 0x002, 0x004, 0x008, 0x010, 0x020, 0x100, 0x200};
  for (size_t n = 0; n < indicators.size(); ++n) {
    rig.Answer({static_cast<uint16_t>(bits[n])});
    w.CmdUpdateStatus->click();
    for (size_t k = 0; k < indicators.size(); ++k)
      EXPECT_EQ(indicators[k]->text(), k == n ? "Alarm" : "OK") << "bit " << bits[n];
  }
}

TEST(MainWindow, NewDataAndAlarmFlagsAreCombinedOverTheFiveReads) {
  WiredWindow rig;
  frmVelk47120& w = *rig.window;
  // Supply, gyro, ADC, temperature, angle, then the status.
  for (auto [words, fresh, alarm] :
       {std::tuple{std::vector<uint16_t>{0, 0x8000, 0, 0, 0, 0}, "New", "OK"},
        {std::vector<uint16_t>{0x4000, 0, 0, 0, 0, 0}, "Old", "Alarm"},
        {std::vector<uint16_t>{0, 0, 0, 0, 0xC000, 0}, "New", "Alarm"},
        {std::vector<uint16_t>{0, 0, 0, 0, 0, 0xC000}, "Old", "OK"}}) {
    rig.Answer(words);
    w.cmdReadData->click();
    EXPECT_EQ(w.lblNewDataFlag->text(), fresh);
    EXPECT_EQ(w.lblErrorAlarmFlag->text(), alarm);
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
    saved.LoadConfig(dir / "Velk47120.cfg");
    EXPECT_EQ(saved.InterfaceType, 1);
    EXPECT_EQ(saved.DeviceNumber.Numeric(), 47121);
    std::filesystem::remove(dir / "Velk47120.cfg");
  }
  std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace velk

namespace velk {
namespace {

TEST(MainWindowMenus, SettingsEntriesOpenTheirDialogsOnceMade) {
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

}  // namespace
}  // namespace velk
