#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <memory>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "core/ChipConstants.h"
#include "core/Delay.h"
#include "registers/WiredSession.h"
#include "support/FileSizeLimit.h"
#include "support/QtApp.h"
#include "support/SimRig.h"
#include "support/TempDir.h"
#include "ui/dialogs/FrmAlarm.h"
#include "ui/dialogs/frmAbout.h"
#include "ui/dialogs/frmDAC.h"
#include "ui/dialogs/frmGpioMisc.h"
#include "ui/dialogs/frmManualReg.h"
#include "ui/dialogs/frmPowerdown.h"
#include "ui/main/WriteTrace.h"

namespace velk {
namespace {

using Strings = std::vector<std::string>;

constexpr int kAlmMag1 = 0x20;
constexpr int kAlmCtrl = 0x28;
constexpr int kGpioCtrl = 0x32;
constexpr int kMscCtrl = 0x34;

// A pin-sharing dialog over a simulated sensor; pauses move the sensor's clock and are
// recorded.
template <typename Dialog>
struct PinDialogBench {
  PinDialogBench() {
    SetDelayWaiter([this](double seconds) {
      waits.push_back(seconds);
      rig.clock.Advance(seconds);
    });
  }
  ~PinDialogBench() {
    SetDelayWaiter([](double) {});
  }

  void Chip(int16_t slot, int32_t value) { rig.session.spi.WriteRegister(slot, value); }
  int Word(int address) const { return rig.sensor.Word(address); }
  void Click(QPushButton* Dialog::*button) { QTest::mouseClick(d.*button, Qt::LeftButton); }
  // Opens the dialog as the main window does: the pin-use table was rebuilt on its activation.
  void Open() {
    rig.session.reg.RefreshPinUse(rig.session.spi);
    d.show();
    waits.clear();
    rig.messages.shown.clear();
    frames = rig.sensor.FrameCount();
  }
  // The 150 ms settling waits since the dialog opened.
  long Settles() const {
    return std::count_if(waits.begin(), waits.end(),
                         [](double s) { return std::fabs(s - 0.15) < 1e-9; });
  }
  // Every button's caption, in the order the buttons were made.
  std::string Captions() const {
    QStringList texts;
    for (QPushButton* button : d.template findChildren<QPushButton*>()) texts << button->text();
    return texts.join(',').toStdString();
  }
  // What the controls show, in the order given.
  static std::string Shown(std::initializer_list<QWidget*> controls) {
    QStringList texts;
    for (QWidget* w : controls)
      texts << w->property(qobject_cast<QComboBox*>(w) ? "currentText" : "text").toString();
    return texts.join(',').toStdString();
  }

  bool app = (test::EnsureQApp(), true);
  test::SimRig rig;
  Dialog d{rig.session};
  std::vector<double> waits;
  long frames = 0;
};

using AlarmBench = PinDialogBench<FrmAlarm>;

TEST(AlarmDialog, ActivationShowsTheChipAndWritesBackWhatTheBarsMove) {
  AlarmBench b;
  b.Chip(slot::Alm_Mag1, 0xA000);  // greater than, code 8192
  b.Chip(slot::Alm_Mag2, 0x7FFF);  // bit 14 set, code 16383
  b.Chip(slot::Alm_Smp1, 17);
  b.Chip(slot::Alm_Ctrl, 0xE207);  // 1: gyro, fixed; 2: temperature, rate; output on DIO1
  b.Open();
  const FrmAlarm& d = b.d;
  EXPECT_EQ(b.Shown({d.cmboA1S, d.LblAlm1Mag, d.cmdAlarm1mode, d.cmdAlarm1GT, d.txtAlarmThreshold1,
                     d.txtAlarm1Thresh, d.txtAlarm1sp}),
            "Gyro Out,D/S,Fixed Thresh,>,8192,-600.146,17");
  EXPECT_EQ(b.Shown({d.cmboA2S, d.LblAlm2Mag, d.cmdAlarm2mode, d.cmdAlarm2GT, d.txtAlarmThreshold2,
                     d.txtAlarm2Thresh, d.cmdAlarmOut, d.cmdAlarmPolarity, d.cmdAlarmPin}),
            "Temp out,Deg,Rate of Change,<,16383,24.855,Enabled,Active High,DIO-1");
  // The bars moved from 0, so their handlers wrote the registers back; the move drops bit 14.
  EXPECT_EQ(b.Word(kAlmMag1), 0xA000);
  EXPECT_EQ(b.Word(kAlmMag1 + 2), 0x3FFF);
}

TEST(AlarmDialog, SourceChoiceWritesItsCodeAndShowsTheChipsName) {
  // Alm_Ctrl afterwards, from 0x00F8 with the other alarm on the supply, and what is shown.
  for (auto [alarm, chosen, control, shown] : {std::tuple{0, "Temp Out", 0x16F8, "Temp Out,Deg"},
                                               {1, "Aux Adc", 0x51F8, "Aux ADC,V"},
                                               {0, "ps", 0x11F8, "PS,V"},
                                               // Text that names no source is no choice.
                                               {0, "typed", 0x12F8, "Gyro Out,D/S"}}) {
    SCOPED_TRACE(chosen);
    AlarmBench b;
    b.Chip(slot::Alm_Ctrl, alarm == 0 ? 0x12F8 : 0x21F8);  // own source gyro before
    b.Open();
    QComboBox* combo = alarm == 0 ? b.d.cmboA1S : b.d.cmboA2S;
    combo->setEditText(chosen);
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(b.Word(kAlmCtrl), control);
    EXPECT_EQ(b.Shown({combo, alarm == 0 ? b.d.LblAlm1Mag : b.d.LblAlm2Mag}), shown);
    EXPECT_EQ(b.Settles(), std::string(chosen) == "typed" ? 0 : 1);
  }
}

TEST(AlarmDialog, OnlyACompletedSourceChoiceWritesAndOnce) {
  AlarmBench b;
  b.Chip(slot::Alm_Ctrl, 0x0200);  // alarm 1 on the gyro
  b.Open();
  QComboBox* combo = b.d.cmboA1S;
  // Arrow keys on the closed box and leaving it choose nothing.
  QTest::keyClick(combo->lineEdit(), Qt::Key_Down);
  QTest::keyClick(combo->lineEdit(), Qt::Key_Up);
  combo->setEditText("PS");
  QFocusEvent leave(QEvent::FocusOut);
  QApplication::sendEvent(combo->lineEdit(), &leave);
  EXPECT_EQ(combo->currentText(), "Gyro Out");
  EXPECT_EQ(b.Settles(), 0);
  EXPECT_EQ(b.Word(kAlmCtrl), 0x0200);

  // A click on an entry of the open list writes once.
  combo->showPopup();
  QTest::qWait(QApplication::doubleClickInterval() + 50);  // the press that opened it is over
  const QRect entry = combo->view()->visualRect(combo->model()->index(1, 0));
  QTest::mouseClick(combo->view()->viewport(), Qt::LeftButton, {}, entry.center());
  EXPECT_EQ(b.Word(kAlmCtrl), 0x0100);
  EXPECT_EQ(b.Settles(), 1);
  QTest::keyClick(combo->lineEdit(), Qt::Key_Return);  // the same source again writes again
  EXPECT_EQ(b.Settles(), 2);
}

TEST(AlarmDialog, ThresholdEntryActsOnEnterAndLimitsTheCode) {
  // Alarm 1's source in Alm_Ctrl, the text and key typed, Alm_Mag1's code afterwards (it starts
  // at 256) and the text then shown. Each source's conversion, by hand from the register
  // table (the rate's LSB 0.07326 dgr/S while no range is applied): 5 V / 0.0018315 = 2730,
  // -1 dgr/S / 0.07326 = -14 (16370 in 14 bits), 1.5 V / 0.0006105 = 2457,
  // (30 - 25) degC / 0.1453 = 34 and back 34 x 0.1453 + 25 = 29.940.
  for (auto [name, control, typed, key, code, shown] :
       {std::tuple{"PsConverts", 0x0100, "5", Qt::Key_Enter, 2730, "5.000"},
        {"GyroConverts", 0x0200, "-1", Qt::Key_Return, 16370, "-1.026"},
        {"AdcConvertsWithItsUnit", 0x0500, "1.5 V", Qt::Key_Return, 2457, "1.500"},
        {"TempConverts", 0x0600, "30", Qt::Key_Return, 34, "29.940"},
        // Beyond full scale: the largest code of its own sign; zero is zero.
        {"GyroAboveFullScale", 0x0200, "1000", Qt::Key_Return, 8191, "600.073"},
        {"GyroBelowFullScale", 0x0200, "-1000", Qt::Key_Return, 8192, "-600.146"},
        {"GyroRoundsToZero", 0x0200, "-0.01", Qt::Key_Return, 0, "0.000"},
        {"PsAboveFullScale", 0x0100, "10", Qt::Key_Return, 4095, "7.500"},
        {"PsBelowZero", 0x0100, "-3", Qt::Key_Return, 0, "0.000"},
        {"TempBelowTheOffset", 0x0600, "20", Qt::Key_Return, 0, "25.000"},
        {"TempAboveFullScale", 0x0600, "1000", Qt::Key_Return, 4095, "620.003"},
        // Written only when the bar moves: the text stays as typed.
        {"SameCode", 0x0200, "18.75", Qt::Key_Return, 256, "18.75"},
        {"TabIsNoEntry", 0x0200, "5", Qt::Key_Tab, 256, "5"},
        {"Empty", 0x0200, "", Qt::Key_Return, 256, ""},
        {"NoSource", 0x0000, "5", Qt::Key_Return, 256, "5"}}) {
    SCOPED_TRACE(name);
    AlarmBench b;
    b.Chip(slot::Alm_Ctrl, control);
    b.Chip(slot::Alm_Mag1, 0x8100);
    b.Open();
    b.d.txtAlarm1Thresh->setText(typed);
    QTest::keyClick(b.d.txtAlarm1Thresh, key);
    EXPECT_EQ(b.Word(kAlmMag1), 0x8000 | code);
    EXPECT_EQ(b.Shown({b.d.txtAlarm1Thresh, b.d.txtAlarmThreshold1}),
              shown + std::string(",") + std::to_string(code));
    EXPECT_EQ(b.Settles(), code != 256 ? 1 : 0);
    EXPECT_TRUE(b.d.isVisible());  // Enter is not the dialog's OK
  }
}

using Registers = std::array<int32_t, 3>;  // Alm_Ctrl, Gpio_Ctrl, Msc_Ctrl
// Their words with an output on at DIO0 or DIO1, or a GPIO line as an output.
constexpr int32_t kAlarmOn0 = alm_ctrl::kOutputEnable,
                  kAlarmOn1 = kAlarmOn0 | alm_ctrl::kOutputDio1;
constexpr int32_t kReadyOn0 = msc_ctrl::kReadyEnable, kReadyOn1 = kReadyOn0 | msc_ctrl::kReadyDio1;
constexpr int32_t kGpioOut0 = gpio_ctrl::Output(0), kGpioOut1 = gpio_ctrl::Output(1);

// Opens a dialog with the pin registers given on the chip and clicks `button`, answering any
// question as given: `message` (nullptr: none) is shown, chip and copy hold `after`, and what
// is refused sends nothing and changes no caption. The bench, for what else the case shows.
template <typename Dialog>
std::unique_ptr<PinDialogBench<Dialog>> ExpectClaim(QPushButton* Dialog::*button, Registers chip,
                                                    std::deque<bool> answers, const char* message,
                                                    Registers after) {
  auto b = std::make_unique<PinDialogBench<Dialog>>();
  SCOPED_TRACE(testing::Message() << (b->d.*button)->objectName().toStdString() << " over "
                                  << chip[0] << ',' << chip[1] << ',' << chip[2]);
  b->Chip(slot::Alm_Ctrl, chip[0]);
  b->Chip(slot::Gpio_Ctrl, chip[1]);
  b->Chip(slot::Msc_Ctrl, chip[2]);
  b->Open();
  const std::string captions = b->Captions();
  b->rig.messages.answers = std::move(answers);
  QTest::mouseClick(b->d.*button, Qt::LeftButton);
  EXPECT_EQ(b->rig.messages.Texts(), message ? Strings{message} : Strings{});
  const Reg47120& reg = b->rig.session.reg;
  EXPECT_EQ((Registers{b->Word(kAlmCtrl), b->Word(kGpioCtrl), b->Word(kMscCtrl)}), after);
  EXPECT_EQ((Registers{reg.AlmCtrl, reg.GpioCtrl, reg.MscCtrl}), after);
  if (after == chip) {
    EXPECT_EQ(b->rig.sensor.FrameCount(), b->frames);
    EXPECT_EQ(b->Captions(), captions);
  }
  return b;
}

TEST(AlarmDialog, SharedPinIsRefusedAskedOrTakenWithoutTouchingItsOwner) {
  const char* gpioAny = "Dio Pin is already in use by GPIO.. OK to override";
  const char* readyAny =
      "Dio pin is already in use by DataReady.. \nPlease disable DataReady first";
  const char* gpio0 = "Dio0 Pin is already in use by GPIO..\nOk to Override?";
  const char* ready0 = "Dio0 pin is already in use by DataReady.. \nPlease disable DataReady first";
  const auto out = &FrmAlarm::cmdAlarmOut;
  const auto pin = &FrmAlarm::cmdAlarmPin;
  ExpectClaim(out, {0, 0, kReadyOn0}, {}, readyAny, {0, 0, kReadyOn0});
  ExpectClaim(out, {0, kGpioOut0, 0}, {false}, gpioAny, {0, kGpioOut0, 0});
  ExpectClaim(out, {0, kGpioOut0, 0}, {true}, gpioAny, {kAlarmOn0, kGpioOut0, 0});
  ExpectClaim(pin, {kAlarmOn1, kGpioOut0, 0}, {true}, gpio0, {kAlarmOn0, kGpioOut0, 0});
  ExpectClaim(pin, {kAlarmOn1, 0, kReadyOn0}, {true}, ready0, {kAlarmOn1, 0, kReadyOn0});
  // A disabled output moves without any check.
  ExpectClaim(pin, {0, 0, kReadyOn1}, {}, nullptr, {alm_ctrl::kOutputDio1, 0, kReadyOn1});
}

using PinUse = std::array<int16_t, 2>;
using Button = QPushButton* frmGpioMisc::*;

using GpioBench = PinDialogBench<frmGpioMisc>;

TEST(GpioMiscDialog, ActivationShowsBothRegistersWithoutRebuildingThePinTable) {
  GpioBench b;
  b.Chip(slot::Gpio_Ctrl, 0x0201);  // DIO0 output, DIO1 high
  b.Chip(slot::Msc_Ctrl, 0x0106);   // data ready enabled, active high, on DIO0; +self-test
  b.rig.session.reg.DioPinUse = {pin_use::kAlarm, pin_use::kAlarm};
  b.d.show();
  EXPECT_EQ(b.Captions(),
            "Input,Output,High,Low,Enabled,Active High,DIO-0,Strobe,Disabled,Enabled,OK");
  EXPECT_EQ(b.rig.session.reg.DioPinUse, (PinUse{pin_use::kAlarm, pin_use::kAlarm}));
}

// Clicks a two-state button twice, with bits no button changes set in every register: the
// first click sets `bit` of `address` alone, turns the caption and makes the settling waits
// given, rebuilding the pin-use table or not; the second turns the caption back.
template <typename Dialog>
void ExpectFlip(QPushButton* Dialog::*toggle, int address, int bit, const char* captions,
                long settles, bool rebuildsPinUse) {
  PinDialogBench<Dialog> b;
  QPushButton* button = b.d.*toggle;
  SCOPED_TRACE(button->objectName().toStdString());
  for (int16_t reg : {slot::Alm_Ctrl, slot::Gpio_Ctrl, slot::Msc_Ctrl}) b.Chip(reg, 0x00F0);
  b.Chip(slot::Alm_Mag1, 0x1234);
  b.Open();
  const int32_t before = b.Word(address);
  b.rig.session.reg.DioPinUse = {9, 9};
  const std::string off = button->text().toStdString();
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(b.Word(address), before | bit);
  EXPECT_EQ(off + ',' + button->text().toStdString(), captions);
  EXPECT_EQ(b.Settles(), settles);
  EXPECT_EQ(b.rig.session.reg.DioPinUse[0] != 9, rebuildsPinUse);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(button->text().toStdString(), off);
}

TEST(PinDialogs, TogglesFlipOneBitFromTheirCaptionAndKeepTheRest) {
  ExpectFlip(&FrmAlarm::cmdAlarm1GT, kAlmMag1, 0x8000, "<,>", 1, false);
  ExpectFlip(&FrmAlarm::cmdAlarm2mode, kAlmCtrl, 0x8000, "Fixed Thresh,Rate of Change", 1, false);
  ExpectFlip(&FrmAlarm::cmdAlarmPolarity, kAlmCtrl, alm_ctrl::kOutputHigh, "Active Low,Active High",
             1, false);
  ExpectFlip(&frmGpioMisc::CmdDir0, kGpioCtrl, kGpioOut0, "Input,Output", 1, true);
  ExpectFlip(&frmGpioMisc::CmdDat0, kGpioCtrl, gpio_ctrl::High(0), "Low,High", 0, false);
  ExpectFlip(&frmGpioMisc::CmdCtrlPlry, kMscCtrl, msc_ctrl::kReadyHigh, "Active Low,Active High", 1,
             false);
}

TEST(GpioMiscDialog, SharedLineIsRefusedAskedOrTakenWithoutTouchingItsOwner) {
  const char* ready1 = "Dio1 is already in use by DataReady.. \nPlease disable DataReady first";
  const char* alarm1 = "Dio1 is already in use by alarms.. ";
  const char* askGpio = "Dio Pin is already in use by GPIO..\nOk to Override?";
  const char* askAlarm = "Dio Pin is already in use by alarms..\nOk to Override?";
  const char* askGpio0 = "Dio0 Pin is already in use by GPIO..\nOk to Override?";
  const char* askAlarm0 = "Dio0 Pin is already in use by alarms..\nOk to Override?";
  const Button dir1 = &frmGpioMisc::CmdDir1;
  const Button dataReady = &frmGpioMisc::CmdDatRdy, line = &frmGpioMisc::CmdCtrlLn;
  const int32_t readyAt1 = msc_ctrl::kReadyDio1;  // disabled
  using namespace pin_use;
  // The button; Alm_Ctrl, Gpio_Ctrl and Msc_Ctrl on the chip; the answers given; the message;
  // the registers and the pin use afterwards.
  // clang-format off
  for (auto [button, chip, answers, message, after, pinUse] : {
           std::tuple{dir1, Registers{0, 0, kReadyOn1}, std::deque<bool>{}, ready1,
                      Registers{0, 0, kReadyOn1}, PinUse{kFree, kDataReady}},
           {dir1, {kAlarmOn1, 0, 0}, {}, alarm1, {kAlarmOn1, 0, 0}, {kFree, kAlarm}},
           {dataReady, {0, kGpioOut0, 0}, {false}, askGpio, {0, kGpioOut0, 0}, {kGpio, kFree}},
           {dataReady, {kAlarmOn0, 0, 0}, {true}, askAlarm, {kAlarmOn0, 0, kReadyOn0},
            {kDataReady, kFree}},
           {dataReady, {0, kGpioOut1, readyAt1}, {true}, askGpio, {0, kGpioOut1, kReadyOn1},
            {kFree, kDataReady}},
           {line, {0, kGpioOut0, kReadyOn1}, {false}, askGpio0, {0, kGpioOut0, kReadyOn1},
            {kGpio, kDataReady}},
           {line, {kAlarmOn0, 0, kReadyOn1}, {true}, askAlarm0, {kAlarmOn0, 0, kReadyOn0},
            {kDataReady, kFree}},
           // While data ready is disabled its line moves unasked.
           {line, {0, kGpioOut1, 0}, {}, nullptr, {0, kGpioOut1, readyAt1}, {kFree, kGpio}}})
    // clang-format on
    EXPECT_EQ(ExpectClaim(button, chip, answers, message, after)->rig.session.reg.DioPinUse, pinUse)
        << (message ? message : "no message");
}

TEST(GpioMiscDialog, ExternalSelfTestsExcludeEachOther) {
  GpioBench b;
  b.Chip(slot::Msc_Ctrl, msc_ctrl::kNegativeSelfTest);
  b.Open();
  b.Click(&frmGpioMisc::cmdEPST);
  EXPECT_EQ(b.Word(kMscCtrl), msc_ctrl::kPositiveSelfTest);
  EXPECT_EQ(b.Shown({b.d.cmdENST, b.d.cmdEPST}), "Disabled,Enabled");
  // While +self-test is on, -self-test is refused.
  ExpectClaim(&frmGpioMisc::cmdENST, {0, 0, msc_ctrl::kPositiveSelfTest}, {},
              "Turn off +Self Test First", {0, 0, msc_ctrl::kPositiveSelfTest});
}

TEST(GpioMiscDialog, InternalSelfTestShowsTheChipsVerdictAndIsNotReplayedByTheNextWrite) {
  for (bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "failing" : "passing");
    GpioBench b;
    b.rig.sensor.SetSelfTestFails(fails);
    b.Open();
    b.Click(&frmGpioMisc::cmdIST);
    EXPECT_EQ(b.d.cmdIST->text(), fails ? "Failed" : "Passed");
    EXPECT_GE(std::accumulate(b.waits.begin(), b.waits.end(), 0.0), 0.5);
    // The start bit is not kept for the next Msc_Ctrl write to send again.
    EXPECT_EQ(b.rig.session.reg.MscCtrl & msc_ctrl::kInternalSelfTest, 0);
    b.Click(&frmGpioMisc::CmdCtrlPlry);
    EXPECT_EQ(b.Word(kMscCtrl), msc_ctrl::kReadyHigh);
  }
}

using test::ByteWrite;
using test::WordWrites;

// The dialogs over the simulated sensor, with the write frames it receives at hand.
struct DialogRig : test::SimRig {
  bool ready = (test::EnsureQApp(), true);
  test::TempDir folder;
  test::WriteTrace trace{sensor, folder / "spi.txt"};
};

void Reopen(QDialog& dialog) {
  dialog.hide();
  dialog.show();
}

void Enter(QLineEdit* box, const char* text) {
  box->setText(text);
  QTest::keyClick(box, Qt::Key_Return);
}

TEST(ManualRegDialog, ListsByFactoryModeAndEachOpeningStartsWithNothingChosen) {
  DialogRig rig;
  frmManualReg d(rig.session);
  for (int factory : {0, int{kFactoryModeValue}}) {
    rig.session.analyzer.FactoryMode = factory;
    Reopen(d);
    Reopen(d);  // the list never grows
    EXPECT_EQ(d.cmboRegister->count(), factory != 0 ? 63 : 33);
    EXPECT_EQ(d.cmboRegister->currentText(), "None");
    EXPECT_EQ(d.cmboRegister->itemText(d.cmboRegister->count() - 1),
              factory != 0 ? "Test_Cnfg" : "Command");
    EXPECT_EQ(d.cmdUnlock->isEnabled(), factory != 0);
  }
  d.cmdUnlock_Click();
  EXPECT_TRUE(rig.sensor.Unlocked());

  const auto allows = [&] { return std::pair{d.cmdRead->isEnabled(), d.cmdWrite->isEnabled()}; };
  d.cmboRegister->setCurrentIndex(slot::Status);
  EXPECT_EQ(d.txtRegAddr->text() + d.txtRegRead->text() + d.txtRegWrite->text(), "3CTrueFalse");
  EXPECT_EQ(allows(), std::pair(true, false));
  d.cmboRegister->setCurrentIndex(slot::Command);
  EXPECT_EQ(allows(), std::pair(false, true));
  Reopen(d);
  EXPECT_EQ(rig.session.reg.SelectedRegister, 0);
  EXPECT_TRUE(
      (d.txtRegAddr->text() + d.txtRegByte->text() + d.txtRegRead->text() + d.txtRegWrite->text())
          .isEmpty());
  EXPECT_EQ(allows(), std::pair(false, false));
}

TEST(ManualRegDialog, ReadsAndWritesInHexAndUpdatesFlash) {
  DialogRig rig;
  frmManualReg d(rig.session);
  d.show();
  d.cmboRegister->setCurrentIndex(slot::Gyro_Ofst);
  // Typed or pasted: at most four hex digits, blanks around them stripped.
  for (auto [typed, paste, written] : {std::tuple{"12345", false, 0x1234},
                                       {"12345", true, 0x1234},  // refused: nothing written
                                       {"nan", false, 0x000A},
                                       {"  12  ", true, 0x0012},
                                       {"FF ", false, 0x00FF},
                                       {"fffb", false, 0xFFFB}}) {
    SCOPED_TRACE(typed);
    d.txtDataWrite->clear();
    if (paste) {
      d.txtDataWrite->insert(typed);  // as a paste inserts
    } else {
      QTest::keyClicks(d.txtDataWrite, typed);
    }
    QTest::mouseClick(d.cmdWrite, Qt::LeftButton);
    EXPECT_EQ(rig.sensor.Word(0x14), written);
  }
  QTest::mouseClick(d.cmdRead, Qt::LeftButton);
  EXPECT_EQ(d.txtRead->text(), "FFFFFFFB");

  const uint16_t flashCycles = rig.sensor.Word(0x00);
  QTest::mouseClick(d.cmdUpdateFlash, Qt::LeftButton);
  EXPECT_EQ(rig.sensor.Word(0x00), flashCycles + 1);
}

TEST(ManualRegDialog, PrintsTheDialogWithItsText) {
  const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  DialogRig rig;
  frmManualReg d(rig.session);
  d.printDestination = std::make_unique<PdfDestination>(QString::fromStdString(rig.folder.Path()));
  rig.session.spi.WriteRegister(slot::Gyro_Ofst, -5);
  d.show();
  d.cmboRegister->setCurrentIndex(slot::Smpl_Prd);
  QTest::mouseClick(d.cmdReadUserReg, Qt::LeftButton);
  const auto files = [&] {
    return std::distance(std::filesystem::directory_iterator(rig.folder.Path()), {});
  };
  const auto before = files();
  {
    test::FileSizeLimit disk(4096);  // a full disk: no PDF, not even part of one
    QTest::mouseClick(d.cmdPrint, Qt::LeftButton);
  }
  EXPECT_EQ(files(), before);
  QTest::mouseClick(d.cmdPrint, Qt::LeftButton);

  ASSERT_EQ(rig.messages.shown.size(), 2u);
  EXPECT_TRUE(rig.messages.shown[0].text.starts_with("The page could not be written to "));
  const std::string& message = rig.messages.shown[1].text;
  QProcess convert;
  convert.start(
      pdftotext,
      {"-layout", QString::fromStdString(message.substr(message.find(rig.folder.Path()))), "-"});
  ASSERT_TRUE(convert.waitForFinished(30000));
  const QString text = QString::fromUtf8(convert.readAllStandardOutput());
  for (const char* shown : {"Register Read/Write", "User Registers (Hex Values)", "Smpl_Prd", "36",
                            "Gyro_Ofst", "FFFFFFFB", "Sens_Avg", "0402", "Update Flash"})
    EXPECT_TRUE(text.contains(shown)) << shown << "\n" << text.toStdString();
}

TEST(DacDialog, EveryEntryIsLimitedWrittenAndLatched) {
  DialogRig rig;
  rig.session.spi.WriteRegister(slot::Aux_DAC, 1000);
  frmDAC dialog(rig.session);
  dialog.show();
  const auto shown = [&] { return dialog.txtAuxDacIn->text() + ' ' + dialog.txtAuxDacOut->text(); };
  EXPECT_EQ(shown(), "1000 0.6105");
  for (auto [box, typed, code, volts] : {std::tuple{dialog.txtAuxDacOut, "1.25", 2048, "1.2503"},
                                         {dialog.txtAuxDacOut, "3", 4095, "2.5000"},
                                         {dialog.txtAuxDacIn, "5000", 4095, "2.5000"},
                                         {dialog.txtAuxDacIn, "12.5", 12, "0.0073"}}) {
    SCOPED_TRACE(typed);
    rig.trace.Take();
    Enter(box, typed);
    EXPECT_EQ(shown(), QString::number(code) + ' ' + volts);
    // The bar's own handler may write again; every write is the code, then the latch.
    const std::vector<ByteWrite> writes = rig.trace.Take();
    ASSERT_FALSE(writes.empty());
    for (size_t i = 0; i < writes.size(); i += 4)
      EXPECT_EQ(std::vector(writes.begin() + i, writes.begin() + std::min(i + 4, writes.size())),
                WordWrites({{0x30, code}, {0x3E, 4}}));
  }

  // The scroll bar writes too; Enter in an empty box, or other keys, write nothing.
  dialog.hscAuxDAC->setValue(1000);
  EXPECT_EQ(rig.trace.Take(), WordWrites({{0x30, 1000}, {0x3E, 4}}));
  Enter(dialog.txtAuxDacIn, "");
  QTest::keyClick(dialog.txtAuxDacIn, Qt::Key_5);
  EXPECT_TRUE(rig.trace.Take().empty());
}

TEST(PowerdownDialog, CountsShowTheirTimeAndOnlySetWritesAndSleeps) {
  DialogRig rig;
  frmPowerdown dialog(rig.session);
  dialog.show();
  dialog.hscPowerdown->setValue(255);
  EXPECT_EQ(dialog.txtPowerDown->text() + ' ' + dialog.txtPwrMde->text(), "127.5 255");
  EXPECT_TRUE(rig.trace.Take().empty());

  Reopen(dialog);
  EXPECT_EQ(dialog.txtPowerDown->text() + ' ' + dialog.txtPwrMde->text(), "0.0 0");
  dialog.hscPowerdown->setValue(4);
  QTest::mouseClick(dialog.cmdPowerDown, Qt::LeftButton);
  EXPECT_EQ(rig.trace.Take(), (std::vector<ByteWrite>{{0x3B, 0}, {0x3A, 4}}));
}

TEST(AboutBox, UnlocksTheChipAndShowsItsIdentity) {
  test::EnsureQApp();
  test::WiredSession chip;
  //           Rev_Day Mon_Year Fls_Cyc Product
  chip.Answer({0x1512, 0x0509, 12345, 0});
  frmAbout about(chip.session);
  EXPECT_EQ(about.LblDutRev->text() + ' ' + about.LblDutDate->text() + ' ' +
                about.LblFlashWrites->text() + ' ' + about.lblProductType->text(),
            "1.2 9/15/2005 12345 Unknown");
  // The key code goes first, low byte before high.
  const std::vector<uint16_t> frames = chip.Frames();
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(frames[0], 0x8000 | 0x50 << 8 | (kKeyCode & 0xFF));
  EXPECT_EQ(frames[1], 0x8000 | 0x51 << 8 | kKeyCode >> 8);
}

TEST(AboutBox, VersionNumbersWithoutPadding) {
  EXPECT_EQ(ProgramVersion("3.04.10"), "3.4.10");
  EXPECT_EQ(ProgramVersion("2.1"), "2.1.0");
}

}  // namespace
}  // namespace velk
