#include <QCoreApplication>
#include <algorithm>
#include <string>

#include "core/NumberText.h"
#include "measure/OutputCycle.h"
#include "ui/main/Controls.h"
#include "ui/main/FrmVelk47120.h"
#include "widgets/ValueLabel.h"

namespace velk {

void frmVelk47120::BuildDataRegPanel(QWidget* client) {
  frameDataReg = MakeFrame(client, "frameDataReg", "Output  Registers", 180, 4320, 2655, 3372);
  int top = 330;
  for (const OutputRegister& row : kOutputRegisters) {
    const std::string name = "txtReadReg" + std::to_string(row.slot);
    QLineEdit* box = MakeTextBox(frameDataReg, name.c_str(), 1020, top, 900, 285, true);
    MakeCaption(frameDataReg, row.caption, 150, top + 30, 840, 255, box);
    MakeCaption(frameDataReg, row.unit, 1980, top + 30, 600, 255);
    box->setAutoFillBackground(true);  // repainted alone, not with the frame beneath
    txtReadReg[row.slot] = box;
    top += 360;
  }
  ckAngleOut = MakeCheckBox(frameDataReg, "ckAngleOut", "Show Angle", 150, 2150, 1800, 255);
  ckAngleOut->setChecked(true);
  lblNewDataFlag = MakeLabel(frameDataReg, "lblNewDataFlag", "Old", 150, 2500, 1110, 285);
  lblNewDataFlag->setFrameShape(QFrame::Panel);
  lblNewDataFlag->setFrameShadow(QFrame::Sunken);
  NameValue(lblNewDataFlag, "New Data");
  lblNewDataFlag->setAutoFillBackground(true);
  lblErrorAlarmFlag = MakeLabel(frameDataReg, "lblErrorAlarmFlag", "OK", 1380, 2500, 1110, 285);
  NameValue(lblErrorAlarmFlag, "Error/Alarm");
  ShowIndicator(lblErrorAlarmFlag, false);
  cmdReadData = MakeButton(frameDataReg, "cmdReadData", "&Read", 660, 2900, 1335, 360);
  connect(cmdReadData, &QPushButton::clicked, this, &frmVelk47120::cmdReadData_Click);
}

void frmVelk47120::cmdReadData_Click() {
  std::array<float, 12> values{};
  ReadDataRegisters(values);
}

void frmVelk47120::ReadDataRegisters(std::array<float, 12>& values) {
  ReadCycle(values, false);
}

bool frmVelk47120::ReadCycle(std::array<float, 12>& values, bool paced) {
  if (!Check_Interface() || !ChipAwake()) return false;
  const OutputCycle cycle = ReadOutputs(session_.spi);
  for (int n = 0; n < kOutputCount; ++n) {
    const int16_t i = kOutputRegisters[n].slot;
    values[i] = cycle.outputs[n].value;
    // Every value reaches the chart's picture; only the repaint waits for the frame.
    if (i == slot::Gyro_Out) plot_->PlotPoint(values[i]);
  }
  outputsToShow_ = cycle;
  ShowPending(paced);
  QCoreApplication::processEvents();
  UpdateStatus(paced);
  return true;
}

void frmVelk47120::ShowPending(bool paced) {
  if (paced) {
    pacer_.Request();
  } else {
    pacer_.ShowNow();
  }
}

void frmVelk47120::ShowLatest() {
  if (outputsToShow_) ShowOutputs(*outputsToShow_);
  if (statusToShow_) ShowStatus(*statusToShow_);
  if (loopCountToShow_) txtLoopCount->setText(QString::number(*loopCountToShow_));
  outputsToShow_.reset();
  statusToShow_.reset();
  loopCountToShow_.reset();
  pic1->ShowHeld();
}

void frmVelk47120::ShowOutputs(const OutputCycle& cycle) {
  int bar = 0;  // the angle when it is shown, else 0
  for (int n = 0; n < kOutputCount; ++n) {
    const int16_t i = kOutputRegisters[n].slot;
    const float value = cycle.outputs[n].value;
    const int decimals = (i == slot::Supply_Out || i == slot::Aux_Adc) ? 3 : 2;
    txtReadReg[i]->setText(QString::fromStdString(FormatFixed(value, decimals)));
    if (i == slot::Angle_Out && !ckAngleOut->isChecked()) txtReadReg[i]->clear();
    if (i == slot::Angle_Out && ckAngleOut->isChecked())
      bar =
          std::clamp(RoundToInt32(value * 4.0f), ProgressBar3->minimum(), ProgressBar3->maximum());
  }
  // Each flag set once, after the reads, so an unchanged flag is not repainted.
  ShowValue(lblNewDataFlag, cycle.newSeen ? "New" : "Old");
  ShowIndicator(lblErrorAlarmFlag, cycle.alarmSeen);
  // Set once and last: the bar repaints at once on every visible change.
  ProgressBar3->setValue(bar);
}

}  // namespace velk
