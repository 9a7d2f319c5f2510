// The repeatability figures against the simulator's model with a known truth.
#include <gtest/gtest.h>

#include <cmath>

#include "characterise/ModelDraw.h"
#include "characterise/Repeatability.h"

namespace velk::characterise {
namespace {

// white: ARW 0.6 deg/sqrt(h) = 0.01 deg/s/sqrt(Hz), so ARW^2 = 1e-4 (deg/s)^2 s and a 60 s
// mean carries w = ARW^2 / 60 = 1.67e-6 (deg/s)^2 of white noise.
constexpr double kArw2 = 1e-4;

SimCharacter Character(double wake, uint64_t seed) {
  SimCharacter c;
  c.wake = wake;
  c.seed = seed;
  return c;
}

TEST(Repeatability, CorrectedSigmaMatchesTheNoiseFreeSpread) {
  // The truth is s of the same cycles drawn without noise: the wake offsets alone. With b = o +
  // e (e white, variance w), s_c^2 - s_o^2 = (s_e^2 - w) + 2 cov(o, e), whose SE is
  // sqrt((2 w^2 + 4 s_o^2 w) / (K - 1)); s_c's is that over 2 s_o. wake = 0.005, K = 12:
  // 3.96e-6 / 0.01 = 4.0e-4 deg/s. allan-a adds its slow terms' share, about 2e-3 deg/s of
  // bias instability and walk over the 100 s cycles, which raise s^2 a little further.
  struct Case {
    const char* noise;
    uint64_t seed;
    double se;
  };
  for (const Case c :
       {Case{"white", 3, 4.0e-4}, Case{"white", 4, 4.0e-4}, Case{"allan-a", 5, 6.0e-4}}) {
    SCOPED_TRACE(c.noise);
    const SimCharacter character = Character(0.005, c.seed);
    const RepeatPlan plan;
    const RepeatDraw noisy = DrawRepeatability(character, SimTempPath(), c.noise, c.seed, plan);
    const Repeatability truth =
        AnalyseRepeatability(DrawRepeatability(character, SimTempPath(), "", 0, plan).input);
    const Repeatability r = AnalyseRepeatability(noisy.input);
    const Span got = Of(r.doc, "wake_repeatability");
    ASSERT_TRUE(got.valued);
    EXPECT_NEAR(got.value, truth.s, 4 * c.se);
    // The chi-square ends of K - 1 = 11 dof stand sqrt(21.92 / 3.816) = 2.397 apart.
    EXPECT_NEAR(r.rawHi / r.rawLo, 2.397, 1e-3);
    EXPECT_LT(got.lo, got.value);
    EXPECT_GT(got.hi, got.value);
    // The pooled ARW: its EDF over 12 windows from T/64 to T/4 is about 150, so ARW^2 has a
    // relative SE near sqrt(2 / 150) = 0.12 under white noise.
    if (std::string(c.noise) == "white") {
      EXPECT_NEAR(r.arw2, kArw2, 4 * 0.12 * kArw2);
    }
  }
}

TEST(Repeatability, WhiteNoiseAloneIsTakenOut) {
  // No wake spread: s is white noise alone, about sqrt(w) = 1.3e-3 deg/s, and the corrected
  // figure falls below it with its lower end at 0.
  const Repeatability r = AnalyseRepeatability(
      DrawRepeatability(Character(0.0, 6), SimTempPath(), "white", 6, RepeatPlan()).input);
  const Span got = Of(r.doc, "wake_repeatability");
  EXPECT_LT(got.value, 0.8 * r.s);
  EXPECT_EQ(got.lo, 0.0);
  EXPECT_NEAR(got.hi, std::sqrt(r.rawHi * r.rawHi - r.arw2 / 60), 1e-12);
}

TEST(Repeatability, SelfTestResponseIsTheStepWithinItsError) {
  // The noise-free truth is `st` exactly; the difference of two 60 s means of white noise has
  // SE sqrt(2 w) = 1.8e-3 deg/s.
  SimCharacter character = Character(0.005, 9);
  character.st = 12.5;
  RepeatPlan plan;
  plan.selfTest = true;
  const Repeatability r =
      AnalyseRepeatability(DrawRepeatability(character, SimTempPath(), "white", 9, plan).input);
  const Span st = Of(r.doc, "self_test_response");
  ASSERT_TRUE(st.valued);
  EXPECT_NEAR(st.value, 12.5, 4 * 1.8e-3);
  EXPECT_NEAR(st.hi - st.lo, 2 * 1.96 * 1.8e-3, 0.5 * 1.8e-3);
}

TEST(Repeatability, NamesTheKindTheTemperatureAndTheWords) {
  SimCharacter character = Character(0.005, 11);
  character.b1 = 0.02;
  character.lag = 0.0;
  character.hyst = 0.0;
  RepeatPlan plan;
  plan.cycles = 6;
  // The chamber warms 3 degC over the run: each bias is off by b1 (T - 25) until corrected.
  SimTempPath path(25.0);
  path.RampTo(28.0, 0.3);
  RepeatDraw drawn = DrawRepeatability(character, path, "", 0, plan);
  drawn.input.cycles[3].words = ChipWords{5, 0x8000};
  drawn.input.turnOn = true;
  const Repeatability raw = AnalyseRepeatability(drawn.input);
  EXPECT_TRUE(raw.doc.Find("turn_on_repeatability"));
  EXPECT_FALSE(raw.doc.Find("wake_repeatability"));
  ASSERT_EQ(raw.doc.warnings.size(), 2u);
  EXPECT_NE(raw.doc.warnings[0].find("at cycle 4"), std::string::npos);
  EXPECT_NE(raw.doc.warnings[1].find("--tempco"), std::string::npos);

  drawn.input.tempco = TempCurve{.b1 = 0.02};
  const Repeatability corrected = AnalyseRepeatability(drawn.input);
  // The Temp_Out count (0.15 degC) leaves b1 x 0.07 degC of each correction.
  for (size_t k = 0; k < drawn.offsets.size(); ++k)
    EXPECT_NEAR(corrected.biases[k], 0.6 + drawn.offsets[k], 0.02 * 0.08) << k;
  EXPECT_LT(corrected.s, raw.s);

  drawn.input.cycles.resize(1);
  const Repeatability single = AnalyseRepeatability(drawn.input);
  const Figure* one = single.doc.Find("turn_on_repeatability");
  ASSERT_TRUE(one);
  EXPECT_FALSE(one->value);
  EXPECT_NE(one->reason.find("at least 2 cycles"), std::string::npos);
}

}  // namespace
}  // namespace velk::characterise
