#include "characterise/SlowNoise.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace velk::characterise {

namespace {

constexpr std::array<double, 4> kMarkovTime = {10.0, 100.0, 1000.0, 10000.0};  // s
constexpr double kLeastRise = 1.35;

// Cholesky factor (lower) in place; false when not positive definite.
bool Cholesky(std::vector<std::vector<double>>& a) {
  const size_t n = a.size();
  for (size_t j = 0; j < n; ++j) {
    double d = a[j][j];
    for (size_t k = 0; k < j; ++k) d -= a[j][k] * a[j][k];
    if (!(d > 0.0)) return false;
    a[j][j] = std::sqrt(d);
    const double inv = 1.0 / a[j][j];
    for (size_t i = j + 1; i < n; ++i) {
      double s = a[i][j];
      for (size_t k = 0; k < j; ++k) s -= a[i][k] * a[j][k];
      a[i][j] = s * inv;
    }
  }
  return true;
}

double LogDet(std::vector<std::vector<double>> a) {
  if (!Cholesky(a)) return NAN;
  double sum = 0.0;
  for (size_t i = 0; i < a.size(); ++i) sum += 2.0 * std::log(a[i][i]);
  return sum;
}

}  // namespace

SlowNoiseFit::SlowNoiseFit(TimedData data) : d_(std::move(data)) {
  const size_t n = d_.y.size();
  if (n == 0 || d_.time.size() != n || d_.se.size() != n) return;
  const auto [first, last] = std::minmax_element(d_.time.begin(), d_.time.end());
  const double span = *last;
  (void)first;
  walk_.assign(n, std::vector<double>(n, 0.0));
  flicker_.assign(n, std::vector<double>(n, 0.0));
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j <= i; ++j) {
      walk_[i][j] = std::min(d_.time[i], d_.time[j]);
      const double apart = std::abs(d_.time[i] - d_.time[j]);
      for (double tau : kMarkovTime) flicker_[i][j] += std::exp(-apart / tau);
    }
  std::vector<double> variances;
  for (double se : d_.se) variances.push_back(se * se);
  std::nth_element(variances.begin(), variances.begin() + n / 2, variances.end());
  const double white = variances[n / 2];
  walkUnit_ = span > 0 ? white / span : 0.0;
  flickerUnit_ = white;
}

std::optional<Fit> SlowNoiseFit::At(const SlowNoise& slow, double* reml) const {
  const size_t n = d_.y.size();
  if (n == 0 || d_.x.size() != n || walk_.size() != n) return std::nullopt;
  std::vector<std::vector<double>> l(n, std::vector<double>(n, 0.0));
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j <= i; ++j)
      l[i][j] = slow.walk * walk_[i][j] + slow.flicker * flicker_[i][j] +
                (i == j ? d_.se[i] * d_.se[i] : 0.0);
  if (!Cholesky(l)) return std::nullopt;
  // Whitened: L^-1 X and L^-1 y, by forward substitution.
  const size_t p = d_.x[0].size();
  Design x(n, std::vector<double>(p));
  std::vector<double> y(n);
  for (size_t i = 0; i < n; ++i) {
    const double inv = 1.0 / l[i][i];
    for (size_t c = 0; c < p; ++c) {
      double s = d_.x[i][c];
      for (size_t k = 0; k < i; ++k) s -= l[i][k] * x[k][c];
      x[i][c] = s * inv;
    }
    double s = d_.y[i];
    for (size_t k = 0; k < i; ++k) s -= l[i][k] * y[k];
    y[i] = s * inv;
  }
  std::optional<Fit> fit = LeastSquares(x, y, std::vector<double>(n, 1.0));
  if (fit && reml) {
    double logV = 0.0;
    for (size_t i = 0; i < n; ++i) logV += 2.0 * std::log(l[i][i]);
    // log |X' V^-1 X| = -log |cov|.
    *reml = -0.5 * (logV - LogDet(fit->cov) + fit->chi2);
  }
  return fit;
}

SlowNoise SlowNoiseFit::Choose() const {
  if (d_.y.size() < 3 || !(walkUnit_ > 0.0)) return {};
  // Exponents of ten on each unit; -inf is none.
  auto at = [&](double w, double f) {
    return SlowNoise{std::isfinite(w) ? walkUnit_ * std::pow(10.0, w) : 0.0,
                     std::isfinite(f) ? flickerUnit_ * std::pow(10.0, f) : 0.0};
  };
  auto score = [&](double w, double f) {
    double value = -HUGE_VAL;
    if (!At(at(w, f), &value) || !std::isfinite(value)) return -HUGE_VAL;
    return value;
  };
  const double none = score(-HUGE_VAL, -HUGE_VAL);
  const std::array<double, 7> grid = {-HUGE_VAL, -2.0, -1.0, 0.0, 1.0, 2.0, 3.0};
  double bw = grid[0], bf = grid[0], best = none;
  for (double w : grid)
    for (double f : grid)
      if (const double s = score(w, f); s > best) best = s, bw = w, bf = f;
  // Each exponent refined by golden section within a decade either side, the other held.
  auto refine = [&](double& v, auto value) {
    if (!std::isfinite(v)) return;
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    double a = v - 1.0, b = v + 1.0;
    double c = b - g * (b - a), e = a + g * (b - a);
    double sc = value(c), se = value(e);
    for (int i = 0; i < 8; ++i) {
      if (sc > se) {
        b = e, e = c, se = sc;
        c = b - g * (b - a), sc = value(c);
      } else {
        a = c, c = e, sc = se;
        e = a + g * (b - a), se = value(e);
      }
    }
    if (std::max(sc, se) > best) best = std::max(sc, se), v = sc > se ? c : e;
  };
  refine(bw, [&](double w) { return score(w, bf); });
  refine(bf, [&](double f) { return score(bw, f); });
  if (!(best > none + kLeastRise)) return {};
  return at(bw, bf);
}

}  // namespace velk::characterise
