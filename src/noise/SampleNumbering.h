#pragma once

#include <cstdint>

namespace velk::noise {

// Numbers the chip's samples from the reads of its new-data flag, at the chip's period. A
// sample came within (earliest, latest]: after any read that found the flag clear, before
// the read that found it set, and less than a period before that read (a later sample would
// have taken its place); whole periods from the one before narrow the span further. The step
// between two samples is the rounded difference between their spans' middles, so a read late
// by more than half a period keeps the sample's own number.
class SampleNumbering {
 public:
  struct Sample {
    int64_t number = 0;   // 0 for the first
    int64_t missing = 0;  // the samples since the last that no read found
  };

  explicit SampleNumbering(double period);

  // A read at `time` (s, when it started) that found the flag clear.
  void Clear(double time);
  // A read at `time` that found the flag set: the new sample's number.
  Sample Found(double time);

 private:
  double period_;
  double earliest_ = 0.0, latest_ = 0.0;  // the span the last sample came in
  double lastClear_ = 0.0;
  bool cleared_ = false;  // a read since the last sample found the flag clear, at lastClear_
  int64_t number_ = -1;
};

}  // namespace velk::noise
