#pragma once

#include <optional>
#include <vector>

#include "characterise/Characterisation.h"

namespace velk::characterise {

// One power-down cycle: the averaging window's rate samples (deg/s) and what was read with them.
struct RepeatCycle {
  std::vector<double> samples;
  std::optional<double> bias;  // deg/s; the samples' mean when not given
  double temperature = 0.0;    // degC
  std::optional<ChipWords> words;
};

struct SelfTestWindows {
  std::vector<double> on, off;  // deg/s, with and without the self-test bit
};

struct RepeatabilityInput {
  std::vector<RepeatCycle> cycles;
  double tau0 = 0.0;                // s between samples
  double averageS = 0.0;            // T_avg, s
  double offS = 0.0;                // s powered down
  bool turnOn = false;              // a switched supply: the setup was restored after each power-up
  std::optional<TempCurve> tempco;  // corrects each bias to 25 degC
  std::optional<SelfTestWindows> selfTest;
};

struct Repeatability {
  Characterisation doc;
  std::vector<double> biases;       // per cycle, corrected when a tempco was given
  double s = 0.0;                   // sample standard deviation (K - 1), deg/s
  double spread = 0.0;              // largest less smallest bias
  double arw2 = 0.0;                // (deg/s)^2 s, pooled over the windows
  double rawLo = 0.0, rawHi = 0.0;  // the chi-square interval of s before the white correction
  double temperatureSpread = 0.0;
};

// Above this spread of the cycles' temperatures the tempco shows in the figure.
inline constexpr double kTemperatureSpreadLimit = 1.0;

// The bias repeatability over the cycles: s with its 95 % chi-square interval (K - 1 degrees of
// freedom), both ends and s itself less the white noise's share of a T_avg mean,
// sqrt(max(0, x^2 - ARW^2 / T_avg)); and the self-test response when its windows are given.
Repeatability AnalyseRepeatability(const RepeatabilityInput& input);

}  // namespace velk::characterise
