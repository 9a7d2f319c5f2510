#include <gtest/gtest.h>

#include <vector>

#include "registers/WiredSession.h"

namespace velk {
namespace {

TEST(RefreshPinUse, DataReadyOutranksAlarmOutranksGpio) {
  test::WiredSession w;
  auto& reg = w.session.reg;
  w.Answer({0x0003, 0x0005, 0x0005,    // both lines GPIO; alarm and data ready on DIO1
            0x0002, 0x0001, 0x0000,    // alarm on DIO1 but not enabled
            0x0000, 0x0004, 0x0105});  // alarm on DIO0, data ready on DIO1
  reg.RefreshPinUse(w.spi);
  EXPECT_EQ(reg.DioPinUse, (std::array<int16_t, 2>{1, 3}));
  reg.RefreshPinUse(w.spi);
  EXPECT_EQ(reg.DioPinUse, (std::array<int16_t, 2>{0, 1}));
  reg.RefreshPinUse(w.spi);
  EXPECT_EQ(reg.DioPinUse, (std::array<int16_t, 2>{2, 3}));
  EXPECT_EQ(reg.GpioCtrl, 0);
  EXPECT_EQ(reg.AlmCtrl, 4);
  EXPECT_EQ(reg.MscCtrl, 0x105);
}

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
