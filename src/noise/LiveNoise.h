#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "noise/Allan.h"
#include "noise/Analysis.h"
#include "noise/Record.h"
#include "noise/RunningStats.h"
#include "noise/SampleNumbering.h"

namespace velk::noise {

// One read-loop cycle's Gyro_Out reading as the window took it.
struct LiveReading {
  double time = 0.0;   // s, monotonic, as the read started: the sample numbering relies on it
  double value = 0.0;  // deg/s, as shown
  int32_t code = 0;
  bool newData = false;
  std::optional<double> temp;  // degC, when the cycle read it
};

enum class LiveMode { Deciding, ChipClocked, HostPaced };

// What the worker thread analyses: the record's facts without its samples, and the octave
// deviation so far. Small, copied under no lock of the feeder's. The octaves bridge the missed
// samples already, so `facts.missing` stays empty: `facts.lost` counts them and `gridSizes`
// holds the record's length with them (empty while none is missing).
struct LiveSnapshot {
  Record facts;
  std::vector<int64_t> segmentSizes;
  std::vector<int64_t> gridSizes;
  std::vector<AllanPoint> octaves;
  LiveMode mode = LiveMode::Deciding;
  std::string cause;  // why this analysis started
  bool full = false;  // the record reached its capacity and takes no more samples
};

// The analysis of the rate while the read loop runs, fed once a cycle. The first 64 cycles
// of a run decide the mode: chip-clocked when their median is under 0.8 x the chip's sample
// period, else host-paced. Chip-clocked, a reading with its new-data flag set is the next
// sample, numbered by SampleNumbering from the readings with the flag set and clear; the
// samples the loop missed are marked missing and bridged, as a file's are, so late cycles
// and stalls of a busy host never start a new analysis. Host-paced, every reading is a sample
// and tau0 the median of the first 64 cycles; a change of more than 20 % in the median cycle
// starts a new analysis by itself.
class LiveNoise {
 public:
  // Grid points, the samples and those missing between them. The deviation keeps 8 bytes a
  // point while none is missing and 12 once one is: 256 MiB, or 384 MiB, at capacity.
  static constexpr size_t kCapacity = size_t{1} << 25;

  explicit LiveNoise(size_t capacity = kCapacity);
  // A new analysis for the chip as it is set now; `cause` is shown to the user.
  void Restart(const ChipSettings& chip, std::string cause);
  // A new analysis for the same chip (the user's Clear).
  void StartOver(std::string cause);
  void Feed(const LiveReading& reading);

  LiveMode Mode() const;
  int64_t Samples() const;
  const std::string& Cause() const;
  bool Full() const;
  LiveSnapshot Take() const;

 private:
  static constexpr size_t kCycles = 64;  // the cycles that decide, and the pace's window

  // The last kCycles cycle times, in order of arrival and sorted, for their median.
  class CycleWindow {
   public:
    void Clear() { count_ = 0; }
    size_t Count() const { return count_; }
    void Add(double cycle);
    double Median() const;

   private:
    std::array<double, kCycles> ring_{};
    std::array<double, kCycles> sorted_{};
    size_t count_ = 0;
    size_t next_ = 0;  // the ring's oldest once full
  };

  void Clear();
  void Decide();
  void Intake(const LiveReading& reading, std::optional<double> cycle);
  bool AddSample(double code);  // false once full
  int64_t GridPoints() const;

  size_t capacity_;
  std::optional<ChipSettings> chip_;
  std::string cause_;
  LiveMode mode_ = LiveMode::Deciding;
  std::vector<LiveReading> pending_;  // the readings that decide, replayed once decided
  CycleWindow window_;
  std::optional<double> lastTime_;  // of the last reading fed
  double decided_ = 0.0;            // the median cycle the mode was decided on
  double tau0_ = 0.0;
  std::optional<IncrementalAllan> allan_;
  bool full_ = false;

  std::optional<double> start_;               // time of the first sample's reading
  std::optional<SampleNumbering> numbering_;  // chip-clocked
  double sampleEnd_ = 0.0;                    // the last sample's time in the record
  double stepSquares_ = 0.0;                  // host-paced: the cycles' squared deviation from tau0
  int64_t steps_ = 0;
  RunningStats stats_;
};

// The snapshot analysed as a file would be, with the live record's own checks: `host_paced`
// for a host-paced record.
Analysis AnalyzeLive(const LiveSnapshot& snapshot, const AnalysisOptions& options);

}  // namespace velk::noise
