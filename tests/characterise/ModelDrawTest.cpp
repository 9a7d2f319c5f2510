// The model draws against the simulated sensor along the same path: the analyses' truth is
// what the SPI side reports.
#include "characterise/ModelDraw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "sim/SimFixture.h"
#include "sim/SimMap.h"
#include "sim/SimScales.h"
#include "sim/SimSensor.h"
#include "support/ManualClock.h"

namespace velk::characterise {
namespace {

using namespace simmap;

constexpr double kOrigin = 1000.0;  // the manual clock's start: the sensor's time 0

struct Chip {
  Chip() {
    sensor.SetNoise(false);
    sensor.SetCharacter(character);
    Write(kSensAvg + 1, 0x01);  // range 80, no averaging
    Write(kSensAvg, 0x00);
  }
  void Write(int address, int value) {
    sensor.Transfer(static_cast<uint16_t>(0x8000 | address << 8 | (value & 0xFF)));
  }
  // Gyro_Out's rate at time t from the start, and when its sample was taken.
  double Rate(double t, double* sampled) {
    clock.Advance(kOrigin + t - clock.Seconds());
    sensor.Transfer(0x0400);
    const int code = ((sensor.Transfer(0) & 0x3FFF) ^ 0x2000) - 0x2000;
    const double period = SimSamplePeriod(1);
    *sampled = std::floor((t + 1e-9) / period) * period;
    return code * count;
  }

  SimCharacter character = SimCharacter::Parse("sf=0.01,k3=0.03,asym=0.02,gz=0.3").value().value();
  double count = SimGyroFactor(0x100, 47120);
  test::ManualClock clock;
  SimSensor sensor{clock};
};

// The noise-free draws on Gyro_Out's count at the sensor's own sample times.
TEST(ModelDraw, ScaleTurnAndTumbleDrawsReadAsTheSensor) {
  const double tau0 = SimSamplePeriod(1);
  {
    SCOPED_TRACE("scale");
    setenv("VELK47120_SIM_TABLE", "40@2,-70@2,95@2", 1);
    Chip chip;
    unsetenv("VELK47120_SIM_TABLE");
    const ScaleDraw d =
        DrawScale(chip.character, {40, -70, 95}, 2.0, 80.0, "", 0, tau0, chip.count);
    ASSERT_EQ(d.plateaus.size(), 3u);
    EXPECT_DOUBLE_EQ(d.plateaus[1].from, 0.4 + 2.0 + 1.1);
    for (double t = 0.1; t < d.record.time.back(); t += 0.37) {
      double sampled = 0.0;
      const double rate = chip.Rate(t, &sampled);
      const auto k = static_cast<size_t>(std::llround(sampled / tau0));
      EXPECT_NEAR(rate, d.record.rate[k], 1.01 * chip.count) << t;  // a rounding apart at most
    }
  }
  {
    SCOPED_TRACE("turn");
    Chip chip;
    SimTurn turn;
    turn.turns = 1.5;
    turn.start = 1.0;
    chip.sensor.SetFixedRate(0.0);
    chip.sensor.HandTurn(turn);
    const ModelRecord r = DrawTurn(chip.character, turn, 1.0, 80.0, "", 0, tau0, chip.count);
    for (double t = 0.1; t < r.time.back(); t += 0.29) {
      double sampled = 0.0;
      const double rate = chip.Rate(t, &sampled);
      EXPECT_NEAR(rate, r.rate[static_cast<size_t>(std::llround(sampled / tau0))],
                  1.01 * chip.count)
          << t;
    }
  }
  {
    SCOPED_TRACE("tumble");
    const auto windows = DrawTumble(Chip().character, kTumbleOrder, 2.0, 1.0, "", 0, 0.05);
    ASSERT_EQ(windows.size(), kTumbleOrder.size());
    for (const TumbleWindow& w : windows) {
      SCOPED_TRACE(w.position);
      EXPECT_NEAR(w.mean, w.truth, 1e-12);
      EXPECT_EQ(w.samples.size(), 20u);
      Chip chip;
      chip.sensor.SetFixedRate(0.0);
      double sampled = 0.0;
      const double after = chip.sensor.SetOrientation(w.position);
      EXPECT_NEAR(chip.Rate(after + 2.0, &sampled), w.truth, 0.5 * chip.count);
    }
    // The forward and reverse passes meet each position with the same mean.
    EXPECT_NEAR(windows[0].mean, windows[11].mean, 1e-12);
    EXPECT_NEAR((windows[4].mean - windows[5].mean) / 2,
                0.3 + SimCharacter::kEarthRate * std::sin(52.0 * M_PI / 180.0), 1e-12);
  }
}

}  // namespace
}  // namespace velk::characterise
