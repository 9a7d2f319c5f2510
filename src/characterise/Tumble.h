#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "characterise/Characterisation.h"

namespace velk::characterise {

// The board's six positions by the axis pointing up: +X -X +Y -Y +Z -Z (Z the sensitive axis).
inline constexpr int kTumblePositions = 6;
std::string_view TumblePositionName(int position);  // "+X", ...
// The order a run takes them: the six, then the six again in reverse.
inline constexpr int kTumbleSequence[12] = {0, 1, 2, 3, 4, 5, 5, 4, 3, 2, 1, 0};

// One position's averaging window, after its settling.
struct PositionWindow {
  int position = 0;             // 0..5 as above
  std::vector<double> samples;  // deg/s
};

struct TumbleInput {
  std::vector<PositionWindow> windows;  // in the order taken: one pass or both
  double tau0 = 0.0;                    // s between samples
  std::optional<double> latitude;       // deg, north positive: the Earth's vertical rate
  // The Allan deviation at the averaging time (deg/s), as a noise run measured it; from the
  // windows themselves when not given.
  std::optional<double> adev;
};

struct TumblePosition {
  double mean = 0.0;  // deg/s, over the position's windows
  double se = 0.0;    // of that mean
  int windows = 0;
};

struct Tumble {
  Characterisation doc;
  TumblePosition positions[kTumblePositions];
  double sigma = 0.0;  // deg/s, one window mean's deviation: ADEV at the averaging time
};

// g_j = (m+ - m-) / 2 per axis (deg/s/g), each position's mean over its passes with the
// deviation sigma(T) / sqrt(windows); the interval's quantile is Student's t with as many
// degrees of freedom as windows when sigma(T) was measured on them. The reverse pass checks for
// drift: a position whose passes differ beyond their errors is warned of. With the sensitive axis
// up or down the Earth's vertical rate (kEarthRate sin(latitude)) is taken out when the latitude is
// given. The sums m+ + m- tell only differences between the axes' g^2 terms: given as a warning.
Tumble AnalyseTumble(const TumbleInput& input);

// The Earth's rate, deg/s.
inline constexpr double kEarthRate = 15.041067 / 3600.0;

}  // namespace velk::characterise
