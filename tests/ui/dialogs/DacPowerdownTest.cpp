#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <vector>

#include "support/QtApp.h"
#include "support/SimRig.h"
#include "support/TempDir.h"
#include "ui/dialogs/frmDAC.h"
#include "ui/dialogs/frmPowerdown.h"
#include "ui/main/WriteTrace.h"

namespace velk {
namespace {

using test::ByteWrite;

// The dialogs over the simulated sensor, with the write frames it receives at hand.
struct DialogRig : test::SimRig {
  static void Enter(QLineEdit* box, const char* text) {
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Return);
  }

  bool ready = (test::EnsureQApp(), true);
  test::TempDir folder;
  test::WriteTrace trace{sensor, folder / "spi.txt"};
};

// A code written, high byte first, and then latched.
std::vector<ByteWrite> Latched(int code) {
  return test::WordWrites({{0x30, code}, {0x3E, 4}});
}

TEST(DacDialog, EveryEntryIsLimitedWrittenAndLatched) {
  DialogRig rig;
  rig.session.spi.WriteRegister(slot::Aux_DAC, 1000);
  frmDAC dialog(rig.session);
  dialog.show();
  EXPECT_EQ(dialog.hscAuxDAC->value(), 1000);
  EXPECT_EQ(dialog.txtAuxDacIn->text(), "1000");
  EXPECT_EQ(dialog.txtAuxDacOut->text(), "0.6105");

  struct Entry {
    QLineEdit* box;
    const char* typed;
    int code;
    const char* volts;
  };
  for (const Entry& e : {Entry{dialog.txtAuxDacOut, "1.25", 2048, "1.2503"},
                         Entry{dialog.txtAuxDacOut, "3", 4095, "2.5000"},
                         Entry{dialog.txtAuxDacIn, "5000", 4095, "2.5000"},
                         Entry{dialog.txtAuxDacIn, "12.5", 12, "0.0073"}}) {
    SCOPED_TRACE(e.typed);
    rig.trace.Take();
    DialogRig::Enter(e.box, e.typed);
    EXPECT_EQ(dialog.txtAuxDacIn->text().toInt(), e.code);
    EXPECT_EQ(dialog.txtAuxDacOut->text(), e.volts);
    EXPECT_EQ(rig.sensor.Word(0x30), e.code);
    // The bar's own handler may write again; every write is latched.
    const std::vector<ByteWrite> writes = rig.trace.Take();
    ASSERT_FALSE(writes.empty());
    ASSERT_EQ(writes.size() % 4, 0u);
    for (size_t i = 0; i < writes.size(); i += 4)
      EXPECT_EQ(std::vector<ByteWrite>(writes.begin() + i, writes.begin() + i + 4),
                Latched(e.code));
  }

  // The scroll bar writes too; Enter in an empty box, or other keys, write nothing.
  dialog.hscAuxDAC->setValue(1000);
  EXPECT_EQ(dialog.txtAuxDacOut->text(), "0.6105");
  EXPECT_EQ(rig.trace.Take(), Latched(1000));
  DialogRig::Enter(dialog.txtAuxDacIn, "");
  QTest::keyClick(dialog.txtAuxDacIn, Qt::Key_5);
  EXPECT_TRUE(rig.trace.Take().empty());
}

TEST(PowerdownDialog, CountsShowTheirTimeAndOnlySetWritesAndSleeps) {
  DialogRig rig;
  frmPowerdown dialog(rig.session);
  dialog.show();
  for (auto [count, seconds] : {std::pair{1, "0.5"}, {255, "127.5"}}) {
    dialog.hscPowerdown->setValue(count);
    EXPECT_EQ(dialog.txtPowerDown->text(), seconds);
    EXPECT_EQ(dialog.txtPwrMde->text().toInt(), count);
  }
  EXPECT_TRUE(rig.trace.Take().empty());

  dialog.hide();
  dialog.show();
  EXPECT_EQ(dialog.txtPowerDown->text() + dialog.txtPwrMde->text(), "0.00");
  dialog.hscPowerdown->setValue(4);
  QTest::mouseClick(dialog.cmdPowerDown, Qt::LeftButton);
  EXPECT_EQ(rig.trace.Take(), (std::vector<ByteWrite>{{0x3B, 0}, {0x3A, 4}}));
}

}  // namespace
}  // namespace velk
