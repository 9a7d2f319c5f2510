#pragma once

#include <optional>
#include <vector>

#include "characterise/LeastSquares.h"

namespace velk::characterise {

// How strongly the bins of one record share a gyro's slow noise: a rate random walk, and a
// bias instability as Gauss-Markov processes at 10, 100, 1000 and 10000 s of equal spread
// (together close to flicker over those decades). Weighing each bin alone takes them for
// signal: over a few hours they move every later bin alike.
struct SlowNoise {
  double walk = 0.0;     // (deg/s)^2 / s
  double flicker = 0.0;  // (deg/s)^2, the spread of each process
  bool operator==(const SlowNoise&) const = default;
};

// Observations with white errors (each its standard error) and slow noise through time, the
// times from the record's start: the walk starts there, so a level fitted carries it too.
struct TimedData {
  Design x;
  std::vector<double> y, se, time;
};

class SlowNoiseFit {
 public:
  explicit SlowNoiseFit(TimedData data);

  // The generalised least-squares fit with the slow noise given, by whitening with the
  // Cholesky factor of the covariance; `reml`, when given, gets the restricted
  // log-likelihood (up to a constant).
  std::optional<Fit> At(const SlowNoise& slow, double* reml = nullptr) const;

  // The slow noise of most restricted likelihood on a log grid around the white errors' scale,
  // refined; none unless it raises the likelihood by more than 1.35 (the 10 % point of
  // chi-square 1 halved), so white errors alone take no slow noise from chance.
  SlowNoise Choose() const;

 private:
  TimedData d_;
  std::vector<std::vector<double>> walk_, flicker_;  // the unit covariances
  double walkUnit_ = 0.0, flickerUnit_ = 0.0;        // the white errors' scale
};

}  // namespace velk::characterise
