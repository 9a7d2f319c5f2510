#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <fstream>
#include <utility>
#include <vector>

#include "support/QtApp.h"
#include "support/SimRig.h"
#include "support/TempDir.h"
#include "ui/dialogs/frmDAC.h"
#include "ui/dialogs/frmPowerdown.h"

namespace velk {
namespace {

using ByteWrite = std::pair<int, int>;  // address, data

// The dialogs over the simulated sensor, with the write frames it receives at hand.
struct DialogRig : test::SimRig {
  DialogRig() { sensor.TraceTo(folder / "spi.txt"); }

  // Write frames since the last call.
  std::vector<ByteWrite> Writes() {
    std::ifstream in(folder / "spi.txt");
    std::vector<ByteWrite> writes;
    std::string sent, answered;
    size_t line = 0;
    for (; in >> sent >> answered; ++line) {
      const unsigned long frame = std::stoul(sent, nullptr, 16);
      if (line >= seen && (frame & 0x8000) != 0)
        writes.emplace_back((frame >> 8) & 0x7F, frame & 0xFF);
    }
    seen = line;
    return writes;
  }

  static void Enter(QLineEdit* box, const char* text) {
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Return);
  }

  bool ready = (test::EnsureQApp(), true);
  test::TempDir folder;
  size_t seen = 0;
};

TEST(DacDialog, OpeningShowsTheChipsCode) {
  DialogRig rig;
  rig.session.spi.WriteRegister(slot::Aux_DAC, 1000);
  frmDAC dialog(rig.session);
  dialog.show();
  EXPECT_EQ(dialog.hscAuxDAC->value(), 1000);
  EXPECT_EQ(dialog.txtAuxDacIn->text(), "1000");
  EXPECT_EQ(dialog.txtAuxDacOut->text(), "0.6105");
}

TEST(DacDialog, EveryEntryIsLimitedWrittenAndLatched) {
  DialogRig rig;
  frmDAC dialog(rig.session);
  dialog.show();
  struct Entry {
    QLineEdit* box;
    const char* typed;
    int code;
    const char* volts;
  };
  for (const Entry& e : {Entry{dialog.txtAuxDacOut, "1.25", 2048, "1.2503"},
                         Entry{dialog.txtAuxDacOut, "3", 4095, "2.5000"},
                         Entry{dialog.txtAuxDacOut, "-1", 0, "0.0000"},
                         Entry{dialog.txtAuxDacIn, "5000", 4095, "2.5000"},
                         Entry{dialog.txtAuxDacIn, "12.5", 12, "0.0073"}}) {
    rig.Writes();
    DialogRig::Enter(e.box, e.typed);
    EXPECT_EQ(dialog.hscAuxDAC->value(), e.code) << e.typed;
    EXPECT_EQ(dialog.txtAuxDacIn->text().toInt(), e.code) << e.typed;
    EXPECT_EQ(dialog.txtAuxDacOut->text(), e.volts) << e.typed;
    EXPECT_EQ(rig.sensor.Word(0x30), e.code) << e.typed;
    // Each code written, high byte first, is followed by the latch command.
    const std::vector<ByteWrite> writes = rig.Writes();
    ASSERT_FALSE(writes.empty()) << e.typed;
    ASSERT_EQ(writes.size() % 4, 0u) << e.typed;
    for (size_t i = 0; i < writes.size(); i += 4) {
      const std::vector<ByteWrite> latched = {
          {0x31, e.code >> 8}, {0x30, e.code & 0xFF}, {0x3F, 0}, {0x3E, 4}};
      EXPECT_EQ(std::vector<ByteWrite>(writes.begin() + i, writes.begin() + i + 4), latched)
          << e.typed;
    }
  }

  // The scroll bar writes too; Enter in an empty box, or other keys, write nothing.
  dialog.hscAuxDAC->setValue(1000);
  EXPECT_EQ(dialog.txtAuxDacOut->text(), "0.6105");
  EXPECT_EQ(rig.Writes(), (std::vector<ByteWrite>{{0x31, 3}, {0x30, 0xE8}, {0x3F, 0}, {0x3E, 4}}));
  DialogRig::Enter(dialog.txtAuxDacIn, "");
  DialogRig::Enter(dialog.txtAuxDacOut, "");
  QTest::keyClick(dialog.txtAuxDacIn, Qt::Key_5);
  EXPECT_TRUE(rig.Writes().empty());
  EXPECT_TRUE(dialog.isVisible());
}

TEST(PowerdownDialog, CountsShowTheirTimeAndOnlySetWrites) {
  DialogRig rig;
  frmPowerdown dialog(rig.session);
  dialog.show();
  for (auto [count, seconds] : {std::pair{1, "0.5"}, {255, "127.5"}}) {
    dialog.hscPowerdown->setValue(count);
    EXPECT_EQ(dialog.txtPowerDown->text(), seconds);
    EXPECT_EQ(dialog.txtPwrMde->text().toInt(), count);
  }
  EXPECT_TRUE(rig.Writes().empty());

  dialog.hide();
  dialog.show();
  EXPECT_EQ(dialog.hscPowerdown->value(), 0);
  EXPECT_EQ(dialog.txtPowerDown->text(), "0.0");
  EXPECT_EQ(dialog.txtPwrMde->text(), "0");
  QTest::mouseClick(dialog.cmdPowerDown, Qt::LeftButton);
  EXPECT_EQ(rig.Writes(), (std::vector<ByteWrite>{{0x3B, 0}, {0x3A, 0}}));
}

TEST(PowerdownDialog, TheChipSleepsForTheCountSet) {
  DialogRig rig;
  frmPowerdown dialog(rig.session);
  dialog.show();
  dialog.hscPowerdown->setValue(4);
  QTest::mouseClick(dialog.cmdPowerDown, Qt::LeftButton);
  EXPECT_EQ(rig.sensor.Byte(0x3A), 4);

  rig.session.spi.ReadRegister(slot::Smpl_Prd);
  EXPECT_EQ(rig.session.spi.RegData, 0);
  rig.clock.Advance(2.1);
  rig.session.spi.ReadRegister(slot::Smpl_Prd);
  EXPECT_EQ(rig.session.spi.RegData, 1);
}

}  // namespace
}  // namespace velk
