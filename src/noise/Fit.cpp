#include "noise/Fit.h"

#include <algorithm>
#include <bit>
#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>
#include <numbers>

#include "noise/AdevCorrelation.h"
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
using Mask = unsigned;                           // bit j: term j
using Column = std::vector<long double>;

constexpr std::array<int, kTermCount> kShapePower = {-2, -1, 0, 1, 2};

bool Has(Mask mask, int term) {
  return (mask >> term) & 1u;
}

double Model(const Squares& c, double tau) {
  double sum = 0.0;
  for (int j = 0; j < kTermCount; ++j) sum += c[j] * TermShape(Term(j), tau);
  return sum;
}

// White rate noise where the model is empty, so a point always has a noise type.
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

// The points and every term's shape, whitened by the Cholesky factor of their covariance, so
// that ordinary least squares on them is the generalised fit and its residual the chi-square.
struct Whitened {
  Column y;
  std::array<Column, kTermCount> g;
};

// In place: S = L L', lower triangle. False when S is not positive definite.
bool Cholesky(std::vector<std::vector<long double>>& s) {
  const size_t n = s.size();
  for (size_t j = 0; j < n; ++j) {
    long double d = s[j][j];
    for (size_t k = 0; k < j; ++k) d -= s[j][k] * s[j][k];
    if (!(d > 0.0L)) return false;
    s[j][j] = std::sqrt(d);
    for (size_t i = j + 1; i < n; ++i) {
      long double v = s[i][j];
      for (size_t k = 0; k < j; ++k) v -= s[i][k] * s[j][k];
      s[i][j] = v / s[j][j];
    }
  }
  return true;
}

Column ForwardSolve(const std::vector<std::vector<long double>>& l, Column b) {
  for (size_t i = 0; i < b.size(); ++i) {
    for (size_t k = 0; k < i; ++k) b[i] -= l[i][k] * b[k];
    b[i] /= l[i][i];
  }
  return b;
}

// The covariance D R D of the points under model c (nullptr: none yet, white noise weighed by
// the measured variances). R mixes the noise types' octave correlations by the square roots of
// the types' shares at the two points, which keeps it a correlation matrix.
Whitened Whiten(const std::vector<FitPoint>& points, const Squares* c, const FitOptions& options) {
  const size_t n = points.size();
  std::vector<double> d(n);
  std::vector<std::array<double, kTermCount>> share(n);
  for (size_t i = 0; i < n; ++i) {
    const double tau = points[i].tau;
    const double model = c ? Model(*c, tau) : 0.0;
    share[i] = {};
    if (model > 0.0) {
      for (int t = 0; t < kTermCount; ++t) share[i][t] = (*c)[t] * TermShape(Term(t), tau) / model;
    } else {
      share[i][kN] = 1.0;
    }
    const double m = model > 0.0 ? model : points[i].variance;
    d[i] = std::sqrt(2.0 / Nu(points[i], model > 0.0 ? Dominant(*c, tau) : kN)) * m;
  }
  std::vector<std::vector<long double>> s(n, std::vector<long double>(n, 0.0L));
  for (size_t i = 0; i < n; ++i) {
    s[i][i] = static_cast<long double>(d[i]) * d[i];
    if (options.longestSegment <= 0) continue;
    for (size_t j = 0; j < i; ++j) {
      double r = 0.0;
      for (int t = 0; t < kTermCount; ++t) {
        const double w = std::sqrt(share[i][t] * share[j][t]);
        if (w > 0.0)
          r += w * OctaveCorrelation(kTermAlpha[t], std::min(points[i].m, points[j].m),
                                     std::max(points[i].m, points[j].m), options.longestSegment,
                                     options.overlapping);
      }
      s[i][j] = s[j][i] = static_cast<long double>(r) * d[i] * d[j];
    }
  }
  auto l = s;
  if (!Cholesky(l)) {  // rounding in a table's entries: weigh each point alone instead
    l.assign(n, std::vector<long double>(n, 0.0L));
    for (size_t i = 0; i < n; ++i) l[i][i] = d[i];
  }
  Whitened w;
  Column y(n);
  for (size_t i = 0; i < n; ++i) y[i] = points[i].variance;
  w.y = ForwardSolve(l, std::move(y));
  for (int t = 0; t < kTermCount; ++t) {
    Column g(n);
    for (size_t i = 0; i < n; ++i) g[i] = TermShape(Term(t), points[i].tau);
    w.g[t] = ForwardSolve(l, std::move(g));
  }
  return w;
}

// Least squares of b on the columns by Householder QR in long double, the columns scaled to
// unit length as the shapes span many decades. False when they are (nearly) dependent.
bool LeastSquares(std::vector<Column> a, Column b, std::vector<long double>& x,
                  long double& residual) {
  const size_t k = a.size(), n = b.size();
  std::vector<long double> scale(k);
  for (size_t j = 0; j < k; ++j) {
    long double norm = 0.0L;
    for (long double v : a[j]) norm += v * v;
    scale[j] = std::sqrt(norm);
    if (!(scale[j] > 0.0L)) return false;
    for (long double& v : a[j]) v /= scale[j];
  }
  for (size_t j = 0; j < k; ++j) {
    long double norm = 0.0L;
    for (size_t i = j; i < n; ++i) norm += a[j][i] * a[j][i];
    norm = std::sqrt(norm);
    if (norm < 1e-12L) return false;
    const long double alpha = a[j][j] > 0.0L ? -norm : norm;
    Column v(a[j].begin() + static_cast<std::ptrdiff_t>(j), a[j].end());
    v[0] -= alpha;
    long double vv = 0.0L;
    for (long double e : v) vv += e * e;
    auto reflect = [&](Column& col) {
      if (vv == 0.0L) return;
      long double dot = 0.0L;
      for (size_t i = j; i < n; ++i) dot += v[i - j] * col[i];
      const long double f = 2.0L * dot / vv;
      for (size_t i = j; i < n; ++i) col[i] -= f * v[i - j];
    };
    for (size_t l = j; l < k; ++l) reflect(a[l]);
    reflect(b);
  }
  x.assign(k, 0.0L);
  for (size_t j = k; j-- > 0;) {
    long double s = b[j];
    for (size_t l = j + 1; l < k; ++l) s -= a[l][j] * x[l];
    x[j] = s / a[j][j];
  }
  residual = 0.0L;
  for (size_t i = k; i < n; ++i) residual += b[i] * b[i];
  for (size_t j = 0; j < k; ++j) x[j] /= scale[j];
  return true;
}

struct Solution {
  Squares c{};
  long double chi2 = 0.0L;
};

// The exact non-negative least squares over the terms of `free`, with term `fixed` (if any)
// held at `value`: the best of the subsets whose free solution is non-negative. A larger
// subset has to lower the residual by more than rounding, so a term absent from exact data
// stays at 0 instead of taking up a rounding-sized value.
Solution Nnls(const Whitened& w, Mask free, int fixed = -1, double value = 0.0) {
  Column y = w.y;
  if (fixed >= 0)
    for (size_t i = 0; i < y.size(); ++i) y[i] -= value * w.g[fixed][i];
  long double total = 0.0L;
  for (long double v : y) total += v * v;
  Solution best;
  best.chi2 = total;
  const long double rounding = 1e-20L * total;
  std::vector<Mask> subsets;
  for (Mask s = 1; s < (1u << kTermCount); ++s)
    if ((s & free) == s) subsets.push_back(s);
  std::stable_sort(subsets.begin(), subsets.end(),
                   [](Mask a, Mask b) { return std::popcount(a) < std::popcount(b); });
  for (Mask s : subsets) {
    std::vector<int> terms;
    std::vector<Column> columns;
    for (int t = 0; t < kTermCount; ++t)
      if (Has(s, t)) {
        terms.push_back(t);
        columns.push_back(w.g[t]);
      }
    if (terms.size() > y.size()) continue;
    std::vector<long double> x;
    long double residual;
    if (!LeastSquares(columns, y, x, residual) || !(residual < best.chi2 - rounding)) continue;
    if (std::any_of(x.begin(), x.end(), [](long double v) { return v < 0.0L; })) continue;
    best.c = {};
    for (size_t j = 0; j < terms.size(); ++j) best.c[terms[j]] = static_cast<double>(x[j]);
    best.chi2 = residual;
  }
  if (fixed >= 0) best.c[fixed] = value;
  return best;
}

struct Settled {
  Squares c{};
  int rounds = 0;
  bool converged = false;
};

// The generalised fit over `terms`, its covariance re-made from each round's model until the
// coefficients settle.
Settled Reweighted(const std::vector<FitPoint>& points, Mask terms, const FitOptions& options) {
  Settled out;
  bool have = false;
  for (int round = 1; round <= std::max(options.maxRounds, 1); ++round) {
    const Squares c = Nnls(Whiten(points, have ? &out.c : nullptr, options), terms).c;
    out.rounds = round;
    if (have) {
      bool still = true;
      for (int j = 0; j < kTermCount; ++j)
        if (std::abs(c[j] - out.c[j]) > options.tolerance * std::max(c[j], out.c[j])) still = false;
      out.converged = still;
    }
    out.c = c;
    have = std::any_of(c.begin(), c.end(), [](double v) { return v > 0.0; });
    if (out.converged) break;
  }
  return out;
}

// The chi-square with term t held at v (squared units) and the other terms of `terms` free.
long double Profile(const Whitened& w, Mask terms, int t, double v) {
  return Nnls(w, terms & ~(1u << t), t, v).chi2;
}

// The v >= start (or <= start, going down) where the profile rises `rise` above `base`.
double ProfileRoot(const Whitened& w, Mask terms, int t, double start, long double base,
                   double rise, bool up) {
  const auto above = [&](double v) { return Profile(w, terms, t, v) - base > rise; };
  double inner = start, outer;
  if (up) {
    // A scale to start from: the largest value no single whitened point would refuse.
    outer = start > 0.0 ? 2.0 * start : 0.0;
    if (outer == 0.0) {
      long double yy = 0.0L, gg = 0.0L;
      for (size_t i = 0; i < w.y.size(); ++i) {
        yy += w.y[i] * w.y[i];
        gg += w.g[t][i] * w.g[t][i];
      }
      outer = gg > 0.0L ? static_cast<double>(std::sqrt(yy / gg)) : 1.0;
      if (!(outer > 0.0)) outer = 1.0;
    }
    for (int i = 0; i < 400 && !above(outer); ++i) {
      inner = outer;
      outer *= 2.0;
    }
  } else {
    outer = 0.0;
    if (!above(outer)) return 0.0;
  }
  for (int i = 0; i < 100; ++i) {
    const double mid = 0.5 * (inner + outer);
    if (mid == inner || mid == outer) break;
    (above(mid) ? outer : inner) = mid;
  }
  return 0.5 * (inner + outer);
}

double RiseAt(double p) {
  return boost::math::quantile(boost::math::chi_squared(1.0), p);
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
  Mask allowed = 0;
  for (int j = 0; j < kTermCount; ++j) {
    result.terms[j].allowed = options.allowed[j];
    if (options.allowed[j]) allowed |= 1u << j;
  }

  Settled fit;
  Mask kept = allowed;
  Whitened w;
  long double chi2 = 0.0L;
  std::array<double, kTermCount> rise{};
  if (!fitted.empty()) {
    // Drop the weakest term while one is not detected, and fit again without it.
    for (;;) {
      fit = Reweighted(fitted, kept, options);
      w = Whiten(fitted, &fit.c, options);
      chi2 = Nnls(w, kept).chi2;
      int weakest = -1;
      for (int t = 0; t < kTermCount; ++t) {
        if (!Has(kept, t)) continue;
        rise[t] =
            fit.c[t] > 0.0 ? static_cast<double>(Nnls(w, kept & ~(1u << t)).chi2 - chi2) : 0.0;
        if (weakest < 0 || rise[t] < rise[weakest]) weakest = t;
      }
      if (weakest < 0 || rise[weakest] > kDetectionRise) break;
      kept &= ~(1u << weakest);
      if (kept == 0) {
        fit = {};
        w = Whiten(fitted, nullptr, options);
        chi2 = Nnls(w, 0).chi2;
        break;
      }
    }
  }
  result.rounds = fit.rounds;
  result.converged = fit.converged;
  const Squares& c = fit.c;
  for (const FitPoint& point : points) {
    const bool valid = std::isfinite(point.tau) && point.tau > 0.0;
    result.model.push_back(valid ? Model(c, point.tau) : 0.0);
    result.alpha.push_back(kTermAlpha[valid ? Dominant(c, point.tau) : kN]);
  }
  if (fitted.empty()) return result;

  result.chiSquare = static_cast<double>(chi2);
  const int dof = result.fittedPoints - std::popcount(kept);
  result.reducedChiSquare = dof > 0 ? result.chiSquare / dof : 0.0;

  const double riseP = RiseAt(p), rise95 = RiseAt(kVerdictConfidence);
  for (int j = 0; j < kTermCount; ++j) {
    TermResult& t = result.terms[j];
    if (!t.allowed) continue;
    result.coefficient[j] = std::sqrt(c[j]);
    for (const FitPoint& point : fitted)
      t.dominantPoints += c[j] > 0.0 && Dominant(c, point.tau) == j;
    if (Has(kept, j)) {
      t.detected = true;
      t.rise = rise[j];
      t.value = std::sqrt(c[j]);
      t.lo = std::sqrt(ProfileRoot(w, kept, j, c[j], chi2, riseP, false));
      t.hi = std::sqrt(ProfileRoot(w, kept, j, c[j], chi2, riseP, true));
      t.lo95 = std::sqrt(ProfileRoot(w, kept, j, c[j], chi2, rise95, false));
      t.hi95 = std::sqrt(ProfileRoot(w, kept, j, c[j], chi2, rise95, true));
      continue;
    }
    // Not detected: bounded by the profile of the detected model with this term let back in.
    const Mask with = kept | (1u << j);
    const Solution best = Nnls(w, with);
    t.rise = static_cast<double>(chi2 - best.chi2);
    t.upperLimit = std::sqrt(ProfileRoot(w, with, j, best.c[j], best.chi2, kUpperLimitRise, true));
  }
  return result;
}

std::optional<TauSpan> LargestShareSpan(const std::array<double, kTermCount>& c, Term term) {
  if (!(c[term] > 0.0)) return std::nullopt;
  TauSpan span{0.0, HUGE_VAL};
  const double mine = c[term] * c[term] * TermShape(term, 1.0);
  for (int u = 0; u < kTermCount; ++u) {
    if (u == term || !(c[u] > 0.0)) continue;
    // c_t g_t(tau) > c_u g_u(tau), both powers of tau.
    const double ratio = c[u] * c[u] * TermShape(Term(u), 1.0) / mine;
    const int power = kShapePower[term] - kShapePower[u];
    const double cross = std::pow(ratio, 1.0 / power);
    if (power > 0)
      span.from = std::max(span.from, cross);
    else
      span.to = std::min(span.to, cross);
  }
  if (!(span.from < span.to)) return std::nullopt;
  return span;
}

}  // namespace velk::noise
