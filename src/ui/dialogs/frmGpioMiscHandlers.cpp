// The GPIO dialog's buttons. A refusal or a No leaves copy, state and chip as they were; a
// Yes takes the line while the other function stays configured as it is.

#include <QCoreApplication>

#include "core/Delay.h"
#include "registers/SharedPin.h"
#include "ui/dialogs/PinDialogWidgets.h"
#include "ui/dialogs/frmGpioMisc.h"

namespace velk {

namespace {

using pin_dialogs::Settle;

constexpr int32_t kSelfTestFailed = 0x0020;  // of Status

// Data ready asks for a line GPIO or the alarm output holds.
constexpr SharedOutput kDataReadyOutput{slot::Msc_Ctrl,
                                        &Reg47120::MscCtrl,
                                        msc_ctrl::kReadyEnable,
                                        msc_ctrl::kReadyDio1,
                                        {.gpio = OnHeld::kAsk, .alarm = OnHeld::kAsk}};
// A GPIO output never takes the line of the alarm or data-ready output.
constexpr HeldRule kGpioRule{.alarm = OnHeld::kRefuse, .dataReady = OnHeld::kRefuse};

}  // namespace

void frmGpioMisc::SettleAndRefreshPinUse() {
  Settle();
  session_.reg.RefreshPinUse(session_.spi);
}

void frmGpioMisc::WriteMisc() {
  session_.spi.WriteRegister(slot::Msc_Ctrl, session_.reg.MscCtrl);
}

void frmGpioMisc::ShowDirection(int pin, Direction direction) {
  direction_[static_cast<size_t>(pin)] = direction;
  (pin == 0 ? CmdDir0 : CmdDir1)->setText(direction == Direction::kOutput ? "Output" : "Input");
}

void frmGpioMisc::ShowLevel(int pin, Level level) {
  level_[static_cast<size_t>(pin)] = level;
  (pin == 0 ? CmdDat0 : CmdDat1)->setText(level == Level::kHigh ? "High" : "Low");
}

void frmGpioMisc::ShowReadyEnabled(bool enabled) {
  readyEnabled_ = enabled;
  CmdDatRdy->setText(pin_dialogs::EnabledText(enabled));
}

void frmGpioMisc::ShowReadyPolarity(Polarity polarity) {
  readyPolarity_ = polarity;
  CmdCtrlPlry->setText(pin_dialogs::PolarityText(polarity));
}

void frmGpioMisc::ShowReadyLine(Line line) {
  readyLine_ = line;
  CmdCtrlLn->setText(pin_dialogs::LineText(line));
}

void frmGpioMisc::ShowPositiveSelfTest(bool enabled) {
  positiveSelfTest_ = enabled;
  cmdEPST->setText(pin_dialogs::EnabledText(enabled));
}

void frmGpioMisc::ShowNegativeSelfTest(bool enabled) {
  negativeSelfTest_ = enabled;
  cmdENST->setText(pin_dialogs::EnabledText(enabled));
}

void frmGpioMisc::DirectionClick(int pin, const HeldTexts& texts) {
  int32_t& gpio = session_.reg.GpioCtrl;
  if (direction_[static_cast<size_t>(pin)] == Direction::kInput) {
    if (!MayTakeLine(session_, pin, kGpioRule, texts)) return;
    ShowDirection(pin, Direction::kOutput);
    gpio |= gpio_ctrl::Output(pin);
  } else {
    ShowDirection(pin, Direction::kInput);
    gpio &= ~gpio_ctrl::Output(pin);
  }
  session_.spi.WriteRegister(slot::Gpio_Ctrl, gpio);
  SettleAndRefreshPinUse();
}

void frmGpioMisc::CmdDir0_Click() {
  DirectionClick(0, {.alarm = "Dio0 is already in use by Alarms.. Please disable first",
                     .dataReady = "Dio0 is already in use by DataReady.. Please disable first"});
}

void frmGpioMisc::CmdDir1_Click() {
  DirectionClick(
      1, {.alarm = "Dio1 is already in use by alarms.. ",
          .dataReady = "Dio1 is already in use by DataReady.. \nPlease disable DataReady first"});
}

void frmGpioMisc::LevelClick(int pin) {
  // The level is written whatever the line's direction.
  int32_t& gpio = session_.reg.GpioCtrl;
  if (level_[static_cast<size_t>(pin)] == Level::kLow) {
    ShowLevel(pin, Level::kHigh);
    gpio |= gpio_ctrl::High(pin);
  } else {
    ShowLevel(pin, Level::kLow);
    gpio &= ~gpio_ctrl::High(pin);
  }
  session_.spi.WriteRegister(slot::Gpio_Ctrl, gpio);
}

void frmGpioMisc::CmdDat0_Click() {
  LevelClick(0);
}

void frmGpioMisc::CmdDat1_Click() {
  LevelClick(1);
}

void frmGpioMisc::CmdDatRdy_Click() {
  static constexpr HeldTexts kTexts{
      .gpio = "Dio Pin is already in use by GPIO..\nOk to Override?",
      .alarm = "Dio Pin is already in use by alarms..\nOk to Override?"};
  const bool on = !readyEnabled_;
  if (!SwitchOutput(session_, kDataReadyOutput, on, pin_dialogs::Index(readyLine_), kTexts)) return;
  ShowReadyEnabled(on);
  SettleAndRefreshPinUse();
}

void frmGpioMisc::CmdCtrlLn_Click() {
  static constexpr HeldTexts kTexts[] = {
      {.gpio = "Dio0 Pin is already in use by GPIO..\nOk to Override?",
       .alarm = "Dio0 Pin is already in use by alarms..\nOk to Override?"},
      {.gpio = "Dio1 Pin is already in use by GPIO..\nOk to Override?",
       .alarm = "Dio1 Pin is already in use by alarms..\nOk to Override?"}};
  // Away from the line shown. A disabled output moves without any check.
  const int line = readyLine_ == Line::kDio0 ? 1 : 0;
  if (!MoveOutput(session_, kDataReadyOutput, line, readyEnabled_, kTexts[line])) return;
  ShowReadyLine(pin_dialogs::LineAt(line));
  SettleAndRefreshPinUse();
}

void frmGpioMisc::CmdCtrlPlry_Click() {
  int32_t& misc = session_.reg.MscCtrl;
  if (readyPolarity_ == Polarity::kActiveLow) {
    ShowReadyPolarity(Polarity::kActiveHigh);
    misc |= msc_ctrl::kReadyHigh;
  } else {
    ShowReadyPolarity(Polarity::kActiveLow);
    misc &= ~msc_ctrl::kReadyHigh;
  }
  WriteMisc();
  Settle();
}

void frmGpioMisc::cmdEPST_Click() {
  int32_t& misc = session_.reg.MscCtrl;
  if (!positiveSelfTest_) {
    // The two external self-tests exclude each other.
    ShowPositiveSelfTest(true);
    ShowNegativeSelfTest(false);
    misc = (misc | msc_ctrl::kPositiveSelfTest) & ~msc_ctrl::kNegativeSelfTest;
  } else {
    ShowPositiveSelfTest(false);
    misc &= ~(msc_ctrl::kPositiveSelfTest | msc_ctrl::kNegativeSelfTest);
  }
  WriteMisc();
}

void frmGpioMisc::cmdENST_Click() {
  if (positiveSelfTest_) {
    session_.messages.Show("Turn off +Self Test First");
    return;
  }
  int32_t& misc = session_.reg.MscCtrl;
  if (!negativeSelfTest_) {
    ShowNegativeSelfTest(true);
    misc |= msc_ctrl::kNegativeSelfTest;
  } else {
    ShowNegativeSelfTest(false);
    misc &= ~msc_ctrl::kNegativeSelfTest;
  }
  WriteMisc();
}

void frmGpioMisc::cmdIST_Click() {
  cmdIST->setText("Testing");
  session_.reg.MscCtrl |= msc_ctrl::kInternalSelfTest;
  WriteMisc();
  // The chip never reports the start bit: left in the copy, the next write would start the
  // self-test again.
  session_.reg.MscCtrl &= ~msc_ctrl::kInternalSelfTest;
  // About half a second, with the window kept alive.
  SlicedDelay test;
  for (int i = 0; i < 50; ++i) {
    test.Wait(10.0f, i == 49);
    QCoreApplication::processEvents();
  }
  Spi47120& spi = session_.spi;
  spi.ReadRegister(slot::Status);
  cmdIST->setText((spi.RegData & kSelfTestFailed) != 0 ? "Failed" : "Passed");
}

}  // namespace velk
