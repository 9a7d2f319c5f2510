#include <gtest/gtest.h>

#include "core/ChipConstants.h"
#include "registers/WiredSession.h"
#include "support/QtApp.h"
#include "ui/dialogs/frmAbout.h"

namespace velk {
namespace {

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
