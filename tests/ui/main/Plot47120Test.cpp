#include <gtest/gtest.h>

#include <QClipboard>
#include <QFileDialog>

#include "support/LoopDriver.h"
#include "support/QtApp.h"
#include "support/WindowRig.h"
#include "ui/main/Plot47120.h"
#include "ui/main/Twips.h"

namespace velk {
namespace {

// A chart with its axis marks in a bare window, as the main window holds them. At the
// offscreen platform's 96 dpi a twip is 1/15 pixel.
struct ChartRig {
  ChartRig(int width, int height)
      : ready((test::EnsureQApp(), true)),
        pic1(new StripChart(&window)),
        marks(CreateAxisMarks(&window)),
        plot(*pic1, marks) {
    window.resize(1200, 500);
    plot.ScaleBits = 0x100;
    Resize(width, height);
  }
  void Resize(int width, int height) {
    pic1->SetTwipsGeometry(1440, 860, width, height);
    plot.RedrawPlot();
  }
  // Pixels of `colour` in [x0, x1) x [y0, y1) of the chart.
  int Count(int x0, int x1, int y0, int y1, QRgb colour = StripChart::kTraceColour) const {
    const QImage image = pic1->grab().toImage();
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += image.pixel(x, y) == colour;
    return n;
  }

  bool ready;
  QWidget window;
  StripChart* pic1;
  AxisMarks marks;
  Plot47120 plot;
};

TEST(Plot47120, StepAndScaleFollowChartSizeAndRange) {
  ChartRig rig(11475, 4000);
  ASSERT_EQ(rig.pic1->logicalDpiX(), 96);
  for (auto [width, step] : {std::pair{11475, 11}, {1400, 1}, {1500, 2}, {2500, 2}, {500, 1}}) {
    rig.Resize(width, 4001);
    EXPECT_EQ(rig.plot.XStep, step) << width;  // ties to even, never below 1
  }
  rig.plot.PlotX = 501;
  for (int i = 0; i < 5; ++i) rig.plot.PlotPoint(0.0f);
  EXPECT_EQ(rig.plot.PlotX, 5);  // a narrow chart still advances
}

TEST(Plot47120, ValuesLandOnTheirHeightsAndClipAtTheEdges) {
  ChartRig rig(11475, 4000);
  for (auto [value, y] : {std::pair{80.0f, 0}, {-80.0f, 4000}, {100.0f, 0}, {-1e30f, 4000}}) {
    rig.plot.PlotPoint(value);
    EXPECT_EQ(rig.plot.LastY, y) << value;
  }
}

// 15000 x 4800 twips: 1000 x 320 pixels, one pixel per point, 30 units per degree per second.
TEST(Plot47120, SweepWrapsAtTheRightEdgeAndStartsFlat) {
  ChartRig rig(15000, 4800);
  rig.plot.PlotX = 600;
  rig.plot.PlotPoint(-70.0f);
  ASSERT_GT(rig.Count(40, 42, 280, 320), 0);
  while (rig.plot.PlotX < 15000) rig.plot.PlotPoint(0.0f);
  rig.plot.PlotPoint(40.0f);
  EXPECT_EQ(rig.plot.PlotX, 15);
  EXPECT_EQ(rig.plot.LastY, 1200);
  EXPECT_EQ(rig.Count(4, 1000, 0, 320), 0);  // the old trace is gone
  EXPECT_GT(rig.Count(1, 3, 79, 82), 0);     // flat from one step to two, at 80 pixels
  EXPECT_EQ(rig.Count(0, 4, 0, 78) + rig.Count(0, 4, 83, 320), 0);
  rig.plot.PlotPoint(-40.0f);
  EXPECT_GT(rig.Count(2, 4, 82, 238), 0);  // on from the previous height
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
  EXPECT_TRUE(offered.startsWith(QString::fromStdString(rig.folder.Path())));
  const QImage png(file);
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

}  // namespace
}  // namespace velk
