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

// Until the range control acts on the chip, the largest range applies.
void frmVelk47120::SetPlotScale(int32_t) {
  const float factor = static_cast<float>(0.0732752587890625);
  session_.reg.RegScale[slot::Gyro_Out] = factor;
  txtScale->setText("320");
  plot_->ScaleBits = 0x400;
  for (int i = 0; i < 9; ++i) marks.lblYscale[i]->setText(QString::number((4 - i) * 80));
}

void frmVelk47120::hscScale_Change() {}

}  // namespace velk
