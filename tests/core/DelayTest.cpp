#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/Delay.h"

namespace velk {
namespace {

// Calibration rewrites the process-wide loop count, which every other test relies on.
class DelayTest : public ::testing::Test {
 protected:
  void TearDown() override {
    LoopsPer10us = 1;
    DelayCalibrated = -1;
    SetStartedWithArguments(false);
  }

  // Calibrates against scripted measurements; returns the loop count each one ran with.
  std::vector<int32_t> Calibrate(std::vector<float> seconds) {
    std::vector<int32_t> seen;
    CalibrateDelay([&](float ms) {
      EXPECT_EQ(ms, seen.size() + 1 < seconds.size() ? 500.0f : 3000.0f);
      seen.push_back(LoopsPer10us);
      return seconds.at(seen.size() - 1);
    });
    return seen;
  }
};

TEST_F(DelayTest, ShortAndZeroPausesAdjustTheArgumentWithoutCalibrating) {
  DelayCalibrated = 0;
  float zero = 0.0f;
  DelayMs(zero);
  EXPECT_EQ(zero, 0.0f);
  EXPECT_EQ(DelayCalibrated, 0) << "the fixed minimum pause must not calibrate";

  DelayCalibrated = -1;
  std::vector<double> waited;
  SetDelayWaiter([&](double seconds) { waited.push_back(seconds); });
  for (float ms : {0.004f, -1.0f, std::nanf("")}) {
    DelayMs(ms);
    EXPECT_EQ(ms, 0.01f);
  }
  DelayMs(0.125f);  // 12.5 steps of 10 us go to the even 12
  DelayMs(0.0f);    // the minimum pause is a spin, not a wait
  SetDelayWaiter([](double) {});
  EXPECT_EQ(waited, (std::vector<double>{1e-5, 1e-5, 1e-5, 12e-5}));
}

TEST_F(DelayTest, CalibrationScalesTheLoopCountByTheMeasuredRatios) {
  // 0.25 s skips both coarse steps and doubles the count; 3 / 1.5 doubles it again.
  EXPECT_EQ(Calibrate({0.25f, 1.5f}), (std::vector<int32_t>{1000, 2000}));
  EXPECT_EQ(LoopsPer10us, 4000);

  EXPECT_EQ(Calibrate({0.004f, 0.05f, 0.3f, 3.0f}),
            (std::vector<int32_t>{1000, 40000, 240000, 400000}));
  EXPECT_EQ(LoopsPer10us, 400000);

  // A clock that never ticks (0 read as 0.0005 s, then 0.1 s) and one that runs wild both
  // leave a usable count.
  const std::vector<int32_t> still = Calibrate({0.0f, 0.0f, 0.0f, 0.0f});
  EXPECT_NEAR(still.back(), 240000000, 100);
  EXPECT_EQ(LoopsPer10us, 2000000000);
  Calibrate({1.0e6f, 1.0e6f});
  EXPECT_EQ(LoopsPer10us, 1);

  SetStartedWithArguments(true);
  EXPECT_EQ(Calibrate({0.5f, 3.0f}).front(), 200);
}

}  // namespace
}  // namespace velk
