#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace velk::noise {

// The five terms of sigma^2(tau) = 3Q^2/tau^2 + N^2/tau + (2 ln2/pi) B^2 + K^2 tau/3 + R^2 tau^2/2,
// in this order everywhere (arrays indexed by Term).
enum Term { kQ = 0, kN = 1, kB = 2, kK = 3, kR = 4 };
inline constexpr int kTermCount = 5;
// Each term's power-law alpha, used for its EDF: Q +2, N 0, B -1, K -2, R -2.
inline constexpr std::array<int, kTermCount> kTermAlpha = {2, 0, -1, -2, -2};

// g(tau): the term's variance per unit of its coefficient squared.
double TermShape(Term term, double tau);

// A measured octave point as the fit sees it: rate units are deg/s.
struct FitPoint {
  int64_t m = 0;
  double tau = 0.0;
  double variance = 0.0;  // measured sigma^2
  // EDF of the point for each term's noise type (indexed by Term).
  std::array<double, kTermCount> edf{};
};

struct FitOptions {
  std::array<bool, kTermCount> allowed{false, true, true, true, false};  // nbk; qnbkr: all
  double confidence = 0.95;  // p of the intervals and upper limits
  int maxRounds = 20;
  double tolerance = 1e-8;  // relative change of every coefficient that ends the re-weighting
};

// One term's result, in deg/s units: Q deg, N deg/sqrt(s), B deg/s, K deg/s/sqrt(s), R deg/s^2.
struct TermResult {
  bool allowed = false;
  double value = 0.0;
  std::optional<double> lo, hi;      // statistical plus fit-range interval
  std::optional<double> upperLimit;  // when the term is 0 or its effective EDF is under 1
  double edf = 0.0;                  // effective EDF: max over fitted points of share^2 x nu
  bool resolved = false;             // at least two fitted points where its share >= 0.5
  int dominantPoints = 0;            // fitted points where its share >= 0.5
};

struct FitResult {
  std::array<double, kTermCount> coefficient{};  // Q, N, B, K, R (not squared), deg/s units
  std::array<TermResult, kTermCount> terms{};
  std::vector<bool> inFit;    // per input point
  std::vector<int> alpha;     // per input point: the dominant term's alpha
  std::vector<double> model;  // per input point: fitted sigma^2
  int rounds = 0;
  bool converged = false;
  double reducedChiSquare = 0.0;  // weighted, over the fitted points
  int fittedPoints = 0;
};

// Fits the allowed terms to the points with tau >= tauMin and the point's white-noise EDF
// >= 8 (the caller passes tauMin = 20 W, or --fit-from). Weights nu/(2 M^2), re-weighted
// until converged; the non-negative problem solved exactly over the subsets of the allowed
// terms. Each term's interval is widened by its change when the fit starts one octave higher.
FitResult FitTerms(const std::vector<FitPoint>& points, double tauMin, const FitOptions& options);

// The classic readings from the octave points (deg/s units; nullopt where a reading has no
// point to come from).
struct ClassicReadings {
  std::optional<double> arwAt1s;  // sigma at tau = 1 s, log-log interpolated: N
  std::optional<double> rrwLast;  // sigma(tau) sqrt(3/tau) at the largest point, nu >= 8
  std::optional<double> minimum;  // smallest sigma over points with nu >= 8
  std::optional<double> minimumTau;
  std::optional<double> biFromMinimum;  // minimum / 0.664
};
ClassicReadings Classic(const std::vector<FitPoint>& points);

// The verdict against datasheet limits at 95 %.
enum class Verdict { None, Pass, Fail, Inconclusive };
// Pass when the upper end (or the upper limit) is within the limit, fail when the lower end is
// beyond it, else inconclusive.
Verdict Judge(double limit, std::optional<double> lo, std::optional<double> hi,
              std::optional<double> upperLimit);
// Fail if any fails, else inconclusive if any is, else pass; None when nothing was judged.
Verdict Overall(const std::vector<Verdict>& verdicts);

}  // namespace velk::noise
