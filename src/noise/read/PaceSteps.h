#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace velk::noise {

// The elapsed steps of a host-paced run in bounded memory: a log-binned histogram gives their
// median, blocks of steps keep only those that may turn out to be gaps, and running sums give
// the mean step and the jitter once the gaps are known. A gap is a step that rounds to two or
// more median steps: rows are missing there.
class PaceSteps {
 public:
  PaceSteps();
  void Reset();
  // The elapsed column's last digit, s: before the first 1024 steps.
  void SetResolution(double resolution) { resolution_ = resolution; }
  // One step between consecutive rows; `breakAt` is the sample a gap there would start.
  void Add(double step, size_t breakAt) {
    block_.emplace_back(step, breakAt);
    if (block_.size() == kBlock) Flush();
  }

  struct Gap {
    size_t at = 0;  // the sample after it
    double step = 0.0;
  };
  struct Pace {
    int64_t steps = 0;      // the steps that are not gaps
    double meanStep = 0.0;  // their mean, s
    double medianStep = 0.0;
    double jitter = 0.0;         // RMS of their deviation from tau0, s
    std::vector<Gap> gaps;       // the steps over 1.5 x the median, ascending in `at`
    bool gapsUncertain = false;  // the pace changed so much that an early gap may be missed
  };
  // Once after the last step; the jitter is taken about `tau0`, or the mean step without it.
  Pace Finish(std::optional<double> tau0);

 private:
  static constexpr size_t kBlock = 1024;
  void Flush();

  double resolution_ = 1e-6;
  std::vector<std::pair<double, size_t>> block_;
  std::vector<std::pair<double, size_t>> candidates_;
  std::vector<int64_t> histogram_;
  int64_t blocks_ = 0;
  double reference_ = 0.0;  // the first block's median: the sums are about it, for precision
  double lowestMedian_ = 0.0;
  int64_t count_ = 0;
  double sum_ = 0.0;
  double sumSquares_ = 0.0;
};

}  // namespace velk::noise
