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

}  // namespace
}  // namespace velk
