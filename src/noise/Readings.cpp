#include <algorithm>
#include <cmath>
#include <iterator>

#include "noise/Fit.h"

namespace velk::noise {

namespace {

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
  if (out.minimum) out.biFromMinimum = *out.minimum / 0.664;
  return out;
}

Verdict Judge(double limit, std::optional<double> lo, std::optional<double> hi,
              std::optional<double> upperLimit) {
  const std::optional<double> upper = hi ? hi : upperLimit;
  if (!std::isfinite(limit) || (!upper && !lo)) return Verdict::None;
  if (upper && *upper <= limit) return Verdict::Pass;
  if (lo && *lo > limit) return Verdict::Fail;
  return Verdict::Inconclusive;
}

Verdict Overall(const std::vector<Verdict>& verdicts) {
  auto any = [&](Verdict v) {
    return std::find(verdicts.begin(), verdicts.end(), v) != verdicts.end();
  };
  if (any(Verdict::Fail)) return Verdict::Fail;
  if (any(Verdict::Inconclusive)) return Verdict::Inconclusive;
  return any(Verdict::Pass) ? Verdict::Pass : Verdict::None;
}

}  // namespace velk::noise
