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
  p.possible = terms;
  return p;
}

// The pairs of windows [e - 2m, e - m) and [e - m, e) of the grid for the ends e = from,
// from + stride, ... up to `to`: x the phase at each grid point (x[0] = 0), c the samples
// present before it, `reciprocal` 1/k. A window missing more than half its samples is too
// little of its span to stand for it, and its pairs are left out.
template <typename Reciprocal>
GapPairSums SumPairs(const double* x, const uint32_t* c, size_t m, size_t from, size_t to,
                     size_t stride, Reciprocal reciprocal) {
  GapPairSums s;
  const double fm = static_cast<double>(m);
  const double whole = 2.0 / fm;
  for (size_t e = from; e <= to; e += stride) {
    const size_t j = e - 2 * m, h = e - m;
    const size_t k1 = c[h] - c[j], k2 = c[e] - c[h];
    if (2 * k1 < m || 2 * k2 < m) continue;
    const double r1 = reciprocal(k1), r2 = reciprocal(k2);
    const double d = fm * ((x[e] - x[h]) * r2 - (x[h] - x[j]) * r1);
    s.squares += d * d;
    s.added += r1 + r2 - whole;
    ++s.terms;
  }
  return s;
}

// Division is what the pairs wait on: a table of 1/k takes it out once they outnumber its
// entries (a whole record; the live record's blocks divide).
GapPairSums GapPairs(const double* x, const uint32_t* c, size_t m, size_t from, size_t to,
                     size_t stride) {
  if (from > to) return {};
  if ((to - from) / stride < m)
    return SumPairs(x, c, m, from, to, stride,
                    [](size_t k) { return 1.0 / static_cast<double>(k); });
  std::vector<double> inverse(m + 1, 0.0);
  for (size_t k = (m + 1) / 2; k <= m; ++k) inverse[k] = 1.0 / static_cast<double>(k);
  return SumPairs(x, c, m, from, to, stride, [&](size_t k) { return inverse[k]; });
}

// The lag-1 Allan variance of adjacent samples present: the white noise's share per sample.
double LagOneVariance(const GapPairSums& lag1, double tau0) {
  return lag1.terms > 0 ? lag1.squares / (2.0 * tau0 * tau0 * static_cast<double>(lag1.terms))
                        : 0.0;
}

AllanPoint MakeGapPoint(int64_t m, double tau0, const GapPairSums& s, int64_t possible,
                        double lagOne) {
  AllanPoint p = MakePoint(m, tau0, s.squares, s.terms);
  p.possible = possible;
  p.addedWhite = lagOne * s.added / (2.0 * static_cast<double>(s.terms));
  p.variance = std::max(p.variance - p.addedWhite, 0.0);
  p.adev = std::sqrt(p.variance);
  return p;
}

// Each segment with the missing runs inside it, `at` from the segment's start. Runs out of
// order, at a segment's first sample or of no samples are passed over.
template <typename Fn>
void ForEachGridSegment(size_t size, std::span<const size_t> starts,
                        std::span<const MissingRun> missing, Fn fn) {
  size_t r = 0;
  std::vector<MissingRun> runs;
  ForEachSegment(size, starts, [&](size_t begin, size_t end) {
    runs.clear();
    for (; r < missing.size() && missing[r].at < end; ++r) {
      const MissingRun& run = missing[r];
      if (run.at > begin && run.count > 0 && (runs.empty() || run.at - begin >= runs.back().at))
        runs.push_back({run.at - begin, run.count});
    }
    fn(begin, end, std::span<const MissingRun>(runs));
  });
}

// One segment's grid from its stored phase p (n samples): x at each grid point, x[0] = 0,
// and the samples present before it.
void BuildGrid(const double* p, size_t n, std::span<const MissingRun> runs, std::vector<double>& x,
               std::vector<uint32_t>& c) {
  size_t size = n;
  for (const MissingRun& run : runs) size += static_cast<size_t>(run.count);
  x.resize(size + 1);
  c.resize(size + 1);
  x[0] = 0.0;
  c[0] = 0;
  size_t g = 0, r = 0;
  for (size_t i = 0; i < n; ++i) {
    for (; r < runs.size() && runs[r].at == i; ++r)
      for (int64_t k = 0; k < runs[r].count; ++k, ++g) {
        x[g + 1] = x[g];
        c[g + 1] = c[g];
      }
    ++g;
    x[g] = p[i];
    c[g] = static_cast<uint32_t>(i + 1);
  }
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

std::vector<int64_t> GridSizes(size_t samples, std::span<const size_t> segmentStarts,
                               std::span<const MissingRun> missing) {
  std::vector<int64_t> sizes;
  ForEachGridSegment(samples, segmentStarts, missing,
                     [&](size_t begin, size_t end, std::span<const MissingRun> runs) {
                       auto size = static_cast<int64_t>(end - begin);
                       for (const MissingRun& run : runs) size += run.count;
                       sizes.push_back(size);
                     });
  return sizes;
}

std::vector<AllanPoint> GapAllanDeviation(std::span<const double> phase,
                                          std::span<const size_t> segmentStarts,
                                          std::span<const MissingRun> missing, double tau0,
                                          std::span<const int64_t> factors, Estimator estimator) {
  std::vector<AllanPoint> out;
  if (!(tau0 > 0.0)) return out;
  const bool overlapping = estimator == Estimator::Overlapping;
  std::vector<GapPairSums> sums(factors.size());
  std::vector<int64_t> possible(factors.size(), 0);
  GapPairSums lag1;
  std::vector<double> x;
  std::vector<uint32_t> c;
  ForEachGridSegment(
      phase.size(), segmentStarts, missing,
      [&](size_t begin, size_t end, std::span<const MissingRun> runs) {
        BuildGrid(phase.data() + begin, end - begin, runs, x, c);
        const size_t size = x.size() - 1;
        if (size >= 2) lag1 += GapPairs(x.data(), c.data(), 1, 2, size, 1);
        for (size_t f = 0; f < factors.size(); ++f) {
          const auto m = static_cast<size_t>(std::max<int64_t>(factors[f], 0));
          if (m < 1 || size < 2 * m) continue;
          sums[f] += GapPairs(x.data(), c.data(), m, 2 * m, size, overlapping ? 1 : m);
          possible[f] +=
              static_cast<int64_t>(overlapping ? size + 1 - 2 * m : (size - 2 * m) / m + 1);
        }
      });
  const double lagOne = LagOneVariance(lag1, tau0);
  for (size_t f = 0; f < factors.size(); ++f)
    if (sums[f].terms >= 2)
      out.push_back(MakeGapPoint(factors[f], tau0, sums[f], possible[f], lagOne));
  return out;
}

double GapEdfShare(const AllanPoint& p) {
  double share = 1.0;
  if (p.possible > 0 && p.terms < p.possible)
    share = static_cast<double>(p.terms) / static_cast<double>(p.possible);
  if (p.addedWhite > 0.0) {
    const double noise = p.variance / (p.variance + p.addedWhite);
    share *= noise * noise;
  }
  return share;
}

IncrementalAllan::IncrementalAllan(double tau0, size_t capacity)
    : tau0_(tau0), capacity_(capacity) {
  // Address space only: pages are taken as samples come, and the copies of growing are spared
  // up to 2^24 samples.
  phase_.reserve(std::min(capacity, kReserved) + 1);
  phase_.push_back(0.0);
}

bool IncrementalAllan::Add(double rate) {
  if (phase_.size() + static_cast<size_t>(pending_) > capacity_) return false;
  if (phase_.size() == 1) offset_ = rate;
  if (pending_ > 0) {
    if (counts_.empty()) StartGaps();
    phase_.insert(phase_.end(), static_cast<size_t>(pending_), phase_.back());
    counts_.insert(counts_.end(), static_cast<size_t>(pending_), counts_.back());
    missing_ += pending_;
    pending_ = 0;
  }
  const double y = rate - offset_;
  sum_ += y;
  phase_.push_back(phase_.back() + y * tau0_);
  if (!counts_.empty()) counts_.push_back(counts_.back() + 1);
  // The new differences are summed a block at a time: one pass over contiguous phase per
  // octave, where a term per octave per sample would read some twenty places far apart.
  if (phase_.size() - 1 - folded_ >= kFoldBlock) {
    const size_t last = phase_.size() - 1;
    size_t m = 1;
    for (size_t k = 0; 2 * m <= last; ++k, m *= 2) {
      if (counts_.empty()) {
        if (k == sums_.size()) sums_.push_back(0.0);
        sums_[k] += NewSquares(m);
      } else {
        if (k == gapSums_.size()) gapSums_.emplace_back();
        gapSums_[k] += NewGapSums(m);
      }
    }
    folded_ = last;
  }
  return true;
}

bool IncrementalAllan::AddMissing(int64_t count) {
  if (count <= 0 || phase_.size() == 1) return true;
  if (static_cast<uint64_t>(count) > capacity_ ||
      phase_.size() + static_cast<size_t>(pending_ + count) > capacity_)
    return false;
  pending_ += count;
  return true;
}

// The sums so far carry over: up to the first missing sample every window is whole.
void IncrementalAllan::StartGaps() {
  const size_t n = phase_.size() - 1;
  counts_.reserve(std::min(capacity_, kReserved) + 1);
  for (size_t i = 0; i <= n; ++i) counts_.push_back(static_cast<uint32_t>(i));
  gapSums_.assign(sums_.size(), {});
  for (size_t k = 0, m = 1; k < sums_.size(); ++k, m *= 2)
    gapSums_[k] = {.squares = sums_[k],
                   .terms = folded_ >= 2 * m ? static_cast<int64_t>(folded_ + 1 - 2 * m) : 0};
  sums_.clear();
}

double IncrementalAllan::NewSquares(size_t m) const {
  const size_t last = phase_.size() - 1;
  const size_t from = std::max(folded_ + 1, 2 * m);
  if (from > last) return 0.0;
  const double* x = phase_.data() + from;
  return SecondDifferenceSquares(x - 2 * m, x - m, x, last + 1 - from);
}

GapPairSums IncrementalAllan::NewGapSums(size_t m) const {
  const size_t last = phase_.size() - 1;
  const size_t from = std::max(folded_ + 1, 2 * m);
  if (from > last) return {};
  return GapPairs(phase_.data(), counts_.data(), m, from, last, 1);
}

size_t IncrementalAllan::Samples() const {
  return counts_.empty() ? phase_.size() - 1 : counts_.back();
}

int64_t IncrementalAllan::Missing() const {
  return missing_;
}

double IncrementalAllan::Mean() const {
  const size_t n = Samples();
  return n == 0 ? 0.0 : offset_ + sum_ / static_cast<double>(n);
}

std::vector<AllanPoint> IncrementalAllan::Points() const {
  std::vector<AllanPoint> out;
  if (!(tau0_ > 0.0)) return out;
  const auto n = static_cast<int64_t>(phase_.size() - 1);
  if (counts_.empty()) {
    for (int64_t m = 1, k = 0; n + 1 - 2 * m >= 2; m *= 2, ++k) {
      const auto u = static_cast<size_t>(k);
      const double folded = u < sums_.size() ? sums_[u] : 0.0;
      out.push_back(
          MakePoint(m, tau0_, folded + NewSquares(static_cast<size_t>(m)), n + 1 - 2 * m));
    }
    return out;
  }
  std::vector<GapPairSums> sums;
  for (int64_t m = 1, k = 0; n + 1 - 2 * m >= 2; m *= 2, ++k) {
    const auto u = static_cast<size_t>(k);
    GapPairSums s = u < gapSums_.size() ? gapSums_[u] : GapPairSums{};
    sums.push_back(s += NewGapSums(static_cast<size_t>(m)));
  }
  const double lagOne = sums.empty() ? 0.0 : LagOneVariance(sums[0], tau0_);
  for (size_t k = 0; k < sums.size(); ++k) {
    const int64_t m = int64_t{1} << k;
    if (sums[k].terms >= 2) out.push_back(MakeGapPoint(m, tau0_, sums[k], n + 1 - 2 * m, lagOne));
  }
  return out;
}

void IncrementalAllan::Clear() {
  offset_ = 0.0;
  sum_ = 0.0;
  phase_.assign(1, 0.0);
  counts_.clear();
  pending_ = 0;
  missing_ = 0;
  sums_.clear();
  gapSums_.clear();
  folded_ = 0;
}

}  // namespace velk::noise
