#include <gtest/gtest.h>

#include <QStringList>
#include <string>

#include "support/WindowRig.h"
#include "ui/main/WriteTrace.h"

namespace velk {
namespace {

using test::WordWrite;

constexpr int kSensAvg = 0x38;
constexpr int kSmplPrd = 0x36;

struct PanelRig : test::WindowRig {
  PanelRig() : w(Open()), trace(sensor, folder / "spi.txt") {}

  // Puts the controls where a test starts from without touching the chip.
  void Place(int scale, int avgCnt) {
    session.analyzer.InterfaceType = 0;
    w.hscScale->setValue(scale);
    w.hscAvgCnt->setValue(avgCnt);
    w.AvgCnt = avgCnt;
    session.analyzer.InterfaceType = kParallel;
    trace.Take();
  }

  QString Labels() const {
    QStringList captions;
    for (QLabel* label : w.marks.lblYscale) captions << label->text();
    return captions.join(' ');
  }

  frmVelk47120& w;
  test::WriteTrace trace;
};

TEST(ScalePanel, RangeLimitsAveragingAndWritesAgainWhenItMovesTheAveragingBar) {
  struct Case {
    int from, avgCnt, to, limited;
    bool writesTwice;  // the averaging bar moved, and its handler wrote again
  };
  for (const Case c : {Case{0, 3, 2, 0, true},
                       {0, 1, 1, 1, false},
                       {0, 4, 1, 2, true},
                       {1, 6, 0, 4, true},
                       {1, 4, 0, 4, false},
                       {2, 0, 1, 0, false}}) {
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to << " with " << c.avgCnt);
    PanelRig rig;
    rig.Place(c.from, c.avgCnt);
    rig.w.plot().PlotX = 0;
    rig.w.hscScale->setValue(c.to);
    const int32_t word = (0x100 << c.to) + c.limited;
    EXPECT_EQ(rig.trace.Take(), c.writesTwice
                                    ? test::WordWrites({{kSensAvg, word}, {kSensAvg, word}})
                                    : WordWrite(kSensAvg, word));
    EXPECT_EQ(rig.sensor.Word(kSensAvg), word);
    EXPECT_EQ(rig.w.AvgCnt, c.limited);
    EXPECT_EQ(rig.w.hscAvgCnt->value(), c.limited);
    EXPECT_EQ(rig.w.plot().PlotX, rig.w.pic1->Width() + 1);  // the next point starts a sweep
  }
}

TEST(ScalePanel, CodeMovesWriteOnlyOnRealChangesWithAnInterface) {
  PanelRig rig;
  rig.trace.Take();
  rig.w.hscScale->setValue(0);  // already there
  rig.w.hscSmplPrd->setValue(1);
  rig.w.hscAvgCnt->setValue(0);
  EXPECT_TRUE(rig.trace.Take().empty());

  rig.w.hscSmplPrd->setValue(9);  // no wait, no read-back
  EXPECT_EQ(rig.trace.Take(), WordWrite(kSmplPrd, 9));

  rig.session.analyzer.InterfaceType = 0;
  const QString labels = rig.Labels();
  rig.w.hscScale->setValue(2);
  rig.w.hscSmplPrd->setValue(20);
  rig.w.hscAvgCnt->setValue(5);
  EXPECT_TRUE(rig.trace.Take().empty());
  EXPECT_EQ(rig.Labels(), labels);
  EXPECT_EQ(rig.w.txtSmplPrd->text(), "9");
}

TEST(ScalePanel, ModelDividesFactorLabelsAndChartSpanWithoutWriting) {
  struct Case {
    int position;
    bool is47121;
    float factor;
    const char* fullScale;
    const char* labels;
  };
  for (const Case& c : {
           Case{0, false, 0.0183188152f, "80", "80 60 40 20 0 -20 -40 -60 -80"},
           Case{2, true, 0.0183188152f, "80", "80 60 40 20 0 -20 -40 -60 -80"},
       }) {
    SCOPED_TRACE(testing::Message() << c.position << (c.is47121 ? " 47121" : " 47120"));
    PanelRig rig;
    rig.Place(c.position, 0);
    c.is47121 ? rig.w.mnu47121_Click() : rig.w.mnu47120_Click();
    EXPECT_TRUE(rig.trace.Take().empty());
    EXPECT_EQ(rig.session.reg.RegScale[slot::Gyro_Out], c.factor);
    EXPECT_EQ(rig.w.txtScale->text(), c.fullScale);
    EXPECT_EQ(rig.Labels(), c.labels);
    // The chart spans the labelled range: eight label steps over its height.
    Plot47120& plot = rig.w.plot();
    plot.RedrawPlot();
    EXPECT_FLOAT_EQ(plot.YFactor, rig.w.pic1->Height() / (2 * std::stof(c.fullScale)));
  }
}

}  // namespace
}  // namespace velk
