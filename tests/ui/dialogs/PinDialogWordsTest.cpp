// Every word the chip receives and every message shown while a script clicks through the
// alarm and GPIO dialogs: toggles twice each, a refusal, a No, a chip asleep and awake again.
// The list is the proof that a change to how the dialogs decide moved nothing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTest>
#include <deque>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/Delay.h"
#include "support/QtApp.h"
#include "support/SimRig.h"
#include "support/TempDir.h"
#include "ui/dialogs/FrmAlarm.h"
#include "ui/dialogs/frmGpioMisc.h"

namespace velk {
namespace {

using Strings = std::vector<std::string>;
using testing::ElementsAreArray;

// A dialog over a simulated sensor whose frames are traced; pauses move the sensor's clock.
template <typename Dialog>
struct WordsBench {
  using Button = QPushButton* Dialog::*;
  struct Step {
    std::string name;
    std::function<void()> act;
  };

  WordsBench() {
    if (const auto traced = rig.sensor.TraceTo(folder / "spi.txt"); !traced)
      ADD_FAILURE() << traced.error();
    SetDelayWaiter([this](double seconds) { rig.clock.Advance(seconds); });
  }
  ~WordsBench() {
    SetDelayWaiter([](double) {});
  }

  void Chip(int16_t slot, int32_t value) { rig.session.spi.WriteRegister(slot, value); }
  // Opens the dialog as the main window does: the pin-use table was rebuilt on its activation.
  Step Open() {
    return {"open", [this] {
              rig.session.reg.RefreshPinUse(rig.session.spi);
              d.hide();
              d.show();
            }};
  }
  // A click answering any question as given (none given: No).
  Step Click(Button button, std::deque<bool> answers = {}) {
    return {(d.*button)->objectName().toStdString(), [this, button, answers] {
              rig.messages.answers = answers;
              QTest::mouseClick(d.*button, Qt::LeftButton);
            }};
  }
  // Powered down: the chip answers 0 and takes nothing until the clock passes its wake.
  Step Sleep() {
    return {"asleep", [this] { rig.sensor.Sleep(60.0); }};
  }
  Step Wake() {
    return {"awake", [this] { rig.clock.Advance(60.0); }};
  }

  // Each step as "name: words sent | message | message ...".
  Strings Run(const std::vector<Step>& script) {
    Take();
    Strings done;
    for (const Step& step : script) {
      step.act();
      done.push_back(step.name + ":" + Take());
    }
    return done;
  }

  // The words sent and messages shown since the last call.
  std::string Take() {
    std::string taken;
    std::ifstream trace(folder / "spi.txt");
    size_t n = 0;
    for (std::string sent, answered; trace >> sent >> answered; ++n)
      if (n >= frames_) taken += ' ' + sent;
    frames_ = n;
    for (const std::string& text : rig.messages.Texts()) taken += " | " + text;
    rig.messages.shown.clear();
    return taken;
  }

  bool app = (test::EnsureQApp(), true);
  test::TempDir folder;
  test::SimRig rig;
  Dialog d{rig.session};

 private:
  size_t frames_ = 0;
};

constexpr int32_t kGpioOut1 = gpio_ctrl::Output(1);
constexpr int32_t kReadyOn0 = msc_ctrl::kReadyEnable;
constexpr int32_t kAlarmOn1 = alm_ctrl::kOutputEnable | alm_ctrl::kOutputDio1;

TEST(DialogWords, AlarmSetupSendsExactlyTheseWords) {
  WordsBench<FrmAlarm> b;
  b.Chip(slot::Alm_Mag1, 0x8100);
  b.Chip(slot::Alm_Mag2, 0x0040);
  b.Chip(slot::Alm_Smp1, 5);
  b.Chip(slot::Alm_Ctrl, 0x6200);  // 1: gyro, 2: temperature; output off at DIO0
  b.Chip(slot::Gpio_Ctrl, kGpioOut1);
  b.Chip(slot::Msc_Ctrl, kReadyOn0);
  using D = FrmAlarm;
  const Strings done = b.Run({
      b.Open(),
      b.Click(&D::cmdAlarm1GT),
      b.Click(&D::cmdAlarm1GT),
      b.Click(&D::cmdAlarm2GT),
      b.Click(&D::cmdAlarm2GT),
      b.Click(&D::cmdAlarm1mode),
      b.Click(&D::cmdAlarm1mode),
      b.Click(&D::cmdAlarm2mode),
      b.Click(&D::cmdAlarm2mode),
      b.Click(&D::cmdAlarmPolarity),
      b.Click(&D::cmdAlarmPolarity),
      b.Click(&D::cmdAlarmOut),  // refused: data ready holds DIO0
      b.Click(&D::cmdAlarmPin),  // off, so it moves unasked
      b.Click(&D::cmdAlarmOut),  // GPIO holds DIO1: No
      b.Click(&D::cmdAlarmOut, {true}),
      b.Click(&D::cmdAlarmPin),  // on, and DIO0 is refused
      b.Click(&D::cmdAlarmOut),
      b.Click(&D::cmdAlarmPin),
      b.Sleep(),
      b.Click(&D::cmdAlarm1GT),
      b.Click(&D::cmdAlarm2mode),
      b.Click(&D::cmdAlarmPolarity),
      b.Click(&D::cmdAlarmOut),
      b.Click(&D::cmdAlarmPin),
      b.Wake(),
      b.Click(&D::cmdAlarm1GT),
      b.Click(&D::cmdAlarm2mode),
      b.Click(&D::cmdAlarmPolarity),
      b.Click(&D::cmdAlarmOut, {true}),
      b.Click(&D::cmdAlarmPin),
  });
  // Every refresh reads Alm_Mag1, Alm_Mag2, Alm_Smp1, Alm_Smp2 and Alm_Ctrl; a bar that moves
  // writes its register back.
  const std::string reread = " 2000 0000 2200 0000 2400 0000 2600 0000 2800 0000";
  const char* ready =
      " | Dio pin is already in use by DataReady.. \nPlease disable DataReady first";
  const char* gpio = " | Dio Pin is already in use by GPIO.. OK to override";
  EXPECT_THAT(done,
              ElementsAreArray(Strings{
                  "open: 3200 0000 2800 0000 3400 0000" + reread + " A181 A000 A300 A240 A500 A405",
                  "cmdAlarm1GT: A101 A000" + reread,
                  "cmdAlarm1GT: A181 A000" + reread,
                  "cmdAlarm2GT: A380 A240" + reread,
                  "cmdAlarm2GT: A300 A240" + reread,
                  "cmdAlarm1mode: A96A A800" + reread,
                  "cmdAlarm1mode: A962 A800" + reread,
                  "cmdAlarm2mode: A9E2 A800" + reread,
                  "cmdAlarm2mode: A962 A800" + reread,
                  "cmdAlarmPolarity: A962 A802" + reread,
                  "cmdAlarmPolarity: A962 A800" + reread,
                  std::string("cmdAlarmOut:") + ready,
                  "cmdAlarmPin: A962 A801" + reread,
                  std::string("cmdAlarmOut:") + gpio,
                  "cmdAlarmOut: A962 A805" + reread + gpio,
                  "cmdAlarmPin: | Dio0 pin is already in use by DataReady.. \nPlease disable "
                  "DataReady first",
                  "cmdAlarmOut: A962 A801" + reread,
                  "cmdAlarmPin: A962 A800" + reread,
                  "asleep:",
                  "cmdAlarm1GT: A101 A000" + reread + " A100 A000 A300 A200 A500 A400",
                  "cmdAlarm2mode: A980 A800" + reread,
                  "cmdAlarmPolarity: A900 A802" + reread,
                  std::string("cmdAlarmOut:") + ready,
                  "cmdAlarmPin: A900 A801" + reread,
                  "awake:",
                  "cmdAlarm1GT: A180 A000" + reread + " A300 A240 A500 A405",
                  "cmdAlarm2mode: A9E2 A800" + reread,
                  "cmdAlarmPolarity: A9E2 A802" + reread,
                  std::string("cmdAlarmOut:") + ready,
                  "cmdAlarmPin: A9E2 A803" + reread,
              }));
}

TEST(DialogWords, GpioMiscSendsExactlyTheseWords) {
  WordsBench<frmGpioMisc> b;
  b.Chip(slot::Alm_Ctrl, kAlarmOn1);
  b.Chip(slot::Gpio_Ctrl, gpio_ctrl::High(1));
  b.Chip(slot::Msc_Ctrl, msc_ctrl::kReadyHigh);  // data ready off at DIO0
  using D = frmGpioMisc;
  const Strings done = b.Run({
      b.Open(),
      b.Click(&D::CmdDir0),
      b.Click(&D::CmdDir0),
      b.Click(&D::CmdDir1),  // refused: the alarm output holds DIO1
      b.Click(&D::CmdDat0),
      b.Click(&D::CmdDat0),
      b.Click(&D::CmdDat1),
      b.Click(&D::CmdDat1),
      b.Click(&D::CmdCtrlPlry),
      b.Click(&D::CmdCtrlPlry),
      b.Click(&D::CmdDatRdy),
      b.Click(&D::CmdDatRdy),
      b.Click(&D::CmdCtrlLn),  // off, so it moves unasked
      b.Click(&D::CmdDatRdy),  // the alarm output holds DIO1: No
      b.Click(&D::CmdCtrlLn),
      b.Click(&D::cmdEPST),
      b.Click(&D::cmdENST),  // refused while +self-test is on
      b.Click(&D::cmdEPST),
      b.Click(&D::cmdENST),
      b.Click(&D::cmdENST),
      b.Click(&D::CmdDir0),
      b.Click(&D::cmdENST),
      b.Sleep(),
      b.Click(&D::CmdDat0),
      b.Click(&D::CmdDir0),  // the pin-use rebuild reads zeros into the copies
      b.Click(&D::CmdDat0),
      b.Click(&D::CmdDir1),  // the table now holds DIO1 free
      b.Click(&D::CmdDir1),
      b.Click(&D::CmdCtrlPlry),
      b.Click(&D::CmdDatRdy),
      b.Click(&D::CmdDatRdy),  // shown on, though the rebuild read it off
      b.Click(&D::cmdEPST),
      b.Open(),
      b.Click(&D::CmdDat1),
      b.Wake(),
      b.Click(&D::CmdDir0),
      b.Click(&D::CmdDat1),
      b.Click(&D::CmdCtrlLn),
      b.Click(&D::CmdDatRdy, {true}),
      b.Click(&D::cmdEPST),
      b.Click(&D::cmdIST),
      b.Click(&D::cmdENST),
      b.Click(&D::cmdEPST),
      b.Click(&D::cmdENST),
      b.Click(&D::cmdEPST),  // turns -self-test off too
      b.Click(&D::cmdEPST),
      b.Click(&D::cmdENST),
  });
  // The pin-use rebuild reads Gpio_Ctrl, Alm_Ctrl and Msc_Ctrl.
  const std::string pinUse = " 3200 0000 2800 0000 3400 0000";
  const char* askAlarm = " | Dio Pin is already in use by alarms..\nOk to Override?";
  const char* plusFirst = " | Turn off +Self Test First";
  EXPECT_THAT(done, ElementsAreArray(Strings{
                        "open:" + pinUse + " 3200 0000 3400 0000",
                        "CmdDir0: B302 B201" + pinUse,
                        "CmdDir0: B302 B200" + pinUse,
                        "CmdDir1: | Dio1 is already in use by alarms.. ",
                        "CmdDat0: B303 B200",
                        "CmdDat0: B302 B200",
                        "CmdDat1: B300 B200",
                        "CmdDat1: B302 B200",
                        "CmdCtrlPlry: B500 B400",
                        "CmdCtrlPlry: B500 B402",
                        "CmdDatRdy: B500 B406" + pinUse,
                        "CmdDatRdy: B500 B402" + pinUse,
                        "CmdCtrlLn: B500 B403" + pinUse,
                        std::string("CmdDatRdy:") + askAlarm,
                        "CmdCtrlLn: B500 B402" + pinUse,
                        "cmdEPST: B501 B402",
                        std::string("cmdENST:") + plusFirst,
                        "cmdEPST: B500 B402",
                        "cmdENST: B502 B402",
                        "cmdENST: B500 B402",
                        "CmdDir0: B302 B201" + pinUse,
                        "cmdENST: B502 B402",
                        "asleep:",
                        "CmdDat0: B303 B201",
                        "CmdDir0: B303 B200" + pinUse,
                        "CmdDat0: B300 B200",
                        "CmdDir1: B300 B202" + pinUse,
                        "CmdDir1: B300 B200" + pinUse,
                        "CmdCtrlPlry: B500 B400",
                        "CmdDatRdy: B500 B404" + pinUse,
                        "CmdDatRdy: B500 B400" + pinUse,
                        "cmdEPST: B501 B400",
                        "open:" + pinUse + " 3200 0000 3400 0000",
                        "CmdDat1: B302 B200",
                        "awake:",
                        "CmdDir0: B302 B201" + pinUse,
                        "CmdDat1: B300 B201",
                        "CmdCtrlLn: B502 B403" + pinUse,
                        "CmdDatRdy: B502 B407" + pinUse + askAlarm,
                        "cmdEPST: B501 B407",
                        "cmdIST: B505 B407 3C00 0000",
                        std::string("cmdENST:") + plusFirst,
                        "cmdEPST: B500 B407",
                        "cmdENST: B502 B407",
                        "cmdEPST: B501 B407",
                        "cmdEPST: B500 B407",
                        "cmdENST: B502 B407",
                    }));
}

}  // namespace
}  // namespace velk
