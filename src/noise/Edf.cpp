#include "noise/Edf.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>

namespace velk::noise {

Interval ChiSquareInterval(double sigma, double edf, double p) {
  const boost::math::chi_squared chi2(edf);
  const double upper = boost::math::quantile(chi2, (1.0 + p) / 2.0);
  const double lower = boost::math::quantile(chi2, (1.0 - p) / 2.0);
  return {sigma * std::sqrt(edf / upper), sigma * std::sqrt(edf / lower)};
}

}  // namespace velk::noise
