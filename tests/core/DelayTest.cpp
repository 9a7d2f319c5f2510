#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
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

  // Calibrates against scripted measurements; returns the loop count each one ran with, then
  // the count calibrated.
  std::vector<int32_t> Calibrate(std::vector<float> seconds) {
    std::vector<int32_t> seen;
    CalibrateDelay([&](float ms) {
      EXPECT_EQ(ms, seen.size() + 1 < seconds.size() ? 500.0f : 3000.0f);
      seen.push_back(LoopsPer10us);
      return seconds.at(seen.size() - 1);
    });
    seen.push_back(LoopsPer10us);
    return seen;
  }
};

TEST_F(DelayTest, ShortAndZeroPausesAdjustTheArgumentWithoutCalibrating) {
  std::vector<double> waited;
  SetDelayWaiter([&](double seconds) { waited.push_back(seconds); });
  DelayCalibrated = 0;
  float zero = 0.0f;
  DelayMs(zero);  // the minimum pause is a spin, not a wait
  EXPECT_EQ(zero, 0.0f);
  EXPECT_EQ(DelayCalibrated, 0) << "the fixed minimum pause must not calibrate";

  DelayCalibrated = -1;
  for (float ms : {0.004f, -1.0f, std::nanf("")}) {
    DelayMs(ms);
    EXPECT_EQ(ms, 0.01f);
  }
  DelayMs(0.125f);  // 12.5 steps of 10 us go to the even 12
  SetDelayWaiter([](double) {});
  EXPECT_EQ(waited, (std::vector<double>{1e-5, 1e-5, 1e-5, 12e-5}));
}

TEST_F(DelayTest, CalibrationScalesTheLoopCountByTheMeasuredRatios) {
  // 0.25 s skips both coarse steps and doubles the count; 3 / 1.5 doubles it again.
  EXPECT_EQ(Calibrate({0.25f, 1.5f}), (std::vector<int32_t>{1000, 2000, 4000}));
  EXPECT_EQ(Calibrate({0.004f, 0.05f, 0.3f, 3.0f}),
            (std::vector<int32_t>{1000, 40000, 240000, 400000, 400000}));

  // A clock that never ticks (0 read as 0.0005 s, then 0.1 s) and one that runs wild both
  // leave a usable count.
  const std::vector<int32_t> still = Calibrate({0.0f, 0.0f, 0.0f, 0.0f});
  EXPECT_NEAR(still.at(3), 240000000, 100);
  EXPECT_EQ(still.back(), 2000000000);
  EXPECT_EQ(Calibrate({1.0e6f, 1.0e6f}).back(), 1);

  SetStartedWithArguments(true);
  EXPECT_EQ(Calibrate({0.5f, 3.0f}).front(), 200);
}

// Time moves only when the pause sleeps (waking `lateNs` late, or early when told to) or
// spins (1 us a turn).
struct FakeClock final : PauseClock {
  int64_t Now() override { return now; }
  void SleepUntil(int64_t deadline) override {
    sleeps.push_back(deadline - now);
    now = wakeEarly-- > 0 ? (now + deadline) / 2 : deadline + lateNs;
  }
  void Spin() override {
    now += 1000;
    ++spins;
  }
  int64_t now = 5'000'000'000;
  int64_t lateNs = 0;
  int wakeEarly = 0;
  std::vector<int64_t> sleeps;
  int spins = 0;
};

TEST_F(DelayTest, PausesSleepThenSpinAndAreNeverShortAndSlicesCatchUp) {
  constexpr int64_t ms = 1'000'000;
  // The pause, how late the sleep wakes, how often it wakes early; the sleeps and spins made.
  const std::tuple<float, int64_t, int, std::vector<int64_t>, int> cases[] = {
      {1.0f, 0, 0, {}, 1000},  // at or below the margin: spin alone
      {2.0f, 0, 0, {}, 2000},
      {10.0f, 0, 0, {8 * ms}, 2000},                        // sleep to the margin, spin the rest
      {10.0f, 100'000, 0, {8 * ms}, 1900},                  // a late wake-up spins less
      {10.0f, 3 * ms, 0, {8 * ms}, 0},                      // later than the margin: ends late
      {100.0f, 0, 2, {98 * ms, 49 * ms, 24500'000}, 2000},  // woken early: sleeps again
  };
  for (const auto& [waitMs, lateNs, wakeEarly, sleeps, spins] : cases) {
    SCOPED_TRACE(testing::Message() << waitMs << " ms, " << lateNs << " ns late");
    FakeClock clock;
    clock.lateNs = lateNs;
    clock.wakeEarly = wakeEarly;
    const int64_t start = clock.now;
    SlicedDelay(clock).Wait(float{waitMs}, true);
    EXPECT_GE(clock.now - start, static_cast<int64_t>(waitMs * ms));
    EXPECT_EQ(clock.sleeps, sleeps);
    EXPECT_EQ(clock.spins, spins);
  }

  // Slices only sleep and make up a late wake-up; the last one spins.
  FakeClock clock;
  clock.lateNs = ms / 2;
  const int64_t start = clock.now;
  SlicedDelay slices(clock);
  for (int s = 0; s < 3; ++s) {
    slices.Wait(10.0f, false);
    clock.now += ms;  // the work between slices
  }
  clock.lateNs = 0;
  slices.Wait(10.0f, true);
  EXPECT_EQ(clock.sleeps, (std::vector<int64_t>{10 * ms, 9500'000, 9500'000, 7500'000}));
  EXPECT_EQ(clock.now - start, 43 * ms);  // four slices and three stretches of work

  // Started before the work: the work passes inside the pause, and work longer than the
  // pause is never waited for again.
  for (const int64_t work : {ms / 4, 3 * ms}) {
    FakeClock c;
    SlicedDelay pause(c);
    const int64_t t0 = c.now;
    pause.StartNow();
    c.now += work;
    pause.Wait(1.0f, true);
    EXPECT_EQ(c.now - t0, std::max(work, ms));
    pause.Wait(1.0f, true);  // the next counts from its own call again
    EXPECT_EQ(c.now - t0, std::max(work, ms) + ms);
  }
}

}  // namespace
}  // namespace velk
