#include "characterise/LeastSquares.h"

#include <algorithm>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>

namespace velk::characterise {

double Fit::Se(size_t j) const {
  const auto scaled = ScaledCov();
  return std::sqrt(scaled[j][j]);
}

std::vector<std::vector<double>> Fit::ScaledCov() const {
  const double scale = std::max(1.0, ReducedChi2());
  auto scaled = cov;
  for (auto& row : scaled)
    for (double& v : row) v *= scale;
  return scaled;
}

std::optional<Fit> LeastSquares(const Design& x, const std::vector<double>& y,
                                const std::vector<double>& w) {
  const size_t n = x.size();
  if (n == 0 || y.size() != n || w.size() != n) return std::nullopt;
  const size_t p = x[0].size();
  if (p == 0 || n < p) return std::nullopt;

  // a = sqrt(W) [X | y], reduced in place to R and Q'y.
  std::vector<std::vector<double>> a(n, std::vector<double>(p + 1));
  double scale = 0.0;
  for (size_t i = 0; i < n; ++i) {
    if (!(w[i] > 0.0) || !std::isfinite(w[i]) || x[i].size() != p) return std::nullopt;
    const double r = std::sqrt(w[i]);
    for (size_t j = 0; j < p; ++j) {
      a[i][j] = r * x[i][j];
      scale = std::max(scale, std::abs(a[i][j]));
    }
    a[i][p] = r * y[i];
  }
  for (size_t k = 0; k < p; ++k) {
    double norm = 0.0;
    for (size_t i = k; i < n; ++i) norm += a[i][k] * a[i][k];
    norm = std::sqrt(norm);
    if (!(norm > 1e-12 * scale)) return std::nullopt;  // a column the others already span
    const double alpha = a[k][k] > 0 ? -norm : norm;
    // v = a_k - alpha e_k; H = I - 2 v v' / v'v
    a[k][k] -= alpha;
    double vv = 0.0;
    for (size_t i = k; i < n; ++i) vv += a[i][k] * a[i][k];
    for (size_t j = k + 1; j <= p; ++j) {
      double dot = 0.0;
      for (size_t i = k; i < n; ++i) dot += a[i][k] * a[i][j];
      const double f = 2.0 * dot / vv;
      for (size_t i = k; i < n; ++i) a[i][j] -= f * a[i][k];
    }
    a[k][k] = alpha;
  }

  Fit fit;
  fit.coef.assign(p, 0.0);
  for (size_t k = p; k-- > 0;) {
    double s = a[k][p];
    for (size_t j = k + 1; j < p; ++j) s -= a[k][j] * fit.coef[j];
    fit.coef[k] = s / a[k][k];
  }
  // R^-1 (upper triangular), then cov = R^-1 R^-T.
  std::vector<std::vector<double>> ri(p, std::vector<double>(p, 0.0));
  for (size_t k = p; k-- > 0;) {
    ri[k][k] = 1.0 / a[k][k];
    for (size_t j = k + 1; j < p; ++j) {
      double s = 0.0;
      for (size_t m = k + 1; m <= j; ++m) s += a[k][m] * ri[m][j];
      ri[k][j] = -s / a[k][k];
    }
  }
  fit.cov.assign(p, std::vector<double>(p, 0.0));
  for (size_t i = 0; i < p; ++i)
    for (size_t j = 0; j < p; ++j)
      for (size_t m = std::max(i, j); m < p; ++m) fit.cov[i][j] += ri[i][m] * ri[j][m];

  for (size_t i = 0; i < n; ++i) {
    double r = y[i];
    for (size_t j = 0; j < p; ++j) r -= x[i][j] * fit.coef[j];
    fit.chi2 += w[i] * r * r;
  }
  fit.dof = static_cast<int>(n - p);
  return fit;
}

double FTestP(double reducedChi2, double fullChi2, int extra, int fullDof) {
  if (extra <= 0 || fullDof <= 0) return 1.0;
  if (!(fullChi2 > 0.0)) return reducedChi2 > 0.0 ? 0.0 : 1.0;
  const double f = std::max(0.0, (reducedChi2 - fullChi2) / extra) / (fullChi2 / fullDof);
  return boost::math::cdf(boost::math::complement(boost::math::fisher_f(extra, fullDof), f));
}

double StudentT(double p, double dof) {
  const double q = (1.0 + p) / 2.0;
  if (!(dof > 0.0) || !std::isfinite(dof) || dof > 1e6)
    return boost::math::quantile(boost::math::normal(), q);
  return boost::math::quantile(boost::math::students_t(dof), q);
}

double ChiSquareQuantile(double q, double dof) {
  return boost::math::quantile(boost::math::chi_squared(dof), q);
}

}  // namespace velk::characterise
