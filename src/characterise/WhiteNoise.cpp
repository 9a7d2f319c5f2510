#include "characterise/WhiteNoise.h"

#include <algorithm>
#include <cmath>

#include "noise/Allan.h"
#include "noise/Edf.h"

namespace velk::characterise {

WhiteNoise PooledWhiteNoise(std::span<const std::vector<double>> windows, double tau0) {
  std::vector<double> samples;
  std::vector<size_t> starts;
  std::vector<int64_t> sizes;
  size_t shortest = 0;
  for (const auto& w : windows) {
    if (w.size() < 8) continue;  // too short for a point at T/4
    starts.push_back(samples.size());
    sizes.push_back(static_cast<int64_t>(w.size()));
    samples.insert(samples.end(), w.begin(), w.end());
    shortest = shortest == 0 ? w.size() : std::min(shortest, w.size());
  }
  if (samples.empty() || !(tau0 > 0.0)) return {};
  double mean = 0.0;
  for (double s : samples) mean += s;
  mean /= static_cast<double>(samples.size());

  const auto top = static_cast<int64_t>(shortest / 4);
  const int64_t bottom = std::max<int64_t>(1, static_cast<int64_t>(shortest / 64));
  std::vector<int64_t> factors;
  for (int64_t m = 1; m <= top; m *= 2)
    if (m >= bottom) factors.push_back(m);
  noise::RateToPhase(samples, starts, mean, tau0);
  const auto points =
      noise::AllanDeviation(samples, starts, tau0, factors, noise::Estimator::Overlapping);

  WhiteNoise white;
  double weighted = 0.0;
  for (const noise::AllanPoint& p : points) {
    const double edf = noise::SegmentsEdf(0, p.m, sizes);
    if (!(edf > 0.0)) continue;
    weighted += edf * p.variance * p.tau;
    white.edf += edf;
  }
  if (white.edf > 0.0) white.arw2 = weighted / white.edf;
  return white;
}

}  // namespace velk::characterise
