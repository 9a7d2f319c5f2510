#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QtTest/QTest>
#include <algorithm>
#include <tuple>

#include "core/ChipConstants.h"
#include "support/QtApp.h"
#include "support/SimRig.h"
#include "support/TempDir.h"
#include "ui/dialogs/UserRegisterListing.h"
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
  rig.dialog.show();
  rig.Reopen();
  QComboBox& list = *rig.dialog.cmboRegister;
  ASSERT_EQ(list.count(), 33);
  EXPECT_EQ(list.itemText(0), "None");
  EXPECT_EQ(list.itemText(slot::Gyro_Ofst), "Gyro_Ofst");
  EXPECT_EQ(list.itemText(32), "Command");
  EXPECT_FALSE(rig.dialog.cmdUnlock->isEnabled());

  rig.session.analyzer.FactoryMode = kFactoryModeValue;
  rig.Reopen();
  ASSERT_EQ(list.count(), 63);
  EXPECT_EQ(list.itemText(62), "Test_Cnfg");
  EXPECT_TRUE(rig.dialog.cmdUnlock->isEnabled());
  rig.dialog.cmdUnlock_Click();
  EXPECT_TRUE(rig.sensor.Unlocked());
}

TEST(ManualRegDialog, ChoosingASlotShowsItsEntryAndWhatItAllows) {
  ManualRegRig rig;
  rig.dialog.show();
  frmManualReg& d = rig.dialog;

  rig.Choose(slot::Status);
  EXPECT_EQ(rig.session.reg.SelectedRegister, slot::Status);
  EXPECT_EQ(d.txtRegAddr->text() + d.txtRegRead->text() + d.txtRegWrite->text(), "3CTrueFalse");
  EXPECT_TRUE(d.cmdRead->isEnabled());
  EXPECT_FALSE(d.cmdWrite->isEnabled());

  rig.Choose(slot::Command);
  EXPECT_FALSE(d.cmdRead->isEnabled());
  EXPECT_TRUE(d.cmdWrite->isEnabled());

  // Every opening starts with nothing chosen, whatever was chosen before.
  rig.Reopen();
  EXPECT_EQ(d.cmboRegister->currentIndex(), 0);
  EXPECT_EQ(rig.session.reg.SelectedRegister, 0);
  for (QLineEdit* box : {d.txtRegAddr, d.txtRegByte, d.txtRegRead, d.txtRegWrite})
    EXPECT_TRUE(box->text().isEmpty());
  EXPECT_FALSE(d.cmdRead->isEnabled());
  EXPECT_FALSE(d.cmdWrite->isEnabled());
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

TEST(ManualRegDialog, UserRegisterListing) {
  ManualRegRig rig;
  rig.session.spi.WriteRegister(slot::Gyro_Ofst, -5);
  rig.session.spi.WriteRegister(slot::Aux_DAC, 0xABC);
  const std::string listing = UserRegisterListing(rig.session.spi, rig.session.reg);
  // Heading, rule and 13 rows, each ending CR LF; a negative value in 32 bits.
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 15);
  EXPECT_EQ(listing.substr(0, 52),
            "Name\t\tAddr\tSetting\r\n---------\t\t---------\t---------\r\n");
  for (const char* row : {"Gyro_Ofst      \t14\tFFFFFFFB\r\n", "Aux_DAC      \t30\t0ABC\r\n",
                          "Pwr_Mde      \t3A\t0000\r\n"})
    EXPECT_NE(listing.find(row), std::string::npos) << row;

  rig.dialog.show();
  QTest::mouseClick(rig.dialog.cmdReadUserReg, Qt::LeftButton);
  EXPECT_EQ(rig.dialog.txtUserReg->toPlainText().toStdString(),
            QString::fromStdString(listing).replace("\r\n", "\n").toStdString());
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
