#include "measure/SecondMeans.h"

#include <cmath>
#include <string>

namespace velk {

bool SecondMeans::Take(const AcquiredSample& s) {
  if (output_.Failed()) return false;
  const auto second = static_cast<int64_t>(std::floor(s.elapsed));
  if (second != second_) {
    Flush();
    second_ = second;
  }
  ++count_;
  rateSum_ += s.rate;
  timeSum_ += s.elapsed;
  if (s.temp && !temp_) temp_ = s.temp;
  return true;
}

void SecondMeans::Flush() {
  if (count_ > 0) {
    const double n = static_cast<double>(count_);
    const double at = timeSum_ / n;
    output_.Lines(
        RecordRow(output_.Utc(at), at, RecordNumber(rateSum_ / n), temp_, std::to_string(count_)));
    output_.Hand();
  }
  count_ = 0;
  rateSum_ = timeSum_ = 0.0;
  temp_.reset();
}

}  // namespace velk
