#include <gtest/gtest.h>

#include <QScreen>
#include <string>

#include "core/NumberText.h"
#include "support/LoopDriver.h"
#include "support/WindowRig.h"

namespace velk {
namespace {

// A run paints at most once a frame; when it ends, the screen (the window's backing store)
// shows every point of the chart, and the boxes the last cycle's values.
TEST(RunDisplay, WhenARunEndsTheScreenShowsEveryPointAndTheLastValues) {
  test::WindowRig rig;
  frmVelk47120& w = rig.Open();
  w.show();
  QCoreApplication::processEvents();
  w.chkDatalog->click();
  ASSERT_EQ(test::LoopDriver(rig).Run(40), 40);
  QCoreApplication::processEvents();  // the paint the run's end asked for

  const QImage screen = w.screen()->grabWindow(w.winId()).toImage();
  const QImage chart = w.pic1->grab().toImage();  // drawn from the chart's picture
  EXPECT_EQ(screen.copy(QRect(w.pic1->mapTo(&w, QPoint()), w.pic1->size())), chart);

  EXPECT_EQ(w.txtLoopCount->text(), "40");
  const std::string log = test::ReadBytes(rig.folder / "Datalog_1.txt");
  const size_t row = log.rfind("\r\n", log.size() - 3) + 2;
  EXPECT_EQ(log.substr(row, 3), "40\t");
  const float gyro = std::stof(log.substr(log.find('\t', row + 3) + 1));
  EXPECT_EQ(w.txtReadReg[slot::Gyro_Out]->text().toStdString(), FormatFixed(gyro, 2));
}

}  // namespace
}  // namespace velk
