#include <gtest/gtest.h>

#include <QStatusBar>
#include <QtTest/QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/Delay.h"
#include "kernel/KernelRigs.h"
#include "support/LoopDriver.h"
#include "support/QtApp.h"
#include "support/ScriptedModal.h"
#include "support/TempDir.h"
#include "support/WindowRig.h"
#include "ui/main/FrmVelk47120.h"

namespace velk {
namespace {

// The main window as start-up builds it without --simulate: the real ppdev and libusb
// backends, in a testbed holding /dev/parport0 at 0x378 and a card on bus 1, with one simulated
// sensor behind both. The configuration file and the datalogs live in a temporary folder.
struct RealHardwareRig : test::DevicesBench {
  explicit RealHardwareRig(int16_t interface) {
    test::EnsureQApp();
    SetDelayWaiter([this](double seconds) { clock.Advance(seconds); });
    previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    std::ofstream(kConfigFileName, std::ios::binary)
        << "Interface = " << interface << " \r\nPort Address =  888 \r\nFactory =  0 \r\n"
        << "Device Number = 47120\r\n";
    session.analyzer.LoadConfig();
    session.reg.BuildRegisterTable();
  }
  ~RealHardwareRig() {
    SetDelayWaiter([](double) {});
    window.reset();
    std::error_code ignored;
    std::filesystem::current_path(previousFolder, ignored);
  }

  LinuxPortOs os;
  LinuxPortIo io{os};
  LibUsbDriver usb;
  test::MessageRecorder messages;
  Session session{io, usb, messages};
  test::TempDir folder;
  std::filesystem::path previousFolder;
  test::ScriptedModal modal;
  test::RecordingExit exit;
  std::unique_ptr<frmVelk47120> window;
};

class WholeProgram : public ::testing::TestWithParam<int16_t> {};

// Starts up on the real backend, identifies the chip, completes a logged run of 200 cycles
// and exits, saving the configuration.
TEST_P(WholeProgram, RunsALoggedReadLoop) {
  constexpr int kCycles = 200;
  const int16_t interface = GetParam();
  RealHardwareRig rig(interface);
  rig.window = std::make_unique<frmVelk47120>(rig.session, rig.modal, rig.exit, nullptr);
  frmVelk47120& w = *rig.window;
  w.DatalogFolder = rig.folder.Path();
  w.Form_Activate();
  const QString where = interface == 1 ? "on parallel port 378" : "on USB card Ezusb-0";
  EXPECT_EQ(w.statusBar()->currentMessage(),
            "VELK47120, firmware 1.2 (6/14/2026), 37 flash writes, " + where);

  QTest::mouseClick(w.chkDatalog, Qt::LeftButton);
  test::LoopDriver loop(rig);
  EXPECT_EQ(loop.Run(kCycles), kCycles);
  EXPECT_EQ(w.lblLoop->text(), "Stopped");
  EXPECT_TRUE(rig.messages.shown.empty()) << rig.messages.Texts().front();

  std::ifstream log(rig.folder / "Datalog_1.txt", std::ios::binary);
  int lines = 0;
  std::string last;
  for (std::string line; std::getline(log, line); ++lines) last = line;
  EXPECT_EQ(lines, 8 + kCycles);  // the header block, then one row a cycle
  EXPECT_EQ(last.substr(0, last.find('\t')), std::to_string(kCycles));

  w.MnuExit_Click();
  EXPECT_EQ(rig.exit.codes, std::vector<int>{0});
  Analyzer saved;
  saved.LoadConfig(rig.folder / kConfigFileName);
  EXPECT_EQ(saved.InterfaceType, interface);
  EXPECT_TRUE(rig.port.Unanswered().empty());
  EXPECT_TRUE(rig.card.Unanswered().empty());
}

INSTANTIATE_TEST_SUITE_P(RealBackend, WholeProgram, ::testing::Values(1, 2),
                         [](const auto& info) { return info.param == 1 ? "Ppdev" : "Libusb"; });

}  // namespace
}  // namespace velk
