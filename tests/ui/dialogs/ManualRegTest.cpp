#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QtTest/QTest>
#include <tuple>

#include "core/ChipConstants.h"
#include "support/QtApp.h"
#include "support/SimRig.h"
#include "support/TempDir.h"
#include "ui/dialogs/frmManualReg.h"

namespace velk {
namespace {

struct ManualRegRig : test::SimRig {
  void Choose(int16_t s) { dialog.cmboRegister->setCurrentIndex(s); }
  void Reopen() {
    dialog.hide();
    dialog.show();
  }

  bool ready = (test::EnsureQApp(), true);
  frmManualReg dialog{session};
};

TEST(ManualRegDialog, RegisterListFollowsFactoryModeAndNeverGrows) {
  ManualRegRig rig;
  QComboBox& list = *rig.dialog.cmboRegister;
  for (int factory : {0, int{kFactoryModeValue}}) {
    rig.session.analyzer.FactoryMode = factory;
    rig.Reopen();
    rig.Reopen();
    EXPECT_EQ(list.count(), factory != 0 ? 63 : 33);
    EXPECT_EQ(list.itemText(list.count() - 1), factory != 0 ? "Test_Cnfg" : "Command");
    EXPECT_EQ(rig.dialog.cmdUnlock->isEnabled(), factory != 0);
  }
  rig.dialog.cmdUnlock_Click();
  EXPECT_TRUE(rig.sensor.Unlocked());
}

TEST(ManualRegDialog, AChosenSlotShowsWhatItAllowsUntilTheNextOpening) {
  ManualRegRig rig;
  frmManualReg& d = rig.dialog;
  d.show();
  const auto allows = [&] { return std::pair{d.cmdRead->isEnabled(), d.cmdWrite->isEnabled()}; };
  rig.Choose(slot::Status);
  EXPECT_EQ(d.txtRegAddr->text() + d.txtRegRead->text() + d.txtRegWrite->text(), "3CTrueFalse");
  EXPECT_EQ(allows(), std::pair(true, false));
  rig.Choose(slot::Command);
  EXPECT_EQ(allows(), std::pair(false, true));

  rig.Reopen();
  EXPECT_EQ(rig.session.reg.SelectedRegister, 0);
  EXPECT_TRUE(
      (d.txtRegAddr->text() + d.txtRegByte->text() + d.txtRegRead->text() + d.txtRegWrite->text())
          .isEmpty());
  EXPECT_EQ(allows(), std::pair(false, false));
}

TEST(ManualRegDialog, ReadsAndWritesInHexAndUpdatesFlash) {
  ManualRegRig rig;
  rig.dialog.show();
  rig.Choose(slot::Gyro_Ofst);
  // Typed or pasted: at most four hex digits, blanks around them stripped.
  for (auto [typed, paste, written] : {std::tuple{"12345", false, 0x1234},
                                       {"12345", true, 0x1234},  // refused: nothing written
                                       {"nan", false, 0x000A},
                                       {"  12  ", true, 0x0012},
                                       {"FF ", false, 0x00FF},
                                       {"fffb", false, 0xFFFB}}) {
    SCOPED_TRACE(typed);
    QLineEdit& box = *rig.dialog.txtDataWrite;
    box.clear();
    if (paste) {
      box.insert(typed);  // as a paste inserts
    } else {
      QTest::keyClicks(&box, typed);
    }
    QTest::mouseClick(rig.dialog.cmdWrite, Qt::LeftButton);
    EXPECT_EQ(rig.sensor.Word(0x14), written);
  }
  QTest::mouseClick(rig.dialog.cmdRead, Qt::LeftButton);
  EXPECT_EQ(rig.dialog.txtRead->text(), "FFFFFFFB");

  const uint16_t flashCycles = rig.sensor.Word(0x00);
  QTest::mouseClick(rig.dialog.cmdUpdateFlash, Qt::LeftButton);
  EXPECT_EQ(rig.sensor.Word(0x00), flashCycles + 1);
}

TEST(ManualRegDialog, PrintsTheDialogWithItsText) {
  const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  ManualRegRig rig;
  test::TempDir folder;
  rig.dialog.printDestination =
      std::make_unique<PdfDestination>(QString::fromStdString(folder.Path().string()));
  rig.session.spi.WriteRegister(slot::Gyro_Ofst, -5);
  rig.dialog.show();
  rig.Choose(slot::Smpl_Prd);
  QTest::mouseClick(rig.dialog.cmdReadUserReg, Qt::LeftButton);
  QTest::mouseClick(rig.dialog.cmdPrint, Qt::LeftButton);

  ASSERT_EQ(rig.messages.shown.size(), 1u);
  const std::string& message = rig.messages.shown[0].text;
  const std::string pdf = message.substr(message.find(folder.Path().string()));
  QProcess convert;
  convert.start(pdftotext, {"-layout", QString::fromStdString(pdf), "-"});
  ASSERT_TRUE(convert.waitForFinished(30000));
  const QString text = QString::fromUtf8(convert.readAllStandardOutput());
  for (const char* shown : {"Register Read/Write", "User Registers (Hex Values)", "Smpl_Prd", "36",
                            "Gyro_Ofst", "FFFFFFFB", "Sens_Avg", "0402", "Update Flash"})
    EXPECT_TRUE(text.contains(shown)) << shown << "\n" << text.toStdString();
}

}  // namespace
}  // namespace velk
