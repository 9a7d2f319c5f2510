#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <tuple>

#include "registers/WiredSession.h"
#include "support/QtApp.h"
#include "transport/parallel/dialogs/frmPort.h"

namespace velk {
namespace {

struct MenuChecks final : InterfaceMenu {
  void CheckInterfaceEntries(bool p, bool u) override {
    port = p;
    usb = u;
  }
  bool port = false;
  bool usb = true;
};

struct PortRig : test::WiredSession {
  PortRig() {
    config.InterfaceType = interface_type::kUsbCard;
    config.OsName = "Linux";
  }
  // Types the text and presses Enter, as the user would.
  void Type(const char* text) {
    dialog.show();
    dialog.txtUser->setText(text);
    QTest::keyClick(dialog.txtUser, Qt::Key_Return);
  }

  bool ready = (test::EnsureQApp(), true);
  MenuChecks menu;
  frmPort dialog{config, giveio, parallel, menu};
};

// An address typed selects the parallel interface; zero or nothing leaves the dialog open.
TEST(PortDialog, TypedAddressesSelectTheParallelInterface) {
  for (auto [typed, address, shown, taken] : {std::tuple{"3bc", 0x3BC, "3BC", true},
                                              {"BC00", 0xBC00, "BC00", true},
                                              {"0", 0x378, "0", false},
                                              {"", 0x378, "", false}}) {
    PortRig rig;
    rig.Type(typed);
    EXPECT_EQ(static_cast<uint16_t>(rig.config.PortAddress), address) << typed;
    EXPECT_EQ(rig.dialog.txtUser->text(), shown);
    EXPECT_EQ(rig.config.InterfaceType,
              taken ? interface_type::kParallelPort : interface_type::kNone);
    EXPECT_EQ(rig.menu.port && !rig.menu.usb, taken);
    EXPECT_EQ(rig.dialog.isVisible(), !taken);
  }
}

TEST(PortDialog, OpeningShowsTheAddressAndCancelDropsIt) {
  PortRig rig;
  rig.dialog.show();
  EXPECT_EQ(rig.dialog.txtUser->text(), "378");
  EXPECT_EQ(rig.config.InterfaceType, interface_type::kNone);
  QTest::mouseClick(rig.dialog.cmdCancel, Qt::LeftButton);
  EXPECT_EQ(rig.config.PortAddress, 0);
  EXPECT_FALSE(rig.menu.port || rig.menu.usb);
  EXPECT_FALSE(rig.dialog.isVisible());
}

}  // namespace
}  // namespace velk
