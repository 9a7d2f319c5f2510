// The rig around the simulated board under a character: the rate table, the tumble fixture
// and a hand turn, seen through SPI on the manual clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "sim/SimFixture.h"
#include "sim/SimMap.h"
#include "sim/SimMotionScript.h"
#include "sim/SimScales.h"
#include "sim/SimSensor.h"
#include "support/ManualClock.h"

namespace velk {
namespace {

using namespace simmap;

SimCharacter Character(const char* text) {
  return SimCharacter::Parse(text).value().value();
}

double Wrap(double degrees) {
  return std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0);
}

int Signed(uint16_t word, int bits) {
  const int sign = 1 << (bits - 1);
  return ((word & ((1 << bits) - 1)) ^ sign) - sign;
}

// A noise-free chip without averaging on the range given (Sens_Avg's high byte).
struct Chip {
  explicit Chip(const SimCharacter& c, int range = 0x01) : character(c) {
    sensor.SetFixedRate(0.0);
    sensor.SetNoise(false);
    sensor.SetCharacter(c);
    WriteByte(kSensAvg + 1, range);
    WriteByte(kSensAvg, 0x00);
    count = SimGyroFactor(range << 8, 47120);
    fullScale = range == 1 ? 80.0 : range == 2 ? 160.0 : 320.0;
  }
  uint16_t Read(int address) {
    sensor.Transfer(static_cast<uint16_t>(address << 8));
    return sensor.Transfer(0);
  }
  void WriteByte(int address, int value) {
    sensor.Transfer(static_cast<uint16_t>(0x8000 | address << 8 | (value & 0xFF)));
  }
  double Rate() { return Signed(Read(0x04), 14) * count; }
  double Angle() { return (Read(0x0E) & 0x3FFF) * 0.03663; }
  // The rate the chip should show for a true rate w, +Z up.
  double Want(double w) {
    return character.Element(w, fullScale) + kSimBias + StillTerm(character, {0, 0, 1});
  }

  SimCharacter character;
  double count = 0.0, fullScale = 0.0;
  test::ManualClock clock;
  SimSensor sensor{clock};
};

// Each plateau's Gyro_Out is the element's reading of the table's rate, to the count, on
// every range, and the element clips at 1.1 x full scale with Overrange flagged.
TEST(SimRig, PlateausReadTheElementAndClipAtTheRangesEdge) {
  struct Row {
    const char* name;
    int range;
    double rate;
  };
  const Row rows[] = {{"80 still", 1, 0.0},         {"80 up", 1, 60.0},      {"80 down", 1, -76.0},
                      {"160 up", 2, 150.0},         {"320 down", 4, -300.0}, {"80 clips", 1, 95.0},
                      {"80 clips down", 1, -200.0}, {"320 clips", 4, 400.0}};
  const SimCharacter c = Character("sf=0.01,k3=0.02,asym=0.01");
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Chip chip(c, r.range);
    chip.Read(kStatus);
    chip.clock.Advance(chip.sensor.CommandTableRate(r.rate) + 0.5);
    const bool clips = std::fabs(c.Element(r.rate, chip.fullScale)) >= 1.1 * chip.fullScale - 1e-9;
    EXPECT_NEAR(chip.Rate(), chip.Want(r.rate), 0.5 * chip.count);
    EXPECT_EQ((chip.Read(kStatus) & kOverrange) != 0, clips);
  }
  EXPECT_EQ(c.Element(95.0, 80.0), 88.0);
}

// The table reaches a new rate at kTableAcceleration, whatever it was doing, and a script
// holds each rate its seconds once there.
TEST(SimRig, TheTableAcceleratesAtItsLimit) {
  Chip chip(Character("sf=0,k3=0,asym=0,gz=0,lat=0"), 4);
  const double start = chip.clock.Seconds();
  // A read shows the newest sample, up to a period old.
  const double lag = kTableAcceleration * SimSamplePeriod(1) + chip.count;
  EXPECT_DOUBLE_EQ(chip.sensor.CommandTableRate(100.0), 100.0 / kTableAcceleration);
  chip.clock.Advance(0.5);
  EXPECT_NEAR(chip.Rate(), chip.Want(0.5 * kTableAcceleration), lag);
  // Reversed mid-ramp: from where it is, at the same limit.
  EXPECT_DOUBLE_EQ(chip.sensor.CommandTableRate(-50.0), 100.0 / kTableAcceleration);
  chip.clock.Advance(0.25);
  EXPECT_NEAR(chip.Rate(), chip.Want(50.0 - 0.25 * kTableAcceleration), lag);
  chip.clock.Advance(1.0);
  EXPECT_NEAR(chip.Rate(), chip.Want(-50.0), chip.count);
  // The angle: up to 50 in 0.5 s, down to -50 in 1 s, held 0.25 s.
  const double turned = 12.5 + 0.0 - 12.5 + (kSimBias + 0.0) * (chip.clock.Seconds() - start);
  EXPECT_NEAR(chip.Angle(), std::fmod(turned + 360.0, 360.0), 0.04);

  SimRateProfile script;
  const double end = PlayTable(script, 10.0, {{20.0, 3.0}, {-20.0, 2.0}});
  EXPECT_DOUBLE_EQ(end, 10.0 + 0.2 + 3.0 + 0.4 + 2.0 + 0.2);
  for (auto [t, want] : {std::pair{10.1, 10.0},
                         {13.2, 20.0},
                         {13.5, -10.0},
                         {15.0, -20.0},
                         {15.7, -10.0},
                         {20.0, 0.0}})
    EXPECT_NEAR(script.Rate(t), want, 1e-9) << t;
  EXPECT_NEAR(script.Integral(0.0, 30.0), 2.0 + 60.0 + 0.0 - 40.0 - 2.0, 1e-9);
}

// Each position's Gyro_Out carries its axis's g, and a still hour's angle the Earth's rate:
// counter-clockwise seen from above is positive, so +Z up in the north gains, -Z up loses,
// and with Z horizontal (pointing north) the X and Y positions see the same cos(lat) share.
TEST(SimRig, EachPositionCarriesItsGravityAndTheEarthsRate) {
  const SimCharacter c = Character("gx=0.5,gy=-1,gz=2,lat=52");
  const double earth = SimCharacter::kEarthRate, lat = 52.0 * M_PI / 180.0;
  struct Row {
    int position;
    double g, earth;
  };
  const Row rows[] = {{0, 0.5, earth * std::cos(lat)},  {1, -0.5, earth * std::cos(lat)},
                      {2, -1.0, earth * std::cos(lat)}, {3, 1.0, earth * std::cos(lat)},
                      {4, 2.0, earth * std::sin(lat)},  {5, -2.0, -earth * std::sin(lat)}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.position);
    Chip chip(c);
    const double move = chip.sensor.SetOrientation(r.position);
    EXPECT_EQ(move > 0, r.position != 4);
    chip.clock.Advance(move + 1.0);
    EXPECT_NEAR(chip.Rate(), kSimBias + r.g + r.earth, 0.5 * chip.count);
    const double before = chip.Angle();
    chip.clock.Advance(3600.0);
    EXPECT_NEAR(Wrap(chip.Angle() - before), Wrap((kSimBias + r.g + r.earth) * 3600.0), 0.04);
  }
  Chip chip(c);
  EXPECT_EQ(chip.sensor.SetOrientation(6), -1.0);
  EXPECT_EQ(chip.sensor.SetOrientation(4), 0.0);
}

// A hand turn's samples, summed, give the element's integral of the turn: (1 + sf)(1 + asym
// / 2) N 360 plus the cubic's share, worked out apart from the simulator's integral; the
// still stretches around it read the bias alone, and Angle_Out agrees.
TEST(SimRig, AHandTurnIntegratesToTheElementsAngle) {
  const SimCharacter c = Character("sf=0.004,k3=0.02,asym=0.006");
  for (const bool ccw : {true, false}) {
    SCOPED_TRACE(ccw ? "ccw" : "cw");
    Chip chip(c, 4);
    SimTurn turn;
    turn.turns = 2.0;
    turn.ccw = ccw;
    turn.start = 1.0;
    const double seconds = chip.sensor.HandTurn(turn);
    const double stroke = StrokeSeconds(360.0, turn.rate);
    EXPECT_DOUBLE_EQ(seconds, 1.0 + 2 * stroke);
    // Summed over the turn alone: a still stretch's reading is off by its rounding.
    const double period = SimSamplePeriod(1), still = chip.Want(0.0);
    const double angle0 = chip.Angle(), start = chip.clock.Seconds();
    double sum = 0.0, peak = 0.0;
    while (chip.clock.Seconds() < start + seconds + 1.0) {
      const double rate = chip.Rate(), elapsed = chip.clock.Seconds() - start;
      if (elapsed >= turn.start && elapsed < seconds) sum += (rate - still) * period;
      peak = std::max(peak, std::fabs(rate - still));
      chip.clock.Advance(period);
    }
    // Per stroke A = +-360 over T: the integral of w^3 is (30 A / T)^3 T B(7, 7), 1/12012.
    const double a = 360.0, sign = ccw ? 1.0 : -1.0;
    const double cubic = 2 * std::pow(30.0 * a / stroke, 3) * stroke / 12012.0;
    const double want = sign * ((1 + c.sf) * (1 + sign * c.asym / 2) * 2 * a +
                                c.k3 * cubic / (chip.fullScale * chip.fullScale));
    EXPECT_NEAR(sum, want, 0.01);
    EXPECT_NEAR(peak, 1.875 * a / stroke * (1 + c.sf), 2.0);
    const double stillAngle = still * (chip.clock.Seconds() - start);
    EXPECT_NEAR(Wrap(chip.Angle() - angle0 - stillAngle), Wrap(want), 0.04);
  }
}

// The element's integral over a ramp through -clip and 0 and a stroke in and out of +clip,
// against a fine sum: the splits at the sign and at the clip edges leave it exact.
TEST(SimRig, ElementIntegralSplitsAtTheSignAndTheClip) {
  const SimCharacter c = Character("sf=0.01,k3=0.05,asym=0.02");
  SimRateProfile profile(-200.0);
  profile.RampTo(0.0, 20.0, kTableAcceleration);
  profile.Stroke(5.0, 700.0, StrokeSeconds(700.0, 150.0));
  const double t1 = 14.0, steps = 4e6;
  double fine = 0.0;
  for (int k = 0; k < steps; ++k)
    fine += c.Element(profile.Rate((k + 0.5) * t1 / steps), 80.0) * t1 / steps;
  EXPECT_NEAR(profile.ElementIntegral(c, 80.0, 0.0, t1), fine, 1e-6);
  const double stroke = StrokeSeconds(700.0, 150.0);
  EXPECT_NEAR(profile.Integral(5.0, 5.0 + stroke), 20.0 * stroke + 700.0, 1e-9);
}

TEST(SimRig, ScriptsSayWhatTheyRefuse) {
  struct Row {
    const char* variable;
    const char* value;
    const char* says;  // "" for a value taken
  };
  const Row rows[] = {
      {"VELK47120_SIM_TABLE", "0@10,50@10,-50@5", ""},
      {"VELK47120_SIM_TABLE", "50", "\"50\" is not RATE@SECONDS"},
      {"VELK47120_SIM_TABLE", "50@0", "above 0"},
      {"VELK47120_SIM_TURN", "3,ccw,rate=100,start=2", ""},
      {"VELK47120_SIM_TURN", "0", "the turns need a number above 0"},
      {"VELK47120_SIM_TURN", "2,fast", "\"fast\" is not ccw"},
      {"VELK47120_SIM_TURN", "2,rate=-5", "rate needs a number above 0"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.value);
    setenv(r.variable, r.value, 1);
    testing::internal::CaptureStderr();
    Chip chip(Character("seed=1"));
    unsetenv(r.variable);
    const std::string said = testing::internal::GetCapturedStderr();
    if (*r.says == 0) {
      EXPECT_EQ(said, "");
    } else {
      EXPECT_NE(said.find(r.says), std::string::npos) << said;
      EXPECT_NE(said.find("e.g."), std::string::npos) << said;
    }
  }
}

}  // namespace
}  // namespace velk
