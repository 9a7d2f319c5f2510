#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "noise/Analysis.h"
#include "noise/Edf.h"
#include "noise/Fit.h"
#include "noise/Readings.h"
#include "noise/Verdict.h"

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

// Exact curves: each present term is detected at its value, each absent one only bounded.
TEST(FitTest, RecoversExactCurves) {
  struct Case {
    Terms truth;
    std::array<bool, kTermCount> allowed;
  };
  const Case cases[] = {
      {{0, 0.01, 0.002, 1e-4, 0}, {false, true, true, true, false}},
      {{2e-3, 0.01, 0.002, 1e-4, 1e-6}, {true, true, true, true, true}},
      {{0, 0.01, 0, 1e-4, 0}, {true, true, true, true, true}},
  };
  for (const Case& c : cases) {
    std::vector<FitPoint> points = Curve(c.truth, 1e9);
    points[3].edf[kN] = 7.9;  // too few degrees of freedom: left out
    const FitResult fit = FitTerms(points, 0.02, {.allowed = c.allowed, .confidence = kOneSigma});
    EXPECT_FALSE(fit.inFit[0] || fit.inFit[3]);
    EXPECT_EQ(fit.fittedPoints, static_cast<int>(points.size()) - 2);
    EXPECT_TRUE(fit.converged);
    EXPECT_NEAR(fit.reducedChiSquare, 0.0, 1e-12);
    for (int j = 0; j < kTermCount; ++j) {
      const TermResult& t = fit.terms[j];
      EXPECT_EQ(t.detected, c.allowed[j] && c.truth[j] > 0.0) << j;
      if (t.detected) {
        EXPECT_NEAR(*t.value, c.truth[j], 1e-6 * c.truth[j]) << j;
        EXPECT_TRUE(*t.lo < *t.value && *t.value < *t.hi && *t.lo95 < *t.lo && *t.hi < *t.hi95)
            << j;
        EXPECT_GT(t.rise, kDetectionRise) << j;
        EXPECT_FALSE(t.upperLimit) << j;
      } else {
        EXPECT_FALSE(t.value || t.lo || t.hi) << j;
        EXPECT_EQ(t.upperLimit.has_value(), c.allowed[j]) << j;
        if (t.upperLimit) {
          EXPECT_LT(*t.upperLimit, 0.1 * c.truth[kN]) << j;
        }
      }
    }
  }
}

// Independent chi-square scatter, each point weighed alone: the intervals hold the truth about
// as often as they say, and an absent term is rarely claimed.
TEST(FitTest, NoisyCurvesAreCalibrated) {
  const Terms truth{0, 0.01, 0.002, 1e-4, 0};
  const Terms white{0, 0.01, 0, 0, 0};
  int held[kTermCount]{}, detected[kTermCount]{}, claimed = 0, bounded = 0;
  const int seeds = 40;
  for (unsigned seed = 1; seed <= seeds; ++seed) {
    std::mt19937 rng(seed);
    const FitResult fit = FitTerms(Curve(truth, 1e7, &rng), 0.2, {.confidence = 0.95});
    for (int j : {kN, kB, kK}) {
      const TermResult& t = fit.terms[j];
      detected[j] += t.detected;
      held[j] += t.detected && *t.lo <= truth[j] && truth[j] <= *t.hi;
    }
    const FitResult noise = FitTerms(Curve(white, 1e7, &rng), 0.2, {});
    for (int j : {kQ, kB, kK, kR}) {
      claimed += noise.terms[j].detected;
      bounded += noise.terms[j].upperLimit.has_value();
    }
  }
  for (int j : {kN, kB, kK}) {
    EXPECT_EQ(detected[j], seeds) << j;
    EXPECT_GE(held[j], 34) << j;
  }
  EXPECT_LE(claimed, 6);
  EXPECT_EQ(bounded + claimed, 4 * seeds);
}

// The standard error of K^2 from the normal equations of N^2 / tau + K^2 tau / 3, each point
// weighed alone by its EDF and the model (N^2, K^2).
double KSquaredError(const std::vector<FitPoint>& points, double n2, double k2) {
  double a = 0, b = 0, c = 0;
  for (const FitPoint& p : points) {
    const double gn = 1 / p.tau, gk = p.tau / 3, model = n2 * gn + k2 * gk;
    const double w = p.edf[kN] / (2 * model * model);
    a += w * gn * gn;
    b += w * gn * gk;
    c += w * gk * gk;
  }
  return std::sqrt(a / (a * c - b * b));
}

// On exact points the rise of K is (K^2 / e)^2, e its standard error, so the claim and the
// bounds sit at quantiles of it: detected above 5.41 (not chi-square 1's 3.84), the shown
// 68.3 % interval at 1 e, the verdict's 95 % at 1.96 e, an upper limit at 1.645 e. The points'
// EDF are large, so the cube-root scale the bounds are read in is within a percent of linear.
TEST(FitTest, ClaimsAndBoundsSitAtTheirQuantiles) {
  const double n = 0.01;
  const struct {
    double k;
    bool detected;
  } rows[] = {{0.0, false}, {1.0e-5, false}, {1.15e-5, true}};  // rises 0, 4.3 and 6.5
  for (const auto& row : rows) {
    SCOPED_TRACE(row.k);
    std::vector<FitPoint> points = Curve({0, n, 0, row.k, 0}, 1e5);
    for (FitPoint& p : points) p.edf.fill(1e4 * p.edf[kN]);
    const TermResult t =
        FitTerms(points, 0.0,
                 {.allowed = {false, true, false, true, false}, .confidence = kOneSigma})
            .terms[kK];
    const double c = row.k * row.k, e = KSquaredError(points, n * n, c);
    const auto near = [&](std::optional<double> end, double quantile) {
      EXPECT_NEAR(*end, std::sqrt(c + quantile * e), 2e-2 * std::sqrt(c + quantile * e))
          << quantile;
    };
    ASSERT_EQ(t.detected, row.detected) << t.rise;
    // Detected or not, the rise is taken with the covariance of the model that has K.
    EXPECT_NEAR(t.rise, c * c / (e * e), 1e-3 * (1 + t.rise));
    if (t.detected) {
      near(t.lo, -1);
      near(t.hi, 1);
      near(t.lo95, -1.959964);
      near(t.hi95, 1.959964);
    } else {
      near(t.upperLimit, 1.644854);
    }
  }
}

// White phase noise of Q, white rate noise of N and a ramp of R give sigma^2 = 3 Q^2 / tau^2 +
// N^2 / tau + R^2 tau^2 / 2 by their own laws; the report gives them in a datasheet's units.
TEST(FitTest, TermsOfARecordMadeOfThemInDatasheetAndSiUnits) {
  const double tau0 = 0.01, q = 1e-4, n = 1e-4, r = 3e-7;  // deg, deg/sqrt(s), deg/s^2
  std::mt19937 rng(7);
  std::normal_distribution<double> normal;
  Record record;
  record.tau0 = tau0;
  record.segmentStarts = {0};
  double phase = q * normal(rng);
  for (int k = 0; k < (1 << 20); ++k) {
    const double next = q * normal(rng);
    record.samples.push_back((next - phase) / tau0 + n / std::sqrt(tau0) * normal(rng) +
                             r * k * tau0);
    phase = next;
  }
  const Analysis a = Analyze(record, {});
  const TermReport &tq = a.terms[kQ], &tn = a.terms[kN], &tr = a.terms[kR];
  ASSERT_TRUE(tq.value && tn.value && tr.value);
  EXPECT_NEAR(*tq.value, q, 0.03 * q);
  EXPECT_NEAR(*tn.value, 60 * n, 0.1 * 60 * n);
  EXPECT_NEAR(*tr.value, 3600 * 3600 * r, 0.05 * 3600 * 3600 * r);
  // rad/s/sqrt(Hz) is rad/sqrt(s): deg/sqrt(h) / 60 x pi / 180.
  EXPECT_NEAR(*tn.siValue, *tn.value / 60 * std::numbers::pi / 180, 1e-9 * *tn.siValue);
  // The classic reading takes sigma(1 s) for N, Q's share with it.
  EXPECT_NEAR(*a.classic.arwAt1s, 60 * std::sqrt(3 * q * q + n * n), 0.05 * 60 * 2 * n);
}

TEST(FitTest, DegenerateInputGivesAnEmptyFit) {
  std::vector<FitPoint> points = Curve({0, 0.01, 0, 0, 0}, 1e6);
  for (FitPoint& p : points) p.variance = 0.0;
  for (const auto& input : {points, std::vector<FitPoint>{}}) {
    const FitResult fit = FitTerms(input, 0.0, {});
    EXPECT_EQ(fit.fittedPoints, 0);
    EXPECT_EQ(fit.model, std::vector<double>(input.size(), 0.0));
    for (const TermResult& t : fit.terms)
      EXPECT_TRUE(!t.detected && !t.value && !t.hi && !t.upperLimit);
  }
}

TEST(FitTest, LargestShareSpans) {
  // N^2/tau against the floor 0.4413 B^2 and K^2 tau/3.
  const std::array<double, kTermCount> c{0, 0.01, 0.002, 1e-4, 0};
  const double floor = TermShape(kB, 1.0) * 0.002 * 0.002;
  const auto b = LargestShareSpan(c, kB);
  ASSERT_TRUE(b);
  EXPECT_NEAR(b->from, 1e-4 / floor, 1e-9);
  EXPECT_NEAR(b->to, 3 * floor / 1e-8, 1e-6);
  EXPECT_EQ(LargestShareSpan(c, kN)->from, 0.0);
  EXPECT_TRUE(std::isinf(LargestShareSpan(c, kK)->to));
  EXPECT_FALSE(LargestShareSpan(c, kQ));
  EXPECT_FALSE(LargestShareSpan({0, 0.01, 1e-5, 1e-3, 0}, kB));  // never above both
}

TEST(FitTest, ClassicReadings) {
  // The flicker EDF (the floor's own) is half the white one.
  auto point = [](double tau, double sigma, double nu) {
    return FitPoint{0, tau, sigma * sigma, {nu, nu, nu / 2, nu, nu}};
  };
  // The smallest sigma and the last point lack the EDF to count; 8 is just enough.
  const ClassicReadings r =
      Classic({point(2, 0.01, 100), point(0.5, 0.02, 100), point(8, 0.006, 20), point(12, 0.007, 8),
               point(16, 0.001, 4)});
  EXPECT_NEAR(*r.arwAt1s, 0.02 / std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(*r.rrwLast, 0.007 * std::sqrt(3.0 / 12), 1e-12);
  EXPECT_EQ(*r.minimum, 0.006);
  EXPECT_EQ(*r.minimumTau, 8);
  EXPECT_NEAR(*r.biFromMinimum, 0.006 / 0.664, 1e-12);
  const Interval i = ChiSquareInterval(0.006, 10, 0.95);
  EXPECT_NEAR(*r.biFromMinimumLo95, i.lo / 0.664, 1e-12);
  EXPECT_NEAR(*r.biFromMinimumHi95, i.hi / 0.664, 1e-12);
  EXPECT_FALSE(Classic({point(2, 0.01, 100)}).arwAt1s);
  // No flicker EDF at the minimum: no interval, rather than one of no width.
  const ClassicReadings bare = Classic({FitPoint{0, 2, 1e-4, {100, 100, 0, 100, 100}}});
  EXPECT_TRUE(bare.biFromMinimum && !bare.biFromMinimumLo95 && !bare.biFromMinimumHi95);
  // Off-centre neighbours: sigma goes as tau^(-2/3) through both.
  EXPECT_NEAR(*Classic({point(0.5, 0.02, 100), point(4, 0.005, 100)}).arwAt1s,
              0.02 * std::pow(2.0, -2.0 / 3), 1e-12);
}

TEST(FitTest, VerdictTruthTable) {
  using V = Verdict;
  using D = Decider;
  struct Row {
    const char* name;
    Evidence e;
    V result;
    D by;
  };
  const Row rows[] = {
      {"IntervalWithin", {true, true, 0.5, 1.0, {}}, V::Pass, D::UpperEnd},
      {"LowerEndBeyond", {true, true, 1.01, 2.0, {}}, V::Fail, D::LowerEnd},
      {"LowerEndAtTheLimit", {true, true, 1.0, 2.0, {}}, V::Inconclusive, D::Straddles},
      {"Straddles", {true, true, 0.9, 1.1, {}}, V::Inconclusive, D::Straddles},
      {"UpperLimitWithin", {true, false, {}, {}, 0.9}, V::Pass, D::UpperLimit},
      {"UpperLimitBeyondNeverFails", {true, false, {}, {}, 5.0}, V::Inconclusive, D::Straddles},
      {"NotEstimated", {false, false, {}, {}, {}}, V::Inconclusive, D::NotEstimated},
  };
  for (const Row& row : rows) {
    const Judged j = Judge("arw", 1.0, row.e);
    EXPECT_EQ(std::pair(j.result, j.by), std::pair(row.result, row.by)) << row.name;
  }
  const auto with = [](V v) {
    Judged j;
    j.result = v;
    return j;
  };
  EXPECT_EQ(Overall({with(V::Pass), with(V::Inconclusive), with(V::Fail)}), V::Fail);
  EXPECT_EQ(Overall({with(V::Pass), with(V::None), with(V::Inconclusive)}), V::Inconclusive);
  EXPECT_EQ(Overall({with(V::Pass), with(V::None)}), V::Pass);
  EXPECT_EQ(Overall({}), V::None);
}

}  // namespace
}  // namespace velk::noise
