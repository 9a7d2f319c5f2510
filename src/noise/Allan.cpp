#include "noise/Allan.h"

#include <algorithm>
#include <cmath>

namespace velk::noise {

namespace {

// Squared second differences c[j] - 2 b[j] + a[j], j < count, summed. Four independent
// partial sums: the order of a strict floating-point sum is fixed, so one accumulator would
// keep the loop scalar and bound by the add's latency; four let it run on vector registers.
double SecondDifferenceSquares(const double* a, const double* b, const double* c, size_t count) {
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  size_t j = 0;
  for (; j + 4 <= count; j += 4) {
    const double d0 = c[j] - 2.0 * b[j] + a[j];
    const double d1 = c[j + 1] - 2.0 * b[j + 1] + a[j + 1];
    const double d2 = c[j + 2] - 2.0 * b[j + 2] + a[j + 2];
    const double d3 = c[j + 3] - 2.0 * b[j + 3] + a[j + 3];
    s0 += d0 * d0;
    s1 += d1 * d1;
    s2 += d2 * d2;
    s3 += d3 * d3;
  }
  for (; j < count; ++j) {
    const double d = c[j] - 2.0 * b[j] + a[j];
    s0 += d * d;
  }
  return (s0 + s1) + (s2 + s3);
}

struct Sums {
  double squares = 0.0;
  int64_t terms = 0;
};

// One segment at factor m from its stored phase, p[k] = x[k + 1] (x[0] = 0 is not stored).
Sums SegmentSums(const double* p, size_t n, size_t m, Estimator estimator) {
  Sums s;
  if (n < 2 * m) return s;
  if (estimator == Estimator::Overlapping) {
    const double first = p[2 * m - 1] - 2.0 * p[m - 1];  // i = 0
    s.squares = first * first + SecondDifferenceSquares(p, p + m, p + 2 * m, n - 2 * m);
    s.terms = static_cast<int64_t>(n + 1 - 2 * m);
  } else {
    const auto x = [p](size_t i) { return i == 0 ? 0.0 : p[i - 1]; };
    for (size_t i = 0; i + 2 * m <= n; i += m) {
      const double d = x(i + 2 * m) - 2.0 * x(i + m) + x(i);
      s.squares += d * d;
      ++s.terms;
    }
  }
  return s;
}

// [begin, end) of each segment; an empty list is one segment.
template <typename Fn>
void ForEachSegment(size_t size, std::span<const size_t> starts, Fn fn) {
  if (starts.empty()) {
    fn(size_t{0}, size);
    return;
  }
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t begin = std::min(starts[k], size);
    const size_t end = k + 1 < starts.size() ? std::min(starts[k + 1], size) : size;
    if (end > begin) fn(begin, end);
  }
}

AllanPoint MakePoint(int64_t m, double tau0, double squares, int64_t terms) {
  AllanPoint p;
  p.m = m;
  p.tau = static_cast<double>(m) * tau0;
  p.terms = terms;
  p.variance = squares / (2.0 * p.tau * p.tau * static_cast<double>(terms));
  p.adev = std::sqrt(p.variance);
  return p;
}

}  // namespace

std::vector<int64_t> GridFactors(const TauGrid& grid, int64_t maxM) {
  std::vector<int64_t> out;
  if (maxM < 1) return out;
  switch (grid.kind) {
    case TauGrid::Kind::Octave:
      for (int64_t m = 1;; m *= 2) {
        out.push_back(m);
        if (m > maxM / 2) break;
      }
      break;
    case TauGrid::Kind::Decade:
      for (int64_t decade = 1; decade <= maxM; decade *= 10) {
        for (int64_t step : {1, 2, 5}) {
          if (step * decade <= maxM) out.push_back(step * decade);
        }
        if (decade > maxM / 10) break;
      }
      break;
    case TauGrid::Kind::PerDecade: {
      const int per = std::max(grid.perDecade, 1);
      for (int k = 0;; ++k) {
        const double m = std::round(std::pow(10.0, static_cast<double>(k) / per));
        if (m > static_cast<double>(maxM)) break;
        const auto factor = static_cast<int64_t>(m);
        if (out.empty() || factor != out.back()) out.push_back(factor);
      }
      break;
    }
  }
  return out;
}

void RateToPhase(std::span<double> samples, std::span<const size_t> segmentStarts, double mean,
                 double tau0) {
  ForEachSegment(samples.size(), segmentStarts, [&](size_t begin, size_t end) {
    double x = 0.0;
    for (size_t i = begin; i < end; ++i) {
      x += (samples[i] - mean) * tau0;
      samples[i] = x;
    }
  });
}

std::vector<AllanPoint> AllanDeviation(std::span<const double> phase,
                                       std::span<const size_t> segmentStarts, double tau0,
                                       std::span<const int64_t> factors, Estimator estimator) {
  std::vector<AllanPoint> out;
  if (!(tau0 > 0.0)) return out;
  for (const int64_t m : factors) {
    if (m < 1) continue;
    double squares = 0.0;
    int64_t terms = 0;
    ForEachSegment(phase.size(), segmentStarts, [&](size_t begin, size_t end) {
      const Sums s =
          SegmentSums(phase.data() + begin, end - begin, static_cast<size_t>(m), estimator);
      squares += s.squares;
      terms += s.terms;
    });
    if (terms >= 2) out.push_back(MakePoint(m, tau0, squares, terms));
  }
  return out;
}

IncrementalAllan::IncrementalAllan(double tau0, size_t capacity)
    : tau0_(tau0), capacity_(capacity) {
  // Address space only: pages are taken as samples come, and the copies of growing are spared
  // up to 2^24 samples.
  phase_.reserve(std::min(capacity, kReserved) + 1);
  phase_.push_back(0.0);
}

bool IncrementalAllan::Add(double rate) {
  if (phase_.size() > capacity_) return false;
  if (phase_.size() == 1) offset_ = rate;
  const double y = rate - offset_;
  sum_ += y;
  phase_.push_back(phase_.back() + y * tau0_);
  // The new differences are summed a block at a time: one pass over contiguous phase per
  // octave, where a term per octave per sample would read some twenty places far apart.
  if (phase_.size() - 1 - folded_ >= kFoldBlock) {
    const size_t last = phase_.size() - 1;
    size_t m = 1;
    for (size_t k = 0; 2 * m <= last; ++k, m *= 2) {
      if (k == sums_.size()) sums_.push_back(0.0);
      sums_[k] += NewSquares(m);
    }
    folded_ = last;
  }
  return true;
}

double IncrementalAllan::NewSquares(size_t m) const {
  const size_t last = phase_.size() - 1;
  const size_t from = std::max(folded_ + 1, 2 * m);
  if (from > last) return 0.0;
  const double* x = phase_.data() + from;
  return SecondDifferenceSquares(x - 2 * m, x - m, x, last + 1 - from);
}

size_t IncrementalAllan::Samples() const {
  return phase_.size() - 1;
}

double IncrementalAllan::Mean() const {
  const size_t n = Samples();
  return n == 0 ? 0.0 : offset_ + sum_ / static_cast<double>(n);
}

std::vector<AllanPoint> IncrementalAllan::Points() const {
  std::vector<AllanPoint> out;
  if (!(tau0_ > 0.0)) return out;
  const auto n = static_cast<int64_t>(Samples());
  for (int64_t m = 1, k = 0; n + 1 - 2 * m >= 2; m *= 2, ++k) {
    const auto u = static_cast<size_t>(k);
    const double folded = u < sums_.size() ? sums_[u] : 0.0;
    out.push_back(MakePoint(m, tau0_, folded + NewSquares(static_cast<size_t>(m)), n + 1 - 2 * m));
  }
  return out;
}

void IncrementalAllan::Clear() {
  offset_ = 0.0;
  sum_ = 0.0;
  phase_.assign(1, 0.0);
  sums_.clear();
  folded_ = 0;
}

}  // namespace velk::noise
