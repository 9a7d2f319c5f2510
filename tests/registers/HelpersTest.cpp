#include <gtest/gtest.h>

#include <utility>

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
  EXPECT_EQ(std::pair(n, reg.AvgTaps), std::pair(7, 128));  // the count held to 7 taps' worth
  n = -2;
  EXPECT_EQ(reg.AveragedPeriod(1.953f, n), 2 * 1.953f);
  EXPECT_EQ(std::pair(n, reg.AvgTaps), std::pair(0, 1));
}

}  // namespace
}  // namespace velk
