#include "characterise/LeastSquares.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velk::characterise {
namespace {

TEST(LeastSquares, WeightedLineMatchesTheClosedForm) {
  // y = 2 + 3 x with residuals of known size; the weighted line's closed form gives the
  // coefficients and (X' W X)^-1 to compare.
  const std::vector<double> x = {-2, -1, 0, 1, 2, 4};
  const std::vector<double> noise = {1.0, -2.0, 0.5, 1.5, -1.0, 0.2};
  const std::vector<double> w = {1, 4, 2, 1, 0.5, 3};
  Design design;
  std::vector<double> y;
  for (size_t i = 0; i < x.size(); ++i) {
    design.push_back({1.0, x[i]});
    y.push_back(2.0 + 3.0 * x[i] + noise[i]);
  }
  double sw = 0, swx = 0, swxx = 0, swy = 0, swxy = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    sw += w[i], swx += w[i] * x[i], swxx += w[i] * x[i] * x[i];
    swy += w[i] * y[i], swxy += w[i] * x[i] * y[i];
  }
  const double det = sw * swxx - swx * swx;
  const double slope = (sw * swxy - swx * swy) / det;
  const double icept = (swxx * swy - swx * swxy) / det;
  double chi2 = 0;
  for (size_t i = 0; i < x.size(); ++i) chi2 += w[i] * std::pow(y[i] - icept - slope * x[i], 2);

  const auto fit = LeastSquares(design, y, w);
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->coef[0], icept, 1e-12);
  EXPECT_NEAR(fit->coef[1], slope, 1e-12);
  EXPECT_NEAR(fit->cov[0][0], swxx / det, 1e-12);
  EXPECT_NEAR(fit->cov[1][1], sw / det, 1e-12);
  EXPECT_NEAR(fit->cov[0][1], -swx / det, 1e-12);
  EXPECT_NEAR(fit->cov[1][0], -swx / det, 1e-12);
  EXPECT_NEAR(fit->chi2, chi2, 1e-12);
  EXPECT_EQ(fit->dof, 4);
  // Scatter beyond the weights widens the covariance; less never narrows it.
  ASSERT_GT(chi2 / 4, 1.0);
  const double scale = chi2 / 4;
  EXPECT_NEAR(fit->Se(1), std::sqrt(sw / det * scale), 1e-12);
}

TEST(LeastSquares, RefusesWhatCannotBeFitted) {
  const Design line = {{1, 0}, {1, 1}, {1, 2}};
  const std::vector<double> y = {1, 2, 3}, ones = {1, 1, 1};
  EXPECT_TRUE(LeastSquares(line, y, ones));
  EXPECT_FALSE(LeastSquares({{1, 2}, {1, 2}, {1, 2}}, y, ones));       // dependent columns
  EXPECT_FALSE(LeastSquares(line, y, {1, 0, 1}));                      // a zero weight
  EXPECT_FALSE(LeastSquares({{1, 0, 0}, {1, 1, 1}}, {1, 2}, {1, 1}));  // more terms than rows
}

TEST(LeastSquares, QuantilesAndFTest) {
  // Tabled values: t(0.975, 10) = 2.228, chi2(0.025, 11) = 3.816, F(0.99; 1, 20) = 8.096.
  EXPECT_NEAR(StudentT(0.95, 10), 2.2281, 1e-4);
  EXPECT_NEAR(StudentT(0.95, 0), 1.95996, 1e-5);  // no dof: the normal's
  EXPECT_NEAR(ChiSquareQuantile(0.025, 11), 3.8157, 1e-4);
  // A drop of chi-square 8.096 per dof 1 against 20 / 20 is the 1 % point.
  EXPECT_NEAR(FTestP(20.0 + 8.096, 20.0, 1, 20), 0.01, 2e-4);
  EXPECT_EQ(FTestP(20.0, 20.0, 1, 20), 1.0);
  EXPECT_EQ(FTestP(5.0, 0.0, 1, 20), 0.0);  // an exact fit the extra term makes
}

}  // namespace
}  // namespace velk::characterise
