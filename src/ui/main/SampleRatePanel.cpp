#include "core/Delay.h"
#include "core/NumberText.h"
#include "ui/main/Controls.h"
#include "ui/main/FrmVelk47120.h"

namespace velk {

void frmVelk47120::BuildSampleRatePanel(QWidget* client) {
  frameSampleRate =
      MakeFrame(client, "frameSampleRate", "Sample Rate Settings", 10440, 4350, 2535, 3372);
  frameSmplPrd = MakeFrame(frameSampleRate, "frameSmplPrd", "SMPL_PRD", 120, 480, 2295, 1095);
  hscSmplPrd = MakeScrollBar(frameSmplPrd, "hscSmplPrd", 0, 255, 8, 480, 375, 975, 255);
  hscSmplPrd->setValue(1);
  hscSmplPrd->setAccessibleName("SMPL_PRD");
  txtSmplPrd = MakeTextBox(frameSmplPrd, "txtSmplPrd", 1500, 360, 750, 285, true);
  txtSmplPrd->setAccessibleName("SMPL_PRD value");
  txtSamplePeriod = MakeTextBox(frameSmplPrd, "txtSamplePeriod", 1500, 720, 750, 285, true);
  MakeCaption(frameSmplPrd, "Sample Rate (mS)", 120, 750, 1380, 255, txtSamplePeriod);

  frameAvgCnt = MakeFrame(frameSampleRate, "frameAvgCnt", "AVG_CNT", 120, 1800, 2295, 1455);
  hscAvgCnt = MakeScrollBar(frameAvgCnt, "hscAvgCnt", 0, 7, 1, 480, 360, 975, 255);
  hscAvgCnt->setAccessibleName("AVG_CNT");
  txtAvgCnt = MakeTextBox(frameAvgCnt, "txtAvgCnt", 1560, 360, 600, 285, true);
  txtAvgCnt->setAccessibleName("AVG_CNT value");
  txtRollAvg = MakeTextBox(frameAvgCnt, "txtRollAvg", 1560, 720, 600, 285, true);
  MakeCaption(frameAvgCnt, "Roll Avg Count", 120, 750, 1400, 255, txtRollAvg);
  txtAvgUpdateRate = MakeTextBox(frameAvgCnt, "txtAvgUpdateRate", 1440, 1080, 720, 285, true);
  MakeCaption(frameAvgCnt, "Avg Rate (Sec)", 120, 1110, 1300, 255, txtAvgUpdateRate);

  connect(hscSmplPrd, &QScrollBar::valueChanged, this, &frmVelk47120::hscSmplPrd_Change);
  connect(hscAvgCnt, &QScrollBar::valueChanged, this, &frmVelk47120::hscAvgCnt_Change);
}

namespace {

QString TwoDecimals(double value) {
  return QString::fromStdString(FormatFixed(value, 2));
}

}  // namespace

void frmVelk47120::hscSmplPrd_Change() {
  if (session_.analyzer.InterfaceType == interface_type::kNone) return;
  const int32_t v = hscSmplPrd->value();
  if (!session_.spi.WriteRegister(slot::Smpl_Prd, v)) return;
  txtSmplPrd->setText(QString::number(v));
  SamplePeriod = Reg47120::SamplePeriodMs(v);
  txtSamplePeriod->setText(TwoDecimals(SamplePeriod));
  // The averaging shown is the scroll bar's, not the value last read back.
  int32_t n = hscAvgCnt->value();
  AvgUpdatePeriod = session_.reg.AveragedPeriod(SamplePeriod, n);
  txtAvgUpdateRate->setText(TwoDecimals(AvgUpdatePeriod / 1000));
}

void frmVelk47120::hscAvgCnt_Change() {
  if (session_.analyzer.InterfaceType == interface_type::kNone) return;
  Spi47120& spi = session_.spi;
  AvgCnt = hscAvgCnt->value();
  // The range bits go back as last known; nothing else lives in the register.
  // A sleeping chip took nothing and would read back zeros.
  if (!spi.WriteRegister(slot::Sens_Avg, plot_->ScaleBits + AvgCnt)) return;
  DelayMs(100);
  spi.ReadRegister(slot::Sens_Avg);
  // Show what the chip took; the scroll bar stays where the user put it.
  AvgCnt = spi.RegData & 7;
  txtAvgCnt->setText(QString::number(AvgCnt));
  AvgUpdatePeriod = session_.reg.AveragedPeriod(SamplePeriod, AvgCnt);
  txtAvgUpdateRate->setText(TwoDecimals(AvgUpdatePeriod / 1000));
  txtRollAvg->setText(QString::number(session_.reg.AvgTaps));
}

}  // namespace velk
