#pragma once

#include <cstdint>
#include <span>

namespace velk::noise {

// p of the one-sigma interval, erf(1/sqrt 2), shown as 68.3 %.
inline constexpr double kOneSigma = 0.682689492137086;

// Greenhall and Riley's (2003) equivalent degrees of freedom of the Allan variance at factor m
// from `phasePoints` = samples + 1 phase points, for power-law noise alpha (+2, +1, 0, -1, -2:
// the exponent of the rate's spectrum). Overlapping or not; J_max = 100. 0 when m does not fit.
double GreenhallEdf(int alpha, int64_t m, int64_t phasePoints, bool overlapping = true);

// The sum of the segments' EDFs; `segmentSamples` holds each segment's sample count.
double SegmentsEdf(int alpha, int64_t m, std::span<const int64_t> segmentSamples,
                   bool overlapping = true);

struct Interval {
  double lo = 0.0;
  double hi = 0.0;
};

// [s sqrt(nu / chi2((1+p)/2)), s sqrt(nu / chi2((1-p)/2))], chi2 the quantile of nu degrees of
// freedom. nu must be > 0.
Interval ChiSquareInterval(double sigma, double edf, double p);

}  // namespace velk::noise
