// The tempco figures against the simulator's model with a known truth.
#include <gtest/gtest.h>

#include <cmath>

#include "characterise/ModelDraw.h"
#include "characterise/Tempco.h"

namespace velk::characterise {
namespace {

constexpr double kTau0 = 0.5;

SimTempPath Path(const char* text) {
  return SimTempPath::Parse(text).value().value();
}

// The same estimator on the noise-free output along the same path, with the noisy record's
// choice of b2; there is no slow noise to find in it.
Tempco Truth(const SimCharacter& c, const SimTempPath& path, const Tempco& noisy) {
  TempcoOptions o;
  o.quadratic = Of(noisy.doc, "bias_tempco_quadratic").valued;
  o.slow = SlowNoise{};
  return AnalyseTempco(DrawTempco(c, path, "", 0, kTau0), o);
}

TEST(Tempco, EstimatesLieWithinFourStandardErrorsOfTheTruth) {
  // white noise: ARW^2 = 1e-4 (deg/s)^2 s, so a 60 s bin of a 1 degC/min ramp has a mean of SE
  // s = sqrt(1e-4 / 60) = 1.29e-3 deg/s. About 69 bins each way over dT = -35..35 degC:
  //   b1: s / sqrt(sum dT^2) = 1.29e-3 / sqrt(138 x 35^2 / 3) = 5.4e-6 deg/s/degC;
  //   b2: s / sqrt(138 var(dT^2)), var(dT^2) = 35^4 (1/5 - 1/9) = 1.33e5: 3.0e-7;
  //   h: s sqrt(2 / 69) = 2.2e-4 deg/s;
  //   b0: s / sqrt(138) sqrt(1 + E(dT^2)^2 / var(dT^2)) = 1.1e-4 x 1.5 = 1.65e-4 deg/s;
  //   excursion, at dT = 35: sqrt((35 x 5.4e-6)^2 + (35^2 x 3.0e-7)^2) = 4.1e-4 deg/s.
  struct Row {
    const char* name;
    double se;
  };
  const Row rows[] = {{"bias_tempco", 5.4e-6},
                      {"bias_tempco_quadratic", 3.0e-7},
                      {"hysteresis", 2.2e-4},
                      {"bias", 1.65e-4},
                      {"bias_excursion", 4.1e-4}};
  SimCharacter c;
  c.b2 = 0.0002;
  c.lag = 0.0;
  const SimTempPath path = Path("ramp:-10..60@1,soak=600");
  for (uint64_t seed : {31, 32}) {
    const Tempco noisy = AnalyseTempco(DrawTempco(c, path, "white", seed, kTau0));
    const Tempco truth = Truth(c, path, noisy);
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name);
      const Span got = Of(noisy.doc, row.name), want = Of(truth.doc, row.name);
      ASSERT_TRUE(got.valued && want.valued);
      EXPECT_NEAR(got.value, want.value, 4 * row.se);
      // The interval is the SE's: +-1.96 SE, give or take the scatter of the fit's own.
      EXPECT_NEAR((got.hi - got.lo) / 2, 1.96 * row.se, 0.35 * 1.96 * row.se);
    }
  }
}

TEST(Tempco, LagFromTwoRatesWithinFourStandardErrors) {
  // Ramps at 0.5 and 1.5 degC/min: the up less down offset is H + 2 c r, so c = b1 lag comes
  // from how it grows with r. Bins of 120 s and 40 s give offsets of SE 1.55e-4 and 2.7e-4
  // deg/s, c an SE of sqrt(1.55^2 + 2.7^2) 1e-4 / (2 / 60 degC/s) = 9.3e-3, lag 9.3e-3 / b1 =
  // 0.93 s; the ramps' corners, where the die catches up, add about as much again. H is the
  // offset taken back to r = 0: (1.5 D1 - 0.5 D2) / 1, SE sqrt((1.5 x 1.55)^2 + (0.5 x 2.7)^2)
  // 1e-4 = 2.7e-4 deg/s, twice that with the corners.
  SimCharacter c;
  SimTempPath path(-10.0);
  path.Soak(600).RampTo(60, 0.5).Soak(600).RampTo(-10, 0.5).Soak(600);
  path.RampTo(60, 1.5).Soak(600).RampTo(-10, 1.5).Soak(600);
  const Tempco noisy = AnalyseTempco(DrawTempco(c, path, "white", 41, kTau0));
  const Tempco truth = Truth(c, path, noisy);
  const Span lag = Of(noisy.doc, "sensor_lag"), want = Of(truth.doc, "sensor_lag");
  ASSERT_TRUE(lag.valued && want.valued);
  EXPECT_NEAR(want.value, c.lag, 0.1 * c.lag);  // the model's lag, less the corners' share
  EXPECT_NEAR(lag.value, want.value, 4 * 1.9);
  EXPECT_NEAR(Of(noisy.doc, "hysteresis").value, Of(truth.doc, "hysteresis").value, 4 * 5.4e-4);
}

// What each record cannot give is null with its reason, and what looks doubtful is warned of.
TEST(Tempco, NullsAndWarningsSayWhy) {
  struct Case {
    const char* name;
    SimTempPath path;
    const char* nullFigure;  // with the reason holding `why`
    const char* why;
    const char* warning;  // a warning holding this, or none
  };
  SimTempPath upOnly(0.0);
  upOnly.Soak(300).RampTo(40, 1).Soak(300);
  const Case cases[] = {
      {"one direction", upOnly, "hysteresis", "both an up and a down", nullptr},
      {"one rate", Path("ramp:0..40@1,soak=300"), "sensor_lag", "two rates", nullptr},
      {"short span", Path("ramp:20..35@1,soak=300"), "bias_tempco_quadratic", "under 20 degC",
       "local slope"},
      {"fast ramp", Path("ramp:0..40@3,soak=300"), nullptr, nullptr, "faster than 2 degC/min"},
      {"soak only", SimTempPath(30.0).Soak(3600), "bias_tempco", "no ramp", nullptr},
      {"flat tempco", Path("ramp:-10..60@1,soak=300"), "bias_tempco_quadratic", "not significant",
       nullptr},
  };
  SimCharacter c;
  c.lag = 0.0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const Tempco r = AnalyseTempco(DrawTempco(c, k.path, "white", 51, kTau0));
    if (k.nullFigure) {
      const Figure* f = r.doc.Find(k.nullFigure);
      ASSERT_TRUE(f);
      EXPECT_FALSE(f->value);
      EXPECT_NE(f->reason.find(k.why), std::string::npos) << f->reason;
    }
    bool warned = false;
    for (const std::string& w : r.doc.warnings)
      warned |= k.warning && w.find(k.warning) != std::string::npos;
    EXPECT_EQ(warned, k.warning != nullptr);
  }
}

TEST(Tempco, LeavesOutBadReadingsAndRefusesDisorder) {
  TempcoInput in = DrawTempco(SimCharacter(), Path("ramp:0..30@1"), "white", 1, 1.0);
  const double b1 = Of(AnalyseTempco(in).doc, "bias_tempco").value;
  in.degrees[1000] = std::nan("");
  in.degrees[2000] = 5000.0;
  // One reading of the sixty each centred mean holds goes; the rest stay as they were.
  EXPECT_NEAR(Of(AnalyseTempco(in).doc, "bias_tempco").value, b1, 1e-6);
  std::swap(in.time[10], in.time[11]);
  const auto disordered = AnalyseTempco(in);
  const Figure* f = disordered.doc.Find("bias");
  ASSERT_TRUE(f);
  EXPECT_NE(f->reason.find("go backwards"), std::string::npos);
}

}  // namespace
}  // namespace velk::characterise
