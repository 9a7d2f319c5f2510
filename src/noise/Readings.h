#pragma once

#include <optional>
#include <vector>

#include "noise/Fit.h"

namespace velk::noise {

// The classic readings from the octave points (deg/s units; nullopt where a reading has no
// point to come from).
struct ClassicReadings {
  std::optional<double> arwAt1s;  // sigma at tau = 1 s, log-log interpolated: N
  std::optional<double> rrwLast;  // sigma(tau) sqrt(3/tau) at the largest point, nu >= 8
  std::optional<double> minimum;  // smallest sigma over points with nu >= 8
  std::optional<double> minimumTau;
  std::optional<double> biFromMinimum;  // minimum / 0.664
  // The minimum's own 95 % interval read as B (/ 0.664), by its flicker-noise EDF.
  std::optional<double> biFromMinimumLo95, biFromMinimumHi95;
};
ClassicReadings Classic(const std::vector<FitPoint>& points);

}  // namespace velk::noise
