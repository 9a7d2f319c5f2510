#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <memory>

#include "transport/usb/dialogs/frmUSBdebug.h"
#include "transport/usb_dialogs/DialogRig.h"

namespace velk {
namespace {

using Strings = std::vector<std::string>;
constexpr const char* kNoBuffer = "Please Select a Buffer first";

struct UsbDebug : ::testing::Test {
  // Shows the dialog, which searches the cards afresh, recording from there on.
  frmUSBdebug& Open() {
    rig.Forget();
    d.show();
    return d;
  }
  QString Texts(const std::array<QLineEdit*, 17>& boxes) const {
    QStringList texts;
    for (int i = 1; i <= 16; ++i) texts << boxes[i]->text();
    return texts.join(',');
  }
  std::vector<int> Ticked() const {
    std::vector<int> ticked;
    for (int k = 2; k <= 5; ++k)
      if (d.chkStaticBits[k]->isChecked()) ticked.push_back(k);
    return ticked;
  }
  void Write(const QString& count, const QStringList& words = {}) {
    d.txtNumWords->setText(count);
    for (int i = 0; i < words.size(); ++i) d.txtWriteSpi[i + 1]->setText(words[i]);
    rig.Forget();
    QTest::mouseClick(d.cmdWriteSpi, Qt::LeftButton);
  }

  test::DialogRig rig;
  frmUSBdebug d{rig.usb, rig.ezUsb, rig.messages};
};

TEST_F(UsbDebug, ActivationShowsTheCardSendsBitsThenDelayAndReadsThemBack) {
  rig.usb.SpiChannel = 3;
  rig.usb.SpiPolarity = 0;
  rig.usb.SpiWordDelay = 40;
  rig.usb.SpiStaticBits = 0x28;
  Open();
  const QStringList row{d.txtUsbPort[0]->text(), d.txtDescript0[0]->text(),
                        d.txtDescript1[0]->text(), d.txtDriverRev[0]->text(),
                        d.txtSpeed[0]->text()};
  EXPECT_EQ(row.join(','), "FIFO4 - 0,USB SPI Card,FIFO4 SPI Interface,1.2,2.0");
  EXPECT_EQ(d.txtUsbPort[1]->text(), "None");
  EXPECT_FALSE(d.optUsbPort[1]->isEnabled());
  EXPECT_TRUE(d.optUsbPort[0]->isChecked());
  EXPECT_TRUE(d.frameSPIsetup->isEnabled() && d.frameManual->isEnabled());
  EXPECT_EQ(rig.Wire(),
            (Strings{"descriptor", "str 1/4", "str 1/26", "str 2/4", "str 2/40", "out 00", "in 2",
                     "pipes", "out 0c 28", "out 0b 28", "out 01", "in 2", "out 01", "in 2"}));
  EXPECT_EQ(d.txtLoopDelay->text(), "40");
  EXPECT_EQ(Ticked(), (std::vector<int>{2, 4}));
  EXPECT_TRUE(d.optSpiChan[3]->isChecked());
  EXPECT_EQ(d.cmdPolarity->text(), "Neg");
  EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(UsbDebug, WriteLimitsTheCountAndSendsTheWordsHighByteFirst) {
  Open();
  Write("0");
  EXPECT_EQ(d.txtNumWords->text(), "1");
  EXPECT_EQ(rig.Sent(), Strings{"out 0d 01 01 00 00"});
  Write("40");
  EXPECT_EQ(d.txtNumWords->text(), "16");
  EXPECT_EQ(rig.Transfers(), 1);

  // Channel 2 carries no chip: the bus reads all ones, inverted by negative polarity.
  QTest::mouseClick(d.optSpiChan[2], Qt::LeftButton);
  Write("3", {"0400", "", "ffff"});
  EXPECT_EQ(rig.Wire(), (Strings{"out 0d 02 03 04 00 00 00 ff ff", "in 6"}));
  EXPECT_EQ(Texts(d.txtWriteSpi), "400,0,FFFF,,,,,,,,,,,,,");
  EXPECT_EQ(Texts(d.txtReadSpi), "FFFF,FFFF,FFFF,,,,,,,,,,,,,");

  QTest::mouseClick(d.cmdPolarity, Qt::LeftButton);
  EXPECT_EQ(d.cmdPolarity->text(), "Neg");
  Write("");
  EXPECT_EQ(d.txtNumWords->text(), "3");
  EXPECT_EQ(rig.Sent(), Strings{"out 0e 02 03 04 00 00 00 ff ff"});
  EXPECT_EQ(Texts(d.txtReadSpi), "0,0,0,,,,,,,,,,,,,");
  EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(UsbDebug, StaticBitsAndWordDelayReachTheCardWithinTheirLimits) {
  Open();
  for (int k = 2; k <= 5; ++k) d.chkStaticBits[k]->setChecked(k == 2 || k == 5);
  rig.Forget();
  QTest::mouseClick(d.cmdSetSpiBits, Qt::LeftButton);
  EXPECT_EQ(rig.Sent(), Strings{"out 0c 48"});
  for (int k = 2; k <= 5; ++k) d.chkStaticBits[k]->setChecked(k == 3);
  QTest::mouseClick(d.cmdReadBits, Qt::LeftButton);
  EXPECT_EQ(Ticked(), (std::vector<int>{2, 5}));

  struct Case {
    const char* typed;
    Qt::Key key;
    Strings sent;
    const char* shown;
  };
  for (const Case& c : {Case{"0", Qt::Key_Return, {"out 0b 01"}, "1"},
                        {"300", Qt::Key_Enter, {"out 0b ff"}, "255"},
                        {"x", Qt::Key_Return, {"out 0b 01"}, "1"},
                        {"7.6", Qt::Key_Return, {"out 0b 08"}, "8"},
                        {"50", Qt::Key_Right, {}, "50"}}) {
    SCOPED_TRACE(c.typed);
    d.txtLoopDelay->setText(c.typed);
    rig.Forget();
    QTest::keyClick(d.txtLoopDelay, c.key);
    EXPECT_EQ(rig.Sent(), c.sent);
    EXPECT_EQ(d.txtLoopDelay->text(), c.shown);
    EXPECT_TRUE(d.isVisible());
  }
}

TEST_F(UsbDebug, WithoutACardEveryCardActionAsksForABuffer) {
  rig.card.Card(0).present = false;
  rig.usb.SpiWordDelay = 33;
  Open();
  EXPECT_EQ(rig.messages.Texts(), Strings{"No USB Buffers Found, Please Verify Setup and Restart"});
  EXPECT_TRUE(d.optUsbPort[4]->isChecked());
  EXPECT_FALSE(d.frameSPIsetup->isEnabled() || d.frameManual->isEnabled());
  EXPECT_EQ(d.txtUsbPort[0]->text(), "None");

  d.optUsbPort[0]->setChecked(true);  // a stale choice the actions must correct
  d.UsbLoopStop = 0;
  for (auto action : {&frmUSBdebug::cmdWriteSpi_Click, &frmUSBdebug::cmdSetSpiBits_Click}) {
    rig.Forget();
    (d.*action)();
    EXPECT_EQ(rig.messages.Texts(), Strings{kNoBuffer});
    EXPECT_TRUE(d.optUsbPort[4]->isChecked());
    EXPECT_EQ(d.UsbLoopStop, -1);
  }
  rig.Forget();
  d.txtLoopDelay->setText("99");
  d.cmdReadDelay_Click();
  d.cmdReadBits_Click();
  d.txtLoopDelay_KeyDown(Qt::Key_Return);
  EXPECT_EQ(rig.messages.Texts(), (Strings{kNoBuffer, kNoBuffer, kNoBuffer}));
  EXPECT_EQ(d.txtLoopDelay->text(), "33");
  EXPECT_EQ(rig.Sent(), Strings{});
}

TEST_F(UsbDebug, LoopRunsUntilStopOrUntilTheDialogCloses) {
  for (const std::string how : {"Stop", "OK", "close box"}) {
    SCOPED_TRACE(how);
    std::shared_ptr<test::Yields> yields;
    std::string captionWhileRunning;
    bool shownAfterLoop = false;
    QTimer::singleShot(0, &d, [&] {
      rig.Forget();
      yields = test::Yields::Watch(d.cmdLoop, d.UsbLoopStop, 3, [&] {
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
    EXPECT_EQ(rig.Transfers(), 4);
    EXPECT_TRUE(rig.messages.shown.empty());
  }
}

TEST_F(UsbDebug, ACardFailingInTheLoopEndsItWithOneMessageAndSelectsNone) {
  Open();
  // The Write's answer and the first pass's arrive; the second pass's does not.
  rig.card.FailBulkTransfer(1, 3);
  rig.Forget();
  const auto yields = test::Yields::Watch(d.cmdLoop, d.UsbLoopStop, 100, [] {});
  QTest::mouseClick(d.cmdLoop, Qt::LeftButton);
  EXPECT_FALSE(yields->rescued);
  EXPECT_EQ(rig.messages.Texts(), Strings{"Error Reading SPI"});
  EXPECT_EQ(rig.Transfers(), 3);
  EXPECT_TRUE(d.optUsbPort[4]->isChecked());
  EXPECT_FALSE(d.frameManual->isEnabled());
  EXPECT_FALSE(rig.usb.CardReady());
  EXPECT_EQ(d.cmdLoop->text(), "Loop");
}

}  // namespace
}  // namespace velk
