#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "transport/usb/dialogs/frmUSBdebug.h"
#include "transport/usb_dialogs/DialogRig.h"

namespace velk {
namespace {

using Strings = std::vector<std::string>;

// Runs `action` the nth time the dialog's running loop yields to the event queue. A loop still
// running 50 yields later is stopped from outside, so a failing test ends; counting stops once
// the button reads "Loop" again.
struct Yields {
  Yields(frmUSBdebug& d, int nth, std::function<void()> action) {
    timer.callOnTimeout([this, &d, nth, action] {
      if (d.cmdLoop->text() == "Loop") return timer.stop();
      if (++count == nth) action();
      if (count < nth + 50) return;
      d.UsbLoopStop = -1;
      rescued = true;
    });
    timer.start(0);
  }
  QTimer timer;
  int count = 0;
  bool rescued = false;
};

struct UsbDebug : ::testing::Test {
  test::DialogRig rig;
  frmUSBdebug d{rig.usb, rig.ezUsb, rig.messages};
};

TEST_F(UsbDebug, LoopRunsUntilStopOrUntilTheDialogCloses) {
  for (const std::string how : {"Stop", "OK", "close box"}) {
    SCOPED_TRACE(how);
    std::unique_ptr<Yields> yields;
    std::string captionWhileRunning;
    bool shownAfterLoop = false;
    QTimer::singleShot(0, &d, [&] {
      rig.Forget();
      yields = std::make_unique<Yields>(d, 3, [&] {
        captionWhileRunning = d.cmdLoop->text().toStdString();
        if (how == "close box")
          d.close();
        else
          QTest::mouseClick(how == "OK" ? d.cmdExit : d.cmdLoop, Qt::LeftButton);
      });
      QTest::mouseClick(d.cmdLoop, Qt::LeftButton);
      shownAfterLoop = d.isVisible();
      d.hide();
    });
    d.exec();
    ASSERT_TRUE(yields);
    EXPECT_FALSE(yields->rescued);
    EXPECT_EQ(shownAfterLoop, how == "Stop");
    EXPECT_EQ(captionWhileRunning, "Stop");
    EXPECT_EQ(d.cmdLoop->text(), "Loop");
    EXPECT_EQ(d.UsbLoopStop, -1);
    // The Write that starts the loop, then one transfer per pass.
    EXPECT_EQ(rig.Sent().size(), 4u);
    EXPECT_TRUE(rig.messages.shown.empty());
  }
}

TEST_F(UsbDebug, ACardFailingInTheLoopEndsItWithOneMessageAndSelectsNone) {
  d.show();  // searches the cards afresh
  // The Write's answer and the first pass's arrive; the second pass's does not.
  rig.card.FailBulkTransfer(1, 3);
  rig.Forget();
  const Yields yields(d, 100, [] {});
  QTest::mouseClick(d.cmdLoop, Qt::LeftButton);
  EXPECT_FALSE(yields.rescued);
  EXPECT_EQ(rig.messages.Texts(), Strings{"Error Reading SPI"});
  EXPECT_EQ(rig.Sent().size(), 3u);
  EXPECT_TRUE(d.optUsbPort[4]->isChecked());
  EXPECT_FALSE(d.frameManual->isEnabled());  // the card itself is left not ready, as ever
  EXPECT_EQ(d.cmdLoop->text(), "Loop");
}

// Every request the card receives and every message shown while a script clicks through the
// dialog: polarity twice, the loop started and stopped, and "None" chosen while the loop runs,
// with the polarity turned and the loop's button pressed before that pass ends. The list is the
// proof that a change to how the dialog decides moved nothing.
TEST_F(UsbDebug, SendsExactlyTheseRequests) {
  // Runs the actions one per yield of a running loop; a loop still running 50 yields after the
  // last is stopped from outside, so a failing test ends. The rescue has a timer of its own:
  // the script's cannot fire again while an action runs, and an action may start a loop.
  const auto looping = [&](std::vector<std::function<void()>> actions) {
    return [this, actions] {
      QTimer script, rescue;
      size_t done = 0, yields = 0;
      script.callOnTimeout([&] {
        if (done < actions.size()) actions[done++]();
      });
      rescue.callOnTimeout([&] {
        if (++yields > actions.size() + 50) d.UsbLoopStop = -1;
      });
      script.start(0);
      rescue.start(0);
      QTest::mouseClick(d.cmdLoop, Qt::LeftButton);
    };
  };
  const auto click = [&](QAbstractButton* button) {
    return [button] { QTest::mouseClick(button, Qt::LeftButton); };
  };
  const auto nothing = [] {};
  const std::vector<std::pair<std::string, std::function<void()>>> script{
      {"open", [&] { d.show(); }},
      {"polarity", click(d.cmdPolarity)},
      {"write", click(d.cmdWriteSpi)},
      {"polarity", click(d.cmdPolarity)},
      {"write", click(d.cmdWriteSpi)},
      {"loop, stopped", looping({nothing, click(d.cmdLoop)})},
      {"loop, none", looping({click(d.cmdPolarity),
                              [&] {
                                QTest::mouseClick(d.optUsbPort[4], Qt::LeftButton);
                                QTest::mouseClick(d.optUsbPort[0], Qt::LeftButton);
                                QTest::mouseClick(d.cmdPolarity, Qt::LeftButton);
                                QTest::mouseClick(d.cmdLoop, Qt::LeftButton);
                              }})},
      {"write", click(d.cmdWriteSpi)},
      {"reopen",
       [&] {
         d.hide();
         d.show();
       }},
      {"polarity", click(d.cmdPolarity)},
      {"write", click(d.cmdWriteSpi)},
  };
  Strings done;
  rig.Forget();
  size_t seen = 0;
  for (const auto& [name, act] : script) {
    act();
    std::string step = name + ":";
    const Strings wire = rig.Wire();
    for (size_t i = seen; i < wire.size(); ++i) step += ' ' + wire[i] + ';';
    seen = wire.size();
    for (const std::string& text : rig.messages.Texts()) step += " | " + text;
    rig.messages.shown.clear();
    done.push_back(step);
  }
  // The search, then the selected card's settings sent and read back; a transfer of the one word.
  const std::string search =
      " descriptor; str 1/4; str 1/26; str 2/4; str 2/40; out 00; in 2; pipes;";
  const std::string settings = " out 0c 78; out 0b 19; out 01; in 2; out 01; in 2;";
  const std::string positive = " out 0d 01 01 00 00; in 2;",
                    negative = " out 0e 01 01 00 00; in 2;";
  EXPECT_THAT(done, testing::ElementsAreArray(Strings{
                        "open:" + search + settings,
                        "polarity:",
                        "write:" + negative,
                        "polarity:",
                        "write:" + positive,
                        "loop, stopped:" + positive + positive + positive,
                        "loop, none:" + positive + positive + negative + settings,
                        "write:" + positive,
                        "reopen:" + search + settings,
                        "polarity:",
                        "write:" + negative,
                    }));
}

}  // namespace
}  // namespace velk
