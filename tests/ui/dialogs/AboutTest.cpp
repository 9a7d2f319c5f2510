#include <gtest/gtest.h>

#include <QApplication>
#include <QRegularExpression>

#include "core/ChipConstants.h"
#include "registers/Session.h"
#include "sim/SimUsbCard.h"
#include "support/MessageRecorder.h"
#include "support/QtApp.h"
#include "support/SimRig.h"
#include "support/SpiFrames.h"
#include "ui/dialogs/frmAbout.h"

namespace velk {
namespace {

// A chip on the parallel port that answers the identification reads with chosen words.
struct ScriptedChip {
  explicit ScriptedChip(std::vector<uint16_t> answers) {
    session.analyzer.InterfaceType = 1;
    session.analyzer.PortAddress = 0x378;
    session.reg.BuildRegisterTable();
    test::AnswerWith(io, 0x378, std::move(answers));
  }

  bool ready = (test::EnsureQApp(), true);
  test::RecordingPortIo io;
  SimUsbCard noCard;
  test::MessageRecorder messages;
  Session session{io, noCard, messages};
};

TEST(AboutBox, ShowsTheChipsIdentity) {
  //                  Rev_Day Mon_Year Fls_Cyc Product
  ScriptedChip chip({0x1512, 0x0509, 12345, 0});
  frmAbout about(chip.session);
  EXPECT_EQ(about.LblDutRev->text(), "1.2");
  EXPECT_EQ(about.LblDutDate->text(), "9/15/2005");
  EXPECT_EQ(about.LblFlashWrites->text(), "12345");
  EXPECT_EQ(about.lblProductType->text(), "Unknown");
  EXPECT_EQ(about.windowTitle(), "About VELK47120 Evaluation Software");
  EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(about.lblVersion->text()).hasMatch())
      << about.lblVersion->text().toStdString();

  // The key code goes first, low byte before high.
  const std::vector<uint16_t> frames = test::FramesSent(chip.io, 0x378);
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(frames[0], 0x8000 | 0x50 << 8 | (kKeyCode & 0xFF));
  EXPECT_EQ(frames[1], 0x8000 | 0x51 << 8 | kKeyCode >> 8);
}

TEST(AboutBox, UnlocksTheSimulatedChip) {
  test::SimRig rig;
  test::EnsureQApp();
  frmAbout about(rig.session);
  EXPECT_EQ(about.lblProductType->text(), "VELK47120");
}

TEST(AboutBox, VersionNumbersWithoutPadding) {
  EXPECT_EQ(ProgramVersion("3.04.10"), "3.4.10");
  EXPECT_EQ(ProgramVersion("2.1"), "2.1.0");
}

}  // namespace
}  // namespace velk
