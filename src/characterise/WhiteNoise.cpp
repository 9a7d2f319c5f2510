#include "characterise/WhiteNoise.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "characterise/LeastSquares.h"
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
  std::vector<double> taus, variances, weights;
  for (const noise::AllanPoint& p : points) {
    const double edf = noise::SegmentsEdf(0, p.m, sizes);
    if (!(edf > 0.0) || !(p.variance > 0.0)) continue;
    weighted += edf * p.variance * p.tau;
    white.edf += edf;
    taus.push_back(p.tau);
    variances.push_back(p.variance);
    weights.push_back(edf / (2.0 * p.variance * p.variance));
  }
  if (white.edf > 0.0) white.arw2 = weighted / white.edf;
  white.white = white.arw2;
  // The terms fitted, a negative one left out and the rest fitted again.
  for (std::array<bool, 3> use = {true, true, true};;) {
    Design x;
    for (double tau : taus) {
      std::vector<double> row;
      if (use[0]) row.push_back(1.0 / tau);
      if (use[1]) row.push_back(1.0);
      if (use[2]) row.push_back(tau / 3.0);
      x.push_back(row);
    }
    const std::optional<Fit> fit = LeastSquares(x, variances, weights);
    if (!fit) break;
    double* terms[3] = {&white.white, &white.floor, &white.walk};
    bool negative = false;
    for (size_t k = 0, j = 0; k < 3; ++k) {
      if (!use[k]) continue;
      if (fit->coef[j] < 0.0) use[k] = false, negative = true;
      *terms[k] = std::max(0.0, fit->coef[j++]);
    }
    if (!negative) break;
    white.white = white.arw2, white.floor = 0.0, white.walk = 0.0;
  }
  return white;
}

double WhiteNoise::AllanVariance(double tau) const {
  return tau > 0 ? white / tau + floor + walk * tau / 3.0 : 0.0;
}

}  // namespace velk::characterise
