#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <algorithm>
#include <tuple>
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
  bool ready = (test::EnsureQApp(), true);
  test::TempDir folder;
  test::WriteTrace trace{sensor, folder / "spi.txt"};
};

void Enter(QLineEdit* box, const char* text) {
  box->setText(text);
  QTest::keyClick(box, Qt::Key_Return);
}

TEST(DacDialog, EveryEntryIsLimitedWrittenAndLatched) {
  DialogRig rig;
  rig.session.spi.WriteRegister(slot::Aux_DAC, 1000);
  frmDAC dialog(rig.session);
  dialog.show();
  const auto shown = [&] { return dialog.txtAuxDacIn->text() + ' ' + dialog.txtAuxDacOut->text(); };
  EXPECT_EQ(dialog.hscAuxDAC->value(), 1000);
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
                test::WordWrites({{0x30, code}, {0x3E, 4}}));
  }

  // The scroll bar writes too; Enter in an empty box, or other keys, write nothing.
  dialog.hscAuxDAC->setValue(1000);
  EXPECT_EQ(rig.trace.Take(), test::WordWrites({{0x30, 1000}, {0x3E, 4}}));
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

  dialog.hide();
  dialog.show();
  EXPECT_EQ(dialog.txtPowerDown->text() + ' ' + dialog.txtPwrMde->text(), "0.0 0");
  dialog.hscPowerdown->setValue(4);
  QTest::mouseClick(dialog.cmdPowerDown, Qt::LeftButton);
  EXPECT_EQ(rig.trace.Take(), (std::vector<ByteWrite>{{0x3B, 0}, {0x3A, 4}}));
}

}  // namespace
}  // namespace velk
