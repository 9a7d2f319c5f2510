#include <gtest/gtest.h>

#include "registers/Reg47120.h"

namespace velk {
namespace {

TEST(SampleTiming, PeriodsAndAveraging) {
  EXPECT_EQ(Reg47120::SamplePeriodMs(0), 1.953f);
  EXPECT_NEAR(Reg47120::SamplePeriodMs(127), 249.98, 0.01);
  EXPECT_EQ(Reg47120::SamplePeriodMs(128), 60.54f);
  EXPECT_NEAR(Reg47120::SamplePeriodMs(255), 7749.12, 0.01);

  Reg47120 reg;
  int32_t n = 9;
  EXPECT_NEAR(reg.AveragedPeriod(1.953f, n), 499.97, 0.01);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(reg.AvgTaps, 128);
  n = -2;
  EXPECT_EQ(reg.AveragedPeriod(1.953f, n), 2 * 1.953f);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(reg.AvgTaps, 1);
}

}  // namespace
}  // namespace velk
