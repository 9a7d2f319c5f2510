#pragma once

#include <cstdint>

namespace velk {

// What the simulated die senses: rate, supply and temperature as pure functions of time and
// of a sample's serial number. Nothing here keeps history, so a value an hour from now costs
// the same as the next one.
class SimSignals {
 public:
  explicit SimSignals(double origin) : origin_(origin) {}

  void SetFixedRate(double degreesPerSecond);
  void SetSwing();
  void SetNoise(bool on) { noise_ = on; }
  void SetSupply(double volts) { supply_ = volts; }
  double Bias() const { return bias_; }

  // Mean of the noise-free rate (motion + bias) over `count` samples taken at first,
  // first + period, ...
  double MeanRate(double first, double period, int count) const;
  // Mean rate noise over the `count` samples that end with serial `last`.
  double MeanRateNoise(int64_t last, int count) const;
  // Integral of the noise-free rate (motion + bias) from t0 to t1, in degrees.
  double RateIntegral(double t0, double t1) const;

  double Supply(int64_t serial) const;
  double Temperature(double t, int64_t serial) const;

 private:
  double Noise(int64_t serial, unsigned stream, double rms) const;

  double origin_;
  bool fixed_ = false;
  double fixedRate_ = 0.0;
  bool noise_ = true;
  double bias_ = 0.6;
  double supply_ = 5.0;
};

}  // namespace velk
