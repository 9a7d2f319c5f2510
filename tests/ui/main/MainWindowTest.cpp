#include <gtest/gtest.h>

#include "support/WindowRig.h"

namespace velk {
namespace {

using test::WindowRig;

TEST(MainWindow, LoadsWithTitleAndStartValues) {
  WindowRig rig;
  frmVelk47120& w = rig.Open();
  EXPECT_EQ(w.windowTitle().toStdString(), frmVelk47120::kCaption);
  EXPECT_EQ(w.txtLoopDelay->text(), "5.0");
  EXPECT_EQ(w.lblLoop->text(), "Stopped");
  EXPECT_EQ(rig.session.analyzer.LoopDelay, 25.0f);
}

}  // namespace
}  // namespace velk
