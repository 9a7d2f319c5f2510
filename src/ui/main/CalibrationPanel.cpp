#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "core/Delay.h"
#include "core/NumberText.h"
#include "ui/main/Controls.h"
#include "ui/main/FrmVelk47120.h"

namespace velk {

void frmVelk47120::BuildCalibrationPanel(QWidget* client) {
  FrameCal = MakeFrame(client, "FrameCal", "Calibration Registers", 8190, 4350, 2085, 3372);
  cmdReadCal = MakeButton(FrameCal, "cmdReadCal", "R&ead", 1260, 375, 615, 300);
  txtGyroOfst = MakeTextBox(FrameCal, "txtGyroOfst", 1260, 780, 615, 285);
  MakeCaption(FrameCal, "GYRO_OFST", 120, 810, 1100, 255, txtGyroOfst);
  txtGyroScale = MakeTextBox(FrameCal, "txtGyroScale", 1260, 1140, 615, 285);
  MakeCaption(FrameCal, "GYRO_SCALE", 120, 1170, 1100, 255, txtGyroScale);
  CmdNull = MakeButton(FrameCal, "CmdNull", "Auto &Null", 360, 1800, 1335, 320);
  CmdRst = MakeButton(FrameCal, "CmdRst", "Fact&ory Reset", 360, 2280, 1335, 320);
  CmdApply = MakeButton(FrameCal, "CmdApply", "App&ly", 990, 2760, 735, 375);

  cmdResetFactory =
      MakeWrapButton(client, "cmdResetFactory", "Reset to &Factory Defaults", 10320, 40, 855, 735);
  cmdResetFactory->setToolTip("Reset Part Setup to Factory Defaults");
  cmdNewPart = MakeWrapButton(client, "cmdNewPart", "Read Set&up", 9480, 240, 732, 495);
  cmdNewPart->setToolTip("Read and Display the Part Setup");

  connect(cmdReadCal, &QPushButton::clicked, this, &frmVelk47120::cmdReadCal_Click);
  connect(CmdApply, &QPushButton::clicked, this, &frmVelk47120::CmdApply_Click);
  connect(CmdNull, &QPushButton::clicked, this, &frmVelk47120::CmdNull_Click);
  connect(CmdRst, &QPushButton::clicked, this, &frmVelk47120::CmdRst_Click);
  connect(cmdResetFactory, &QPushButton::clicked, this, &frmVelk47120::cmdResetFactory_Click);
  connect(cmdNewPart, &QPushButton::clicked, this, &frmVelk47120::cmdNewPart_Click);
}

void frmVelk47120::cmdReadCal_Click() {
  if (!ChipAwake()) return;
  Spi47120& spi = session_.spi;
  spi.ReadRegister(slot::Gyro_Ofst);
  CalOffset = spi.RegData;
  spi.ReadRegister(slot::Gyro_Scale);
  CalScale = spi.RegData;
  calOffsetKnown_ = calScaleKnown_ = true;
  txtGyroOfst->setText(QString::number(CalOffset));
  txtGyroScale->setText(QString::number(CalScale));
}

namespace {

// What a box asks for: nothing when it is empty (or blank), else its text read as a number and
// rounded (text far beyond 32 bits saturates there and the clamp that follows takes over).
struct Typed {
  bool empty = true;
  std::optional<double> number;
};

Typed TypedIn(const QLineEdit& box) {
  const QString text = box.text();
  if (text.trimmed().isEmpty()) return {};
  return {false, ReadNumberIfAny(text.toStdString())};
}

}  // namespace

void frmVelk47120::CmdApply_Click() {
  const Typed offset = TypedIn(*txtGyroOfst);
  const Typed scale = TypedIn(*txtGyroScale);
  // A word that is no number would write a zero: a zero scale silences the gyro.
  for (const auto& [typed, box] : {std::pair{&offset, txtGyroOfst}, {&scale, txtGyroScale}}) {
    if (!typed->empty && !typed->number) {
      // Built by appending: g++ 12 at -O3 takes "\"" + string for an overlapping copy.
      std::string text = "\"";
      text += box->text().toStdString();
      messages_.Show(text + "\" is not a number; nothing was written.");
      return;
    }
  }
  Spi47120& spi = session_.spi;
  if (offset.number) {
    CalOffset = RoundToInt32(*offset.number);
    calOffsetKnown_ = true;
  }
  // An empty box writes nothing until a value is known from a read or an earlier Apply.
  if (calOffsetKnown_) {
    // The register holds 12 bits: beyond them the sign would turn over.
    CalOffset = std::clamp<int32_t>(CalOffset, -2048, 2047);
    spi.WriteRegister(slot::Gyro_Ofst, CalOffset);
    txtGyroOfst->setText(QString::number(CalOffset));
    DelayMs(20);
  }

  if (scale.number) {
    CalScale = RoundToInt32(*scale.number);
    calScaleKnown_ = true;
  }
  if (calScaleKnown_) {
    CalScale = std::clamp<int32_t>(CalScale, 0, 4095);
    spi.WriteRegister(slot::Gyro_Scale, CalScale);
    txtGyroScale->setText(QString::number(CalScale));
    DelayMs(20);
  }

  cmdReadCal_Click();
}

void frmVelk47120::CmdNull_Click() {
  session_.spi.WriteRegister(slot::Command, 1);
  DelayMs(250);
  cmdReadCal_Click();
}

void frmVelk47120::CmdRst_Click() {
  session_.spi.WriteRegister(slot::Command, 2);
  DelayMs(250);
  cmdReadCal_Click();
}

void frmVelk47120::cmdResetFactory_Click() {
  if (!Check_Interface()) return;
  Spi47120& spi = session_.spi;
  spi.WriteRegister(slot::Aux_DAC, 0);
  spi.WriteRegister(slot::Command, 4);
  DelayMs(20);
  // The alarm control goes before the thresholds and sample counts it acts on.
  static constexpr std::pair<int16_t, int32_t> kDefaults[] = {
      {slot::Smpl_Prd, 1}, {slot::Sens_Avg, 0x402}, {slot::Alm_Ctrl, 0},
      {slot::Alm_Mag1, 0}, {slot::Alm_Mag2, 0},     {slot::Alm_Smp1, 0},
      {slot::Alm_Smp2, 0}, {slot::Gpio_Ctrl, 0},    {slot::Msc_Ctrl, 0},
  };
  for (const auto& [slot, value] : kDefaults) spi.WriteRegister(slot, value);
  DelayMs(15);
  cmdNewPart_Click();
}

void frmVelk47120::cmdNewPart_Click() {
  if (Check_Interface()) Form_Activate();
}

}  // namespace velk
