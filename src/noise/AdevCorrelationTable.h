#pragma once

#include <array>

namespace velk::noise {

inline constexpr int kCorrelationRows = 8;
inline constexpr int kCorrelationMaxD = 15;

// One noise type and estimator of the table scripts/adev_correlation writes. Row r holds
// L = firstL + r, the last row every L from there on; its values are d = 1..lastD[r].
struct CorrelationTable {
  int alpha = 0;
  bool overlapping = true;
  int firstL = 1;
  int rows = 0;
  double decay = 0.0;  // the factor per octave of d beyond a row's last value
  std::array<int, kCorrelationRows> lastD{};
  std::array<std::array<double, kCorrelationMaxD>, kCorrelationRows> rho{};
};

extern const std::array<CorrelationTable, 8> kCorrelationTables;

}  // namespace velk::noise
