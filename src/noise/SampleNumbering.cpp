#include "noise/SampleNumbering.h"

#include <algorithm>
#include <cmath>

namespace velk::noise {

namespace {

// Far beyond any run, and far inside int64_t: a stalled loop or a suspended host must not
// overflow the count.
constexpr double kMostSteps = 0x1p40;

}  // namespace

SampleNumbering::SampleNumbering(double period) : period_(period) {}

void SampleNumbering::Clear(double time) {
  lastClear_ = time;
  cleared_ = true;
  // The next sample has not come: the last one came less than a period ago (unless the chip
  // has stopped, which no span can tell).
  earliest_ = std::min(latest_, std::max(earliest_, time - period_));
}

SampleNumbering::Sample SampleNumbering::Found(double time) {
  const double from = cleared_ ? std::max(lastClear_, time - period_) : time - period_;
  const bool first = number_ < 0;
  int64_t step = 1;
  if (!first) {
    const double periods = (from + time - earliest_ - latest_) / (2.0 * period_);
    if (periods >= kMostSteps)
      step = static_cast<int64_t>(kMostSteps);
    else if (periods > 1.0)
      step = std::llround(periods);
  }
  number_ += step;
  const double shift = static_cast<double>(step) * period_;
  if (first || std::max(from, earliest_ + shift) >= std::min(time, latest_ + shift)) {
    earliest_ = from;  // the spans disagree (a chip whose period is off): start afresh
    latest_ = time;
  } else {
    earliest_ = std::max(from, earliest_ + shift);
    latest_ = std::min(time, latest_ + shift);
  }
  cleared_ = false;
  return {number_, step - 1};
}

}  // namespace velk::noise
