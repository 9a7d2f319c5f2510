// The GPIO dialog's buttons. A refusal or a No leaves copy, caption and chip as they were; a
// Yes takes the line while the other function stays configured as it is.

#include <QCoreApplication>

#include "core/Delay.h"
#include "ui/dialogs/PinDialogWidgets.h"
#include "ui/dialogs/frmGpioMisc.h"

namespace velk {

namespace {

using pin_dialogs::Settle;

constexpr int32_t kReadyLine = 0x0001;
constexpr int32_t kReadyPolarity = 0x0002;
constexpr int32_t kReadyEnable = 0x0004;
constexpr int32_t kPositiveTest = 0x0100;
constexpr int32_t kNegativeTest = 0x0200;
constexpr int32_t kInternalTest = 0x0400;
constexpr int32_t kSelfTestFailed = 0x0020;  // of Status

constexpr int16_t kGpioOutput = 1;
constexpr int16_t kAlarmOutput = 2;
constexpr int16_t kDataReadyOutput = 3;

}  // namespace

void frmGpioMisc::SettleAndRefreshPinUse() {
  Settle();
  session_.reg.RefreshPinUse(session_.spi);
}

void frmGpioMisc::WriteMisc() {
  session_.spi.WriteRegister(slot::Msc_Ctrl, session_.reg.MscCtrl);
}

void frmGpioMisc::Direction(QPushButton* button, int pin, const char* dataReadyText,
                            const char* alarmText) {
  int32_t& gpio = session_.reg.GpioCtrl;
  if (button->text() == "Input") {
    const int16_t use = session_.reg.DioPinUse[static_cast<size_t>(pin)];
    if (use == kDataReadyOutput || use == kAlarmOutput) {
      session_.messages.Show(use == kDataReadyOutput ? dataReadyText : alarmText);
      return;
    }
    button->setText("Output");
    gpio |= 1 << pin;
  } else {
    button->setText("Input");
    gpio &= ~(1 << pin);
  }
  session_.spi.WriteRegister(slot::Gpio_Ctrl, gpio);
  SettleAndRefreshPinUse();
}

void frmGpioMisc::CmdDir0_Click() {
  Direction(CmdDir0, 0, "Dio0 is already in use by DataReady.. Please disable first",
            "Dio0 is already in use by Alarms.. Please disable first");
}

void frmGpioMisc::CmdDir1_Click() {
  Direction(CmdDir1, 1, "Dio1 is already in use by DataReady.. \nPlease disable DataReady first",
            "Dio1 is already in use by alarms.. ");
}

void frmGpioMisc::Level(QPushButton* button, int bit) {
  // The level is written whatever the line's direction.
  int32_t& gpio = session_.reg.GpioCtrl;
  if (button->text() == "Low") {
    button->setText("High");
    gpio |= 1 << bit;
  } else {
    button->setText("Low");
    gpio &= ~(1 << bit);
  }
  session_.spi.WriteRegister(slot::Gpio_Ctrl, gpio);
}

void frmGpioMisc::CmdDat0_Click() {
  Level(CmdDat0, 8);
}

void frmGpioMisc::CmdDat1_Click() {
  Level(CmdDat1, 9);
}

bool frmGpioMisc::MayTakeForDataReady(int pin, const char* gpioText, const char* alarmText) {
  const int16_t use = session_.reg.DioPinUse[static_cast<size_t>(pin)];
  if (use == kGpioOutput) return session_.messages.Ask(gpioText);
  if (use == kAlarmOutput) return session_.messages.Ask(alarmText);
  return true;
}

void frmGpioMisc::CmdDatRdy_Click() {
  int32_t& misc = session_.reg.MscCtrl;
  if (CmdDatRdy->text() == "Disabled") {
    const int pin = CmdCtrlLn->text() == "DIO-0" ? 0 : 1;
    if (!MayTakeForDataReady(pin, "Dio Pin is already in use by GPIO..\nOk to Override?",
                             "Dio Pin is already in use by alarms..\nOk to Override?"))
      return;
    CmdDatRdy->setText("Enabled");
    misc |= kReadyEnable;
  } else {
    CmdDatRdy->setText("Disabled");
    misc &= ~kReadyEnable;
  }
  WriteMisc();
  SettleAndRefreshPinUse();
}

void frmGpioMisc::CmdCtrlLn_Click() {
  int32_t& misc = session_.reg.MscCtrl;
  // A disabled output moves without any check.
  const bool enabled = CmdDatRdy->text() == "Enabled";
  if (CmdCtrlLn->text() != "DIO-0") {
    if (enabled && !MayTakeForDataReady(0, "Dio0 Pin is already in use by GPIO..\nOk to Override?",
                                        "Dio0 Pin is already in use by alarms..\nOk to Override?"))
      return;
    CmdCtrlLn->setText("DIO-0");
    misc &= ~kReadyLine;
  } else {
    if (enabled && !MayTakeForDataReady(1, "Dio1 Pin is already in use by GPIO..\nOk to Override?",
                                        "Dio1 Pin is already in use by alarms..\nOk to Override?"))
      return;
    CmdCtrlLn->setText("DIO-1");
    misc |= kReadyLine;
  }
  WriteMisc();
  SettleAndRefreshPinUse();
}

void frmGpioMisc::CmdCtrlPlry_Click() {
  int32_t& misc = session_.reg.MscCtrl;
  if (CmdCtrlPlry->text() == "Active Low") {
    CmdCtrlPlry->setText("Active High");
    misc |= kReadyPolarity;
  } else {
    CmdCtrlPlry->setText("Active Low");
    misc &= ~kReadyPolarity;
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
    misc = (misc | kPositiveTest) & ~kNegativeTest;
  } else {
    cmdEPST->setText("Disabled");
    misc &= ~(kPositiveTest | kNegativeTest);
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
    misc |= kNegativeTest;
  } else {
    cmdENST->setText("Disabled");
    misc &= ~kNegativeTest;
  }
  WriteMisc();
}

void frmGpioMisc::cmdIST_Click() {
  cmdIST->setText("Testing");
  session_.reg.MscCtrl |= kInternalTest;
  WriteMisc();
  // The chip never reports the start bit: left in the copy, the next write would start the
  // self-test again.
  session_.reg.MscCtrl &= ~kInternalTest;
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
