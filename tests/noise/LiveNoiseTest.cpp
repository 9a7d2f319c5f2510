#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "IrregularLoop.h"
#include "noise/LiveNoise.h"

namespace velk::noise {
namespace {

constexpr double kPeriod = 0.004;

ChipSettings Chip() {
  return {
      .rangeDps = 80.0, .lsbDps = 0.01, .samplePeriodS = kPeriod, .taps = 1, .windowS = kPeriod};
}

int32_t Code(uint64_t i) {
  uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 29)) * 0xBF58476D1CE4E5B9ull;
  return static_cast<int32_t>((x ^ (x >> 32)) % 41) - 20;
}

// Feeds `count` host-paced readings at `cycle` s, every third cycle 30 % long (so the median
// is `cycle` and the mean is not), from `time` on.
void FeedPaced(LiveNoise& live, double& time, double cycle, int count) {
  for (int i = 0; i < count; ++i) {
    const int32_t code = Code(static_cast<uint64_t>(i));
    live.Feed({.time = time, .value = code * 0.01, .code = code, .newData = true, .temp = {}});
    time += i % 3 == 0 ? 1.3 * cycle : cycle;
  }
}

TEST(LiveNoiseTest, TheFirst64CyclesDecideTheModeAtPointEightOfThePeriod) {
  for (const double share : {0.79, 0.81}) {
    SCOPED_TRACE(share);
    LiveNoise live;
    live.Restart(Chip(), "start");
    double time = 10.0;
    FeedPaced(live, time, share * kPeriod, 64);
    EXPECT_EQ(live.Mode(), LiveMode::Deciding);
    FeedPaced(live, time, share * kPeriod, 1);
    const LiveSnapshot s = live.Take();
    const Analysis a = AnalyzeLive(s, {});
    if (share < 0.8) {
      EXPECT_EQ(s.mode, LiveMode::ChipClocked);
      EXPECT_EQ(s.facts.layout, Layout::Acquisition);
      EXPECT_EQ(s.facts.tau0, kPeriod);
      EXPECT_TRUE(a.warnings.empty());
    } else {
      EXPECT_EQ(s.mode, LiveMode::HostPaced);
      EXPECT_EQ(s.facts.layout, Layout::Log);
      EXPECT_EQ(s.facts.tau0Source, Tau0Source::MedianCycle);
      EXPECT_NEAR(s.facts.tau0, share * kPeriod, 1e-12);
      EXPECT_EQ(live.Samples(), 65);  // the deciding readings replayed
      ASSERT_FALSE(a.warnings.empty());
      EXPECT_EQ(a.warnings.back().code, WarningCode::HostPaced);
      EXPECT_NEAR(*a.warnings.back().factor, share, 1e-9);
    }
  }
}

// The irregular loop's readings with the flag clear carry a wild code. Every sample the loop
// saw keeps its own number; the ones it missed hold the last value.
TEST(LiveNoiseTest, ChipClockedFillsAndCountsLostSamplesAndMatchesTheWholeDeviation) {
  LiveNoise live;
  live.Restart(Chip(), "start");
  std::vector<double> filled;
  int64_t lost = 0;
  for (const test::ChipRead& read : test::IrregularLoop(kPeriod, 1, 4000)) {
    const auto code = Code(static_cast<uint64_t>(read.sample));
    if (read.flag) {
      lost += read.sample - static_cast<int64_t>(filled.size());
      filled.resize(static_cast<size_t>(read.sample), filled.empty() ? 0.0 : filled.back());
      filled.push_back(code);
    }
    live.Feed({.time = read.time,
               .value = 0.0,
               .code = read.flag ? code : 9999,
               .newData = read.flag,
               .temp = 25.0});
  }
  const auto samples = static_cast<int64_t>(filled.size());
  EXPECT_EQ(live.Cause(), "start");
  EXPECT_GT(lost, 100);
  const LiveSnapshot s = live.Take();
  EXPECT_EQ(live.Samples(), samples);
  EXPECT_EQ(s.facts.lost, lost);
  EXPECT_EQ(s.segmentSizes, std::vector<int64_t>{samples});
  EXPECT_NEAR(s.facts.durationS, samples * kPeriod, 1e-9);
  EXPECT_EQ(s.facts.stats.meanTemp, 25.0);

  std::vector<double> phase = filled;
  const std::vector<size_t> starts = {0};
  RateToPhase(phase, starts, 0.0, kPeriod);
  const auto whole =
      AllanDeviation(phase, starts, kPeriod, GridFactors({}, samples / 2), Estimator::Overlapping);
  ASSERT_EQ(s.octaves.size(), whole.size());
  for (size_t k = 0; k < whole.size(); ++k) {
    EXPECT_EQ(s.octaves[k].m, whole[k].m);
    EXPECT_EQ(s.octaves[k].terms, whole[k].terms);
    EXPECT_NEAR(s.octaves[k].adev, whole[k].adev, 1e-9 * whole[k].adev);
  }
}

// A loop alternating two cycles: the median of an even count is the middle pair's mean.
TEST(LiveNoiseTest, AHostPacedTau0IsTheMedianCycle) {
  LiveNoise live;
  live.Restart(Chip(), "start");
  double time = 0.0;
  for (int i = 0; i < 65; ++i) {
    live.Feed({.time = time, .value = 0.0, .code = Code(i), .newData = true, .temp = {}});
    time += i % 2 == 0 ? 0.010 : 0.012;
  }
  EXPECT_EQ(live.Mode(), LiveMode::HostPaced);
  EXPECT_NEAR(live.Take().facts.tau0, 0.011, 1e-12);
}

TEST(LiveNoiseTest, APaceChangeOverTwentyPercentStartsAgain) {
  for (const double change : {1.1, 1.3}) {
    SCOPED_TRACE(change);
    LiveNoise live;
    live.Restart(Chip(), "start");
    double time = 0.0;
    FeedPaced(live, time, 0.01, 65);
    FeedPaced(live, time, 0.01 * change, 100);
    if (change < 1.2) {
      EXPECT_EQ(live.Cause(), "start");
      EXPECT_EQ(live.Samples(), 165);
    } else {
      EXPECT_EQ(live.Cause(), "the read loop's pace changed");
      EXPECT_LT(live.Samples(), 100);
      EXPECT_NEAR(live.Take().facts.tau0, 0.013, 1e-12);
    }
  }
}

TEST(LiveNoiseTest, ACapacityStopsIntake) {
  LiveNoise live(100);
  live.Restart(Chip(), "start");
  double time = 0.0;
  FeedPaced(live, time, 0.01, 99);
  EXPECT_FALSE(live.Full());
  FeedPaced(live, time, 0.01, 1);
  EXPECT_TRUE(live.Full());
  FeedPaced(live, time, 0.01, 100);
  EXPECT_EQ(live.Samples(), 100);
  EXPECT_TRUE(live.Take().full);
}

TEST(LiveNoiseTest, AnEmptyOrDecidingEngineGivesAnAnalysisWithoutPoints) {
  LiveNoise live;
  for (int fed : {0, 10}) {
    double time = 0.0;
    FeedPaced(live, time, 0.01, fed);
    const LiveSnapshot s = live.Take();
    EXPECT_EQ(s.mode, LiveMode::Deciding);
    const Analysis a = AnalyzeLive(s, {});
    EXPECT_TRUE(a.adev.empty());
    EXPECT_EQ(a.samples, 0);
    live.Restart(Chip(), "start");
  }
}

}  // namespace
}  // namespace velk::noise
