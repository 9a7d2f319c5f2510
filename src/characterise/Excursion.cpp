#include "characterise/Excursion.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace velk::characterise {

double Excursion(double b1, double b2, double from, double to) {
  auto g = [&](double dt) { return std::abs(b1 * dt + b2 * dt * dt); };
  double most = std::max(g(from - 25.0), g(to - 25.0));
  if (b2 != 0.0) {
    const double vertex = -b1 / (2.0 * b2);
    if (vertex > from - 25.0 && vertex < to - 25.0) most = std::max(most, g(vertex));
  }
  return most;
}

std::pair<double, double> ExcursionInterval(double b1, double b2, double v11, double v12,
                                            double v22, double from, double to, uint64_t seed,
                                            int draws) {
  std::mt19937_64 engine(seed);
  auto uniform = [&] { return (static_cast<double>(engine() >> 11) + 0.5) * 0x1.0p-53; };
  const double l11 = std::sqrt(std::max(0.0, v11));
  const double l21 = l11 > 0 ? v12 / l11 : 0.0;
  const double l22 = std::sqrt(std::max(0.0, v22 - l21 * l21));
  std::vector<double> drawn;
  const int count = std::max(40, draws);
  drawn.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const double r = std::sqrt(-2.0 * std::log(uniform()));
    const double a = 2.0 * std::numbers::pi * uniform();
    const double z1 = r * std::cos(a), z2 = r * std::sin(a);
    drawn.push_back(Excursion(b1 + l11 * z1, b2 + l21 * z1 + l22 * z2, from, to));
  }
  std::sort(drawn.begin(), drawn.end());
  const auto at = [&](double q) {
    return drawn[std::min(drawn.size() - 1, static_cast<size_t>(q * drawn.size()))];
  };
  return {at(0.025), at(0.975)};
}

}  // namespace velk::characterise
