#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QtTest/QTest>
#include <algorithm>
#include <tuple>
#include <vector>

#include "core/ChipConstants.h"
#include "registers/WiredSession.h"
#include "support/QtApp.h"
#include "support/SimRig.h"
#include "support/TempDir.h"
#include "ui/dialogs/frmAbout.h"
#include "ui/dialogs/frmDAC.h"
#include "ui/dialogs/frmManualReg.h"
#include "ui/dialogs/frmPowerdown.h"
#include "ui/main/WriteTrace.h"

namespace velk {
namespace {

using test::ByteWrite;
using test::WordWrites;

// The dialogs over the simulated sensor, with the write frames it receives at hand.
struct DialogRig : test::SimRig {
  bool ready = (test::EnsureQApp(), true);
  test::TempDir folder;
  test::WriteTrace trace{sensor, folder / "spi.txt"};
};

void Reopen(QDialog& dialog) {
  dialog.hide();
  dialog.show();
}

void Enter(QLineEdit* box, const char* text) {
  box->setText(text);
  QTest::keyClick(box, Qt::Key_Return);
}

TEST(ManualRegDialog, ListsByFactoryModeAndEachOpeningStartsWithNothingChosen) {
  DialogRig rig;
  frmManualReg d(rig.session);
  for (int factory : {0, int{kFactoryModeValue}}) {
    rig.session.analyzer.FactoryMode = factory;
    Reopen(d);
    Reopen(d);  // the list never grows
    EXPECT_EQ(d.cmboRegister->count(), factory != 0 ? 63 : 33);
    EXPECT_EQ(d.cmboRegister->currentText(), "None");
    EXPECT_EQ(d.cmboRegister->itemText(d.cmboRegister->count() - 1),
              factory != 0 ? "Test_Cnfg" : "Command");
    EXPECT_EQ(d.cmdUnlock->isEnabled(), factory != 0);
  }
  d.cmdUnlock_Click();
  EXPECT_TRUE(rig.sensor.Unlocked());

  const auto allows = [&] { return std::pair{d.cmdRead->isEnabled(), d.cmdWrite->isEnabled()}; };
  d.cmboRegister->setCurrentIndex(slot::Status);
  EXPECT_EQ(d.txtRegAddr->text() + d.txtRegRead->text() + d.txtRegWrite->text(), "3CTrueFalse");
  EXPECT_EQ(allows(), std::pair(true, false));
  d.cmboRegister->setCurrentIndex(slot::Command);
  EXPECT_EQ(allows(), std::pair(false, true));
  Reopen(d);
  EXPECT_EQ(rig.session.reg.SelectedRegister, 0);
  EXPECT_TRUE(
      (d.txtRegAddr->text() + d.txtRegByte->text() + d.txtRegRead->text() + d.txtRegWrite->text())
          .isEmpty());
  EXPECT_EQ(allows(), std::pair(false, false));
}

TEST(ManualRegDialog, ReadsAndWritesInHexAndUpdatesFlash) {
  DialogRig rig;
  frmManualReg d(rig.session);
  d.show();
  d.cmboRegister->setCurrentIndex(slot::Gyro_Ofst);
  // Typed or pasted: at most four hex digits, blanks around them stripped.
  for (auto [typed, paste, written] : {std::tuple{"12345", false, 0x1234},
                                       {"12345", true, 0x1234},  // refused: nothing written
                                       {"nan", false, 0x000A},
                                       {"  12  ", true, 0x0012},
                                       {"FF ", false, 0x00FF},
                                       {"fffb", false, 0xFFFB}}) {
    SCOPED_TRACE(typed);
    d.txtDataWrite->clear();
    if (paste) {
      d.txtDataWrite->insert(typed);  // as a paste inserts
    } else {
      QTest::keyClicks(d.txtDataWrite, typed);
    }
    QTest::mouseClick(d.cmdWrite, Qt::LeftButton);
    EXPECT_EQ(rig.sensor.Word(0x14), written);
  }
  QTest::mouseClick(d.cmdRead, Qt::LeftButton);
  EXPECT_EQ(d.txtRead->text(), "FFFFFFFB");

  const uint16_t flashCycles = rig.sensor.Word(0x00);
  QTest::mouseClick(d.cmdUpdateFlash, Qt::LeftButton);
  EXPECT_EQ(rig.sensor.Word(0x00), flashCycles + 1);
}

TEST(ManualRegDialog, PrintsTheDialogWithItsText) {
  const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  DialogRig rig;
  frmManualReg d(rig.session);
  d.printDestination = std::make_unique<PdfDestination>(QString::fromStdString(rig.folder.Path()));
  rig.session.spi.WriteRegister(slot::Gyro_Ofst, -5);
  d.show();
  d.cmboRegister->setCurrentIndex(slot::Smpl_Prd);
  QTest::mouseClick(d.cmdReadUserReg, Qt::LeftButton);
  QTest::mouseClick(d.cmdPrint, Qt::LeftButton);

  ASSERT_EQ(rig.messages.shown.size(), 1u);
  const std::string& message = rig.messages.shown[0].text;
  QProcess convert;
  convert.start(
      pdftotext,
      {"-layout", QString::fromStdString(message.substr(message.find(rig.folder.Path()))), "-"});
  ASSERT_TRUE(convert.waitForFinished(30000));
  const QString text = QString::fromUtf8(convert.readAllStandardOutput());
  for (const char* shown : {"Register Read/Write", "User Registers (Hex Values)", "Smpl_Prd", "36",
                            "Gyro_Ofst", "FFFFFFFB", "Sens_Avg", "0402", "Update Flash"})
    EXPECT_TRUE(text.contains(shown)) << shown << "\n" << text.toStdString();
}

TEST(DacDialog, EveryEntryIsLimitedWrittenAndLatched) {
  DialogRig rig;
  rig.session.spi.WriteRegister(slot::Aux_DAC, 1000);
  frmDAC dialog(rig.session);
  dialog.show();
  const auto shown = [&] { return dialog.txtAuxDacIn->text() + ' ' + dialog.txtAuxDacOut->text(); };
  EXPECT_EQ(shown(), "1000 0.6105");
  for (auto [box, typed, code, volts] : {std::tuple{dialog.txtAuxDacOut, "1.25", 2048, "1.2503"},
                                         {dialog.txtAuxDacOut, "3", 4095, "2.5000"},
                                         {dialog.txtAuxDacIn, "5000", 4095, "2.5000"},
                                         {dialog.txtAuxDacIn, "12.5", 12, "0.0073"}}) {
    SCOPED_TRACE(typed);
    rig.trace.Take();
    Enter(box, typed);
    EXPECT_EQ(shown(), QString::number(code) + ' ' + volts);
    // The bar's own handler may write again; every write is the code, then the latch.
    const std::vector<ByteWrite> writes = rig.trace.Take();
    ASSERT_FALSE(writes.empty());
    for (size_t i = 0; i < writes.size(); i += 4)
      EXPECT_EQ(std::vector(writes.begin() + i, writes.begin() + std::min(i + 4, writes.size())),
                WordWrites({{0x30, code}, {0x3E, 4}}));
  }

  // The scroll bar writes too; Enter in an empty box, or other keys, write nothing.
  dialog.hscAuxDAC->setValue(1000);
  EXPECT_EQ(rig.trace.Take(), WordWrites({{0x30, 1000}, {0x3E, 4}}));
  Enter(dialog.txtAuxDacIn, "");
  QTest::keyClick(dialog.txtAuxDacIn, Qt::Key_5);
  EXPECT_TRUE(rig.trace.Take().empty());
}

TEST(PowerdownDialog, CountsShowTheirTimeAndOnlySetWritesAndSleeps) {
  DialogRig rig;
  frmPowerdown dialog(rig.session);
  dialog.show();
  dialog.hscPowerdown->setValue(255);
  EXPECT_EQ(dialog.txtPowerDown->text() + ' ' + dialog.txtPwrMde->text(), "127.5 255");
  EXPECT_TRUE(rig.trace.Take().empty());

  Reopen(dialog);
  EXPECT_EQ(dialog.txtPowerDown->text() + ' ' + dialog.txtPwrMde->text(), "0.0 0");
  dialog.hscPowerdown->setValue(4);
  QTest::mouseClick(dialog.cmdPowerDown, Qt::LeftButton);
  EXPECT_EQ(rig.trace.Take(), (std::vector<ByteWrite>{{0x3B, 0}, {0x3A, 4}}));
}

TEST(AboutBox, UnlocksTheChipAndShowsItsIdentity) {
  test::EnsureQApp();
  test::WiredSession chip;
  //           Rev_Day Mon_Year Fls_Cyc Product
  chip.Answer({0x1512, 0x0509, 12345, 0});
  frmAbout about(chip.session);
  EXPECT_EQ(about.LblDutRev->text() + ' ' + about.LblDutDate->text() + ' ' +
                about.LblFlashWrites->text() + ' ' + about.lblProductType->text(),
            "1.2 9/15/2005 12345 Unknown");
  // The key code goes first, low byte before high.
  const std::vector<uint16_t> frames = chip.Frames();
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(frames[0], 0x8000 | 0x50 << 8 | (kKeyCode & 0xFF));
  EXPECT_EQ(frames[1], 0x8000 | 0x51 << 8 | kKeyCode >> 8);
}

TEST(AboutBox, VersionNumbersWithoutPadding) {
  EXPECT_EQ(ProgramVersion("3.04.10"), "3.4.10");
  EXPECT_EQ(ProgramVersion("2.1"), "2.1.0");
}

}  // namespace
}  // namespace velk
