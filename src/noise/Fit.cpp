#include "noise/Fit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "noise/Edf.h"

namespace velk::noise {

double TermShape(Term term, double tau) {
  switch (term) {
    case kQ:
      return 3.0 / (tau * tau);
    case kN:
      return 1.0 / tau;
    case kB:
      return 2.0 * std::numbers::ln2 / std::numbers::pi;
    case kK:
      return tau / 3.0;
    case kR:
      return tau * tau / 2.0;
  }
  return 0.0;
}

namespace {

using Squares = std::array<double, kTermCount>;  // the coefficients squared: the linear unknowns

double Model(const Squares& c, double tau) {
  double sum = 0.0;
  for (int j = 0; j < kTermCount; ++j) sum += c[j] * TermShape(Term(j), tau);
  return sum;
}

// White noise where the model is empty, so a point always has a noise type.
Term Dominant(const Squares& c, double tau) {
  Term best = kN;
  double largest = 0.0;
  for (int j = 0; j < kTermCount; ++j) {
    const double part = c[j] * TermShape(Term(j), tau);
    if (part > largest) {
      largest = part;
      best = Term(j);
    }
  }
  return best;
}

// A point without an EDF for the type falls back to white noise's, which the fit requires >= 8.
double Nu(const FitPoint& point, Term type) {
  const double nu = point.edf[type];
  return std::isfinite(nu) && nu > 0.0 ? nu : point.edf[kN];
}

struct Weighted {
  std::vector<double> nu, model;
};

// Each point's nu and model variance for the weights nu / (2 M^2); the measured variance stands
// in where the model gives nothing.
Weighted WeightsFor(const std::vector<FitPoint>& points, const Squares* c) {
  Weighted out;
  for (const FitPoint& point : points) {
    const double model = c ? Model(*c, point.tau) : 0.0;
    out.nu.push_back(Nu(point, c ? Dominant(*c, point.tau) : kN));
    out.model.push_back(model > 0.0 ? model : point.variance);
  }
  return out;
}

// Weighted least squares on one subset of the terms by Householder QR in long double. Rows are
// scaled by sqrt(w) and columns to unit length, as the shapes span many decades. False when
// the columns are (nearly) dependent on these points.
bool SolveSubset(const std::vector<FitPoint>& points, const Weighted& weights,
                 const std::vector<int>& terms, Squares& c, long double& residual) {
  const size_t n = points.size(), k = terms.size();
  std::vector<std::vector<long double>> a(k, std::vector<long double>(n));
  std::vector<long double> b(n), scale(k);
  for (size_t i = 0; i < n; ++i) {
    const long double root =
        std::sqrt(static_cast<long double>(weights.nu[i]) / 2.0L) / weights.model[i];
    b[i] = root * points[i].variance;
    for (size_t j = 0; j < k; ++j) a[j][i] = root * TermShape(Term(terms[j]), points[i].tau);
  }
  for (size_t j = 0; j < k; ++j) {
    long double norm = 0.0L;
    for (long double v : a[j]) norm += v * v;
    scale[j] = std::sqrt(norm);
    if (!(scale[j] > 0.0L)) return false;
    for (long double& v : a[j]) v /= scale[j];
  }
  auto r = a;  // columns reduced in place to R above the diagonal
  auto qtb = b;
  for (size_t j = 0; j < k; ++j) {
    long double norm = 0.0L;
    for (size_t i = j; i < n; ++i) norm += r[j][i] * r[j][i];
    norm = std::sqrt(norm);
    if (norm < 1e-12L) return false;
    const long double alpha = r[j][j] > 0.0L ? -norm : norm;
    std::vector<long double> v(r[j].begin() + j, r[j].end());
    v[0] -= alpha;
    long double vv = 0.0L;
    for (long double x : v) vv += x * x;
    auto reflect = [&](std::vector<long double>& col) {
      if (vv == 0.0L) return;
      long double dot = 0.0L;
      for (size_t i = j; i < n; ++i) dot += v[i - j] * col[i];
      const long double f = 2.0L * dot / vv;
      for (size_t i = j; i < n; ++i) col[i] -= f * v[i - j];
    };
    for (size_t l = j; l < k; ++l) reflect(r[l]);
    reflect(qtb);
  }
  std::vector<long double> x(k);
  for (size_t j = k; j-- > 0;) {
    long double s = qtb[j];
    for (size_t l = j + 1; l < k; ++l) s -= r[l][j] * x[l];
    x[j] = s / r[j][j];
  }
  residual = 0.0L;
  for (size_t i = 0; i < n; ++i) {
    long double e = b[i];
    for (size_t j = 0; j < k; ++j) e -= a[j][i] * x[j];
    residual += e * e;
  }
  c.fill(0.0);
  for (size_t j = 0; j < k; ++j) {
    x[j] /= scale[j];
    if (x[j] < 0.0L) return false;
    c[terms[j]] = static_cast<double>(x[j]);
  }
  return true;
}

// The exact non-negative solution: the best of the subsets whose free solution is non-negative.
// A larger subset has to lower the residual by more than rounding, so a term absent from exact
// data stays at 0 instead of taking up a rounding-sized value.
Squares SolveNonNegative(const std::vector<FitPoint>& points, const Weighted& weights,
                         const std::array<bool, kTermCount>& allowed) {
  std::vector<int> allowedTerms;
  for (int j = 0; j < kTermCount; ++j)
    if (allowed[j]) allowedTerms.push_back(j);
  std::vector<unsigned> masks;
  for (unsigned mask = 1; mask < (1u << allowedTerms.size()); ++mask) masks.push_back(mask);
  std::stable_sort(masks.begin(), masks.end(),
                   [](unsigned x, unsigned y) { return std::popcount(x) < std::popcount(y); });
  long double total = 0.0L;
  for (size_t i = 0; i < points.size(); ++i) {
    const long double y = points[i].variance / weights.model[i];
    total += weights.nu[i] / 2.0L * y * y;
  }
  const long double rounding = 1e-20L * total;
  Squares best{};
  long double bestResidual = total;  // all terms at 0
  for (unsigned mask : masks) {
    std::vector<int> terms;
    for (size_t t = 0; t < allowedTerms.size(); ++t)
      if (mask & (1u << t)) terms.push_back(allowedTerms[t]);
    if (terms.size() > points.size()) continue;
    Squares c;
    long double residual;
    if (SolveSubset(points, weights, terms, c, residual) && residual < bestResidual - rounding) {
      best = c;
      bestResidual = residual;
    }
  }
  return best;
}

struct Rounds {
  Squares c{};
  int rounds = 0;
  bool converged = false;
};

Rounds Reweighted(const std::vector<FitPoint>& points, const FitOptions& options) {
  Rounds out;
  if (points.empty()) return out;
  Weighted weights = WeightsFor(points, nullptr);
  for (int round = 1; round <= std::max(options.maxRounds, 1); ++round) {
    const Squares c = SolveNonNegative(points, weights, options.allowed);
    out.rounds = round;
    if (round > 1) {
      bool still = true;
      for (int j = 0; j < kTermCount; ++j)
        if (std::abs(c[j] - out.c[j]) > options.tolerance * std::max(c[j], out.c[j])) still = false;
      out.converged = still;
    }
    out.c = c;
    if (out.converged) break;
    weights = WeightsFor(points, &out.c);
  }
  return out;
}

double Share(const Squares& c, Term term, double tau) {
  const double model = Model(c, tau);
  return model > 0.0 ? c[term] * TermShape(term, tau) / model : 0.0;
}

bool Usable(const FitPoint& point, double tauMin) {
  return std::isfinite(point.tau) && point.tau > 0.0 && point.tau >= tauMin &&
         std::isfinite(point.variance) && point.variance > 0.0 && point.edf[kN] >= 8.0 &&
         std::isfinite(point.edf[kN]);
}

}  // namespace

FitResult FitTerms(const std::vector<FitPoint>& points, double tauMin, const FitOptions& options) {
  FitResult result;
  const double p = options.confidence > 0.0 && options.confidence < 1.0 ? options.confidence : 0.95;
  std::vector<FitPoint> fitted;
  for (const FitPoint& point : points) {
    result.inFit.push_back(Usable(point, tauMin));
    if (result.inFit.back()) fitted.push_back(point);
  }
  std::sort(fitted.begin(), fitted.end(),
            [](const FitPoint& x, const FitPoint& y) { return x.tau < y.tau; });
  result.fittedPoints = static_cast<int>(fitted.size());
  for (int j = 0; j < kTermCount; ++j) result.terms[j].allowed = options.allowed[j];

  const Rounds fit = Reweighted(fitted, options);
  result.rounds = fit.rounds;
  result.converged = fit.converged;
  const Squares& c = fit.c;
  for (const FitPoint& point : points) {
    const bool valid = std::isfinite(point.tau) && point.tau > 0.0;
    result.model.push_back(valid ? Model(c, point.tau) : 0.0);
    result.alpha.push_back(kTermAlpha[valid ? Dominant(c, point.tau) : kN]);
  }
  if (fitted.empty()) return result;

  const Weighted final = WeightsFor(fitted, &c);
  double chi2 = 0.0;
  int termsFitted = 0;
  for (size_t i = 0; i < fitted.size(); ++i) {
    const double d = fitted[i].variance - final.model[i];
    chi2 += final.nu[i] / (2.0 * final.model[i] * final.model[i]) * d * d;
  }
  for (int j = 0; j < kTermCount; ++j) termsFitted += c[j] > 0.0;
  const int dof = result.fittedPoints - termsFitted;
  result.reducedChiSquare = dof > 0 ? chi2 / dof : 0.0;

  // The same fit one octave later shows how much each term owes to where the fit starts.
  const Rounds later = Reweighted(std::vector<FitPoint>(fitted.begin() + 1, fitted.end()), options);

  for (int j = 0; j < kTermCount; ++j) {
    const Term term = Term(j);
    TermResult& t = result.terms[j];
    result.coefficient[j] = t.value = std::sqrt(c[j]);
    if (!t.allowed) continue;
    for (size_t i = 0; i < fitted.size(); ++i) {
      const double share = Share(c, term, fitted[i].tau);
      t.edf = std::max(t.edf, share * share * final.nu[i]);
      t.dominantPoints += share >= 0.5;
    }
    t.resolved = t.dominantPoints >= 2;
    if (t.value > 0.0 && t.edf >= 1.0) {
      const Interval interval = ChiSquareInterval(t.value, t.edf, p);
      const double change = fitted.size() > 1 ? std::abs(std::sqrt(later.c[j]) - t.value) : 0.0;
      t.lo = std::max(0.0, interval.lo - change);
      t.hi = interval.hi + change;
      continue;
    }
    // The largest value each point's own upper end leaves room for, on top of the fitted model.
    // A point already below the model at its upper end says nothing of this term (it would
    // make every limit 0), so it is passed over.
    std::optional<double> room;
    for (size_t i = 0; i < fitted.size(); ++i) {
      const double hi = ChiSquareInterval(std::sqrt(fitted[i].variance), final.nu[i], p).hi;
      const double r = (hi * hi - final.model[i]) / TermShape(term, fitted[i].tau);
      if (r > 0.0 && std::isfinite(r)) room = room ? std::min(*room, r) : r;
    }
    if (room) t.upperLimit = std::sqrt(*room);
  }
  return result;
}

}  // namespace velk::noise
