#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "noise/Allan.h"
#include "noise/Analysis.h"
#include "noise/Record.h"

namespace velk::noise {

// One read-loop cycle's Gyro_Out reading as the window took it.
struct LiveReading {
  double time = 0.0;  // s, monotonic
  double value = 0.0; // deg/s, as shown
  int32_t code = 0;
  bool newData = false;
  std::optional<double> temp;  // degC, when the cycle read it
};

enum class LiveMode { Deciding, ChipClocked, HostPaced };

// What the worker thread analyses: the record's facts without its samples, and the octave
// deviation so far. Small, copied under no lock of the feeder's.
struct LiveSnapshot {
  Record facts;
  std::vector<int64_t> segmentSizes;
  std::vector<AllanPoint> octaves;
  LiveMode mode = LiveMode::Deciding;
  std::string cause;  // why this analysis started
  bool full = false;  // the record reached its capacity and takes no more samples
};

// The analysis of the rate while the read loop runs, fed once a cycle. The first 64 cycles
// of a run decide the mode: chip-clocked when their median is under 0.8 x the chip's sample
// period (a reading with its new-data flag set is the next sample, numbered by
// round(dt / period); lost samples are filled with the last value and counted), else
// host-paced (every reading a sample, tau0 the median of the first 64 cycles). A change of
// more than 20 % in the median cycle starts a new analysis by itself.
class LiveNoise {
 public:
  static constexpr size_t kCapacity = size_t{1} << 25;

  explicit LiveNoise(size_t capacity = kCapacity);
  // A new analysis for the chip as it is set now; `cause` is shown to the user.
  void Restart(const ChipSettings& chip, std::string cause);
  void Feed(const LiveReading& reading);

  LiveMode Mode() const;
  int64_t Samples() const;
  const std::string& Cause() const;
  bool Full() const;
  LiveSnapshot Take() const;
};

// The snapshot analysed as a file would be, with the live record's own checks: `host_paced`
// for a host-paced record.
Analysis AnalyzeLive(const LiveSnapshot& snapshot, const AnalysisOptions& options);

}  // namespace velk::noise
