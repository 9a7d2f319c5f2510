#include "sim/SimNoiseProfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace velk {
namespace {

constexpr double kPeriod = 2 * 1.953e-3;  // Smpl_Prd 1
constexpr double kLsb80 = 0.018318814697265626;

SimNoiseProfile Profile(const char* text) {
  return SimNoiseProfile::Parse(text).value().value();
}

TEST(SimNoiseProfile, ParsesProfilesTermsAndSeedsAndNamesWhatItRefuses) {
  struct Row {
    const char* text;
    NoiseTerms terms;
    uint64_t seed;
    const char* name;
  };
  for (const Row& r : std::vector<Row>{
           {"white", {0.6, 0, 0}, 1, "white"},
           {"allan-a", {0.6, 10, 40}, 1, "allan-a"},
           {" Allan-B , seed=7", {0.6, 40, 600}, 7, "allan-b"},
           {"quant,seed=0", {0.05, 0, 0}, 0, "quant"},
           {"rrw=5,arw=0.25", {0.25, 0, 5}, 1, "arw=0.25,rrw=5"},
           {"BI=3, seed=42 ,arw=1e-1", {0.1, 3, 0}, 42, "arw=0.1,bi=3"},
       }) {
    const NoiseChoice choice = SimNoiseProfile::Parse(r.text);
    ASSERT_TRUE(choice && choice->has_value()) << r.text;
    const std::optional<SimNoiseProfile>& profile = *choice;
    EXPECT_EQ(profile->Terms().arw, r.terms.arw) << r.text;
    EXPECT_EQ(profile->Terms().bi, r.terms.bi) << r.text;
    EXPECT_EQ(profile->Terms().rrw, r.terms.rrw) << r.text;
    EXPECT_EQ(profile->Seed(), r.seed) << r.text;
    EXPECT_EQ(profile->Name(), r.name);
  }

  for (const char* text : {"pink", "white,arw=1", "arw=-1", "arw=1,arw=2", "seed=3", "arw=x",
                           "allan-a,seed=", "arw=nan", "white,seed=1,seed=2", "seed=2,white",
                           "white,", "arw=1,seed=-1"}) {
    const NoiseChoice choice = SimNoiseProfile::Parse(text);
    ASSERT_FALSE(choice) << text;
    EXPECT_NE(choice.error().find(std::string("=\"") + text + "\" is not a noise profile"),
              std::string::npos)
        << choice.error();
  }
  EXPECT_EQ(SimNoiseProfile::Parse("pink\n").error(),
            "VELK47120_SIM_NOISE=\"pink\\n\" is not a noise profile (white, allan-a, allan-b, "
            "quant, or arw=..,bi=..,rrw=..[,seed=S]); the simulator runs without one.");
  const NoiseChoice unset = SimNoiseProfile::Parse(" ");
  ASSERT_TRUE(unset);
  EXPECT_FALSE(*unset);
}

// A sample's value depends on its serial and the seed alone, whatever was read before it.
TEST(SimNoiseProfile, ASampleIsTheSameInAnyReadingOrder) {
  SimNoiseProfile inOrder = Profile("allan-b,seed=5");
  std::vector<double> rates;
  for (int64_t s = -3; s < 6000; ++s) rates.push_back(inOrder.Rate(s));
  SimNoiseProfile jumping = Profile("allan-b,seed=5");
  for (int64_t s : {5999, 5990, 5000, 100, 0, -3, 4000, 4001})
    EXPECT_EQ(jumping.Rate(s), rates[s + 3]) << s;
  EXPECT_NE(Profile("allan-b,seed=6").Rate(3000), rates[3003]);
}

// Each term's sample-to-sample change has the spread its figure sets.
TEST(SimNoiseProfile, EachTermStepsWithItsSpread) {
  const auto stepRms = [](double bi) {  // six Gauss-Markov processes, s^2 * 2(1 - a) each
    const double times[] = {0.1, 1, 10, 100, 1000, 10000};
    const double shares[] = {0.9419, 0.8430, 0.8594, 0.8560, 0.8519, 0.9178};
    double var = 0.0;
    for (int i = 0; i < 6; ++i)
      var += std::pow(shares[i] * bi / 3600.0, 2) * 2.0 * (1.0 - std::exp(-kPeriod / times[i]));
    return std::sqrt(var);
  };
  struct Row {
    const char* text;
    double expected;  // deg/s
  };
  for (const Row& r : std::vector<Row>{{"arw=0.6", std::sqrt(2.0) * 0.01 / std::sqrt(kPeriod)},
                                       {"bi=40", stepRms(40)},
                                       {"rrw=600", 600.0 / 216000.0 * std::sqrt(kPeriod)}}) {
    SimNoiseProfile p = Profile(r.text);
    double sum = 0.0;
    constexpr int kCount = 100000;
    double last = p.Rate(0);
    for (int64_t s = 1; s <= kCount; ++s) {
      const double rate = p.Rate(s);
      sum += (rate - last) * (rate - last);
      last = rate;
    }
    EXPECT_NEAR(std::sqrt(sum / kCount) / r.expected, 1.0, 0.02) << r.text;
  }
}

TEST(SimNoiseProfile, WhiteCodesSpreadAsTheAngleRandomWalkSays) {
  SimNoiseProfile white = Profile("white");
  double sum = 0.0, squares = 0.0;
  constexpr int kCount = 100000;
  for (int64_t s = 0; s < kCount; ++s) {
    const double rate = white.Code(s, 0x01, 0x0100, 47120) * kLsb80;
    sum += rate;
    squares += rate * rate;
  }
  const double mean = sum / kCount;
  EXPECT_NEAR(mean, 0.6, 0.002);
  const double sd = std::sqrt((squares - kCount * mean * mean) / (kCount - 1));
  EXPECT_NEAR(sd / (0.6 / 60.0 / std::sqrt(kPeriod)), 1.0, 0.02);
}

}  // namespace
}  // namespace velk
