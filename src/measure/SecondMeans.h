#pragma once

#include <cstdint>
#include <optional>

#include "measure/Acquisition.h"
#include "measure/CharacteriseRecord.h"

namespace velk {

// The sink of a temperature run: hours at the chip's rate would make gigabytes, and the tempco
// needs no more than a second's mean, so each second of samples becomes one row of the record:
// the mean rate at the samples' mean time, the Temp_Out read at the second's start and how many
// samples the mean holds (the Samples column).
class SecondMeans : public AcquisitionSink {
 public:
  explicit SecondMeans(RecordOutput& output) : output_(output) {}

  bool Take(const AcquiredSample& sample) override;
  // The last second's row, once the acquisition has ended.
  void Flush();

 private:
  RecordOutput& output_;
  int64_t second_ = -1;
  int64_t count_ = 0;
  double rateSum_ = 0.0, timeSum_ = 0.0;
  std::optional<float> temp_;
};

}  // namespace velk
