#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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

// The overlapping deviation at every octave factor, one update per sample, for a record that
// grows while it is shown. Holds the phase (8 bytes a sample) up to `capacity` samples.
class IncrementalAllan {
 public:
  IncrementalAllan(double tau0, size_t capacity);
  // False, and nothing taken, once the record holds `capacity` samples.
  bool Add(double rate);
  size_t Samples() const;
  double Mean() const;
  std::vector<AllanPoint> Points() const;  // as AllanDeviation over one segment, octave grid
  void Clear();

 private:
  static constexpr size_t kFoldBlock = 1024;  // samples between updates of sums_
  static constexpr size_t kReserved = size_t{1} << 24;
  double NewSquares(size_t m) const;  // of the differences ending after x[folded_]

  double tau0_;
  size_t capacity_;
  double offset_ = 0.0;  // the first sample: keeps the phase small
  double sum_ = 0.0;
  std::vector<double> phase_;  // x[0..n] of (y - offset), x[0] = 0
  std::vector<double> sums_;   // per octave k: squared second differences ending at x[folded_]
  size_t folded_ = 0;
};

}  // namespace velk::noise
