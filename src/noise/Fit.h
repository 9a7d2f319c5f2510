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
// Each term's power-law alpha, used for its EDF and its octave correlations: Q +2, N 0, B -1,
// K -2, R -2.
inline constexpr std::array<int, kTermCount> kTermAlpha = {2, 0, -1, -2, -2};

// A term is detected when dropping it raises the fit's chi-square by more than this: the 1 %
// point of the even mixture of chi-square 0 and 1, the law of the rise for a coefficient on
// its boundary at 0.
inline constexpr double kDetectionRise = 5.41;
// The rise that bounds a term from above at one-sided 95 %: chi-square 1 at 0.90.
inline constexpr double kUpperLimitRise = 2.705543454095404;
inline constexpr double kVerdictConfidence = 0.95;

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
  std::array<bool, kTermCount> allowed{true, true, true, true, true};  // the candidates
  double confidence = 0.95;  // p of the intervals of detected terms
  int maxRounds = 60;
  double tolerance = 1e-7;  // relative change of every coefficient that ends the re-weighting
  // The longest segment's samples and the estimator, for the correlations between octaves;
  // 0 samples leaves them out (each point weighed alone).
  int64_t longestSegment = 0;
  bool overlapping = true;
};

// One term's result, in deg/s units: Q deg, N deg/sqrt(s), B deg/s, K deg/s/sqrt(s), R deg/s^2.
struct TermResult {
  bool allowed = false;
  bool detected = false;
  double rise = 0.0;                 // chi-square rise when the term is dropped from the fit
  std::optional<double> value;       // detected only
  std::optional<double> lo, hi;      // detected only: profile interval at the options' confidence
  std::optional<double> lo95, hi95;  // detected only: the same at 95 %, for the verdict
  std::optional<double> upperLimit;  // allowed but not detected: one-sided 95 % profile limit
  int dominantPoints = 0;            // fitted points where it holds the largest share
};

struct FitResult {
  // The fitted model's coefficients (not squared), deg/s units; 0 for every term not detected.
  std::array<double, kTermCount> coefficient{};
  std::array<TermResult, kTermCount> terms{};
  std::vector<bool> inFit;    // per input point
  std::vector<int> alpha;     // per input point: the dominant term's alpha
  std::vector<double> model;  // per input point: fitted sigma^2
  int rounds = 0;
  bool converged = false;
  double chiSquare = 0.0;         // generalised, over the fitted points
  double reducedChiSquare = 0.0;  // per degree of freedom
  int fittedPoints = 0;
};

// Fits the allowed terms to the points with tau >= tauMin and the point's white-noise EDF
// >= 8 (the caller passes tauMin = 20 W, or --fit-from), by generalised least squares with
// non-negative coefficients: the covariance of the points is D R D, D each point's
// sqrt(2 M^2 / nu), R the octave correlations of the noise types in the model, re-weighted
// until it settles. Terms whose rise stays under kDetectionRise are dropped one by one, the
// weakest first; each detected term gets its value and profile-likelihood interval, each term
// not detected only its upper limit.
FitResult FitTerms(const std::vector<FitPoint>& points, double tauMin, const FitOptions& options);

// The tau span over which a term holds the largest share of the model c (coefficients, not
// squared); nothing when it holds it nowhere. The ends may be 0 or infinite.
struct TauSpan {
  double from = 0.0, to = 0.0;
};
std::optional<TauSpan> LargestShareSpan(const std::array<double, kTermCount>& c, Term term);

}  // namespace velk::noise
