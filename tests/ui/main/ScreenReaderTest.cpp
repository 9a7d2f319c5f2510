#include <gtest/gtest.h>

#include <QClipboard>
#include <QFileDialog>
#include <QRegularExpression>
#include <QStatusBar>

#include "support/Captions.h"
#include "support/LoopDriver.h"
#include "support/WindowRig.h"

namespace velk {
namespace {

using test::SpokenName;

// The AT-SPI check hears the loop state and the About box; a flag's name follows its value.
TEST(ScreenReader, AFlagIsHeardWithWhatItIsAndItsNewValue) {
  test::WindowRig rig;
  frmVelk47120& w = rig.Open();
  w.CmdUpdateStatus_Click();
  EXPECT_EQ(SpokenName(w.lblLowSupplyFlag), "Power Supply Low: OK");
  rig.sensor.SetSupply(4.0);
  w.CmdUpdateStatus_Click();
  EXPECT_EQ(SpokenName(w.lblLowSupplyFlag), "Power Supply Low: Alarm");
}

TEST(ChartImage, SavedAsPngWithTheTraceAndRefusedDuringARun) {
  test::WindowRig rig;
  rig.sensor.SetFixedRate(40.0);
  frmVelk47120& w = rig.Open();
  w.show();
  for (int i = 0; i < 50; ++i) w.cmdReadData_Click();
  QString offered;
  const QString file = QString::fromStdString((rig.folder / "chart.png").string());
  rig.modal.script = [&](QDialog& d) {
    auto& dialog = dynamic_cast<QFileDialog&>(d);
    offered = dialog.selectedFiles().value(0);
    dialog.selectFile(file);
    d.accept();
  };
  w.mnuSaveChart_Click();
  EXPECT_TRUE(QRegularExpression("/Chart_\\d{8}_\\d{6}\\.png$").match(offered).hasMatch())
      << offered.toStdString();
  EXPECT_TRUE(offered.startsWith(QString::fromStdString(rig.folder.Path().string())));
  const QImage png(file);
  ASSERT_FALSE(png.isNull());
  EXPECT_GT(png.width(), w.pic1->width());  // with the axis labels
  int trace = 0;
  for (int y = 0; y < png.height(); ++y)
    for (int x = 0; x < png.width(); ++x) trace += png.pixel(x, y) == StripChart::kTraceColour;
  EXPECT_GT(trace, 50);

  test::LoopDriver loop(rig);
  bool saveOffered = true;
  loop.onCycle = [&](int) {
    w.pic1_ContextMenu({10, 10});
    saveOffered = w.mnuSaveChart->isEnabled();
    w.pic1Menu->hide();
    w.mnuSaveChart_Click();
    w.mnuCopyChart_Click();
  };
  QGuiApplication::clipboard()->clear();
  loop.Run(1);
  EXPECT_FALSE(saveOffered);
  EXPECT_EQ(rig.modal.opened.size(), 1u);
  EXPECT_EQ(QGuiApplication::clipboard()->image().size(), w.ChartImage().size());
}

TEST(ChipLine, NamesTheSimulatedSensorAsSuch) {
  test::WindowRig rig;
  rig.session.Simulated = true;
  frmVelk47120& w = rig.Open();
  w.Form_Activate();
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("VELK47120 (simulated), firmware "))
      << w.statusBar()->currentMessage().toStdString();
}

}  // namespace
}  // namespace velk
