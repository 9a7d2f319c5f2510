#include <gtest/gtest.h>

#include <QCoreApplication>
#include <fstream>
#include <string>

#include "support/LoopDriver.h"
#include "support/WindowRig.h"

namespace velk {
namespace {

// Every word the chip receives while the window starts and logs three read-loop cycles, in
// order: a change to what the program sends, or when, shows here first. A read is its
// command and the frame that fetches the answer.
TEST(FramesSent, StartUpAndThreeLoggedCyclesSendExactlyTheseWords) {
  test::WindowRig rig;
  rig.sensor.TraceTo(rig.folder / "spi.txt");
  frmVelk47120& w = rig.Open();
  w.show();
  QCoreApplication::processEvents();  // the activation the first showing queues
  w.chkDatalog->click();
  ASSERT_EQ(test::LoopDriver(rig).Run(3), 3);

  std::string sent;
  std::ifstream trace(rig.folder / "spi.txt");
  for (std::string word, answered; trace >> word >> answered;) sent += word + ' ';
  const std::string read = "0200 0000 0400 0000 0A00 0000 0C00 0000 0E00 0000 3C00 0000 ";
  EXPECT_EQ(sent,
            // Key code, revision, flash count and product.
            "D0C3 D1A5 5200 0000 5400 0000 0000 0000 5600 0000 "
            // Sample period and range; the averaging and range bars write Sens_Avg back.
            "3600 0000 3800 0000 B904 B802 3800 0000 3800 0000 B904 B800 B904 B800 3800 0000 "
            // Status, Msc_Ctrl and the pin use (Gpio_Ctrl, Alm_Ctrl, Msc_Ctrl).
            "3C00 0000 3400 0000 3200 0000 2800 0000 3400 0000 " +
                // The first read once the chip has settled, then each cycle's.
                read + read + read + read);
  EXPECT_NE(test::ReadBytes(rig.folder / "Datalog_1.txt").find("\r\n3\t"), std::string::npos);
}

}  // namespace
}  // namespace velk
