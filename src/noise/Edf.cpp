#include "noise/Edf.h"

#include <algorithm>
#include <array>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/quadrature/gauss.hpp>
#include <cmath>

namespace velk::noise {

namespace {

// Greenhall and Riley's algorithm for the Allan variance: second differences (d = 2),
// phase averaged over one sample (F = m).
constexpr int64_t kD = 2;
constexpr int64_t kJmax = 100;
// Coefficients of the second difference of second differences at lags -2..2.
constexpr std::array<double, 3> kC = {6.0, -4.0, 1.0};

// The large-r approximation 1/edf = (1/r)(a0 - a1/r) for d = 2, alpha = 0, -1, -2. The paper
// prints three digits; the exact integrals are (2/3, 1/3), (0.85220, 0.37473) and
// (151/140, 103/280), but values computed elsewhere use the printed ones.
struct Pair {
  double a0, a1;
};
constexpr std::array<Pair, 3> kLargeR = {{{2.0 / 3.0, 1.0 / 3.0}, {0.852, 0.375}, {1.079, 0.368}}};
// alpha = +1: (1/r)(a0 - a1/r) / (b0 + b1 ln m)^2; the denominator is sz(0) for large m.
constexpr Pair kFlickerPhase = {790.0, 410.0};
constexpr Pair kFlickerPhaseZero = {15.23, 12.0};
// alpha = +2: (1/M)(a0 - a1/r), exact for r > d + 1.
constexpr Pair kWhitePhase = {35.0 / 18.0, 1.0};

// Phase autocovariance of power-law noise alpha, up to a constant (0 ln 0 = 0).
double Sw(double t, int alpha) {
  const double a = std::abs(t);
  const double ln = a > 0.0 ? std::log(a) : 0.0;
  switch (alpha) {
    case 2:
      return -a;
    case 1:
      return t * t * ln;
    case 0:
      return a * a * a;
    case -1:
      return -t * t * t * t * ln;
    default:
      return -a * a * a * a * a;  // -2
  }
}

// (1+u)^p ln(1+u) + (1-u)^p ln(1-u) over u^2, p = 2 or 4. Its terms are of order u while the
// sum is of order u^2, so small u takes the series.
double LogMoment(int p, double u) {
  const double u2 = u * u;
  if (u < 1e-3)
    return p == 2 ? 3.0 - u2 / 6.0 - u2 * u2 / 30.0 : 7.0 + 25.0 / 6.0 * u2 - u2 * u2 / 15.0;
  const double lower = u < 1.0 ? std::pow(1.0 - u, p) * std::log1p(-u) : 0.0;
  return (std::pow(1.0 + u, p) * std::log1p(u) + lower) / u2;
}

// F^2 [2 sw(t) - sw(t - 1/F) - sw(t + 1/F)], the phase averaged over 1/F; F = 0 stands for
// no averaging. The difference is written out for |t| >= 1/F: taken as it stands it loses
// about F^2 eps, all of it for factors in the millions.
double Sx(double t, double f, int alpha) {
  if (f == 0.0) return Sw(t, alpha + 2);
  const double h = 1.0 / f;
  const double a = std::abs(t);
  if (a < h) return f * f * (2.0 * Sw(t, alpha) - Sw(t - h, alpha) - Sw(t + h, alpha));
  const double u = h / a;
  switch (alpha) {
    case 2:
      return 0.0;
    case 1:
      return -(2.0 * std::log(a) + LogMoment(2, u));
    case 0:
      return -6.0 * a;
    case -1:
      return a * a * ((12.0 + 2.0 * u * u) * std::log(a) + LogMoment(4, u));
    default:
      return 20.0 * a * a * a + 10.0 * a * h * h;  // -2
  }
}

double Sz(double t, double f, int alpha) {
  return kC[0] * Sx(t, f, alpha) + kC[1] * (Sx(t - 1.0, f, alpha) + Sx(t + 1.0, f, alpha)) +
         kC[2] * (Sx(t - 2.0, f, alpha) + Sx(t + 2.0, f, alpha));
}

// 1/edf from the lags j = 0..J of M second differences spaced 1/S apart.
double BasicSum(int64_t J, int64_t M, double S, double f, int alpha) {
  const double m = static_cast<double>(M);
  const double z0 = Sz(0.0, f, alpha);
  const double zJ = Sz(static_cast<double>(J) / S, f, alpha);
  double sum = z0 * z0 + (1.0 - static_cast<double>(J) / m) * zJ * zJ;
  for (int64_t j = 1; j < J; ++j) {
    const double z = Sz(static_cast<double>(j) / S, f, alpha);
    sum += 2.0 * (1.0 - static_cast<double>(j) / m) * z * z;
  }
  return sum / (m * z0 * z0);
}

// alpha = +1 with r <= d + 1: 2 int_0^r sz(t)^2 (1 - t/r) dt for large m, where sz is the
// fourth difference of -2 ln|t|. Each piece has log singularities at its ends; the quintic
// substitution makes them smooth enough for a fixed Gauss rule.
double FlickerPhaseIntegral(double r) {
  const auto sz2 = [](double t) {
    double z = 0.0;
    for (int k = -2; k <= 2; ++k) {
      const double at = std::max(std::abs(t + k), 1e-300);
      z += -2.0 * kC[static_cast<size_t>(std::abs(k))] * std::log(at);
    }
    return z * z;
  };
  double total = 0.0;
  for (int piece = 0; piece < kD + 1 && piece < r; ++piece) {
    const double a = piece;
    const double width = std::min(r, a + 1.0) - a;
    total += boost::math::quadrature::gauss<double, 30>::integrate(
        [&](double u) {
          const double t = a + width * u * u * u * (10.0 - 15.0 * u + 6.0 * u * u);
          const double dt = width * 30.0 * u * u * (1.0 - u) * (1.0 - u);
          return 2.0 * sz2(t) * (1.0 - t / r) * dt;
        },
        0.0, 1.0);
  }
  return total;
}

}  // namespace

double GreenhallEdf(int alpha, int64_t m, int64_t phasePoints, bool overlapping) {
  if (alpha < -2 || alpha > 2 || m < 1 || m > (phasePoints - 1) / kD) return 0.0;
  const int64_t L = 1 + m * kD;  // m/F + m d
  const int64_t S = overlapping ? m : 1;
  const int64_t M = 1 + (overlapping ? phasePoints - L : (phasePoints - L) / m);
  const int64_t J = std::min(M, (kD + 1) * S);
  const double r = static_cast<double>(M) / static_cast<double>(S);
  const double f = static_cast<double>(m);

  double inverse = 0.0;
  if (J <= kJmax) {
    inverse = BasicSum(J, M, static_cast<double>(S), f, alpha);
  } else if (alpha <= 0) {
    if (r > kD + 1) {
      const Pair p = kLargeR[static_cast<size_t>(-alpha)];
      inverse = (p.a0 - p.a1 / r) / r;
    } else {
      // Fewer lags at the same r: sz is scale-free without the averaging.
      inverse = BasicSum(kJmax, kJmax, kJmax / r, 0.0, alpha);
    }
  } else if (alpha == 1) {
    const double zero = kFlickerPhaseZero.a0 + kFlickerPhaseZero.a1 * std::log(f);
    const double shape =
        r > kD + 1 ? kFlickerPhase.a0 - kFlickerPhase.a1 / r : FlickerPhaseIntegral(r);
    inverse = shape / (r * zero * zero);
  } else {
    // White phase: sz vanishes between multiples of m, so the sum has d + 1 terms.
    if (r > kD + 1) {
      inverse = (kWhitePhase.a0 - kWhitePhase.a1 / r) / static_cast<double>(M);
    } else {
      double sum = 1.0;
      for (int k = 1; k <= kD && k < r; ++k) {
        const double c = kC[static_cast<size_t>(k)] / kC[0];
        sum += 2.0 * (1.0 - k / r) * c * c;
      }
      inverse = sum / static_cast<double>(M);
    }
  }
  return inverse > 0.0 && std::isfinite(inverse) ? 1.0 / inverse : 0.0;
}

double SegmentsEdf(int alpha, int64_t m, std::span<const int64_t> segmentSamples,
                   bool overlapping) {
  double total = 0.0;
  for (const int64_t n : segmentSamples) total += GreenhallEdf(alpha, m, n + 1, overlapping);
  return total;
}

// Boost's quantile gives up beyond about 5e10 degrees of freedom; there the Wilson-Hilferty
// form is exact to far below anything a bench could see.
Interval ChiSquareInterval(double sigma, double edf, double p) {
  if (!(edf > 0) || !std::isfinite(edf)) return {sigma, sigma};
  if (edf > 1e10) {
    const double z = boost::math::quantile(boost::math::normal(), (1.0 + p) / 2.0);
    const double a = 2.0 / (9.0 * edf);
    const auto ratio = [&](double zq) { return 1.0 / std::pow(1.0 - a + zq * std::sqrt(a), 1.5); };
    return {sigma * ratio(z), sigma * ratio(-z)};
  }
  const boost::math::chi_squared chi2(edf);
  const double upper = boost::math::quantile(chi2, (1.0 + p) / 2.0);
  const double lower = boost::math::quantile(chi2, (1.0 - p) / 2.0);
  return {sigma * std::sqrt(edf / upper), sigma * std::sqrt(edf / lower)};
}

}  // namespace velk::noise
