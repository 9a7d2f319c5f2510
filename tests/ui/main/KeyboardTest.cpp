#include <gtest/gtest.h>

#include <QMenuBar>
#include <QtTest/QTest>
#include <set>

#include "support/Captions.h"
#include "support/LoopDriver.h"
#include "support/WindowRig.h"
#include "ui/main/WriteTrace.h"

namespace velk {
namespace {

TEST(Keyboard, TabVisitsTheTopRowThenEachPanelInReadingOrder) {
  test::WindowRig rig;
  frmVelk47120& w = rig.Open();
  QStringList names;
  for (QWidget* stop : test::TabStops(&w)) names << stop->objectName();
  EXPECT_EQ(names.join(' ').toStdString(),
            "hscScale cmdNewPart cmdResetFactory pic1 ckAngleOut cmdReadData CmdReadLoop "
            "txtLoopDelay chkOneSweep chkDatalog txtDlogFile txtFileIndex CmdUpdateStatus "
            "cmdReadCal txtGyroOfst txtGyroScale CmdNull CmdRst CmdApply hscSmplPrd hscAvgCnt");
}

TEST(Keyboard, AccessKeysAreUniqueAndNamesStayAsDesigned) {
  test::WindowRig rig;
  frmVelk47120& w = rig.Open();
  std::set<QString> keys;
  std::vector<QString> texts;
  for (QAction* entry : w.menuBar()->actions()) texts.push_back(entry->text());
  for (QPushButton* button : w.findChildren<QPushButton*>()) texts.push_back(button->text());
  for (const QString& text : texts) {
    const QString key = QKeySequence::mnemonic(text).toString();
    EXPECT_FALSE(key.isEmpty()) << text.toStdString();
    EXPECT_TRUE(keys.insert(key).second) << "clash: " << text.toStdString();
  }
  EXPECT_EQ(test::SpokenName(w.cmdResetFactory), "Reset to Factory Defaults");
}

TEST(Keyboard, ArrowAndPageKeysWriteWhatTheMouseStepWrites) {
  struct Case {
    const char* bar;
    int start;
    Qt::Key key;
    QStyle::SubControl mouse;
    int moved;
  };
  for (const Case c : {Case{"hscScale", 0, Qt::Key_Right, QStyle::SC_ScrollBarAddLine, 1},
                       {"hscScale", 2, Qt::Key_PageUp, QStyle::SC_ScrollBarSubPage, 1},
                       {"hscSmplPrd", 10, Qt::Key_Left, QStyle::SC_ScrollBarSubLine, 9},
                       {"hscSmplPrd", 10, Qt::Key_PageDown, QStyle::SC_ScrollBarAddPage, 18},
                       {"hscAvgCnt", 1, Qt::Key_Right, QStyle::SC_ScrollBarAddLine, 2}}) {
    SCOPED_TRACE(c.bar);
    std::vector<test::ByteWrite> writes[2];
    for (int byKey = 0; byKey < 2; ++byKey) {
      test::WindowRig rig;
      frmVelk47120& w = rig.Open();
      auto* bar = w.findChild<QScrollBar*>(c.bar);
      bar->setValue(c.start);
      test::WriteTrace trace(rig.sensor, rig.folder / "spi.txt");
      if (byKey)
        QTest::keyClick(bar, c.key);
      else
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          test::ScrollBarPart(bar, bar->value(), c.mouse).center());
      EXPECT_EQ(bar->value(), c.moved);
      writes[byKey] = trace.Take();
    }
    EXPECT_FALSE(writes[0].empty());
    EXPECT_EQ(writes[1], writes[0]);
  }
}

TEST(Keyboard, F5StartsAndStopsTheReadLoop) {
  test::WindowRig rig;
  frmVelk47120& w = rig.Open();
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  test::LoopDriver loop(rig);
  loop.onCycle = [&](int n) {
    if (n == 3) QTest::keyClick(&w, Qt::Key_F5);
    if (n == 30) w.CmdReadLoop->click();  // F5 did not stop it
  };
  QTest::keyClick(&w, Qt::Key_F5);
  EXPECT_EQ(loop.count, 3);
  EXPECT_EQ(w.lblLoop->text(), "Stopped");
}

}  // namespace
}  // namespace velk
