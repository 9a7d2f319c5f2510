#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "characterise/Characterisation.h"
#include "characterise/LeastSquares.h"
#include "characterise/SlowNoise.h"

namespace velk::characterise {

// A record of rate and temperature over time: the rate at every sample, the temperature as
// often as it was read (both times in s from one origin).
struct TempcoInput {
  std::vector<double> time, rate;         // s, deg/s
  std::vector<double> tempTime, degrees;  // s, degC
};

struct TempcoOptions {
  uint64_t seed = 1;  // of the excursion's draws, so a run gives the same figures again
  int draws = 4000;
  // Forces the quadratic term in or out; by default the F-test decides.
  std::optional<bool> quadratic;
  // Forces the slow noise the bins share; by default their likelihood decides. A noise-free
  // record has none to find.
  std::optional<SlowNoise> slow;
};

inline constexpr double kLowPassS = 60.0;         // centred mean of the temperature
inline constexpr double kSoakRate = 0.05 / 60.0;  // degC/s: slower is a soak
inline constexpr double kFastRamp = 2.0 / 60.0;   // degC/s: faster is warned about
inline constexpr double kQuadraticSpan = 20.0;    // degC, the least span b2 is kept over
inline constexpr double kQuadraticP = 0.01;       // the F-test's p to keep b2
inline constexpr double kShortBinS = 30.0;        // s: bins shorter are warned about
inline constexpr double kLagRateRatio = 2.0;      // ramp rates this far apart separate the lag
// Bins the slow noise is weighed over at most: its search costs bins^3 a step.
inline constexpr size_t kMostNoiseBins = 500;

struct Tempco {
  Characterisation doc;
  std::optional<Fit> fit;            // the fit kept; coefficients in the order of `columns`
  std::vector<const char*> columns;  // "b0", "b1", "b2", "h", "c"
  double pQuadratic = 1.0;           // the F-test's p for b2
  double span = 0.0;                 // degC over the bins fitted
  std::vector<double> rampRates;     // degC/s, each ramp's mean |dT/dt|
  double residualRms = 0.0;          // deg/s, of the bin means about the fit
  SlowNoise slow;                    // the bins share
};

// The bias against temperature: the temperature low-passed (a 60 s centred mean), soaks
// (|dT/dt| < 0.05 degC/min) set apart, the ramps split into up and down and binned by 1 degC,
// and the bin means fitted by b0 + b1 dT + [b2 dT^2] +- h/2 [+ c dT/dt], dT from 25 degC,
// weighted by their standard errors and the slow noise they share (SlowNoise),
// with the covariance scaled by max(1, reduced chi-square).
Tempco AnalyseTempco(const TempcoInput& input, const TempcoOptions& options = {});

}  // namespace velk::characterise
