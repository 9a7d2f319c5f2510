#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "noise/Allan.h"
#include "noise/Edf.h"
#include "sim/SplitMix.h"

namespace velk::noise {
namespace {

using simmix::SplitMix;

double Uniform(uint64_t i, uint64_t stream) {
  return static_cast<double>(SplitMix(i * 4 + stream) >> 11) * 0x1.0p-53 * 2.0 - 1.0;
}

// The reference records: white rate noise, optionally with a random walk on top.
std::vector<double> ReferenceRecord(bool randomWalk) {
  std::vector<double> y(100000);
  double walk = 0.0;
  for (size_t i = 0; i < y.size(); ++i) {
    walk += Uniform(i, 2);
    y[i] = Uniform(i, 1) + (randomWalk ? 0.01 * walk : 0.0);
  }
  return y;
}

double Mean(const std::vector<double>& y) {
  return std::accumulate(y.begin(), y.end(), 0.0) / static_cast<double>(y.size());
}

std::vector<AllanPoint> Deviation(std::vector<double> y, double tau0, std::vector<int64_t> factors,
                                  std::vector<size_t> starts = {0},
                                  Estimator estimator = Estimator::Overlapping, double mean = 0.0) {
  RateToPhase(y, starts, mean, tau0);
  return AllanDeviation(y, starts, tau0, factors, estimator);
}

std::vector<std::vector<double>> ReadCsv(const std::string& name) {
  std::ifstream in(std::string(VELK_SOURCE_DIR) + "/tests/noise/data/" + name);
  std::vector<std::vector<double>> rows;
  std::string line;
  std::getline(in, line);  // heading
  while (std::getline(in, line)) {
    std::vector<double> row;
    std::stringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) row.push_back(std::stod(cell));
    rows.push_back(row);
  }
  return rows;
}

void ExpectRelative(double actual, double expected, double tolerance, const char* what) {
  EXPECT_NEAR(actual, expected, tolerance * std::abs(expected)) << what;
}

// m, tau, terms, adev, edf (alpha 0, -1, -2), 68.3 % (alpha 0), 95 % (alpha -2).
TEST(AllanTest, ReferenceRecordsMatchTheIndependentLibrary) {
  for (const bool randomWalk : {false, true}) {
    const auto rows = ReadCsv(randomWalk ? "white_plus_rw_oadev.csv" : "white_oadev.csv");
    const std::vector<double> y = ReferenceRecord(randomWalk);
    const auto points =
        Deviation(y, 1.0 / 256, GridFactors({}, 100000), {0}, Estimator::Overlapping, Mean(y));
    ASSERT_EQ(points.size(), rows.size());
    for (size_t k = 0; k < rows.size(); ++k) {
      const auto& row = rows[k];
      const AllanPoint& p = points[k];
      SCOPED_TRACE("random walk " + std::to_string(randomWalk) + ", m " + std::to_string(p.m));
      EXPECT_EQ(p.m, static_cast<int64_t>(row[0]));
      EXPECT_EQ(p.tau, row[1]);
      EXPECT_EQ(p.terms, static_cast<int64_t>(row[2]));
      ExpectRelative(p.adev, row[3], 1e-9, "adev");
      const double edf0 = GreenhallEdf(0, p.m, 100001);
      const double edf2 = GreenhallEdf(-2, p.m, 100001);
      ExpectRelative(edf0, row[4], 1e-9, "edf alpha 0");
      ExpectRelative(GreenhallEdf(-1, p.m, 100001), row[5], 1e-9, "edf alpha -1");
      ExpectRelative(edf2, row[6], 1e-9, "edf alpha -2");
      const Interval one = ChiSquareInterval(p.adev, edf0, kOneSigma);
      const Interval wide = ChiSquareInterval(p.adev, edf2, 0.95);
      ExpectRelative(one.lo, row[7], 1e-6, "68.3 % low");
      ExpectRelative(one.hi, row[8], 1e-6, "68.3 % high");
      ExpectRelative(wide.lo, row[9], 1e-6, "95 % low");
      ExpectRelative(wide.hi, row[10], 1e-6, "95 % high");
    }
  }
}

// The published test set, as rate data with tau0 = 1, to the digits printed.
TEST(AllanTest, PublishedTestSetToItsPrintedDigits) {
  std::vector<double> big(1000);
  int64_t n = 1234567890;
  for (double& v : big) {
    v = static_cast<double>(n) / 2147483647.0;
    n = n * 16807 % 2147483647;
  }
  const std::vector<double> nine = {892, 809, 823, 798, 671, 644, 883, 903, 677};
  struct Case {
    const std::vector<double>* y;
    int64_t m;
    double adev, halfDigit;
  };
  for (const Case& c : {Case{&nine, 1, 91.22945, 5e-6}, Case{&nine, 2, 85.95287, 5e-6},
                        Case{&big, 1, 2.922319e-1, 5e-8}, Case{&big, 10, 9.159953e-2, 5e-9},
                        Case{&big, 100, 3.241343e-2, 5e-9}}) {
    const auto points = Deviation(*c.y, 1.0, GridFactors({TauGrid::Kind::Decade}, 1000), {0},
                                  Estimator::Overlapping, Mean(*c.y));
    const auto at =
        std::find_if(points.begin(), points.end(), [&](const AllanPoint& p) { return p.m == c.m; });
    ASSERT_NE(at, points.end()) << c.m;
    EXPECT_NEAR(at->adev, c.adev, c.halfDigit) << c.m;
  }
}

TEST(AllanTest, GridsAscendDistinctUpToTheLargestFactor) {
  using K = TauGrid::Kind;
  EXPECT_EQ(GridFactors({K::Octave}, 10), (std::vector<int64_t>{1, 2, 4, 8}));
  EXPECT_EQ(GridFactors({K::Octave}, 8), (std::vector<int64_t>{1, 2, 4, 8}));
  EXPECT_EQ(GridFactors({K::Decade}, 600),
            (std::vector<int64_t>{1, 2, 5, 10, 20, 50, 100, 200, 500}));
  EXPECT_EQ(GridFactors({K::Decade}, 50), (std::vector<int64_t>{1, 2, 5, 10, 20, 50}));
  EXPECT_EQ(GridFactors({K::PerDecade, 4}, 100),
            (std::vector<int64_t>{1, 2, 3, 6, 10, 18, 32, 56, 100}));
  EXPECT_EQ(GridFactors({K::PerDecade, 10}, 10), (std::vector<int64_t>{1, 2, 3, 4, 5, 6, 8, 10}));
  EXPECT_TRUE(GridFactors({K::Octave}, 0).empty());
}

// Phase 0, 1, 4, 6, 12, 16, 16: second differences at m = 1 are 2, -1, 4, -2, -4; at m = 2,
// 4, 5, -4 overlapping and 4, -4 not.
TEST(AllanTest, SmallRecordsAndSegmentsByHand) {
  const std::vector<double> a = {1, 3, 2, 6, 4, 0};
  const auto apart = Deviation(a, 1.0, {1, 2, 3}, {0}, Estimator::NonOverlapping);
  ASSERT_EQ(apart.size(), 2u);  // m = 3 has one difference
  EXPECT_EQ(apart[0].terms, 5);
  EXPECT_DOUBLE_EQ(apart[0].variance, 41.0 / 10.0);
  EXPECT_EQ(apart[1].terms, 2);
  EXPECT_DOUBLE_EQ(apart[1].variance, 32.0 / 16.0);
  const auto overlapping = Deviation(a, 1.0, {2});
  EXPECT_DOUBLE_EQ(overlapping.at(0).variance, 57.0 / 24.0);

  // A second segment too short for m = 2 adds its m = 1 sums and nothing at m = 2; nothing
  // crosses the join.
  std::vector<double> joined = a;
  const std::vector<double> b = {5, -2, 7};
  joined.insert(joined.end(), b.begin(), b.end());
  const auto both = Deviation(joined, 0.5, {1, 2}, {0, a.size()});
  const auto first = Deviation(a, 0.5, {1, 2});
  const auto second = Deviation(b, 0.5, {1, 2});
  ASSERT_EQ(both.size(), 2u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(both[0].terms, first[0].terms + second[0].terms);
  EXPECT_DOUBLE_EQ(both[0].variance * both[0].terms,
                   first[0].variance * first[0].terms + second[0].variance * second[0].terms);
  EXPECT_EQ(both[1].terms, first[1].terms);
  EXPECT_DOUBLE_EQ(both[1].variance, first[1].variance);
  const std::vector<int64_t> lengths = {6, 3};
  EXPECT_DOUBLE_EQ(SegmentsEdf(0, 1, lengths), GreenhallEdf(0, 1, 7) + GreenhallEdf(0, 1, 4));
  EXPECT_DOUBLE_EQ(SegmentsEdf(0, 2, lengths), GreenhallEdf(0, 2, 7));
}

// Phase noise past J_max, against the full sum of every lag (3 m of them).
TEST(AllanTest, PhaseNoiseEdfAgainstTheFullSum) {
  struct Case {
    int alpha;
    int64_t m, phasePoints;
    double edf, tolerance;
  };
  for (const Case& c :
       {Case{2, 64, 100001, 51380.19007023518, 1e-12}, Case{2, 60, 270, 97.12230215827348, 1e-12},
        Case{1, 1024, 100001, 1180.4814330452232, 2e-3},
        Case{1, 512, 2024, 27.372875759071345, 2e-3}}) {
    ExpectRelative(GreenhallEdf(c.alpha, c.m, c.phasePoints), c.edf, c.tolerance, "edf");
  }
}

// A rate logged in deg/s may sit far above its noise: its mean must come off before the
// phase is summed, or the phase's rounding swamps the differences.
TEST(AllanTest, ABiasFarAboveTheNoiseLeavesTheDeviation) {
  const std::vector<double> y = ReferenceRecord(false);
  std::vector<double> biased = y;
  for (double& v : biased) v += 1e5;
  const auto factors = GridFactors({}, 50000);
  const auto plain = Deviation(y, 0.01, factors, {0}, Estimator::Overlapping, Mean(y));
  const auto shifted = Deviation(biased, 0.01, factors, {0}, Estimator::Overlapping, Mean(biased));
  ASSERT_EQ(shifted.size(), plain.size());
  for (size_t k = 0; k < plain.size(); ++k)
    ExpectRelative(shifted[k].adev, plain[k].adev, 1e-9, "adev");
}

// Non-overlapping differences of white rate noise: neighbours share one block's mean
// (correlation -1/2) and no others correlate, so M of them have 2 M^2 / (3 M - 1) degrees of
// freedom, M being the count the estimator takes.
TEST(AllanTest, NonOverlappingWhiteNoiseEdfFromTheDifferencesTaken) {
  const std::vector<double> y(5000, 0.0);
  for (const int64_t m : {64, 100, 256, 1000}) {
    const auto points = Deviation(y, 1.0, {m}, {0}, Estimator::NonOverlapping);
    ASSERT_EQ(points.size(), 1u) << m;
    const auto M = static_cast<double>(points[0].terms);
    ExpectRelative(GreenhallEdf(0, m, 5001, false), 2 * M * M / (3 * M - 1), 0.01, "edf");
  }
}

// Past 1e10 degrees of freedom the interval comes from an approximation: it must meet the
// exact quantiles where it takes over.
TEST(AllanTest, ChiSquareIntervalIsContinuousWhereItsFormChanges) {
  for (const double p : {kOneSigma, 0.95}) {
    const Interval below = ChiSquareInterval(1.0, 1e10, p);
    const Interval above = ChiSquareInterval(1.0, 1e10 * (1 + 1e-12), p);
    EXPECT_NEAR(above.lo, below.lo, 1e-12) << p;
    EXPECT_NEAR(above.hi, below.hi, 1e-12) << p;
  }
}

TEST(AllanTest, IncrementalMatchesTheWholeRecordAndStopsWhenFull) {
  std::vector<double> y = ReferenceRecord(true);
  y.resize(30000);
  for (double& v : y) v += 250.0;  // a bias far above the noise
  IncrementalAllan live(0.01, y.size());
  for (const double v : y) ASSERT_TRUE(live.Add(v));
  EXPECT_FALSE(live.Add(1.0));
  EXPECT_EQ(live.Samples(), y.size());
  EXPECT_NEAR(live.Mean(), Mean(y), 1e-12 * Mean(y));

  const auto whole =
      Deviation(y, 0.01, GridFactors({}, 30000), {0}, Estimator::Overlapping, Mean(y));
  const auto points = live.Points();
  ASSERT_EQ(points.size(), whole.size());
  for (size_t k = 0; k < points.size(); ++k) {
    EXPECT_EQ(points[k].m, whole[k].m);
    EXPECT_EQ(points[k].terms, whole[k].terms);
    ExpectRelative(points[k].adev, whole[k].adev, 1e-9, "adev");
  }
  live.Clear();
  EXPECT_EQ(live.Samples(), 0u);
  EXPECT_TRUE(live.Points().empty());
}

// A grid of samples with those marked in `gone` taken out: the samples left and the runs.
struct Marked {
  std::vector<double> samples;
  std::vector<MissingRun> missing;
};

Marked Mark(const std::vector<double>& grid, const std::vector<bool>& gone) {
  Marked out;
  for (size_t g = 0; g < grid.size(); ++g) {
    if (!gone[g]) {
      out.samples.push_back(grid[g]);
    } else if (!out.missing.empty() && out.missing.back().at == out.samples.size()) {
      ++out.missing.back().count;
    } else {
      out.missing.push_back({out.samples.size(), 1});
    }
  }
  return out;
}

// Two segments of 23 and 17 grid points with single samples, pairs and a run of five missing,
// against each window's mean taken plainly from the samples present.
TEST(AllanTest, GapsMatchAPlainLoopOverWindowMeans) {
  const std::vector<size_t> gridStarts = {0, 23};
  const size_t size = 40;
  std::vector<double> grid(size);
  for (size_t g = 0; g < size; ++g) grid[g] = 3.0 + Uniform(g, 7);
  std::vector<bool> gone(size, false);
  for (const size_t g : {2, 5, 6, 11, 12, 13, 14, 15, 19, 27, 28, 33}) gone[g] = true;
  const auto present = [&](size_t g) { return !gone[g]; };

  // s^2 over adjacent samples present, neither pair crossing the segments' join.
  double lagSum = 0.0;
  int lagPairs = 0;
  for (size_t g = 0; g + 1 < size; ++g)
    if (g + 1 != gridStarts[1] && present(g) && present(g + 1)) {
      lagSum += (grid[g + 1] - grid[g]) * (grid[g + 1] - grid[g]) / 2;
      ++lagPairs;
    }
  const double s2 = lagSum / lagPairs;

  const Marked marked = Mark(grid, gone);
  const std::vector<size_t> starts = {0, 23 - 9};  // nine missing before the join
  std::vector<double> phase = marked.samples;
  RateToPhase(phase, starts, Mean(phase), 0.5);
  EXPECT_EQ(GridSizes(phase.size(), starts, marked.missing), (std::vector<int64_t>{23, 17}));
  for (const Estimator estimator : {Estimator::Overlapping, Estimator::NonOverlapping}) {
    const bool overlapping = estimator == Estimator::Overlapping;
    const std::vector<int64_t> factors = {1, 2, 3, 4, 5, 8, 11};
    const auto points = GapAllanDeviation(phase, starts, marked.missing, 0.5, factors, estimator);
    for (const int64_t factor : factors) {
      const auto m = static_cast<size_t>(factor);
      double sum = 0.0, added = 0.0;
      int64_t used = 0, possible = 0;
      for (size_t k = 0; k < 2; ++k) {
        const size_t begin = gridStarts[k], end = k == 0 ? gridStarts[1] : size;
        for (size_t j = begin; j + 2 * m <= end; j += overlapping ? 1 : m) {
          ++possible;
          double mean[2] = {0, 0};
          int count[2] = {0, 0};
          for (size_t w = 0; w < 2; ++w)
            for (size_t g = j + w * m; g < j + (w + 1) * m; ++g)
              if (present(g)) {
                mean[w] += grid[g];
                ++count[w];
              }
          if (2 * count[0] < factor || 2 * count[1] < factor) continue;
          const double a = mean[0] / count[0], b = mean[1] / count[1];
          const double white = s2 * (1.0 / count[0] + 1.0 / count[1] - 2.0 / factor) / 2;
          sum += (b - a) * (b - a) / 2 - white;
          added += white;
          ++used;
        }
      }
      SCOPED_TRACE("overlapping " + std::to_string(overlapping) + ", m " + std::to_string(m));
      const auto at = std::find_if(points.begin(), points.end(),
                                   [&](const AllanPoint& p) { return p.m == factor; });
      ASSERT_EQ(at != points.end(), used >= 2);  // one term is no point
      if (used < 2) continue;
      const AllanPoint& p = *at;
      EXPECT_EQ(p.terms, used);
      EXPECT_EQ(p.possible, possible);
      EXPECT_NEAR(p.variance, std::max(sum / used, 0.0), 1e-12);
      EXPECT_NEAR(p.addedWhite, added / used, 1e-12);
    }
  }
}

// Missing samples from the 3000th on, after sums of whole windows were folded: the live form
// gives what the whole record gives. With none missing, the gap estimator is the plain one.
TEST(AllanTest, IncrementalBridgesGapsAsTheWholeRecordDoes) {
  std::vector<double> grid = ReferenceRecord(true);
  grid.resize(30000);
  std::vector<bool> gone(grid.size(), false);
  for (size_t g = 3000; g < grid.size() - 1; ++g) gone[g] = Uniform(g, 3) > 0.9;
  for (size_t g = 7000; g < 7040; ++g) gone[g] = true;
  const Marked marked = Mark(grid, gone);

  IncrementalAllan live(0.01, grid.size());
  EXPECT_TRUE(live.AddMissing(5));  // before the first sample: nothing
  size_t next = 0;
  for (const MissingRun& run : marked.missing) {
    for (; next < run.at; ++next) ASSERT_TRUE(live.Add(marked.samples[next]));
    ASSERT_TRUE(live.AddMissing(run.count));
  }
  for (; next + 1 < marked.samples.size(); ++next) ASSERT_TRUE(live.Add(marked.samples[next]));
  EXPECT_FALSE(live.AddMissing(1));  // no room left for the last sample after it
  ASSERT_TRUE(live.Add(marked.samples.back()));
  EXPECT_FALSE(live.Add(1.0));
  EXPECT_EQ(live.Samples(), marked.samples.size());
  EXPECT_EQ(live.Missing(), static_cast<int64_t>(grid.size() - marked.samples.size()));
  EXPECT_NEAR(live.Mean(), Mean(marked.samples), 1e-12);

  std::vector<double> phase = marked.samples;
  const std::vector<size_t> starts = {0};
  RateToPhase(phase, starts, Mean(phase), 0.01);
  const auto whole = GapAllanDeviation(phase, starts, marked.missing, 0.01, GridFactors({}, 15000),
                                       Estimator::Overlapping);
  const auto points = live.Points();
  ASSERT_EQ(points.size(), whole.size());
  EXPECT_LT(points[2].terms, points[2].possible);
  for (size_t k = 0; k < points.size(); ++k) {
    SCOPED_TRACE("m " + std::to_string(whole[k].m));
    EXPECT_EQ(points[k].m, whole[k].m);
    EXPECT_EQ(points[k].terms, whole[k].terms);
    EXPECT_EQ(points[k].possible, whole[k].possible);
    ExpectRelative(points[k].adev, whole[k].adev, 1e-9, "adev");
    ExpectRelative(points[k].addedWhite, whole[k].addedWhite, 1e-9, "added white");
  }

  std::vector<double> complete = grid;
  RateToPhase(complete, starts, Mean(grid), 0.01);
  const auto factors = GridFactors({TauGrid::Kind::Decade}, 15000);
  const auto plain = AllanDeviation(complete, starts, 0.01, factors, Estimator::Overlapping);
  const auto bridged =
      GapAllanDeviation(complete, starts, {}, 0.01, factors, Estimator::Overlapping);
  ASSERT_EQ(bridged.size(), plain.size());
  for (size_t k = 0; k < plain.size(); ++k) {
    EXPECT_EQ(bridged[k].terms, plain[k].terms);
    EXPECT_EQ(bridged[k].possible, plain[k].terms);
    EXPECT_EQ(bridged[k].addedWhite, 0.0);
    EXPECT_EQ(GapEdfShare(bridged[k]), 1.0);
    ExpectRelative(bridged[k].adev, plain[k].adev, 1e-9, "adev");
  }
}

}  // namespace
}  // namespace velk::noise
