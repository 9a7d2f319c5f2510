#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/SimRig.h"

namespace velk {
namespace {

using Texts = std::vector<std::string>;

TEST(UsbEndToEnd, ARegisterAccessIsOneCommandToTheSensorsChannel) {
  test::UsbSimRig rig;
  ASSERT_TRUE(rig.usb.CardReady());
  auto& spi = rig.session.spi;
  // Whatever channel was used last, register traffic goes to the sensor's.
  rig.usb.SpiChannel = 4;
  spi.WriteRegister(slot::Smpl_Prd, 0x1234);
  rig.usb.SpiChannel = 4;
  spi.WriteRegister(slot::ADC_Slct, 0x0055);
  rig.usb.SpiChannel = 4;
  spi.ReadRegister(slot::Sens_Avg);
  EXPECT_EQ(spi.RegData, 0x0402);
  // Each access: the command on pipe 0, then its answer on pipe 1.
  EXPECT_EQ(rig.Wire(), (Texts{"out 0d 01 02 b7 12 b6 34", "in 4", "out 0d 01 01 fe 55", "in 2",
                               "out 0d 01 02 38 00 38 00", "in 4"}));
  EXPECT_EQ(rig.card.openHandles(), 0);
  EXPECT_TRUE(rig.messages.shown.empty());
}

}  // namespace
}  // namespace velk
