#include "noise/read/PaceSteps.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace velk::noise {

namespace {

// 64 bins an octave from 2^-40 s to 2^40 s, plus one for steps of 0: the median to 1.1 %.
constexpr int kSubBits = 6;
constexpr double kLowest = 0x1p-40;
constexpr double kHighest = 0x1p40;
constexpr int kShift = 52 - kSubBits;
constexpr uint64_t kLowestBits = std::bit_cast<uint64_t>(kLowest);
constexpr size_t kBins = 2 + ((std::bit_cast<uint64_t>(kHighest) - kLowestBits) >> kShift);
// A step that rounds to two median steps or more has rows missing in it.
constexpr double kGapFactor = 1.5;
constexpr double kKeepFactor = 1.25;

size_t Bin(double step) {
  if (!(step > 0.0)) return 0;
  const double clamped = std::clamp(step, kLowest, kHighest);
  return 1 + static_cast<size_t>((std::bit_cast<uint64_t>(clamped) - kLowestBits) >> kShift);
}

double BinLow(size_t bin) {
  if (bin == 0) return 0.0;
  return std::bit_cast<double>(kLowestBits + (static_cast<uint64_t>(bin - 1) << kShift));
}

double BinMiddle(size_t bin) {
  if (bin == 0) return 0.0;
  return std::bit_cast<double>(kLowestBits + (static_cast<uint64_t>(bin - 1) << kShift) +
                               (uint64_t{1} << (kShift - 1)));
}

}  // namespace

PaceSteps::PaceSteps() : histogram_(kBins) {
  block_.reserve(kBlock);
}

void PaceSteps::Reset() {
  resolution_ = 1e-6;
  block_.clear();
  candidates_.clear();
  std::fill(histogram_.begin(), histogram_.end(), 0);
  blocks_ = 0;
  reference_ = lowestMedian_ = 0.0;
  count_ = 0;
  sum_ = sumSquares_ = 0.0;
}

// A step can only be a gap if it exceeds 1.5 x the final median, and the lowest block median
// so far is at most that median (were every block's lower median above it, fewer than half the
// steps would be at or below it). Keeping the steps over 1.25 x the lowest median so far misses
// a gap only when an early block's median was over 1.2 x the final one; Finish tells.
void PaceSteps::Flush() {
  if (block_.empty()) return;
  const auto middle = block_.begin() + static_cast<std::ptrdiff_t>((block_.size() - 1) / 2);
  std::nth_element(block_.begin(), middle, block_.end());
  const double median = middle->first;
  if (blocks_++ == 0) {
    reference_ = median;
    lowestMedian_ = median;
  }
  lowestMedian_ = std::min(lowestMedian_, median);
  const double keep = kKeepFactor * std::max(lowestMedian_, resolution_);
  for (const auto& [step, at] : block_) {
    ++histogram_[Bin(step)];
    const double d = step - reference_;
    sum_ += d;
    sumSquares_ += d * d;
    if (step > keep) candidates_.emplace_back(step, at);
  }
  count_ += static_cast<int64_t>(block_.size());
  block_.clear();
}

PaceSteps::Pace PaceSteps::Finish(std::optional<double> tau0) {
  Flush();
  Pace pace;
  if (count_ == 0) return pace;
  const int64_t rank = (count_ - 1) / 2;
  int64_t below = 0;
  size_t bin = 0;
  while (below + histogram_[bin] <= rank) below += histogram_[bin++];
  pace.medianStep = BinMiddle(bin);
  const double gap = kGapFactor * std::max(pace.medianStep, resolution_);

  int64_t steps = count_;
  double sum = sum_;
  double sumSquares = sumSquares_;
  for (const auto& [step, at] : candidates_) {
    if (step <= gap) continue;
    pace.gaps.push_back({at, step});
    const double d = step - reference_;
    --steps;
    sum -= d;
    sumSquares -= d * d;
  }
  // A block's candidates come in the order the median left them.
  std::sort(pace.gaps.begin(), pace.gaps.end(),
            [](const Gap& a, const Gap& b) { return a.at < b.at; });
  int64_t seenAbove = 0;
  for (size_t b = 0; b < kBins; ++b)
    if (BinLow(b) > gap) seenAbove += histogram_[b];
  pace.gapsUncertain = seenAbove > static_cast<int64_t>(pace.gaps.size());
  if (steps == 0) return pace;

  pace.steps = steps;
  const double n = static_cast<double>(steps);
  pace.meanStep = reference_ + sum / n;
  const double offset = tau0.value_or(pace.meanStep) - reference_;
  const double variance = (sumSquares - 2.0 * offset * sum + n * offset * offset) / n;
  pace.jitter = std::sqrt(std::max(0.0, variance));
  return pace;
}

}  // namespace velk::noise
