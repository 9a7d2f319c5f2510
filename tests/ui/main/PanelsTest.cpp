#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QStringList>
#include <string>
#include <tuple>

#include "support/FileSizeLimit.h"
#include "support/LoopDriver.h"
#include "support/QtApp.h"
#include "support/WindowRig.h"
#include "ui/main/Plot47120.h"
#include "ui/main/Twips.h"
#include "ui/main/WriteTrace.h"

namespace velk {
namespace {

using test::ByteWrite;
using test::WordWrites;

constexpr int kGyroOfst = 0x14;
constexpr int kGyroScale = 0x16;
constexpr int kSmplPrd = 0x36;
constexpr int kSensAvg = 0x38;
constexpr int kCommand = 0x3E;

// The main window with the write frames its chip receives at hand.
struct PanelRig : test::WindowRig {
  PanelRig() : w(Open()), trace(sensor, folder / "spi.txt") {}

  // Puts the range controls where a test starts from without touching the chip.
  void Place(int scale, int avgCnt) {
    session.analyzer.InterfaceType = interface_type::kNone;
    w.hscScale->setValue(scale);
    w.hscAvgCnt->setValue(avgCnt);
    w.AvgCnt = avgCnt;
    session.analyzer.InterfaceType = interface_type::kParallelPort;
    trace.Take();
  }
  QString Labels() const {
    QStringList captions;
    for (QLabel* label : w.marks.lblYscale) captions << label->text();
    return captions.join(' ');
  }
  void Apply(const std::string& offset, const std::string& scale) {
    w.txtGyroOfst->setText(QString::fromStdString(offset));
    w.txtGyroScale->setText(QString::fromStdString(scale));
    w.CmdApply->click();
  }

  frmVelk47120& w;
  test::WriteTrace trace;
};

TEST(ScalePanel, RangeLimitsAveragingAndStartsANewSweep) {
  // Range position and averaging before, the range chosen, and the averaging it allows.
  for (auto [from, avgCnt, to, limited] :
       {std::tuple{0, 3, 2, 0}, {0, 1, 1, 1}, {1, 6, 0, 4}, {1, 4, 0, 4}}) {
    SCOPED_TRACE(testing::Message() << from << " -> " << to << " with " << avgCnt);
    PanelRig rig;
    rig.Place(from, avgCnt);
    rig.w.plot().PlotX = 0;
    rig.w.hscScale->setValue(to);
    EXPECT_EQ(rig.sensor.Word(kSensAvg), (0x100 << to) + limited);
    EXPECT_EQ(rig.w.hscAvgCnt->value(), limited);
    EXPECT_EQ(rig.w.plot().PlotX, rig.w.pic1->Width() + 1);  // the next point starts a sweep
    // Full scale 80, 160 and 320 Dgr/S, labelled in quarters.
    const char* const labels[] = {"80 60 40 20 0 -20 -40 -60 -80",
                                  "160 120 80 40 0 -40 -80 -120 -160",
                                  "320 240 160 80 0 -80 -160 -240 -320"};
    EXPECT_EQ(rig.Labels(), labels[to]);
  }
}

TEST(ScalePanel, CodeMovesWriteAtOnceAndOnlyWithAnInterface) {
  PanelRig rig;
  rig.w.hscSmplPrd->setValue(9);  // no wait, no read-back
  EXPECT_EQ(rig.trace.Take(), WordWrites({{kSmplPrd, 9}}));

  rig.session.analyzer.InterfaceType = interface_type::kNone;
  const QString labels = rig.Labels();
  rig.w.hscScale->setValue(2);
  rig.w.hscSmplPrd->setValue(20);
  rig.w.hscAvgCnt->setValue(5);
  EXPECT_TRUE(rig.trace.Take().empty());
  EXPECT_EQ(rig.Labels(), labels);
  EXPECT_EQ(rig.w.txtSmplPrd->text(), "9");
}

TEST(ScalePanel, The47121QuartersTheLabelsWithoutWriting) {
  PanelRig rig;
  rig.Place(2, 0);
  rig.w.mnu47121_Click();
  EXPECT_TRUE(rig.trace.Take().empty());
  EXPECT_EQ(rig.w.txtScale->text(), "80");
  EXPECT_EQ(rig.Labels(), "80 60 40 20 0 -20 -40 -60 -80");
}

TEST(CalibrationPanel, ApplyReadsRoundsAndClampsTheCounts) {
  struct Case {
    const char *offset, *scale;
    int32_t offsetWritten, scaleWritten;
  };
  PanelRig rig;
  // The offset register holds 12 bits: beyond them the sign would turn over.
  for (const Case& c : {Case{"5000", "-3", 2047, 0},
                        {"-5000", "100", -2048, 100},
                        {"-12.5", "2.5", -12, 2},
                        {"3.5", "&H10", 4, 16},
                        {"-1e30", "1e400", -2048, 4095}}) {
    SCOPED_TRACE(testing::Message() << c.offset << " / " << c.scale);
    rig.Apply(c.offset, c.scale);
    EXPECT_EQ(rig.sensor.Word(kGyroOfst), static_cast<uint16_t>(c.offsetWritten));
    EXPECT_EQ(rig.sensor.Word(kGyroScale), c.scaleWritten);
    EXPECT_EQ(rig.w.txtGyroOfst->text(), QString::number(c.offsetWritten));
  }

  // Empty boxes write the counts of the last read.
  rig.Apply("300", "1000");
  rig.trace.Take();
  rig.Apply("", "");
  EXPECT_EQ(rig.trace.Take(), WordWrites({{kGyroOfst, 300}, {kGyroScale, 1000}}));
}

TEST(CalibrationPanel, ApplyWritesNoNumberItWasNotGiven) {
  PanelRig rig;           // the calibration has not been read yet
  rig.Apply("100", " ");  // only the offset is known
  EXPECT_EQ(rig.trace.Take(), WordWrites({{kGyroOfst, 100}}));

  for (auto [offset, scale, bad] : {std::tuple{"nan", "1000", "nan"},
                                    {"100", "-", "-"},
                                    {"7", "abc", "abc"},
                                    {"&H", "9", "&H"}}) {
    rig.messages.shown.clear();
    rig.Apply(offset, scale);
    EXPECT_TRUE(rig.trace.Take().empty()) << bad;
    EXPECT_EQ(rig.messages.Texts(), std::vector<std::string>{std::string("\"") + bad +
                                                             "\" is not a number; nothing was "
                                                             "written."});
  }
}

TEST(CalibrationPanel, CommandsReadTheCalibrationBack) {
  PanelRig rig;
  rig.Apply("300", "1000");
  for (auto [button, command] : {std::pair{rig.w.CmdRst, 2}, {rig.w.CmdNull, 1}}) {
    rig.trace.Take();
    button->click();
    EXPECT_EQ(rig.trace.Take(), WordWrites({{kCommand, command}}));
    const int32_t offset = ((rig.sensor.Word(kGyroOfst) & 0xFFF) ^ 0x800) - 0x800;
    EXPECT_EQ(rig.w.txtGyroOfst->text() + ' ' + rig.w.txtGyroScale->text(),
              QString("%1 %2").arg(offset).arg(rig.sensor.Word(kGyroScale)));
  }
}

TEST(CalibrationPanel, FactoryDefaultsWriteInOrderThenReadTheSetup) {
  PanelRig rig;
  rig.w.hscSmplPrd->setValue(50);
  rig.trace.Take();
  rig.w.cmdResetFactory->click();

  // Aux DAC and its latch, then the alarm control before the thresholds it acts on.
  // clang-format off
  const std::vector<ByteWrite> expected = WordWrites({
      {0x30, 0}, {kCommand, 4}, {kSmplPrd, 1}, {kSensAvg, 0x402},
      {0x28, 0}, {0x20, 0}, {0x22, 0}, {0x24, 0}, {0x26, 0}, {0x32, 0}, {0x34, 0}});
  // clang-format on
  std::vector<ByteWrite> writes = rig.trace.Take();
  ASSERT_GT(writes.size(), expected.size());
  writes.resize(expected.size());
  EXPECT_EQ(writes, expected);
  EXPECT_EQ(rig.w.txtSmplPrd->text(), "1");  // the setup was read back
}

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

// 4800 twips high is 320 pixels: grid lines every 40 pixels; the nine marks 595 twips (39.7
// pixels) apart from 10 twips below the chart's top, each label 80 twips (5 pixels) above its mark.
TEST(Plot47120, GridMarksAndLabelsDivideTheHeightInEighths) {
  ChartRig rig(15000, 4800);
  for (int i = 1; i < 8; ++i) {
    EXPECT_GT(rig.Count(0, 1000, 40 * i, 40 * i + 1, rig.pic1->GridColour().rgb()), 300) << i;
    EXPECT_EQ(rig.Count(0, 1000, 40 * i - 20, 40 * i - 19, rig.pic1->GridColour().rgb()), 0) << i;
  }
  const int top = rig.marks.LineX[0]->y();
  EXPECT_NEAR(rig.marks.LineX[8]->y() - top, 317, 1);
  for (int i = 0; i < 9; ++i)
    EXPECT_NEAR(rig.marks.lblYscale[i]->y() - rig.marks.LineX[i]->y(), -5, 1) << i;
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
  QString file = QString::fromStdString((rig.folder / "chart.png").string());
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
  bool saveOffered = false;
  loop.onCycle = [&](int) {
    // Running, then stopped with the run still inside its cycle.
    for (bool stop : {true, false}) {
      w.pic1_ContextMenu({10, 10});
      saveOffered = saveOffered || w.mnuSaveChart->isEnabled();
      w.pic1Menu->hide();
      w.mnuSaveChart_Click();
      if (stop) QTest::mouseClick(w.CmdReadLoop, Qt::LeftButton);
    }
    w.mnuCopyChart_Click();
  };
  QGuiApplication::clipboard()->clear();
  EXPECT_EQ(loop.Run(0), 1);
  EXPECT_FALSE(saveOffered);
  EXPECT_EQ(rig.modal.opened.size(), 1u);
  EXPECT_EQ(QGuiApplication::clipboard()->image().size(), w.ChartImage().size());

  // On a full disk nothing is left behind, and the user is told.
  file = QString::fromStdString((rig.folder / "full.png").string());
  {
    test::FileSizeLimit disk(64);
    w.mnuSaveChart_Click();
  }
  EXPECT_FALSE(QFile::exists(file));
  ASSERT_FALSE(rig.messages.shown.empty());
  EXPECT_EQ(rig.messages.shown.back().text,
            "The chart could not be saved to\n" + file.toStdString() + "\nFile too large");
}

}  // namespace
}  // namespace velk
