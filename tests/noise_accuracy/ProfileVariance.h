#pragma once

#include <cmath>
#include <cstdint>

#include "sim/SimNoiseProfile.h"

namespace velk::noise {

// The exact Allan variance, (deg/s)^2, of a SimNoiseProfile's rate samples taken every dt
// seconds and averaged m at a time: its white noise (plus `extraWhite`, the rms of any other
// white noise per sample, such as the LSB's lsb / sqrt(12)), its six Gauss-Markov processes and
// its random walk, each as the sampled sequence it is: at 10 Hz the 0.1 s process is one step
// deep, and the continuous process's formula gives only half of its variance at tau0.
inline double ProfileVariance(const NoiseTerms& terms, double dt, int64_t m,
                              double extraWhite = 0.0) {
  // The simulator's correlation times and shares of B (SimNoiseProfile.cpp).
  static constexpr double kTime[] = {0.1, 1, 10, 100, 1000, 10000};
  static constexpr double kShare[] = {0.9419, 0.8430, 0.8594, 0.8560, 0.8519, 0.9178};
  const long double n = static_cast<long double>(m);
  const long double white = terms.arw / 60.0 / std::sqrt(dt);
  long double v = (white * white + extraWhite * extraWhite) / n;
  // A random walk of step q: q (2 m^2 + 1) / (6 m).
  const long double step2 = std::pow(terms.rrw / 216000.0, 2) * dt;
  v += step2 * (2 * n * n + 1) / (6 * n);
  // AR(1) of variance s^2 and factor phi: (Var(S_m) - Cov(S_m, next S_m)) / m^2, in long
  // double as the slow processes' u = 1 - phi is tiny.
  for (int i = 0; i < 6; ++i) {
    const long double s = kShare[i] * terms.bi / 3600.0;
    const long double u = -std::expm1(-static_cast<long double>(dt) / kTime[i]);
    const long double p = -std::expm1(-n * dt / kTime[i]);  // 1 - phi^m
    const long double phi = 1 - u;
    v += s * s * (n * u * (1 + phi) - 2 * phi * p - phi * p * p) / (u * u * n * n);
  }
  return static_cast<double>(v);
}

}  // namespace velk::noise
