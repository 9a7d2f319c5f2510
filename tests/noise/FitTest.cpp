#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "noise/Edf.h"
#include "noise/Fit.h"

namespace velk::noise {
namespace {

using Terms = std::array<double, kTermCount>;

double Variance(const Terms& truth, double tau) {
  double v = 0.0;
  for (int j = 0; j < kTermCount; ++j) v += truth[j] * truth[j] * TermShape(Term(j), tau);
  return v;
}

// Octave points of a record of `samples` at 100 Hz; the EDF falls with m as the Allan variance's
// does. With `rng`, each variance scatters as chi-square at its dominant type's EDF.
std::vector<FitPoint> Curve(const Terms& truth, double samples, std::mt19937* rng = nullptr) {
  std::vector<FitPoint> points;
  for (int64_t m = 1; m <= samples / 4; m *= 2) {
    FitPoint p{m, m * 0.01, 0.0, {}};
    p.variance = Variance(truth, p.tau);
    const std::array<double, kTermCount> perM{3.0, 1.5, 1.1, 0.8, 0.8};
    int dominant = 0;
    for (int j = 0; j < kTermCount; ++j) {
      p.edf[j] = perM[j] * samples / m;
      if (truth[j] * truth[j] * TermShape(Term(j), p.tau) >
          truth[dominant] * truth[dominant] * TermShape(Term(dominant), p.tau))
        dominant = j;
    }
    if (rng) {
      std::chi_squared_distribution<double> chi2(p.edf[dominant]);
      p.variance *= chi2(*rng) / p.edf[dominant];
    }
    points.push_back(p);
  }
  return points;
}

TEST(FitTest, RecoversExactCurves) {
  struct Case {
    Terms truth;
    std::array<bool, kTermCount> allowed;
  };
  const Case cases[] = {
      {{0, 0.01, 0.002, 1e-4, 0}, {false, true, true, true, false}},
      {{2e-3, 0.01, 0.002, 1e-4, 1e-6}, {true, true, true, true, true}},
      {{0, 0.01, 0, 1e-4, 0}, {false, true, true, true, false}},
  };
  for (const Case& c : cases) {
    std::vector<FitPoint> points = Curve(c.truth, 1e9);
    points[3].edf[kN] = 7.9;  // too few degrees of freedom: left out
    const FitResult fit = FitTerms(points, 0.02, {.allowed = c.allowed});
    EXPECT_FALSE(fit.inFit[0] || fit.inFit[3]);
    EXPECT_EQ(fit.fittedPoints, static_cast<int>(points.size()) - 2);
    EXPECT_TRUE(fit.converged);
    EXPECT_NEAR(fit.reducedChiSquare, 0.0, 1e-12);
    for (int j = 0; j < kTermCount; ++j) {
      const TermResult& t = fit.terms[j];
      EXPECT_NEAR(t.value, c.truth[j], 1e-6 * c.truth[j]) << j;
      if (!c.allowed[j] || c.truth[j] > 0.0) {
        EXPECT_EQ(t.upperLimit.has_value(), false) << j;
        EXPECT_EQ(t.hi.has_value(), c.allowed[j]) << j;
        if (t.hi) {
          EXPECT_TRUE(*t.lo < t.value && t.value < *t.hi && t.resolved) << j;
        }
        continue;
      }
      // No B: the tightest point's upper end above the model, over B's shape.
      ASSERT_TRUE(t.upperLimit && !t.hi && !t.resolved) << j;
      double room = INFINITY;
      for (size_t i = 0; i < points.size(); ++i) {
        if (!fit.inFit[i]) continue;
        const double hi =
            ChiSquareInterval(std::sqrt(points[i].variance), points[i].edf[kN], 0.95).hi;
        room = std::min(room, (hi * hi - points[i].variance) / TermShape(kB, points[i].tau));
      }
      EXPECT_NEAR(*t.upperLimit, std::sqrt(room), 1e-9 * std::sqrt(room));
    }
  }
}

TEST(FitTest, NoisyIntervalsHoldTheTruth) {
  const Terms truth{0, 0.01, 0.002, 1e-4, 0};
  int held[kTermCount]{};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    const FitResult fit = FitTerms(Curve(truth, 1e7, &rng), 0.2, {});
    for (int j : {kN, kB, kK}) {
      const TermResult& t = fit.terms[j];
      const double lo = t.lo.value_or(0.0), hi = t.hi ? *t.hi : t.upperLimit.value_or(0.0);
      held[j] += lo <= truth[j] && truth[j] <= hi;
    }
  }
  for (int j : {kN, kB, kK}) EXPECT_GE(held[j], 18) << j;
}

TEST(FitTest, IntervalReachesTheFitOneOctaveLater) {
  const Terms truth{0, 0.01, 0.002, 1e-4, 0};
  std::vector<FitPoint> points = Curve(truth, 1e9);
  points[2].variance *= 1.1;  // the first fitted point: gone from the later fit, which is exact
  const FitResult fit = FitTerms(points, 0.03, {});
  ASSERT_TRUE(fit.inFit[2] && !fit.inFit[1]);
  for (int j : {kN, kB, kK}) {
    const TermResult& t = fit.terms[j];
    EXPECT_GT(std::abs(t.value - truth[j]), 1e-4 * truth[j]) << j;
    EXPECT_TRUE(*t.lo <= truth[j] && truth[j] <= *t.hi) << j;
  }
}

TEST(FitTest, DegenerateInputGivesAnEmptyFit) {
  std::vector<FitPoint> points = Curve({0, 0.01, 0, 0, 0}, 1e6);
  for (FitPoint& p : points) p.variance = 0.0;
  for (const auto& input : {points, std::vector<FitPoint>{}}) {
    const FitResult fit = FitTerms(input, 0.0, {});
    EXPECT_EQ(fit.fittedPoints, 0);
    EXPECT_EQ(fit.model, std::vector<double>(input.size(), 0.0));
    for (const TermResult& t : fit.terms) EXPECT_TRUE(t.value == 0.0 && !t.hi && !t.upperLimit);
  }
}

TEST(FitTest, ClassicReadings) {
  auto point = [](double tau, double sigma, double nu) {
    return FitPoint{0, tau, sigma * sigma, {nu, nu, nu, nu, nu}};
  };
  // The smallest sigma and the last point lack the EDF to count.
  const ClassicReadings r = Classic(
      {point(2, 0.01, 100), point(0.5, 0.02, 100), point(8, 0.006, 20), point(16, 0.001, 4)});
  EXPECT_NEAR(*r.arwAt1s, 0.02 / std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(*r.rrwLast, 0.006 * std::sqrt(3.0 / 8), 1e-12);
  EXPECT_EQ(*r.minimum, 0.006);
  EXPECT_EQ(*r.minimumTau, 8);
  EXPECT_NEAR(*r.biFromMinimum, 0.006 / 0.664, 1e-12);
  EXPECT_FALSE(Classic({point(2, 0.01, 100)}).arwAt1s);
}

TEST(FitTest, VerdictTruthTable) {
  using V = Verdict;
  EXPECT_EQ(Judge(1.0, 0.5, 1.0, {}), V::Pass);
  EXPECT_EQ(Judge(1.0, 1.01, 2.0, {}), V::Fail);
  EXPECT_EQ(Judge(1.0, 0.9, 1.1, {}), V::Inconclusive);
  EXPECT_EQ(Judge(1.0, {}, {}, 0.9), V::Pass);
  EXPECT_EQ(Judge(1.0, {}, {}, 1.1), V::Inconclusive);
  EXPECT_EQ(Judge(1.0, {}, {}, {}), V::None);
  EXPECT_EQ(Overall({V::Pass, V::Inconclusive, V::Fail}), V::Fail);
  EXPECT_EQ(Overall({V::Pass, V::None, V::Inconclusive}), V::Inconclusive);
  EXPECT_EQ(Overall({V::Pass, V::None}), V::Pass);
  EXPECT_EQ(Overall({V::None}), V::None);
  EXPECT_EQ(Overall({}), V::None);
}

}  // namespace
}  // namespace velk::noise
