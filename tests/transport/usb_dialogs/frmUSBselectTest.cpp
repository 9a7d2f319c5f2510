#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>

#include "support/ScriptedModal.h"
#include "transport/usb/dialogs/frmUSBselect.h"
#include "transport/usb_dialogs/DialogRig.h"

namespace velk {
namespace {

using Strings = std::vector<std::string>;

struct UsbSelect : ::testing::Test {
  // Shows the dialog, which searches the cards afresh, recording from there on.
  frmUSBselect& Open() {
    rig.Forget();
    dialog.show();
    return dialog;
  }

  test::DialogRig rig;
  test::ScriptedModal modal;
  frmUSBselect dialog{rig.usb, rig.ezUsb, rig.messages, modal};
};

TEST_F(UsbSelect, TheOnlyCardIsSelectedWhereverItSitsAndGetsTheSettings) {
  rig.card.Card(0).present = false;
  SimUsbCard::Slot& card = rig.card.Card(2);
  card.present = true;
  card.firmwareMinor = 0;
  card.highSpeed = false;
  rig.usb.SpiWordDelay = 40;
  rig.usb.SpiStaticBits = 0x28;
  frmUSBselect& d = Open();

  for (int i = 0; i < 4; ++i) EXPECT_EQ(d.optUsbPort[i]->isEnabled(), i == 2) << i;
  EXPECT_TRUE(d.optUsbPort[2]->isChecked());
  EXPECT_EQ(
      d.txtDescript0[2]->text() + "|" + d.txtDriverRev[2]->text() + "|" + d.txtSpeed[2]->text(),
      "USB SPI Card|1.0|1.1");
  EXPECT_EQ(d.txtDescript0[0]->text(), "");
  // After the board's revision query: the delay first, then the static bits.
  EXPECT_EQ(rig.Sent(), (Strings{"out 00", "out 0b 28", "out 0c 28"}));
  EXPECT_EQ(rig.usb.SelectedUsbBoard.DeviceName, "Ezusb-2");
  EXPECT_TRUE(rig.usb.CardReady());
  EXPECT_TRUE(rig.messages.shown.empty());
}

// However the row is chosen (a click, Space, the accessibility toggle), it counts once; a
// click on the row already chosen sends the settings again.
TEST_F(UsbSelect, ChoosingAnotherCardSelectsItAndSendsItTheSettings) {
  rig.card.Card(1).present = true;
  frmUSBselect& d = Open();
  EXPECT_TRUE(d.optUsbPort[0]->isChecked());
  rig.Forget();
  QTest::mouseClick(d.optUsbPort[1], Qt::LeftButton);
  EXPECT_EQ(rig.usb.SelectedUsbBoard.DeviceName, "Ezusb-1");
  EXPECT_EQ(rig.usb.UsbDeviceIndex, 0);
  EXPECT_EQ(rig.Sent(), (Strings{"out 0b 19", "out 0c 78"}));
  QTest::mouseClick(d.optUsbPort[1], Qt::LeftButton);
  EXPECT_EQ(rig.Sent().size(), 4u);
  QAccessible::queryAccessibleInterface(d.optUsbPort[4])
      ->actionInterface()
      ->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_FALSE(rig.usb.CardReady());
  QTest::keyClick(d.optUsbPort[0], Qt::Key_Space);
  EXPECT_EQ(rig.usb.SelectedUsbBoard.DeviceName, "Ezusb-0");
  EXPECT_EQ(rig.Sent().size(), 6u);
}

// (Escape leaves the way the close box does.)
TEST_F(UsbSelect, NoneStopsTheSetupLoopAndTheCloseBoxOnlyHides) {
  frmUSBselect& d = Open();
  EXPECT_TRUE(rig.usb.CardReady());
  d.Debug().UsbLoopStop = 0;
  QTest::mouseClick(d.optUsbPort[4], Qt::LeftButton);
  EXPECT_EQ(d.Debug().UsbLoopStop, -1);
  EXPECT_TRUE(d.close());
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_FALSE(rig.usb.CardReady());
  EXPECT_TRUE(rig.messages.shown.empty());
}

}  // namespace
}  // namespace velk
