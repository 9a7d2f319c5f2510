#include "noise/AdevCorrelation.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "noise/AdevCorrelationTable.h"

namespace velk::noise {

namespace {

// The tabulated types are +2, 0, -1 and -2; flicker phase (+1) behaves most like white phase
// and a rate ramp (-3 and below) like the random walk.
int NearestType(int alpha) {
  if (alpha >= 1) return 2;
  if (alpha <= -2) return -2;
  return alpha;
}

const CorrelationTable& TableFor(int alpha, bool overlapping) {
  const int type = NearestType(alpha);
  for (const CorrelationTable& t : kCorrelationTables) {
    if (t.alpha == type && t.overlapping == overlapping) return t;
  }
  return kCorrelationTables.front();  // every type is tabulated; not reached
}

// One row at d > 0 octaves apart: d = 0 is 1, between tabulated d linear, past the last the
// row's trend toward 0 (or its level, where it levels off).
double RowValue(const CorrelationTable& t, int row, double d) {
  const auto& rho = t.rho[static_cast<size_t>(row)];
  const int last = t.lastD[static_cast<size_t>(row)];
  if (d >= last) return rho[static_cast<size_t>(last - 1)] * std::pow(t.decay, d - last);
  const int below = static_cast<int>(std::floor(d));
  const double f = d - below;
  const double lo = below == 0 ? 1.0 : rho[static_cast<size_t>(below - 1)];
  return lo + f * (rho[static_cast<size_t>(below)] - lo);
}

}  // namespace

double OctaveCorrelation(int alpha, int64_t mSmall, int64_t mLarge, int64_t samples,
                         bool overlapping) {
  if (mSmall > mLarge) std::swap(mSmall, mLarge);
  if (mSmall == mLarge) return 1.0;
  if (mSmall < 1) return 0.0;  // no estimate at such a factor
  const CorrelationTable& t = TableFor(alpha, overlapping);
  const double d = std::log2(static_cast<double>(mLarge) / static_cast<double>(mSmall));
  // Below the first row the point has barely two terms, above the last the rows no longer
  // change: both clamp.
  const double L =
      std::log2(static_cast<double>(std::max<int64_t>(samples, 1)) / static_cast<double>(mLarge));
  const double pos = std::clamp(L - t.firstL, 0.0, static_cast<double>(t.rows - 1));
  const int row = static_cast<int>(std::floor(pos));
  const double f = pos - row;
  double rho = RowValue(t, row, d);
  if (f > 0.0) rho += f * (RowValue(t, row + 1, d) - rho);
  return std::clamp(rho, -1.0, 1.0);
}

}  // namespace velk::noise
