#include <QCoreApplication>
#include <algorithm>
#include <string>

#include "core/NumberText.h"
#include "measure/OutputCycle.h"
#include "noise/read/RunHeader.h"
#include "ui/main/Controls.h"
#include "ui/main/FrmVelk47120.h"
#include "widgets/ValueLabel.h"

namespace velk {

void frmVelk47120::BuildDataRegPanel(QWidget* client) {
  frameDataReg = MakeFrame(client, "frameDataReg", "Output  Registers", 180, 4320, 2655, 3372);
  int top = 330;
  for (int n = 0; n < kOutputCount; ++n) {
    const OutputRegister& row = kOutputRegisters[n];
    const std::string name = "txtReadReg" + std::to_string(row.slot);
    QLineEdit* box = MakeTextBox(frameDataReg, name.c_str(), 1020, top, 900, 285, true);
    MakeCaption(frameDataReg, row.caption, 150, top + 30, 840, 255, box);
    MakeCaption(frameDataReg, row.unit, 1980, top + 30, 600, 255);
    box->setAutoFillBackground(true);  // repainted alone, not with the frame beneath
    txtReadReg[n] = box;
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
  noiseFeed_.ReadPressed();
  OutputCycle cycle;
  ReadDataRegisters(cycle);
}

bool frmVelk47120::ReadDataRegisters(OutputCycle& cycle) {
  return ReadCycle(cycle, false);
}

bool frmVelk47120::ReadCycle(OutputCycle& cycle, bool paced) {
  // While the card is away nothing goes to it but the watch's look.
  if (CardAway() || !Check_Interface() || !ChipAwake()) return false;
  const double start = noiseFeed_.Now();
  cycle = [&] {
    const QuietCard quiet(session_.usb);
    return ReadOutputs(session_.spi);
  }();
  // A card gone during the reads left no reading: nothing is charted, fed or logged.
  if (CardWentAway()) return false;
  noiseFeed_.Cycle(cycle, start, NoiseChip(), session_.analyzer.LoopDelay, paced);
  // Every value reaches the chart's picture; only the repaint waits for the frame.
  plot_->PlotPoint(cycle[output::Gyro].value);
  outputsToShow_ = cycle;
  ShowPending(paced);
  QCoreApplication::processEvents();
  UpdateStatus(paced);
  return !CardWentAway();
}

noise::ChipSettings frmVelk47120::NoiseChip() const {
  return noise::ChipFromWords(hscSmplPrd->value(), plot_->ScaleBits + AvgCnt,
                              session_.analyzer.DeviceNumber.Numeric());
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
  const bool angleShown = ckAngleOut->isChecked();
  for (int n = 0; n < kOutputCount; ++n) {
    const bool hidden = n == output::Angle && !angleShown;
    txtReadReg[n]->setText(hidden ? QString() : QString::fromStdString(ShownText(cycle[n])));
  }
  const int bar = angleShown ? std::clamp(RoundToInt32(cycle[output::Angle].value * 4.0f),
                                          ProgressBar3->minimum(), ProgressBar3->maximum())
                             : 0;
  // Each flag set once, after the reads, so an unchanged flag is not repainted.
  ShowValue(lblNewDataFlag, cycle.newSeen ? "New" : "Old");
  ShowIndicator(lblErrorAlarmFlag, cycle.alarmSeen);
  // Set once and last: the bar repaints at once on every visible change.
  ProgressBar3->setValue(bar);
}

}  // namespace velk
