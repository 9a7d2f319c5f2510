// The GPIO dialog's buttons. A refusal or a No leaves copy, caption and chip as they were; a
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

void frmGpioMisc::Direction(QPushButton* button, int pin, const HeldTexts& texts) {
  int32_t& gpio = session_.reg.GpioCtrl;
  if (button->text() == "Input") {
    if (!MayTakeLine(session_, pin, kGpioRule, texts)) return;
    button->setText("Output");
    gpio |= gpio_ctrl::Output(pin);
  } else {
    button->setText("Input");
    gpio &= ~gpio_ctrl::Output(pin);
  }
  session_.spi.WriteRegister(slot::Gpio_Ctrl, gpio);
  SettleAndRefreshPinUse();
}

void frmGpioMisc::CmdDir0_Click() {
  Direction(CmdDir0, 0,
            {.alarm = "Dio0 is already in use by Alarms.. Please disable first",
             .dataReady = "Dio0 is already in use by DataReady.. Please disable first"});
}

void frmGpioMisc::CmdDir1_Click() {
  Direction(
      CmdDir1, 1,
      {.alarm = "Dio1 is already in use by alarms.. ",
       .dataReady = "Dio1 is already in use by DataReady.. \nPlease disable DataReady first"});
}

void frmGpioMisc::Level(QPushButton* button, int pin) {
  // The level is written whatever the line's direction.
  int32_t& gpio = session_.reg.GpioCtrl;
  if (button->text() == "Low") {
    button->setText("High");
    gpio |= gpio_ctrl::High(pin);
  } else {
    button->setText("Low");
    gpio &= ~gpio_ctrl::High(pin);
  }
  session_.spi.WriteRegister(slot::Gpio_Ctrl, gpio);
}

void frmGpioMisc::CmdDat0_Click() {
  Level(CmdDat0, 0);
}

void frmGpioMisc::CmdDat1_Click() {
  Level(CmdDat1, 1);
}

void frmGpioMisc::CmdDatRdy_Click() {
  static constexpr HeldTexts kTexts{
      .gpio = "Dio Pin is already in use by GPIO..\nOk to Override?",
      .alarm = "Dio Pin is already in use by alarms..\nOk to Override?"};
  const bool on = CmdDatRdy->text() == "Disabled";
  const int line = CmdCtrlLn->text() == "DIO-0" ? 0 : 1;
  if (!SwitchOutput(session_, kDataReadyOutput, on, line, kTexts)) return;
  CmdDatRdy->setText(on ? "Enabled" : "Disabled");
  SettleAndRefreshPinUse();
}

void frmGpioMisc::CmdCtrlLn_Click() {
  static constexpr HeldTexts kTexts[] = {
      {.gpio = "Dio0 Pin is already in use by GPIO..\nOk to Override?",
       .alarm = "Dio0 Pin is already in use by alarms..\nOk to Override?"},
      {.gpio = "Dio1 Pin is already in use by GPIO..\nOk to Override?",
       .alarm = "Dio1 Pin is already in use by alarms..\nOk to Override?"}};
  // The caption names the line the output leaves. A disabled output moves without any check.
  const int line = CmdCtrlLn->text() != "DIO-0" ? 0 : 1;
  if (!MoveOutput(session_, kDataReadyOutput, line, CmdDatRdy->text() == "Enabled", kTexts[line]))
    return;
  CmdCtrlLn->setText(line == 0 ? "DIO-0" : "DIO-1");
  SettleAndRefreshPinUse();
}

void frmGpioMisc::CmdCtrlPlry_Click() {
  int32_t& misc = session_.reg.MscCtrl;
  if (CmdCtrlPlry->text() == "Active Low") {
    CmdCtrlPlry->setText("Active High");
    misc |= msc_ctrl::kReadyHigh;
  } else {
    CmdCtrlPlry->setText("Active Low");
    misc &= ~msc_ctrl::kReadyHigh;
  }
  WriteMisc();
  Settle();
}

void frmGpioMisc::cmdEPST_Click() {
  int32_t& misc = session_.reg.MscCtrl;
  if (cmdEPST->text() == "Disabled") {
    // The two external self-tests exclude each other.
    cmdEPST->setText("Enabled");
    cmdENST->setText("Disabled");
    misc = (misc | msc_ctrl::kPositiveSelfTest) & ~msc_ctrl::kNegativeSelfTest;
  } else {
    cmdEPST->setText("Disabled");
    misc &= ~(msc_ctrl::kPositiveSelfTest | msc_ctrl::kNegativeSelfTest);
  }
  WriteMisc();
}

void frmGpioMisc::cmdENST_Click() {
  if (cmdEPST->text() == "Enabled") {
    session_.messages.Show("Turn off +Self Test First");
    return;
  }
  int32_t& misc = session_.reg.MscCtrl;
  if (cmdENST->text() == "Disabled") {
    cmdENST->setText("Enabled");
    misc |= msc_ctrl::kNegativeSelfTest;
  } else {
    cmdENST->setText("Disabled");
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
