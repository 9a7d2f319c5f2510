#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/SimCharacter.h"
#include "sim/SimFixture.h"
#include "sim/SimNoiseProfile.h"
#include "sim/SimRateProfile.h"
#include "sim/SimTempPath.h"

namespace velk {

// The rate in degrees per second the chip adds before calibration.
inline constexpr double kSimBias = 0.6;

// What the simulated die senses: rate, supply and temperature as pure functions of time and
// of a sample's serial number. Nothing here keeps history, so a value an hour from now costs
// the same as the next one; a noise profile is the one exception (its slow processes step
// through every sample).
class SimSignals {
 public:
  explicit SimSignals(double origin) : origin_(origin) {}

  void SetFixedRate(double degreesPerSecond);
  void SetSwing();
  // The motion about the sensitive axis as pieces in time, for a table, a hand or the
  // fixture to add to; it replaces the swing, the table at rest.
  SimRateProfile& Motion();
  // Which way up the board is (+Z before any move).
  SimFixture& Fixture() { return fixture_; }
  void SetNoise(bool on) { noise_ = on; }
  void SetSupply(double volts) { supply_ = volts; }
  // A profile's noise replaces the rate noise, and the temperature stops drifting; nullopt
  // goes back to the default noise.
  void SetNoiseProfile(std::optional<SimNoiseProfile> profile);
  double Bias() const { return bias_; }
  void SetBias(double degreesPerSecond) { bias_ = degreesPerSecond; }
  // The bias behaviour a characterisation measures, and the chamber's path in time from the
  // origin. The rate gains the tempco at the ambient; the temperature is the die's reading,
  // without noise (25 degC without a path). A path alone plays the default character.
  void SetCharacter(std::optional<SimCharacter> character) { character_ = std::move(character); }
  void SetTemperaturePath(std::optional<SimTempPath> path);
  // The character in force, or null.
  const SimCharacter* Character() const;
  double TempLsb() const;  // degrees Celsius per Temp_Out count

  // Mean of the noise-free rate (motion + bias) over `count` samples taken at first,
  // first + period, ... With a character, the motion passes its element, on a range of
  // nominal full scale `fullScale`, and gravity and the Earth's rate add to it.
  double MeanRate(double first, double period, int count, double fullScale) const;
  // Mean rate noise over the `count` samples, `period` seconds apart, that end with serial
  // `last`.
  double MeanRateNoise(int64_t last, int count, double period) const;
  // Integral of the noise-free rate (as MeanRate's) from t0 to t1, in degrees.
  double RateIntegral(double t0, double t1, double fullScale) const;
  // Whether the element clips at t.
  bool Clipped(double t, double fullScale) const;

  double Supply(int64_t serial) const;
  double Temperature(double t, int64_t serial) const;

 private:
  double Noise(int64_t serial, unsigned stream, double rms) const;
  double TempBias(double t) const;
  double TempBiasIntegral(double t0, double t1) const;
  double MotionRate(double t) const;
  double SwingElementIntegral(const SimCharacter& c, double fullScale, double t0, double t1) const;

  double origin_;
  bool fixed_ = false;
  SimRateProfile motion_;  // while fixed_
  SimFixture fixture_;
  bool noise_ = true;
  double bias_ = kSimBias;
  double supply_ = 5.0;
  // Stepping it changes no value it gives for a serial, only what the next read costs.
  mutable std::optional<SimNoiseProfile> profile_;
  std::optional<SimCharacter> character_;
  std::optional<SimTempPath> path_;
  std::vector<double> knotTimes_;  // the path's, kept so an integral allocates nothing
};

}  // namespace velk
