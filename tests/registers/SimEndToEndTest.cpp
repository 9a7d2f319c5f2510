#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "core/ChipConstants.h"
#include "registers/RoundTrip.h"
#include "support/SimRig.h"

namespace velk {
namespace {

TEST(SimEndToEnd, WritableRegistersReadBackWhatWasWritten) {
  test::SimRig rig;
  test::ExpectWritableRegistersReadBack(rig.session, rig.sensor);
}

// What the adapter must refuse, beyond carrying every frame above.
TEST(SimEndToEnd, TheAdapterTakesOnlyWholeFramesAtItsOwnAddress) {
  test::SimRig rig;
  auto& spi = rig.session.spi;
  rig.session.analyzer.PortAddress = 0x278;  // no adapter there: zeros, as with none fitted
  spi.ReadRegister(slot::Sens_Avg);
  EXPECT_EQ(spi.RegData, 0);
  EXPECT_EQ(rig.sensor.FrameCount(), 0);

  rig.session.analyzer.PortAddress = 0x378;
  rig.session.parallel.ParallelPortInit();  // writes the status port too: ignored
  rig.adapter.vbOut(0x378, 5);              // a frame cut short after eight clocks ...
  for (int i = 0; i < 8; ++i) {
    rig.adapter.vbOut(0x378, 7);
    rig.adapter.vbOut(0x378, 5);
  }
  rig.adapter.vbOut(0x378, 0);
  EXPECT_EQ(rig.sensor.FrameCount(), 0);
  spi.ReadRegister(slot::Status);
  EXPECT_EQ(spi.RegData, 0x008);  // ... is dropped, and the chip notes it
}

TEST(SimEndToEnd, IdentifiesBothModels) {
  for (int product : {47120, 47121}) {
    test::SimRig rig(test::SimRig::kParallel, product);
    auto& reg = rig.session.reg;
    reg.IdentifyProduct(rig.session.spi);
    EXPECT_EQ(reg.ProductName, "VELK" + std::to_string(product));
    EXPECT_EQ(reg.FirmwareRevision, 1.2f);
    EXPECT_EQ(reg.RevisionDay, 14);
    EXPECT_EQ(reg.RevisionMonth, 6);
    EXPECT_EQ(reg.RevisionYear, 2026);
    EXPECT_EQ(reg.FlashCount, 37);
  }
}

TEST(SimEndToEnd, GyroOutConvertsBackToTheRateAtEveryRange) {
  for (int product : {47120, 47121}) {
    for (int32_t range : {0x100, 0x200, 0x400}) {
      for (double fraction : {0.55, -0.8}) {
        SCOPED_TRACE(testing::Message() << product << " range " << range << " " << fraction);
        test::SimRig rig(test::SimRig::kParallel, product);
        auto& spi = rig.session.spi;
        // 0.0733 deg/s per count at the widest range, halving with each narrower one.
        const double factor = 0.0732752587890625 * range / 0x400 / (product == 47121 ? 4 : 1);
        const double rate = fraction * 8191 * factor;
        rig.sensor.SetNoise(false);
        rig.sensor.SetFixedRate(rate);
        spi.WriteRegister(slot::Sens_Avg, range);
        rig.session.reg.RegScale[slot::Gyro_Out] = static_cast<float>(factor);
        rig.clock.Advance(0.5);

        spi.ReadRegister(slot::Gyro_Out);
        EXPECT_NEAR(spi.RegValue, rate + rig.sensor.Bias(), factor);
      }
    }
  }
}

}  // namespace
}  // namespace velk
