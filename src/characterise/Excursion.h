#pragma once

#include <cstdint>
#include <utility>

namespace velk::characterise {

// The most |b1 dT + b2 dT^2| over the temperatures [from, to] (dT from 25 degC): how far the
// bias strays from its value at 25 degC over the range.
double Excursion(double b1, double b2, double from, double to);

// Its 95 % interval from `draws` draws of (b1, b2) after their covariance (v11, v12, v22): a
// normal pair made from a portable engine by Box-Muller, so a seed gives the same figures on
// any platform.
std::pair<double, double> ExcursionInterval(double b1, double b2, double v11, double v12,
                                            double v22, double from, double to, uint64_t seed,
                                            int draws);

}  // namespace velk::characterise
