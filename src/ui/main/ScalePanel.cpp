#include "ui/main/Controls.h"
#include "ui/main/FrmVelk47120.h"

namespace velk {

namespace {

// One measurement range. The factor, full scale and label step are the 47120's; the 47121
// divides each by 4.
struct ScaleRow {
  int32_t bits;
  double factor;  // degrees per second per Gyro_Out count
  int32_t fullScale;
  int32_t step;
  int32_t maxAvgCnt;  // the deepest averaging the range allows
};

constexpr ScaleRow kRanges[] = {
    {0x100, 0.018318814697265626, 80, 20, 4},
    {0x200, 0.03663762939453125, 160, 40, 2},
    {0x400, 0.0732752587890625, 320, 80, 0},
};

const ScaleRow& RowAt(int position) {
  return position == 0 || position == 1 ? kRanges[position] : kRanges[2];
}

}  // namespace

void frmVelk47120::BuildScalePanel(QWidget* client) {
  frameScale = MakeFrame(client, "frameScale", "Scale  (S2-S0)", 7560, 60, 1695, 700);
  hscScale = MakeScrollBar(frameScale, "hscScale", 0, 2, 1, 120, 320, 735, 255);
  hscScale->setAccessibleName("Scale");
  txtScale = MakeTextBox(frameScale, "txtScale", 960, 300, 615, 285, true);
  txtScale->setAccessibleName("Full scale (Dgr/S)");
  connect(hscScale, &QScrollBar::valueChanged, this, &frmVelk47120::hscScale_Change);
}

// Callers pass the model, but the one held by the session decides.
void frmVelk47120::SetPlotScale(int32_t) {
  const int32_t d = session_.analyzer.DeviceNumber.Numeric() == 47121 ? 4 : 1;
  const ScaleRow& row = RowAt(hscScale->value());
  session_.reg.RegScale[slot::Gyro_Out] = static_cast<float>(row.factor / d);
  txtScale->setText(QString::number(row.fullScale / d));
  plot_->ScaleBits = row.bits;
  // The chart's span follows the labels, so a 47121 trace reaches the heights they show.
  plot_->SpanDivisor = d;
  const int32_t s = row.step / d;
  for (int i = 8; i >= 0; --i) marks.lblYscale[i]->setText(QString::number((4 - i) * s));
}

void frmVelk47120::hscScale_Change() {
  if (session_.analyzer.InterfaceType == 0) return;
  SetPlotScale(session_.analyzer.DeviceNumber.Numeric());
  const int32_t limit = RowAt(hscScale->value()).maxAvgCnt;
  if (AvgCnt > limit) AvgCnt = limit;
  session_.spi.WriteRegister(slot::Sens_Avg, plot_->ScaleBits + AvgCnt);
  // Runs the averaging handler, which writes the register again, when the position moves.
  SetPosition(hscAvgCnt, AvgCnt);
  plot_->RedrawPlot();
  plot_->PlotX = pic1->Width() + 1;
}

}  // namespace velk
