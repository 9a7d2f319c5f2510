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

// Feeds the reads (those with the flag clear carry a wild code) and gives the record a file
// holds of the same chip: the samples the loop saw, the others marked missing.
Record FeedChipClocked(LiveNoise& live, const std::vector<test::ChipRead>& reads) {
  Record r;
  r.layout = Layout::Acquisition;
  r.file = "live";
  r.chip = Chip();
  r.tau0 = kPeriod;
  r.tau0Source = Tau0Source::SamplePeriod;
  r.unit = 0.01;
  r.integerCounts = true;
  r.segmentStarts = {0};
  int64_t next = 0;  // the chip's sample after the last seen
  for (const test::ChipRead& read : reads) {
    const auto code = Code(static_cast<uint64_t>(read.sample));
    if (read.flag) {
      if (read.sample > next) r.missing.push_back({r.samples.size(), read.sample - next});
      r.lost += read.sample - next;
      r.samples.push_back(code);
      next = read.sample + 1;
    }
    live.Feed({.time = read.time,
               .value = read.flag ? code * 0.01 : 99.99,
               .code = read.flag ? code : 9999,
               .newData = read.flag,
               .temp = 25.0});
  }
  r.durationS = static_cast<double>(next) * kPeriod;
  return r;
}

// A busy host: a cycle of 3 periods, a stretch of late cycles that moves the median by 50 %,
// and a stall of 2 s, each among cycles of half a period.
std::vector<test::ChipRead> BusyHost() {
  std::vector<double> cycles;
  const auto add = [&](int count, double periods) {
    cycles.insert(cycles.end(), count, periods * kPeriod);
  };
  add(100, 0.5);
  add(1, 3.0);
  add(100, 0.5);
  add(100, 1.5);
  add(100, 0.5);
  add(1, 2.0 / kPeriod);
  add(600, 0.5);
  return test::LoopReads(kPeriod, 10.0001, cycles);
}

// A chip-clocked record keeps going through late cycles and stalls; the samples the loop missed
// are bridged, and the analysis is the one a file with the same samples missing gets.
TEST(LiveNoiseTest, ChipClockedMarksMissedSamplesAndAnalysesAsAFileMissingThem) {
  const struct {
    const char* name;
    std::vector<test::ChipRead> reads;
    int64_t leastLost;
  } rows[] = {{"an irregular loop", test::IrregularLoop(kPeriod, 1, 20000), 500},
              {"a busy host", BusyHost(), 500}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    LiveNoise live;
    live.Restart(Chip(), "start");
    Record record = FeedChipClocked(live, row.reads);
    const LiveSnapshot s = live.Take();
    EXPECT_EQ(live.Cause(), "start");
    EXPECT_EQ(s.mode, LiveMode::ChipClocked);
    EXPECT_GE(record.lost, row.leastLost);
    EXPECT_EQ(s.facts.lost, record.lost);
    const auto samples = static_cast<int64_t>(record.samples.size());
    EXPECT_EQ(s.segmentSizes, std::vector<int64_t>{samples});
    EXPECT_EQ(s.gridSizes, std::vector<int64_t>{samples + record.lost});
    EXPECT_EQ(s.facts.stats.meanTemp, 25.0);

    const Analysis fromLive = AnalyzeLive(s, {});
    const Analysis fromFile = Analyze(record, {});
    EXPECT_EQ(fromLive.samples, fromFile.samples);
    EXPECT_NEAR(fromLive.durationS, fromFile.durationS, 1e-9);
    ASSERT_EQ(fromLive.adev.size(), fromFile.adev.size());
    for (size_t k = 0; k < fromFile.adev.size(); ++k) {
      const AdevRow& live = fromLive.adev[k];
      const AdevRow& file = fromFile.adev[k];
      SCOPED_TRACE(file.m);
      EXPECT_EQ(live.m, file.m);
      EXPECT_EQ(live.terms, file.terms);
      EXPECT_EQ(live.possible, file.possible);
      EXPECT_NEAR(live.adev, file.adev, 1e-9 * file.adev);
      EXPECT_NEAR(live.edf, file.edf, 1e-9 * file.edf);
      ASSERT_EQ(live.hi.has_value(), file.hi.has_value());
      if (file.hi) {
        EXPECT_NEAR(*live.hi, *file.hi, 1e-9 * *file.hi);
      }
      EXPECT_EQ(live.inFit, file.inFit);
    }
    const auto gaps = [](const Analysis& a) {
      for (const Warning& w : a.warnings)
        if (w.code == WarningCode::Gaps) return w.text;
      return std::string("none");
    };
    EXPECT_EQ(gaps(fromLive), gaps(fromFile));
    EXPECT_NE(gaps(fromLive).find(" were missed; each window's mean"), std::string::npos);
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

// Missed samples take room as samples do: 30 missed leave room for 70 seen.
TEST(LiveNoiseTest, MissedSamplesTakeRoomInTheRecord) {
  std::vector<double> cycles(80, kPeriod / 2);
  cycles.push_back(31 * kPeriod);
  cycles.insert(cycles.end(), 200, kPeriod / 2);
  LiveNoise live(100);
  live.Restart(Chip(), "start");
  for (const test::ChipRead& read : test::LoopReads(kPeriod, 10.0001, cycles)) {
    live.Feed({.time = read.time, .code = Code(read.sample), .newData = read.flag, .temp = {}});
    if (live.Samples() == 70) break;
  }
  EXPECT_TRUE(live.Full());
  EXPECT_EQ(live.Take().facts.lost, 30);
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
