// The simulated truth: its settings as the environment gives them, and the model's physics.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/SimCharacter.h"
#include "sim/SimTempPath.h"

namespace velk {
namespace {

TEST(SimCharacter, ParsesKeysAndKeepsTheDefaults) {
  EXPECT_FALSE(SimCharacter::Parse(" ").value());
  const auto c = SimCharacter::Parse(
                     "wake=0.1, b1=-0.02,b2=1e-4,hyst=0.03,lag=0,temp_lsb=0.5,"
                     "st=-40,seed=77")
                     .value()
                     .value();
  EXPECT_EQ(c.wake, 0.1);
  EXPECT_EQ(c.b1, -0.02);
  EXPECT_EQ(c.b2, 1e-4);
  EXPECT_EQ(c.hyst, 0.03);
  EXPECT_EQ(c.lag, 0.0);
  EXPECT_EQ(c.tempLsb, 0.5);
  EXPECT_EQ(c.st, -40.0);
  EXPECT_EQ(c.seed, 77u);
  const auto some = SimCharacter::Parse("b1=0.5").value().value();
  EXPECT_EQ(some.b1, 0.5);
  EXPECT_EQ(some.wake, SimCharacter().wake);
  EXPECT_EQ(some.lag, SimCharacter().lag);
}

TEST(SimCharacter, RefusesWithTheFix) {
  struct Case {
    const char* text;
    const char* says;
  };
  for (const Case c :
       {Case{"wake", "is not key=value"}, Case{"drift=1", "\"drift\" is not a key"},
        Case{"wake=-1", "wake needs a number of 0 or more"},
        Case{"temp_lsb=0", "temp_lsb needs a number above 0"}, Case{"b1=x", "b1 needs a number"},
        Case{"lag=1,lag=2", "given twice"}, Case{"seed=-3", "seed needs a whole number"},
        Case{"lat=91", "lat needs a number from -90 to 90"},
        Case{"sf=-0.6", "sf needs a number of -0.5 or more"}}) {
    SCOPED_TRACE(c.text);
    const auto parsed = SimCharacter::Parse(c.text);
    ASSERT_FALSE(parsed);
    EXPECT_NE(parsed.error().find(c.says), std::string::npos) << parsed.error();
    EXPECT_NE(parsed.error().find("VELK47120_SIM_CHARACTER"), std::string::npos);
  }
}

// The element's errors as the scale and tumble figures define them, and its clip.
TEST(SimCharacter, ElementAndGravity) {
  SimCharacter c = SimCharacter::Parse("sf=0.01,asym=0.02,k3=0,gx=1,gy=2,gz=3").value().value();
  EXPECT_DOUBLE_EQ(c.Element(100.0, 320.0), 100.0 * 1.01 * 1.01);
  EXPECT_DOUBLE_EQ(c.Element(-100.0, 320.0), -100.0 * 1.01 * 0.99);
  c.sf = c.asym = 0.0;
  c.k3 = 0.05;
  EXPECT_DOUBLE_EQ(c.Element(160.0, 320.0), 160.0 + 0.05 * 320.0 / 8.0);
  EXPECT_DOUBLE_EQ(c.Element(400.0, 320.0), 1.1 * 320.0);
  EXPECT_DOUBLE_EQ(c.Element(-1000.0, 80.0), -1.1 * 80.0);
  EXPECT_DOUBLE_EQ(c.Gravity(0.0, -1.0, 0.0), -2.0);
}

TEST(SimCharacter, WakeDrawsAreNormalWithTheSpreadAsked) {
  SimCharacter c;
  c.wake = 0.2;
  double sum = 0, sum2 = 0, beyond2 = 0;
  constexpr int kDraws = 20000;
  for (int k = 0; k < kDraws; ++k) {
    const double v = c.WakeOffset(static_cast<uint64_t>(k));
    sum += v, sum2 += v * v, beyond2 += std::abs(v) > 2 * c.wake;
  }
  // SEs: mean 0.2 / sqrt(20000) = 1.4e-3; rms 0.2 / sqrt(40000) = 1e-3; the share beyond 2
  // sigma (4.55 % when normal, 0 when uniform) 1.5e-3.
  EXPECT_NEAR(sum / kDraws, 0.0, 4 * 1.4e-3);
  EXPECT_NEAR(std::sqrt(sum2 / kDraws), 0.2, 4 * 1e-3);
  EXPECT_NEAR(beyond2 / kDraws, 0.0455, 4 * 1.5e-3);
  EXPECT_EQ(c.WakeOffset(3), c.WakeOffset(3));
  SimCharacter other = c;
  other.seed = 2;
  EXPECT_NE(c.WakeOffset(3), other.WakeOffset(3));
}

TEST(SimTempPath, ParsesTheRampOrSaysWhy) {
  EXPECT_FALSE(SimTempPath::Parse("").value());
  const SimTempPath p = SimTempPath::Parse("ramp:-10..50@2,soak=100").value().value();
  // 100 s soak, 30 min up, 100 s, 30 min down, 100 s.
  EXPECT_DOUBLE_EQ(p.Duration(), 300 + 2 * 1800);
  EXPECT_DOUBLE_EQ(p.Ambient(50), -10);
  EXPECT_DOUBLE_EQ(p.Ambient(100 + 900), 20);
  EXPECT_DOUBLE_EQ(p.Ambient(1950), 50);
  EXPECT_DOUBLE_EQ(p.Ambient(2000 + 900), 20);
  EXPECT_DOUBLE_EQ(p.Ambient(1e6), -10);
  EXPECT_EQ(SimTempPath::Parse("ramp:0..10@1").value()->Duration(), 3 * 600 + 2 * 600);
  struct Case {
    const char* text;
    const char* says;
  };
  for (const Case c :
       {Case{"hold:25", "start with ramp:"}, Case{"ramp:0-10@1", "FROM..TO@RATE"},
        Case{"ramp:5..5@1", "the same temperature"},
        Case{"ramp:0..10@0", "RATE needs degC/min above 0"},
        Case{"ramp:0..x@1", "temperatures in degC"}, Case{"ramp:0..10@1,dwell=3", "only soak=S"},
        Case{"ramp:0..10@1,soak=-1", "soak needs seconds"}}) {
    SCOPED_TRACE(c.text);
    const auto parsed = SimTempPath::Parse(c.text);
    ASSERT_FALSE(parsed);
    EXPECT_NE(parsed.error().find(c.says), std::string::npos) << parsed.error();
  }
}

TEST(SimTempPath, TheDieLagsAndTheDirectionHolds) {
  SimTempPath p(0.0);
  p.Soak(100).RampTo(60, 6).Soak(1000);  // 0.1 degC/s for 600 s
  constexpr double kLag = 30.0;
  // Settled on the ramp, the die runs r lag behind; after it, it closes as exp(-t / lag).
  EXPECT_NEAR(p.Die(600, kLag), p.Ambient(600) - 0.1 * kLag, 1e-6);
  const double behind = p.Die(700, kLag) - 60.0;
  EXPECT_NEAR(p.Die(700 + kLag, kLag) - 60.0, behind * std::exp(-1.0), 1e-9);
  EXPECT_NEAR(p.Die(5000, kLag), 60.0, 1e-6);
  EXPECT_DOUBLE_EQ(p.Die(400, 0.0), p.Ambient(400));
  EXPECT_EQ(p.Direction(50), 0);
  EXPECT_EQ(p.Direction(300), 1);
  EXPECT_EQ(p.Direction(1500), 1);  // the soak keeps the last ramp's side
  p.RampTo(20, 6);
  EXPECT_EQ(p.Direction(p.Duration() - 1), -1);
}

}  // namespace
}  // namespace velk
