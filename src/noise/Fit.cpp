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

// The types' shares of model c at tau; white rate noise alone where the model is empty.
std::array<double, kTermCount> Shares(const Squares* c, double tau) {
  std::array<double, kTermCount> share{};
  const double model = c ? Model(*c, tau) : 0.0;
  if (!(model > 0.0)) {
    share[kN] = 1.0;
    return share;
  }
  for (int t = 0; t < kTermCount; ++t) share[t] = (*c)[t] * TermShape(Term(t), tau) / model;
  return share;
}

// R between two points: the noise types' octave correlations mixed by the square roots of the
// types' shares at the two points, which keeps R a correlation matrix.
double Correlation(const FitPoint& a, const FitPoint& b, const Squares* c,
                   const FitOptions& options) {
  if (options.longestSegment <= 0) return 0.0;
  const auto sa = Shares(c, a.tau), sb = Shares(c, b.tau);
  double r = 0.0;
  for (int t = 0; t < kTermCount; ++t) {
    const double w = std::sqrt(sa[t] * sb[t]);
    if (w > 0.0)
      r += w * OctaveCorrelation(kTermAlpha[t], std::min(a.m, b.m), std::max(a.m, b.m),
                                 options.longestSegment, options.overlapping);
  }
  return r;
}

// The covariance D R D of the points under model c (nullptr: none yet, white noise weighed by
// the measured variances).
Whitened Whiten(const std::vector<FitPoint>& points, const Squares* c, const FitOptions& options) {
  const size_t n = points.size();
  std::vector<double> d(n);
  for (size_t i = 0; i < n; ++i) {
    const double tau = points[i].tau;
    const double model = c ? Model(*c, tau) : 0.0;
    const double m = model > 0.0 ? model : points[i].variance;
    d[i] = std::sqrt(2.0 / Nu(points[i], model > 0.0 ? Dominant(*c, tau) : kN)) * m;
  }
  std::vector<std::vector<long double>> s(n, std::vector<long double>(n, 0.0L));
  for (size_t i = 0; i < n; ++i) {
    s[i][i] = static_cast<long double>(d[i]) * d[i];
    for (size_t j = 0; j < i; ++j)
      s[i][j] = s[j][i] =
          static_cast<long double>(Correlation(points[i], points[j], c, options)) * d[i] * d[j];
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
  Squares weighed{};  // the model the next round's covariance is made from
  for (int round = 1; round <= std::max(options.maxRounds, 1); ++round) {
    const Squares c = Nnls(Whiten(points, have ? &weighed : nullptr, options), terms).c;
    out.rounds = round;
    if (have) {
      bool still = true;
      for (int j = 0; j < kTermCount; ++j)
        if (std::abs(c[j] - out.c[j]) > options.tolerance * std::max(c[j], out.c[j])) still = false;
      out.converged = still;
    }
    // From the third round on, the covariance comes halfway from the last model: a fit whose
    // terms trade places between rounds (a floor or a walk) settles instead of swinging.
    const double step = round >= 3 ? 0.5 : 1.0;
    for (int j = 0; j < kTermCount; ++j) weighed[j] += step * (c[j] - weighed[j]);
    out.c = c;
    have = std::any_of(c.begin(), c.end(), [](double v) { return v > 0.0; });
    if (out.converged) break;
  }
  return out;
}

// The v >= start (or <= start, going down) where `rise(v)` passes `level`; `scale` is where an
// upward search starts when start is 0.
template <typename Rise>
double ProfileRoot(const Rise& rise, double start, double scale, double level, bool up) {
  const auto above = [&](double v) { return rise(v) > level; };
  double inner = start, outer;
  if (up) {
    outer = start > 0.0 ? 2.0 * start : (scale > 0.0 && std::isfinite(scale) ? scale : 1.0);
    for (int i = 0; i < 400 && !above(outer); ++i) {
      inner = outer;
      outer *= 2.0;
    }
  } else {
    outer = 0.0;
    if (!above(outer)) return 0.0;
  }
  // To a part in 10^6 of the coefficient squared: far below any interval's own uncertainty.
  for (int i = 0; i < 100 && std::abs(outer - inner) > 1e-6 * std::max(inner, outer); ++i) {
    const double mid = 0.5 * (inner + outer);
    (above(mid) ? outer : inner) = mid;
  }
  return 0.5 * (inner + outer);
}

// The largest value no whitened point would refuse the term alone: where upward searches start.
double Scale(const Whitened& w, int t) {
  long double yy = 0.0L, gg = 0.0L;
  for (size_t i = 0; i < w.y.size(); ++i) {
    yy += w.y[i] * w.y[i];
    gg += w.g[t][i] * w.g[t][i];
  }
  return gg > 0.0L ? static_cast<double>(std::sqrt(yy / gg)) : 1.0;
}

// Intervals and limits are read in Wilson and Hilferty's cube-root scale: (s^2/M)^(1/3) of a
// variance with nu degrees of freedom is close to normal, mean 1 - 2/(9 nu), variance 2/(9 nu),
// even for a few degrees of freedom, where the variance itself is skewed and the linear fit's
// profile would end too soon on the high side. The correlations between octaves carry over.
class CubeRoot {
 public:
  CubeRoot(const std::vector<FitPoint>& points, const Squares& c, const FitOptions& options)
      : points_(points) {
    const size_t n = points.size();
    for (const FitPoint& point : points) {
      const double nu = Nu(point, Dominant(c, point.tau));
      mean_.push_back(1.0 - 2.0 / (9.0 * nu));
      sd_.push_back(std::sqrt(2.0 / (9.0 * nu)));
    }
    // The same correlations the fit used.
    l_.assign(n, std::vector<long double>(n, 0.0L));
    for (size_t i = 0; i < n; ++i) {
      l_[i][i] = 1.0L;
      for (size_t j = 0; j < i; ++j)
        l_[i][j] = l_[j][i] = Correlation(points[i], points[j], &c, options);
    }
    if (!Cholesky(l_)) {
      l_.assign(n, std::vector<long double>(n, 0.0L));
      for (size_t i = 0; i < n; ++i) l_[i][i] = 1.0L;
    }
  }

  // Whitened standard scores of the points under model c; empty where the model is not > 0.
  std::optional<Column> Scores(const Squares& c) const {
    Column e(points_.size());
    for (size_t i = 0; i < points_.size(); ++i) {
      const double m = Model(c, points_[i].tau);
      if (!(m > 0.0)) return std::nullopt;
      e[i] = (std::cbrt(points_[i].variance / m) - mean_[i]) / sd_[i];
    }
    return ForwardSolve(l_, std::move(e));
  }

  long double Q(const Squares& c) const {
    const std::optional<Column> e = Scores(c);
    if (!e) return HUGE_VALL;
    long double q = 0.0L;
    for (long double v : *e) q += v * v;
    return q;
  }

  // The least Q over the terms of `free` (>= 0) with term `fixed` held at `value`, by
  // Gauss-Newton steps from `start`, each cut back until Q falls.
  Squares Minimize(Squares c, Mask free, int fixed = -1, double value = 0.0) const {
    if (fixed >= 0) c[fixed] = value;
    for (int t = 0; t < kTermCount; ++t)
      if (!Has(free, t) && t != fixed) c[t] = 0.0;
    long double q = Q(c);
    for (int iteration = 0; iteration < 40; ++iteration) {
      const std::optional<Column> e = Scores(c);
      if (!e) break;
      std::vector<int> terms;
      std::vector<Column> columns;
      for (int t = 0; t < kTermCount; ++t) {
        if (!Has(free, t) || t == fixed) continue;
        Column d(points_.size());
        for (size_t i = 0; i < points_.size(); ++i) {
          const double m = Model(c, points_[i].tau);
          d[i] = -std::cbrt(points_[i].variance / m) / (3.0 * m) *
                 TermShape(Term(t), points_[i].tau) / sd_[i];
        }
        terms.push_back(t);
        columns.push_back(ForwardSolve(l_, std::move(d)));
      }
      if (terms.empty()) break;
      Column minus(e->size());
      for (size_t i = 0; i < e->size(); ++i) minus[i] = -(*e)[i];
      std::vector<long double> step;
      long double residual;
      if (!LeastSquares(columns, minus, step, residual)) break;
      bool better = false;
      for (double f = 1.0; f > 1e-6; f *= 0.5) {
        Squares next = c;
        for (size_t k = 0; k < terms.size(); ++k)
          next[terms[k]] = std::max(0.0, c[terms[k]] + f * static_cast<double>(step[k]));
        const long double qn = Q(next);
        if (qn < q) {
          better = q - qn > 1e-12L * (1.0L + q);
          c = next;
          q = qn;
          break;
        }
      }
      if (!better) break;
    }
    return c;
  }

 private:
  const std::vector<FitPoint>& points_;
  std::vector<double> mean_, sd_;
  std::vector<std::vector<long double>> l_;
};

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
    // Drop the weakest term while one is not detected; then let the strongest dropped one back
    // in when the model left without it shows it after all, and drop again. Every set the
    // search stops at has each of its terms detected.
    std::vector<Mask> settled;
    for (;;) {
      for (;;) {
        fit = Reweighted(fitted, kept, options);
        w = Whiten(fitted, kept ? &fit.c : nullptr, options);
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
      }
      if (std::find(settled.begin(), settled.end(), kept) != settled.end()) break;
      settled.push_back(kept);
      int strongest = -1;
      for (int t = 0; t < kTermCount; ++t) {
        if (Has(kept, t) || !Has(allowed, t)) continue;
        rise[t] = static_cast<double>(chi2 - Nnls(w, kept | (1u << t)).chi2);
        if (strongest < 0 || rise[t] > rise[strongest]) strongest = t;
      }
      if (strongest < 0 || rise[strongest] <= kDetectionRise) break;
      kept |= 1u << strongest;
    }
    if (kept == 0) fit = {};
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

  // A fit whose chi-square is beyond its degrees of freedom has scatter the points' EDF do not
  // explain (the model is not the noise's exact shape): its intervals widen by that ratio.
  const double birge = std::max(1.0, result.reducedChiSquare);
  const double riseP = birge * RiseAt(p), rise95 = birge * RiseAt(kVerdictConfidence);
  const double riseLimit = birge * kUpperLimitRise;
  const CubeRoot cube(fitted, c, options);
  const Squares least = cube.Minimize(c, kept);
  const long double base = cube.Q(least);
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
      const auto profile = [&](double v) {
        return static_cast<double>(cube.Q(cube.Minimize(least, kept, j, v)) - base);
      };
      // The interval holds the fitted value, which the cube-root scale's least may miss by a
      // little.
      const auto end = [&](double level, bool up) {
        const double v = ProfileRoot(profile, least[j], Scale(w, j), level, up);
        return std::sqrt(up ? std::max(v, c[j]) : std::min(v, c[j]));
      };
      t.lo = end(riseP, false);
      t.hi = end(riseP, true);
      t.lo95 = end(rise95, false);
      t.hi95 = end(rise95, true);
      continue;
    }
    // Not detected: bounded by the profile of the detected model with this term let back in,
    // its covariance made with the term there.
    const Mask with = kept | (1u << j);
    const Settled in = Reweighted(fitted, with, options);
    const Whitened wi = Whiten(fitted, &in.c, options);
    t.rise = static_cast<double>(Nnls(wi, kept).chi2 - Nnls(wi, with).chi2);
    const CubeRoot cubeIn(fitted, in.c, options);
    const Squares leastIn = cubeIn.Minimize(in.c, with);
    const long double baseIn = cubeIn.Q(leastIn);
    const auto profile = [&](double v) {
      return static_cast<double>(cubeIn.Q(cubeIn.Minimize(leastIn, with, j, v)) - baseIn);
    };
    t.upperLimit = std::sqrt(ProfileRoot(profile, leastIn[j], Scale(wi, j), riseLimit, true));
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
