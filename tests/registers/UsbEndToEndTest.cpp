#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registers/RoundTrip.h"
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

TEST(UsbEndToEnd, WritableRegistersReadBackWhatWasWritten) {
  test::UsbSimRig rig;
  test::ExpectWritableRegistersReadBack(rig.session, rig.sensor);
  EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(UsbEndToEnd, UnpluggingDuringReadsIsReportedOnce) {
  test::UsbSimRig rig;
  auto& spi = rig.session.spi;
  rig.sensor.SetFixedRate(10.0);
  rig.clock.Advance(1.0);
  spi.ReadRegister(slot::Gyro_Out);
  const int32_t last = spi.RegData;
  EXPECT_NE(last, 0);

  rig.card.Unplug();
  rig.card.requests.clear();
  const long frames = rig.sensor.FrameCount();
  for (int i = 0; i < 5; ++i) {
    spi.ReadRegister(slot::Gyro_Out);
    EXPECT_EQ(spi.RegData, last);  // the last word the card delivered
  }
  EXPECT_EQ(rig.messages.Texts(), Texts{"Error Writing SPI"});
  EXPECT_FALSE(rig.usb.CardReady());
  EXPECT_TRUE(rig.card.requests.empty());
  EXPECT_EQ(rig.sensor.FrameCount(), frames);
  EXPECT_EQ(rig.card.openHandles(), 0);
}

}  // namespace
}  // namespace velk
