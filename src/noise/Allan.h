#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "noise/Record.h"

namespace velk::noise {

enum class Estimator { Overlapping, NonOverlapping };

// Which averaging factors m the deviation is taken at.
struct TauGrid {
  enum class Kind { Octave, Decade, PerDecade };  // 2^k; 1, 2, 5 x 10^k; N log-spaced a decade
  Kind kind = Kind::Octave;
  int perDecade = 0;  // for PerDecade
};

// Ascending, distinct factors m >= 1 of the grid up to and including maxM.
std::vector<int64_t> GridFactors(const TauGrid& grid, int64_t maxM);

// One point of the deviation: its factor and the second differences that went into it.
struct AllanPoint {
  int64_t m = 0;
  double tau = 0.0;       // m x tau0, s
  int64_t terms = 0;      // second differences summed over every segment
  double variance = 0.0;  // sigma^2, in the samples' units squared
  double adev = 0.0;      // sigma
  // With samples missing: the differences the segments' grid gives with none missing (else
  // `terms`), and the mean white variance the missing samples added to each term, removed
  // from `variance`.
  int64_t possible = 0;
  double addedWhite = 0.0;
};

// Turns rate samples into phase in place: in each segment, element k becomes
// x[k + 1] = sum over i <= k of (y[i] - mean) x tau0; x[0] = 0 is implied, not stored.
void RateToPhase(std::span<double> samples, std::span<const size_t> segmentStarts, double mean,
                 double tau0);

// The Allan deviation of phase made by RateToPhase, at each of `factors` where the total
// count of second differences over the segments is at least 2 (the others are left out).
std::vector<AllanPoint> AllanDeviation(std::span<const double> phase,
                                       std::span<const size_t> segmentStarts, double tau0,
                                       std::span<const int64_t> factors, Estimator estimator);

// Each segment's length on the sample grid: its samples and those missing inside it.
std::vector<int64_t> GridSizes(size_t samples, std::span<const size_t> segmentStarts,
                               std::span<const MissingRun> missing);

// The deviation of phase made by RateToPhase over the grid of samples present and missing,
// after Sesia and Tavella. At factor m a window's mean is taken from the samples it
// holds (k of m), and a pair of adjacent windows is used when each holds at least m/2. Each
// term is (y2 - y1)^2 / 2 less s^2 (1/k1 + 1/k2 - 2/m) / 2, s^2 the lag-1 Allan variance of
// adjacent samples present: what the missing samples add to white noise. A variance that this
// takes below 0 (a few terms of little but white noise) is kept at 0. Points with fewer than 2
// terms are left out, as AllanDeviation does.
std::vector<AllanPoint> GapAllanDeviation(std::span<const double> phase,
                                          std::span<const size_t> segmentStarts,
                                          std::span<const MissingRun> missing, double tau0,
                                          std::span<const int64_t> factors, Estimator estimator);

// What missing samples leave of a point's EDF (Greenhall's over the segments' grid): the
// terms used of those possible, times the square of variance / (variance + added white
// variance). The correction takes from the terms' mean but not from their spread, so the
// spread relative to the mean grows by the inverse of that share. 1 with none missing.
double GapEdfShare(const AllanPoint& point);

// The pairs of windows summed at one factor with samples missing (IncrementalAllan keeps them).
struct GapPairSums {
  double squares = 0.0;  // of m (y2 - y1) tau0: a whole pair's second difference of phase
  double added = 0.0;    // of 1/k1 + 1/k2 - 2/m
  int64_t terms = 0;
  GapPairSums& operator+=(const GapPairSums& o) {
    squares += o.squares;
    added += o.added;
    terms += o.terms;
    return *this;
  }
};

// The overlapping deviation at every octave factor, one update per sample, for a record that
// grows while it is shown; missing samples are bridged as GapAllanDeviation does. Holds the
// phase at each point of the sample grid (8 bytes), and once a sample is missing the count of
// samples present before it (4 bytes more): 8 bytes a grid point at capacity with none
// missing, 12 with some, `capacity` grid points (samples and missing ones) at most.
class IncrementalAllan {
 public:
  IncrementalAllan(double tau0, size_t capacity);
  // False, and nothing taken, once the grid holds `capacity` points.
  bool Add(double rate);
  // `count` samples missing before the next one Add takes: false, and nothing taken, when
  // they would not leave room for it. Missing samples before the first are no part of the
  // record and are not counted.
  bool AddMissing(int64_t count);
  size_t Samples() const;  // present
  int64_t Missing() const;
  double Mean() const;
  // As AllanDeviation (or GapAllanDeviation) over one segment, octave grid.
  std::vector<AllanPoint> Points() const;
  void Clear();

 private:
  static constexpr size_t kFoldBlock = 1024;  // grid points between updates of the sums
  static constexpr size_t kReserved = size_t{1} << 24;
  double NewSquares(size_t m) const;  // of the differences ending after x[folded_]
  GapPairSums NewGapSums(size_t m) const;
  void StartGaps();

  double tau0_;
  size_t capacity_;
  double offset_ = 0.0;  // the first sample: keeps the phase small
  double sum_ = 0.0;
  std::vector<double> phase_;     // x[0..n] of (y - offset) on the grid, x[0] = 0
  std::vector<uint32_t> counts_;  // samples present before each x; empty while none missing
  int64_t pending_ = 0;           // missing before the next sample
  int64_t missing_ = 0;
  std::vector<double> sums_;  // per octave k: squared second differences ending at x[folded_]
  std::vector<GapPairSums> gapSums_;  // the same once a sample is missing
  size_t folded_ = 0;
};

}  // namespace velk::noise
