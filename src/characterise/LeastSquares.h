#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace velk::characterise {

// A design matrix row by row: rows[i][j] is regressor j at observation i.
using Design = std::vector<std::vector<double>>;

struct Fit {
  std::vector<double> coef;
  // (X' W X)^-1, not scaled: the covariance when the weights are the inverse variances.
  std::vector<std::vector<double>> cov;
  double chi2 = 0.0;  // sum of w r^2
  int dof = 0;        // observations less parameters
  double ReducedChi2() const { return dof > 0 ? chi2 / dof : 0.0; }
  double Se(size_t j) const;
  // The covariance times max(1, reduced chi-square): scatter the weights do not explain widens
  // the intervals, less scatter never narrows them.
  std::vector<std::vector<double>> ScaledCov() const;
};

// Weighted least squares by Householder QR of sqrt(W) X, which keeps the conditioning of X
// rather than squaring it as the normal equations do. Nothing when there are fewer
// observations than parameters, a weight is not positive, or the columns are dependent.
std::optional<Fit> LeastSquares(const Design& x, const std::vector<double>& y,
                                const std::vector<double>& w);

// p of the F-test for `extra` parameters a reduced fit leaves out: how often chance alone
// would lower the chi-square from `reducedChi2` to `fullChi2` (dof of the full fit).
double FTestP(double reducedChi2, double fullChi2, int extra, int fullDof);

// Two-sided quantiles at level p (0.95 gives the 97.5 % point).
double StudentT(double p, double dof);
// The chi-square quantile at probability q (not two-sided).
double ChiSquareQuantile(double q, double dof);

}  // namespace velk::characterise
