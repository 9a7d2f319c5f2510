#include <gtest/gtest.h>

#include <QMetaObject>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <numeric>
#include <string>
#include <vector>

#include "core/Delay.h"
#include "support/QtApp.h"
#include "support/SimRig.h"
#include "ui/dialogs/PinDialogBench.h"
#include "ui/dialogs/frmGpioMisc.h"

namespace velk {
namespace {

using Strings = std::vector<std::string>;
using PinUse = std::array<int16_t, 2>;
using Button = QPushButton* frmGpioMisc::*;

constexpr int kAlmCtrl = 0x28;
constexpr int kGpioCtrl = 0x32;
constexpr int kMscCtrl = 0x34;

struct GpioBench : test::PinDialogBench<frmGpioMisc> {
  void Click(Button button) { QTest::mouseClick(d.*button, Qt::LeftButton); }
  QString Captions() const {
    QStringList captions;
    for (QPushButton* b : {d.CmdDir1, d.CmdDir0, d.CmdDat1, d.CmdDat0, d.CmdDatRdy, d.CmdCtrlPlry,
                           d.CmdCtrlLn, d.cmdIST, d.cmdENST, d.cmdEPST})
      captions << b->text();
    return captions.join(',');
  }
  int Word(int address) const { return rig.sensor.Word(address); }
};

TEST(GpioMiscDialog, ActivationShowsBothRegistersWithoutRebuildingThePinTable) {
  GpioBench b;
  b.Chip(slot::Gpio_Ctrl, 0x0201);  // DIO0 output, DIO1 high
  b.Chip(slot::Msc_Ctrl, 0x0106);   // data ready enabled, active high, on DIO0; +self-test
  b.rig.session.reg.DioPinUse = {2, 2};
  b.d.show();
  EXPECT_EQ(b.Captions(),
            "Input,Output,High,Low,Enabled,Active High,DIO-0,Strobe,Disabled,Enabled");
  EXPECT_EQ(b.rig.session.reg.DioPinUse, (PinUse{2, 2}));
  QTest::mouseClick(b.d.ComOK, Qt::LeftButton);
  EXPECT_FALSE(b.d.isVisible());
}

TEST(GpioMiscDialog, ButtonsFlipOneBitFromTheirCaption) {
  struct Case {
    Button button;
    int address;
    int32_t bit;
    const char* off;
    const char* on;
    int settles;
    bool rebuildsPinUse;
  };
  for (const Case& c :
       {Case{&frmGpioMisc::CmdDir0, kGpioCtrl, 0x001, "Input", "Output", 1, true},
        {&frmGpioMisc::CmdDat0, kGpioCtrl, 0x100, "Low", "High", 0, false},
        {&frmGpioMisc::CmdCtrlPlry, kMscCtrl, 0x002, "Active Low", "Active High", 1, false}}) {
    GpioBench b;
    SCOPED_TRACE((b.d.*c.button)->objectName().toStdString());
    b.Chip(slot::Gpio_Ctrl, 0x00F0);  // bits no button changes
    b.Chip(slot::Msc_Ctrl, 0x00F0);
    b.Open();
    const int32_t before = b.Word(c.address);
    b.rig.session.reg.DioPinUse = {9, 9};
    EXPECT_EQ((b.d.*c.button)->text(), c.off);
    b.Click(c.button);
    EXPECT_EQ(b.Word(c.address), before | c.bit);
    EXPECT_EQ((b.d.*c.button)->text(), c.on);
    EXPECT_EQ(b.Settles(), c.settles);
    EXPECT_EQ(b.rig.session.reg.DioPinUse[0] != 9, c.rebuildsPinUse);
    b.Click(c.button);
    EXPECT_EQ((b.d.*c.button)->text(), c.off);
  }
}

TEST(GpioMiscDialog, SharedLineIsRefusedAskedOrTakenWithoutTouchingItsOwner) {
  const char* ready1 = "Dio1 is already in use by DataReady.. \nPlease disable DataReady first";
  const char* alarm1 = "Dio1 is already in use by alarms.. ";
  const char* askGpio = "Dio Pin is already in use by GPIO..\nOk to Override?";
  const char* askAlarm = "Dio Pin is already in use by alarms..\nOk to Override?";
  const char* askGpio0 = "Dio0 Pin is already in use by GPIO..\nOk to Override?";
  const char* askAlarm0 = "Dio0 Pin is already in use by alarms..\nOk to Override?";
  struct Case {
    Button button;
    int32_t alarm, gpio, ready;  // Alm_Ctrl, Gpio_Ctrl, Msc_Ctrl on the chip
    std::deque<bool> answers;
    int32_t gpioAfter, readyAfter;
    PinUse pinUse;        // afterwards
    const char* message;  // nullptr: none
  };
  const Button dir1 = &frmGpioMisc::CmdDir1;
  const Button ready = &frmGpioMisc::CmdDatRdy, line = &frmGpioMisc::CmdCtrlLn;
  // clang-format off
  for (const Case& c : {
           Case{dir1,  0, 0, 5, {},      0, 5, {0, 3}, ready1},
           Case{dir1,  5, 0, 0, {},      0, 0, {0, 2}, alarm1},
           Case{ready, 0, 1, 0, {false}, 1, 0, {1, 0}, askGpio},
           Case{ready, 4, 0, 0, {true},  0, 4, {3, 0}, askAlarm},
           Case{ready, 0, 2, 1, {true},  2, 5, {0, 3}, askGpio},
           Case{line,  0, 1, 5, {false}, 1, 5, {1, 3}, askGpio0},
           Case{line,  4, 0, 5, {true},  0, 4, {3, 0}, askAlarm0},
           // While data ready is disabled its line moves unasked.
           Case{line,  0, 2, 0, {},      2, 1, {0, 1}, nullptr}}) {
    // clang-format on
    GpioBench b;
    SCOPED_TRACE(c.message ? c.message : "no message");
    b.Chip(slot::Alm_Ctrl, c.alarm);
    b.Chip(slot::Gpio_Ctrl, c.gpio);
    b.Chip(slot::Msc_Ctrl, c.ready);
    b.Open();
    const QString captions = b.Captions();
    b.rig.messages.answers = c.answers;
    b.Click(c.button);
    EXPECT_EQ(b.rig.messages.Texts(), c.message ? Strings{c.message} : Strings{});
    // Chip and copy agree on every register, the alarm's untouched.
    const Reg47120& reg = b.rig.session.reg;
    EXPECT_EQ((std::array{b.Word(kGpioCtrl), b.Word(kMscCtrl), b.Word(kAlmCtrl)}),
              (std::array{c.gpioAfter, c.readyAfter, c.alarm}));
    EXPECT_EQ((std::array{reg.GpioCtrl, reg.MscCtrl}), (std::array{c.gpioAfter, c.readyAfter}));
    EXPECT_EQ(reg.DioPinUse, c.pinUse);
    if (c.gpioAfter == c.gpio && c.readyAfter == c.ready) {
      EXPECT_EQ(b.rig.sensor.FrameCount(), b.frames);
      EXPECT_EQ(b.Captions(), captions);
    }
  }
}

TEST(GpioMiscDialog, ExternalSelfTestsExcludeEachOther) {
  GpioBench b;
  b.Chip(slot::Msc_Ctrl, 0x0200);
  b.Open();
  b.Click(&frmGpioMisc::cmdEPST);
  EXPECT_EQ(b.Word(kMscCtrl), 0x0100);
  EXPECT_EQ(b.d.cmdENST->text(), "Disabled");
  EXPECT_EQ(b.d.cmdEPST->text(), "Enabled");

  const long frames = b.rig.sensor.FrameCount();
  b.Click(&frmGpioMisc::cmdENST);
  EXPECT_EQ(b.rig.messages.Texts(), Strings{"Turn off +Self Test First"});
  EXPECT_EQ(b.rig.sensor.FrameCount(), frames);
  EXPECT_EQ(b.d.cmdENST->text(), "Disabled");
}

TEST(GpioMiscDialog, InternalSelfTestShowsTheChipsVerdict) {
  for (bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "failing" : "passing");
    GpioBench b;
    b.rig.sensor.SetSelfTestFails(fails);
    b.Open();
    QString during;
    QMetaObject::invokeMethod(
        b.d.cmdIST, [&] { during = b.d.cmdIST->text(); }, Qt::QueuedConnection);
    b.Click(&frmGpioMisc::cmdIST);
    EXPECT_EQ(during, "Testing");
    EXPECT_EQ(b.d.cmdIST->text(), fails ? "Failed" : "Passed");
    EXPECT_GE(std::accumulate(b.waits.begin(), b.waits.end(), 0.0), 0.5);
    b.d.hide();
    b.d.show();
    EXPECT_EQ(b.d.cmdIST->text(), "Strobe");
  }
}

TEST(GpioMiscDialog, TheSelfTestStartIsNotReplayedByTheNextWrite) {
  GpioBench b;
  b.Open();
  b.Click(&frmGpioMisc::cmdIST);
  EXPECT_EQ(b.rig.session.reg.MscCtrl & 0x0400, 0);
  b.Click(&frmGpioMisc::CmdCtrlPlry);
  EXPECT_EQ(b.Word(kMscCtrl), 0x0002);
}

}  // namespace
}  // namespace velk
