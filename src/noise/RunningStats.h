#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "noise/Record.h"

namespace velk::noise {

// The figures of StreamStats as the samples stream by, for the file reader and the live
// record alike. Times are seconds from the record's first sample.
class RunningStats {
 public:
  static constexpr size_t kBlockSamples = 256;

  void Reset();
  void AddRate(double t, double rate);
  void AddTemp(double t, double temp);
  // One code of the sample stream: each kBlockSamples in a row make a block of the spread.
  void AddCode(double code);
  // A gap in the stream: the block begun so far is dropped, as no block spans a gap.
  void BreakBlock() { filled_ = 0; }
  // Every whole block of one segment's codes at once.
  void AddBlocks(std::span<const double> codes);

  // The figures so far: `end` closes the last bins when they are whole; `codeScale` turns a
  // code into LSB.
  StreamStats Stats(double end, double codeScale) const;

 private:
  void AddBlock(const double* x);

  struct Bins {
    explicit Bins(double binWidth) : width(binWidth) {}
    double width;
    int64_t current = 0;
    double next = 0.0;  // where the current bin ends
    double sum = 0.0;
    int64_t count = 0;
    std::vector<double> means;  // of the bins closed so far
    void Add(double t, double value);
    std::vector<double> Closed(double end) const;
  };
  Bins seconds_{1.0}, tens_{10.0};
  double rateSum_ = 0.0, tempSum_ = 0.0;
  int64_t rates_ = 0, temps_ = 0;
  double variances_ = 0.0;
  int64_t blocks_ = 0;
  std::array<double, kBlockSamples> block_{};
  size_t filled_ = 0;
};

}  // namespace velk::noise
