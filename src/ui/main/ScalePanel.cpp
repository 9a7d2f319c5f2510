#include "measure/RangeTable.h"
#include "ui/main/Controls.h"
#include "ui/main/FrmVelk47120.h"

namespace velk {

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
  const int32_t model = session_.analyzer.DeviceNumber.Numeric();
  const int32_t d = ModelDivisor(model);
  const RangeRow& row = ApplyRange(session_.reg, hscScale->value(), model);
  txtScale->setText(QString::number(row.fullScale / d));
  plot_->ScaleBits = row.bits;
  // The chart's span follows the labels, so a 47121 trace reaches the heights they show.
  plot_->SpanDivisor = d;
  const int32_t s = row.step / d;
  for (int i = 8; i >= 0; --i) marks.lblYscale[i]->setText(QString::number((4 - i) * s));
}

void frmVelk47120::hscScale_Change() {
  if (session_.analyzer.InterfaceType == interface_type::kNone) return;
  SetPlotScale(session_.analyzer.DeviceNumber.Numeric());
  const int32_t limit = RangeAt(hscScale->value()).maxAvgCnt;
  if (AvgCnt > limit) AvgCnt = limit;
  session_.spi.WriteRegister(slot::Sens_Avg, plot_->ScaleBits + AvgCnt);
  // Runs the averaging handler, which writes the register again, when the position moves.
  SetPosition(hscAvgCnt, AvgCnt);
  plot_->RedrawPlot();
  plot_->PlotX = pic1->Width() + 1;
}

}  // namespace velk
