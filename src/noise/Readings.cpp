#include "noise/Readings.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "noise/Edf.h"

namespace velk::noise {

namespace {

constexpr double kFloorFactor = 0.664;  // sigma at the flat part per unit of B

bool Measured(const FitPoint& point) {
  return std::isfinite(point.tau) && point.tau > 0.0 && std::isfinite(point.variance) &&
         point.variance > 0.0;
}

}  // namespace

ClassicReadings Classic(const std::vector<FitPoint>& points) {
  std::vector<FitPoint> sorted;
  std::copy_if(points.begin(), points.end(), std::back_inserter(sorted), Measured);
  std::sort(sorted.begin(), sorted.end(),
            [](const FitPoint& x, const FitPoint& y) { return x.tau < y.tau; });
  ClassicReadings out;
  for (size_t i = 0; i < sorted.size(); ++i) {
    const FitPoint& a = sorted[i];
    if (a.tau == 1.0) {
      out.arwAt1s = std::sqrt(a.variance);
      break;
    }
    if (i + 1 < sorted.size() && a.tau < 1.0 && sorted[i + 1].tau > 1.0) {
      // sigma is a power of tau between neighbouring points: interpolate log sigma in log tau.
      const FitPoint& b = sorted[i + 1];
      const double f = -std::log(a.tau) / std::log(b.tau / a.tau);
      out.arwAt1s = std::exp(0.5 * ((1.0 - f) * std::log(a.variance) + f * std::log(b.variance)));
      break;
    }
  }
  for (const FitPoint& point : sorted) {
    if (!(point.edf[kN] >= 8.0)) continue;
    const double sigma = std::sqrt(point.variance);
    out.rrwLast = sigma * std::sqrt(3.0 / point.tau);
    if (!out.minimum || sigma < *out.minimum) {
      out.minimum = sigma;
      out.minimumTau = point.tau;
    }
  }
  if (!out.minimum) return out;
  out.biFromMinimum = *out.minimum / kFloorFactor;
  for (const FitPoint& point : sorted)
    if (point.tau == *out.minimumTau && point.edf[kB] > 0.0) {
      const Interval i = ChiSquareInterval(*out.minimum, point.edf[kB], kVerdictConfidence);
      out.biFromMinimumLo95 = i.lo / kFloorFactor;
      out.biFromMinimumHi95 = i.hi / kFloorFactor;
    }
  return out;
}

}  // namespace velk::noise
