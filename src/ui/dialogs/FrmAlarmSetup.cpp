// The alarm dialog's procedures and handlers: each edits its own bits of the register copy
// as last read and writes the register back whole.

#include <algorithm>
#include <iterator>
#include <utility>

#include "core/Delay.h"
#include "core/NumberText.h"
#include "measure/OutputCycle.h"
#include "registers/SharedPin.h"
#include "ui/dialogs/FrmAlarm.h"
#include "ui/dialogs/PinDialogWidgets.h"

namespace velk {

namespace {

using pin_dialogs::Settle;

constexpr int32_t kCompareBit = 0x8000;
constexpr int32_t kCodeMask = 0x3FFF;

// The alarm output refuses a line data ready holds and asks for one GPIO holds.
constexpr SharedOutput kAlarmOutput{slot::Alm_Ctrl,
                                    &Reg47120::AlmCtrl,
                                    alm_ctrl::kOutputEnable,
                                    alm_ctrl::kOutputDio1,
                                    {.gpio = OnHeld::kAsk, .dataReady = OnHeld::kRefuse}};

// A threshold code read as 14-bit two's complement.
int32_t Signed14(int32_t code) {
  return code > 8191 ? code - 16384 : code;
}

}  // namespace

void FrmAlarm::ReadAlarmSetup() {
  Spi47120& spi = session_.spi;
  Reg47120& reg = session_.reg;
  spi.ReadRegister(slot::Alm_Mag1);
  reg.AlmMag1 = spi.RegData;
  spi.ReadRegister(slot::Alm_Mag2);
  reg.AlmMag2 = spi.RegData;
  spi.ReadRegister(slot::Alm_Smp1);
  reg.AlmSmpl1 = spi.RegData;
  spi.ReadRegister(slot::Alm_Smp2);
  reg.AlmSmpl2 = spi.RegData;
  spi.ReadRegister(slot::Alm_Ctrl);
  reg.AlmCtrl = spi.RegData;

  for (int n = 0; n < 2; ++n) {
    Alarm a = Of(n);
    ShowComparison(n, (a.mag & kCompareBit) != 0 ? Comparison::kGreater : Comparison::kLess);
    ShowMode(n, (reg.AlmCtrl & (1 << a.modeBit)) != 0 ? ThresholdMode::kRateOfChange
                                                      : ThresholdMode::kFixed);
    a.sourceCode = (reg.AlmCtrl >> a.sourceShift) & 7;
  }
  SetupSourceDisplay();
  // A position that changes here writes the register back, as a user's move would.
  hscAlarm1thresh->setValue(reg.AlmMag1 & kCodeMask);
  hscAlarm2thresh->setValue(reg.AlmMag2 & kCodeMask);

  ShowOutputEnabled((reg.AlmCtrl & alm_ctrl::kOutputEnable) != 0);
  ShowOutputPolarity((reg.AlmCtrl & alm_ctrl::kOutputHigh) != 0 ? Polarity::kActiveHigh
                                                                : Polarity::kActiveLow);
  ShowOutputLine((reg.AlmCtrl & alm_ctrl::kOutputDio1) != 0 ? Line::kDio1 : Line::kDio0);

  txtAlarm1sp->setText(QString::number(reg.AlmSmpl1));
  hscAlarm1sp->setValue(reg.AlmSmpl1);
  txtAlarm2sp->setText(QString::number(reg.AlmSmpl2));
  hscAlarm2sp->setValue(reg.AlmSmpl2);
}

void FrmAlarm::ShowComparison(int n, Comparison comparison) {
  comparison_[static_cast<size_t>(n)] = comparison;
  (n == 0 ? cmdAlarm1GT : cmdAlarm2GT)->setText(comparison == Comparison::kGreater ? ">" : "<");
}

void FrmAlarm::ShowMode(int n, ThresholdMode mode) {
  mode_[static_cast<size_t>(n)] = mode;
  (n == 0 ? cmdAlarm1mode : cmdAlarm2mode)
      ->setText(mode == ThresholdMode::kRateOfChange ? "Rate of Change" : "Fixed Thresh");
}

void FrmAlarm::ShowOutputEnabled(bool enabled) {
  outputEnabled_ = enabled;
  cmdAlarmOut->setText(pin_dialogs::EnabledText(enabled));
}

void FrmAlarm::ShowOutputPolarity(Polarity polarity) {
  outputPolarity_ = polarity;
  cmdAlarmPolarity->setText(pin_dialogs::PolarityText(polarity));
}

void FrmAlarm::ShowOutputLine(Line line) {
  outputLine_ = line;
  cmdAlarmPin->setText(pin_dialogs::LineText(line));
}

void FrmAlarm::SetupSourceDisplay() {
  ShowSource(0);
  ShowSource(1);
  SetupThresholdDisplay();
}

void FrmAlarm::ShowSource(int n) {
  Alarm a = Of(n);
  const auto show = [&](const char* name, const char* units) {
    a.source->setEditText(name);
    a.units->setText(units);
  };
  switch (a.sourceCode) {
    case 1:
      show("PS", "V");
      break;
    case 2:
      show("Gyro Out", "D/S");
      break;
    case 5:
      show("Aux ADC", "V");
      break;
    case 6:
      show(a.tempName, "Deg");
      break;
    default:
      break;  // disabled or a code this dialog never writes: left as it stands
  }
  shownSource_[n] = a.source->currentText();
}

void FrmAlarm::SetupThresholdDisplay() {
  ShowThreshold(0);
  ShowThreshold(1);
}

void FrmAlarm::ShowThreshold(int n) {
  Alarm a = Of(n);
  const int32_t code = a.mag & kCodeMask;
  a.code->setText(QString::number(code));
  a.value->setText(QString::fromStdString(FormatFixed(ThresholdValue(code, a.sourceCode), 3)));
}

namespace {

// The outputs an alarm can watch, by their source code in Alm_Ctrl, and the alarm's own field:
// 14 bits, read as two's complement for the rate and the temperature, and the codes a typed
// value may enter as.
struct AlarmSource {
  int32_t code;
  int output;
  bool signedCode;
  int32_t low;
  int32_t high;
};
constexpr AlarmSource kAlarmSources[] = {
    {1, output::Supply, false, 0, 4095},
    {2, output::Gyro, true, -8192, 8191},
    {5, output::Adc, false, 0, 4095},
    {6, output::Temp, true, 0, 4095},
};

const AlarmSource* SourceOf(int32_t code) {
  for (const AlarmSource& s : kAlarmSources) {
    if (s.code == code) return &s;
  }
  return nullptr;
}

}  // namespace

float FrmAlarm::ThresholdValue(int32_t code, int32_t source) const {
  const AlarmSource* from = SourceOf(source);
  if (from == nullptr) return 0.0f;
  return DescribeOutput(session_.reg, from->output).Value(from->signedCode ? Signed14(code) : code);
}

std::optional<int32_t> FrmAlarm::ThresholdCode(float value, int32_t source) const {
  const AlarmSource* from = SourceOf(source);
  if (from == nullptr) return std::nullopt;
  const OutputScale scale = DescribeOutput(session_.reg, from->output);
  // Limited before the fold, so a value beyond full scale keeps its sign, and one that rounds
  // to zero is zero; a temperature below the offset enters as 0.
  const int32_t code =
      std::clamp(RoundToInt32((value - scale.offset) / scale.lsb), from->low, from->high);
  return code < 0 ? code + 16384 : code;
}

void FrmAlarm::SourceClick(int n) {
  Alarm a = Of(n);
  const QString text = a.source->currentText().trimmed();
  static constexpr std::pair<const char*, int32_t> kSources[] = {
      {"Disabled", 0}, {"PS", 1}, {"Gyro Out", 2}, {"Aux Adc", 5}, {"Temp Out", 6}};
  const auto named = std::find_if(std::begin(kSources), std::end(kSources), [&](const auto& s) {
    return text.compare(s.first, Qt::CaseInsensitive) == 0;
  });
  // Text that names no source is no choice: the box shows the source it had.
  if (named == std::end(kSources)) {
    a.source->setEditText(shownSource_[n]);
    return;
  }
  const int32_t code = named->second;
  if (code == 0) a.source->setEditText("Disabled");
  a.sourceCode = code;
  SetupSourceDisplay();
  int32_t& control = session_.reg.AlmCtrl;
  control = (control & ~(7 << a.sourceShift)) | (code << a.sourceShift);
  WriteControl();
}

void FrmAlarm::ComparisonClick(int n) {
  Alarm a = Of(n);
  if (comparison_[static_cast<size_t>(n)] == Comparison::kLess)
    a.mag |= kCompareBit;
  else
    a.mag &= ~kCompareBit;
  session_.spi.WriteRegister(a.magSlot, a.mag);
  Settle();
  ReadAlarmSetup();
}

void FrmAlarm::ModeClick(int n) {
  Alarm a = Of(n);
  int32_t& control = session_.reg.AlmCtrl;
  if (mode_[static_cast<size_t>(n)] == ThresholdMode::kFixed)
    control |= 1 << a.modeBit;
  else
    control &= ~(1 << a.modeBit);
  WriteControl();
}

void FrmAlarm::ThresholdChange(int n) {
  Alarm a = Of(n);
  // Bit 14 goes with the code; only the comparison bit survives a move.
  a.mag = (a.mag & ~0x7FFF) | a.thresh->value();
  SetupThresholdDisplay();
  session_.spi.WriteRegister(a.magSlot, a.mag);
  Settle();
}

void FrmAlarm::SamplePeriodChange(int n) {
  Alarm a = Of(n);
  a.smpl = a.sp->value();
  a.spText->setText(QString::number(a.smpl));
  session_.spi.WriteRegister(a.smpSlot, a.smpl);
  Settle();
}

void FrmAlarm::ThresholdKeyDown(int n, int key) {
  if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
  Alarm a = Of(n);
  const QString text = a.value->text();
  if (text.isEmpty()) return;
  const float value = static_cast<float>(LeadingDecimalNumber(text.toStdString()));
  const std::optional<int32_t> code = ThresholdCode(value, a.sourceCode);
  // An unchanged position writes nothing and leaves the text as typed.
  if (code) a.thresh->setValue(*code);
}

void FrmAlarm::WriteControl() {
  session_.spi.WriteRegister(slot::Alm_Ctrl, session_.reg.AlmCtrl);
  SettleAndReread();
}

void FrmAlarm::SettleAndReread() {
  Settle();
  ReadAlarmSetup();
}

void FrmAlarm::cmdAlarmOut_Click() {
  static constexpr HeldTexts kTexts{
      .gpio = "Dio Pin is already in use by GPIO.. OK to override",
      .dataReady = "Dio pin is already in use by DataReady.. \nPlease disable DataReady first"};
  if (SwitchOutput(session_, kAlarmOutput, !outputEnabled_, pin_dialogs::Index(outputLine_),
                   kTexts))
    SettleAndReread();
}

void FrmAlarm::cmdAlarmPin_Click() {
  static constexpr HeldTexts kTexts[] = {
      {.gpio = "Dio0 Pin is already in use by GPIO..\nOk to Override?",
       .dataReady = "Dio0 pin is already in use by DataReady.. \nPlease disable DataReady first"},
      {.gpio = "Dio1 Pin is already in use by GPIO..\nOk to Override?",
       .dataReady = "Dio1 pin is already in use by DataReady.. \nPlease disable DataReady first"}};
  // Away from the line shown. A disabled output moves without any check.
  const int line = outputLine_ == Line::kDio0 ? 1 : 0;
  if (MoveOutput(session_, kAlarmOutput, line, outputEnabled_, kTexts[line])) SettleAndReread();
}

void FrmAlarm::cmdAlarmPolarity_Click() {
  int32_t& control = session_.reg.AlmCtrl;
  if (outputPolarity_ == Polarity::kActiveLow)
    control |= alm_ctrl::kOutputHigh;
  else
    control &= ~alm_ctrl::kOutputHigh;
  WriteControl();
}

void FrmAlarm::cmboA1S_Click() {
  SourceClick(0);
}
void FrmAlarm::cmboA2S_Click() {
  SourceClick(1);
}
void FrmAlarm::cmdAlarm1GT_Click() {
  ComparisonClick(0);
}
void FrmAlarm::cmdAlarm2GT_Click() {
  ComparisonClick(1);
}
void FrmAlarm::cmdAlarm1mode_Click() {
  ModeClick(0);
}
void FrmAlarm::cmdAlarm2mode_Click() {
  ModeClick(1);
}
void FrmAlarm::hscAlarm1sp_Change() {
  SamplePeriodChange(0);
}
void FrmAlarm::hscAlarm2sp_Change() {
  SamplePeriodChange(1);
}
void FrmAlarm::hscAlarm1thresh_Change() {
  ThresholdChange(0);
}
void FrmAlarm::hscAlarm2thresh_Change() {
  ThresholdChange(1);
}
void FrmAlarm::txtAlarm1Thresh_KeyDown(int key) {
  ThresholdKeyDown(0, key);
}
void FrmAlarm::txtAlarm2Thresh_KeyDown(int key) {
  ThresholdKeyDown(1, key);
}

}  // namespace velk
