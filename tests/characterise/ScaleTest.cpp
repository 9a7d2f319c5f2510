#include "characterise/Scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "characterise/ModelDraw.h"
#include "characterise/ScaleDraw.h"
#include "sim/SimSignals.h"

namespace velk::characterise {
namespace {

// allan-a's white noise: 0.6 deg/sqrt(h) is 0.01 deg/s sqrt(s).
constexpr double kWhite = 0.6 / 60.0;

TEST(Scale, DefaultRatesAlternateWithAZeroEveryFour) {
  const std::vector<double> r = DefaultRates(80.0);
  const std::vector<double> expected = {0,   0.8, -0.8, 1.6, -1.6, 0,   4,  -4,  8, -8, 0,   16,
                                        -16, 32,  -32,  0,   48,   -48, 64, -64, 0, 76, -76, 0};
  ASSERT_EQ(r.size(), expected.size());
  for (size_t i = 0; i < r.size(); ++i) EXPECT_NEAR(r[i], expected[i], 1e-12) << i;
}

// Each figure within 4 SE of the estimator on the noise-free path. A plateau mean's SE is
// N / sqrt(T) (T its seconds after the trims and any cut, 8 to 9 s: about 0.0035 deg/s);
// K's is that over sqrt(sum (w - mean w)^2) (about 160 deg/s over the 24 default rates,
// so 2.2e-5, or 0.0012 codes per deg/s); the asymmetry's 200 sqrt(SE(K+)^2 + SE(K-)^2)
// with each side's SE over its own rates; the nonlinearity's no more than one mean's SE over
// the output at full scale (0.0044 % FS).
TEST(Scale, FiguresWithinFourSeOfTheNoiseFreePath) {
  SimCharacter c;
  c.k3 = 0.002;
  TableDraw plan;
  plan.rates = DefaultRates(plan.fullScale);
  const ScaleInput truthIn = DrawTable(c, plan, "", 0, kWhite);
  const Result<Scale, std::string> truth = AnalyseScale(truthIn);
  ASSERT_TRUE(truth) << truth.error();
  double sumW = 0.0, sumWp = 0.0, sumWm = 0.0, n = 0.0, se = 0.0;
  for (const ScalePlateau& p : truth->plateaus) {
    ASSERT_TRUE(p.used) << p.note;
    sumW += p.commanded;
    n += 1.0;
    se = std::max(se, p.se);
  }
  double sxx = 0.0;
  for (const ScalePlateau& p : truth->plateaus) {
    sxx += (p.commanded - sumW / n) * (p.commanded - sumW / n);
    (p.commanded > 0 ? sumWp : sumWm) += p.commanded * p.commanded;
  }
  const double seK = se / std::sqrt(sxx);  // deg/s per deg/s
  const double seOf[] = {seK / plan.lsb, seK * 100.0, se / plan.fullScale * 100.0,
                         200.0 * std::sqrt(se * se / sumWp + se * se / sumWm)};
  const char* names[] = {"scale_factor", "scale_factor_error", "nonlinearity", "asymmetry"};
  for (const bool found : {false, true}) {
    for (uint64_t seed : {11u, 12u}) {
      ScaleInput in = DrawTable(c, plan, "white", seed, kWhite);
      if (found) in.windows.clear();
      const Result<Scale, std::string> s = AnalyseScale(in);
      ASSERT_TRUE(s) << s.error();
      for (int i = 0; i < 4; ++i) {
        const Span e = Of(s->doc, names[i]), t = Of(truth->doc, names[i]);
        ASSERT_TRUE(e.valued && t.valued) << names[i];
        EXPECT_NEAR(e.value, t.value, 4.0 * seOf[i]) << names[i] << (found ? " found" : "");
        EXPECT_LT(e.lo, e.value);
        EXPECT_GT(e.hi, e.value);
      }
    }
  }
  // The truth is near the model's own terms: the asymmetry near asym (the cubic, weighed
  // unevenly where the table's ramps shorten a plateau, moves it), the error near sf.
  EXPECT_NEAR(Of(truth->doc, "asymmetry").value, 100.0 * c.asym, 0.02);
  EXPECT_NEAR(Of(truth->doc, "scale_factor_error").value, 100.0 * c.sf, 0.2);
  EXPECT_GT(Of(truth->doc, "nonlinearity").value, 0.02);
}

TEST(Scale, RefusesAndNames) {
  SimCharacter c;
  TableDraw plan;
  plan.rates = DefaultRates(plan.fullScale);
  struct Case {
    const char* name;
    std::function<void(ScaleInput&)> change;
    const char* refusal;  // nullptr: analysed, with `warning` among the warnings
    const char* warning;
    int leftOut = -1;  // plateaus; -1: not counted
  };
  const Case cases[] = {
      {"a rate too many for what was found",
       [](ScaleInput& in) {
         in.windows.clear();
         in.commanded.push_back(10.0);
       },
       "found 24 plateaus of at least 3 s where 25 rates were asked for", nullptr},
      {"the found table quoted",
       [](ScaleInput& in) {
         in.windows.clear();
         in.commanded.pop_back();
       },
       "     24              -", nullptr},
      {"signs swapped",
       [](ScaleInput& in) {
         in.windows.clear();
         for (double& w : in.commanded) w = -w;
       },
       "plateau 2 lies on the other side of the zero-rate plateaus", nullptr},
      // +76 deg/s reads 76.8 deg/s, -76 reads -75.6: a limit of 77.7 deg/s takes the first
      // within 2 % and not the second.
      {"saturated plateaus named", [&](ScaleInput& in) { in.codeLimit = 77.7 / plan.lsb; }, nullptr,
       "plateau 22 (76 deg/s) left out: saturated: within 2 % of the code limit", 1},
      {"a dwell too short for the table",
       [](ScaleInput& in) {
         for (TableWindow& w : in.windows) w.dwell = 4.0;
       },
       nullptr, "still moving"},
  };
  const ScaleInput base = DrawTable(c, plan, "white", 3, kWhite);
  for (const Case& k : cases) {
    ScaleInput in = base;
    k.change(in);
    const Result<Scale, std::string> s = AnalyseScale(in);
    if (k.refusal != nullptr) {
      ASSERT_FALSE(s) << k.name;
      EXPECT_NE(s.error().find(k.refusal), std::string::npos) << k.name << ": " << s.error();
      continue;
    }
    ASSERT_TRUE(s) << k.name << ": " << s.error();
    std::string warnings;
    for (const std::string& w : s->doc.warnings) warnings += w + "\n";
    EXPECT_NE(warnings.find(k.warning), std::string::npos) << k.name << ": " << warnings;
    if (k.leftOut >= 0) {
      EXPECT_EQ(static_cast<int>(s->doc.warnings.size()), k.leftOut) << k.name << ": " << warnings;
    }
    EXPECT_TRUE(s->doc.Find("scale_factor")->Estimated()) << k.name;
  }
}

// On the widest range the table takes up to 6 s between +-95 % plateaus: each keeps the
// steady rest of its 10 s dwell, however far into its later half the ramp reached.
TEST(Scale, LongRampsLeaveTheSteadyRest) {
  SimCharacter c;
  TableDraw plan;
  plan.fullScale = 320.0;
  plan.lsb = 0.0732752587890625;
  plan.rates = DefaultRates(plan.fullScale);
  for (const char* noise : {"", "white"}) {
    const Result<Scale, std::string> s = AnalyseScale(DrawTable(c, plan, noise, 21, kWhite));
    ASSERT_TRUE(s) << s.error();
    for (const ScalePlateau& p : s->plateaus) {
      EXPECT_TRUE(p.used) << noise << " " << p.commanded << ": " << p.note;
      EXPECT_GE(p.end - p.start, 3.0) << noise << " " << p.commanded;
    }
  }
}

// The white noise read from the record itself, steps between plateaus and all.
TEST(Scale, RobustWhiteReadsTheNoiseThroughTheSteps) {
  SimCharacter c;
  TableDraw plan;
  plan.rates = DefaultRates(plan.fullScale);
  const ScaleInput in = DrawTable(c, plan, "white", 5, kWhite);
  // About 480 block differences: the median's SD is near 1.25 / sqrt(480) of N, 6 %.
  EXPECT_NEAR(RobustWhite(in.time, in.rate), kWhite, 0.2 * kWhite);
}

}  // namespace
}  // namespace velk::characterise
