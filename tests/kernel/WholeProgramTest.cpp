#include <gtest/gtest.h>

#include <QStatusBar>
#include <QtTest/QTest>
#include <algorithm>
#include <memory>
#include <string>

#include "kernel/KernelRigs.h"
#include "support/LoopDriver.h"
#include "support/WindowRig.h"

namespace velk {
namespace {

// The main window as start-up builds it without --simulate, over the real backends of the
// bench. The configuration file and the datalogs go to a temporary folder.
struct RealHardwareRig : test::Bench {
  explicit RealHardwareRig(int16_t interface) : Bench(interface) {
    test::EnsureQApp();
    SetDelayWaiter([this](double seconds) { clock.Advance(seconds); });
    session.configFile = folder / kConfigFileName;
    window = std::make_unique<frmVelk47120>(session, modal, exit, nullptr);
    window->DatalogFolder = folder.Path();
  }
  ~RealHardwareRig() {
    SetDelayWaiter([](double) {});
  }

  test::TempDir folder;
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
  frmVelk47120& w = *rig.window;
  w.Form_Activate();
  const QString where =
      interface == interface_type::kParallelPort ? "on parallel port 378" : "on USB card Ezusb-0";
  EXPECT_EQ(w.statusBar()->currentMessage(),
            "VELK47120, firmware 1.2 (6/14/2026), 37 flash writes, " + where);

  QTest::mouseClick(w.chkDatalog, Qt::LeftButton);
  test::LoopDriver loop(rig);
  EXPECT_EQ(loop.Run(kCycles), kCycles);
  EXPECT_TRUE(rig.messages.shown.empty()) << rig.messages.Texts().front();

  // The header block, then one row a cycle.
  const std::string log = test::ReadBytes(rig.folder / "Datalog_1.txt");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 8 + kCycles);
  EXPECT_NE(log.find("\r\n" + std::to_string(kCycles) + "\t"), std::string::npos);

  w.MnuExit_Click();
  EXPECT_EQ(rig.exit.codes, std::vector<int>{0});
  Analyzer saved;
  ASSERT_TRUE(saved.LoadConfig(rig.folder / kConfigFileName));
  EXPECT_EQ(saved.InterfaceType, interface);
  EXPECT_TRUE(rig.port.Unanswered().empty());
  EXPECT_TRUE(rig.card.Unanswered().empty());
}

INSTANTIATE_TEST_SUITE_P(RealBackend, WholeProgram,
                         ::testing::Values(interface_type::kParallelPort, interface_type::kUsbCard),
                         [](const auto& info) { return info.index == 0 ? "Ppdev" : "Libusb"; });

}  // namespace
}  // namespace velk
