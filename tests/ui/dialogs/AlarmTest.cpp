#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QStringList>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "core/Delay.h"
#include "support/QtApp.h"
#include "support/SimRig.h"
#include "ui/dialogs/FrmAlarm.h"
#include "ui/dialogs/PinDialogBench.h"

namespace velk {
namespace {

using Strings = std::vector<std::string>;

constexpr int kAlmMag1 = 0x20;
constexpr int kAlmMag2 = 0x22;
constexpr int kAlmSmp1 = 0x24;
constexpr int kAlmCtrl = 0x28;
constexpr int kGpioCtrl = 0x32;
constexpr int kMscCtrl = 0x34;

struct AlarmBench : test::PinDialogBench<FrmAlarm> {
  // What one alarm's controls show: source, units, mode, comparison, code, value, period.
  std::string Shown(int n) const {
    QStringList texts;
    for (QWidget* w :
         n == 0 ? std::array<QWidget*, 7>{d.cmboA1S, d.LblAlm1Mag, d.cmdAlarm1mode, d.cmdAlarm1GT,
                                          d.txtAlarmThreshold1, d.txtAlarm1Thresh, d.txtAlarm1sp}
                : std::array<QWidget*, 7>{d.cmboA2S, d.LblAlm2Mag, d.cmdAlarm2mode, d.cmdAlarm2GT,
                                          d.txtAlarmThreshold2, d.txtAlarm2Thresh, d.txtAlarm2sp})
      texts << w->property(qobject_cast<QComboBox*>(w) ? "currentText" : "text").toString();
    return texts.join(',').toStdString();
  }
};

TEST(AlarmDialog, ActivationShowsTheChipAndWritesBackWhatTheBarsMove) {
  AlarmBench b;
  b.Chip(slot::Alm_Mag1, 0xA000);  // greater than, code 8192
  b.Chip(slot::Alm_Mag2, 0x7FFF);  // bit 14 set, code 16383
  b.Chip(slot::Alm_Smp1, 17);
  b.Chip(slot::Alm_Smp2, 200);
  b.Chip(slot::Alm_Ctrl, 0xE207);  // 1: gyro, fixed; 2: temperature, rate; output on DIO1
  b.Open();
  EXPECT_EQ(b.Shown(0), "Gyro Out,D/S,Fixed Thresh,>,8192,-600.146,17");
  EXPECT_EQ(b.Shown(1), "Temp out,Deg,Rate of Change,<,16383,24.855,200");
  EXPECT_EQ(
      b.d.cmdAlarmOut->text() + ',' + b.d.cmdAlarmPolarity->text() + ',' + b.d.cmdAlarmPin->text(),
      "Enabled,Active High,DIO-1");
  // The bars moved from 0, so their handlers wrote the registers back; the move drops bit 14.
  EXPECT_EQ(b.rig.sensor.Word(kAlmMag1), 0xA000);
  EXPECT_EQ(b.rig.sensor.Word(kAlmMag2), 0x3FFF);
  EXPECT_EQ(b.rig.sensor.Word(kAlmSmp1), 17);
}

TEST(AlarmDialog, SourceChoiceWritesItsCodeAndShowsTheChipsName) {
  struct Case {
    int alarm;
    QString chosen;
    int32_t control;  // Alm_Ctrl afterwards, from 0x00F8 with the other alarm on the supply
    const char* shown;
    const char* units;
  };
  for (const Case& c : {Case{0, "Temp Out", 0x16F8, "Temp Out", "Deg"},
                        {1, "Aux Adc", 0x51F8, "Aux ADC", "V"},
                        {1, "Temp Out", 0x61F8, "Temp out", "Deg"},
                        {0, "ps", 0x11F8, "PS", "V"},
                        // Text that names no source is no choice.
                        {0, "typed", 0x12F8, "Gyro Out", "D/S"}}) {
    SCOPED_TRACE(c.chosen.toStdString());
    AlarmBench b;
    b.Chip(slot::Alm_Ctrl, c.alarm == 0 ? 0x12F8 : 0x21F8);  // own source gyro before
    b.Open();
    QComboBox* combo = c.alarm == 0 ? b.d.cmboA1S : b.d.cmboA2S;
    combo->setEditText(c.chosen);
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(b.rig.sensor.Word(kAlmCtrl), c.control);
    EXPECT_EQ(combo->currentText(), c.shown);
    EXPECT_EQ((c.alarm == 0 ? b.d.LblAlm1Mag : b.d.LblAlm2Mag)->text(), c.units);
    EXPECT_EQ(b.Settles(), c.chosen == "typed" ? 0 : 1);
  }
}

TEST(AlarmDialog, OnlyACompletedSourceChoiceWritesAndOnce) {
  AlarmBench b;
  b.Chip(slot::Alm_Ctrl, 0x0200);  // alarm 1 on the gyro
  b.Open();
  QComboBox* combo = b.d.cmboA1S;
  const auto control = [&] { return b.rig.sensor.Word(kAlmCtrl); };
  // Arrow keys on the closed box and leaving it choose nothing.
  QTest::keyClick(combo->lineEdit(), Qt::Key_Down);
  QTest::keyClick(combo->lineEdit(), Qt::Key_Up);
  combo->setEditText("PS");
  QFocusEvent leave(QEvent::FocusOut);
  QApplication::sendEvent(combo->lineEdit(), &leave);
  EXPECT_EQ(combo->currentText(), "Gyro Out");
  EXPECT_EQ(b.Settles(), 0);
  EXPECT_EQ(control(), 0x0200);

  // A click on an entry of the open list writes once.
  combo->showPopup();
  QTest::qWait(QApplication::doubleClickInterval() + 50);  // the press that opened it is over
  const QRect entry = combo->view()->visualRect(combo->model()->index(1, 0));
  QTest::mouseClick(combo->view()->viewport(), Qt::LeftButton, {}, entry.center());
  EXPECT_EQ(control(), 0x0100);
  EXPECT_EQ(b.Settles(), 1);
  QTest::keyClick(combo->lineEdit(), Qt::Key_Return);  // the same source again writes again
  EXPECT_EQ(b.Settles(), 2);
}

TEST(AlarmDialog, ThresholdEntryActsOnEnterAndLimitsTheCode) {
  struct Case {
    int32_t control;  // alarm 1's source in Alm_Ctrl
    const char* typed;
    Qt::Key key;
    int32_t code;  // Alm_Mag1's code afterwards; it starts at 256
    const char* shown;
  };
  for (const Case& c : {Case{0x0200, "-1", Qt::Key_Return, 16370, "-1.026"},
                        // Beyond full scale: the largest code of its own sign; zero is zero.
                        {0x0200, "1000", Qt::Key_Return, 8191, "600.073"},
                        {0x0200, "-1000", Qt::Key_Return, 8192, "-600.146"},
                        {0x0200, "-0.01", Qt::Key_Return, 0, "0.000"},
                        {0x0100, "5", Qt::Key_Enter, 2730, "5.000"},
                        {0x0100, "10", Qt::Key_Return, 4095, "7.500"},
                        {0x0100, "-3", Qt::Key_Return, 0, "0.000"},
                        {0x0500, "1.5 V", Qt::Key_Return, 2457, "1.500"},
                        {0x0600, "20", Qt::Key_Return, 0, "25.000"},
                        // Written only when the bar moves: the text stays as typed.
                        {0x0200, "18.75", Qt::Key_Return, 256, "18.75"},
                        {0x0200, "5", Qt::Key_Tab, 256, "5"},
                        {0x0200, "", Qt::Key_Return, 256, ""},
                        {0x0000, "5", Qt::Key_Return, 256, "5"}}) {
    SCOPED_TRACE(c.typed);
    AlarmBench b;
    b.Chip(slot::Alm_Ctrl, c.control);
    b.Chip(slot::Alm_Mag1, 0x8100);
    b.Open();
    b.d.txtAlarm1Thresh->setText(c.typed);
    QTest::keyClick(b.d.txtAlarm1Thresh, c.key);
    EXPECT_EQ(b.rig.sensor.Word(kAlmMag1), 0x8000 | c.code);
    EXPECT_EQ(b.d.txtAlarm1Thresh->text(), c.shown);
    EXPECT_EQ(b.d.txtAlarmThreshold1->text(), QString::number(c.code));
    EXPECT_EQ(b.Settles(), c.code != 256 ? 1 : 0);
    EXPECT_TRUE(b.d.isVisible());
  }
}

TEST(AlarmDialog, TogglesFlipOneBitFromTheirCaptionAndKeepTheRest) {
  struct Case {
    QPushButton* FrmAlarm::*button;
    int address;
    int32_t bit;
    const char* off;
    const char* on;
  };
  for (const Case& c :
       {Case{&FrmAlarm::cmdAlarm1GT, kAlmMag1, 0x8000, "<", ">"},
        {&FrmAlarm::cmdAlarm1mode, kAlmCtrl, 0x0800, "Fixed Thresh", "Rate of Change"},
        {&FrmAlarm::cmdAlarm2mode, kAlmCtrl, 0x8000, "Fixed Thresh", "Rate of Change"},
        {&FrmAlarm::cmdAlarmPolarity, kAlmCtrl, 0x0002, "Active Low", "Active High"}}) {
    AlarmBench b;
    QPushButton* button = b.d.*c.button;
    SCOPED_TRACE(button->objectName().toStdString());
    b.Chip(slot::Alm_Ctrl, 0x00F8);  // bits the dialog never changes
    b.Chip(slot::Alm_Mag1, 0x1234);
    b.Chip(slot::Alm_Mag2, 0x1234);
    b.Open();
    const int32_t before = b.rig.sensor.Word(c.address);
    EXPECT_EQ(button->text(), c.off);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(b.rig.sensor.Word(c.address), before | c.bit);
    EXPECT_EQ(button->text(), c.on);
    EXPECT_EQ(b.Settles(), 1);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(button->text(), c.off);
  }
}

TEST(AlarmDialog, SharedPinIsRefusedAskedOrTakenWithoutTouchingItsOwner) {
  const char* gpioAny = "Dio Pin is already in use by GPIO.. OK to override";
  const char* readyAny =
      "Dio pin is already in use by DataReady.. \nPlease disable DataReady first";
  const char* gpio0 = "Dio0 Pin is already in use by GPIO..\nOk to Override?";
  const char* ready0 = "Dio0 pin is already in use by DataReady.. \nPlease disable DataReady first";
  struct Case {
    QPushButton* FrmAlarm::*button;
    int32_t alarm, gpio, ready;  // Alm_Ctrl, Gpio_Ctrl, Msc_Ctrl on the chip
    std::deque<bool> answers;
    const char* message;  // nullptr: none
    int32_t after;        // Alm_Ctrl afterwards
  };
  const auto out = &FrmAlarm::cmdAlarmOut;
  const auto pin = &FrmAlarm::cmdAlarmPin;
  for (const Case& c : {Case{out, 0x0000, 0x0000, 0x0004, {}, readyAny, 0x0000},
                        Case{out, 0x0000, 0x0001, 0x0000, {false}, gpioAny, 0x0000},
                        Case{out, 0x0000, 0x0001, 0x0000, {true}, gpioAny, 0x0004},
                        Case{pin, 0x0005, 0x0001, 0x0000, {true}, gpio0, 0x0004},
                        Case{pin, 0x0005, 0x0000, 0x0004, {true}, ready0, 0x0005},
                        // A disabled output moves without any check.
                        Case{pin, 0x0000, 0x0000, 0x0005, {}, nullptr, 0x0001}}) {
    AlarmBench b;
    SCOPED_TRACE((b.d.*c.button)->objectName().toStdString() + " from " + std::to_string(c.alarm));
    b.Chip(slot::Alm_Ctrl, c.alarm);
    b.Chip(slot::Gpio_Ctrl, c.gpio);
    b.Chip(slot::Msc_Ctrl, c.ready);
    b.Open();
    b.rig.messages.answers = c.answers;
    QTest::mouseClick(b.d.*c.button, Qt::LeftButton);
    EXPECT_EQ(b.rig.messages.Texts(), c.message ? Strings{c.message} : Strings{});
    EXPECT_EQ(b.rig.sensor.Word(kAlmCtrl), c.after);
    EXPECT_EQ(b.rig.session.reg.AlmCtrl, c.after);
    EXPECT_EQ(b.rig.sensor.Word(kGpioCtrl), c.gpio);
    EXPECT_EQ(b.rig.sensor.Word(kMscCtrl), c.ready);
    EXPECT_EQ(b.rig.sensor.FrameCount() == b.frames, c.after == c.alarm);
    EXPECT_EQ(b.d.cmdAlarmOut->text(), (c.after & 4) ? "Enabled" : "Disabled");
    EXPECT_EQ(b.d.cmdAlarmPin->text(), (c.after & 1) ? "DIO-1" : "DIO-0");
  }
}

}  // namespace
}  // namespace velk
