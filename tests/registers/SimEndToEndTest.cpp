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

TEST(SimEndToEnd, IdentifiesBothModels) {
  for (int product : {47120, 47121}) {
    test::SimRig rig(test::SimRig::kParallel, product);
    auto& reg = rig.session.reg;
    reg.IdentifyProduct(rig.session.spi);
    EXPECT_EQ(reg.ProductName, "VELK" + std::to_string(product));
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
