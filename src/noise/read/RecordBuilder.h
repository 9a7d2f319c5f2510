#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"
#include "noise/Record.h"
#include "noise/RunningStats.h"
#include "noise/read/PaceSteps.h"
#include "noise/read/RunHeader.h"

namespace velk::noise {

// One row's fields as the reader converted them; the ones its layout lacks stay as they are.
struct RowValues {
  double elapsed = 0.0;
  std::string_view elapsedText;
  int64_t sample = 0;
  double rate = 0.0;  // deg/s
  std::string_view rateText;
  int64_t code = 0;
  double temp = 0.0;
  bool hasTemp = false;
  bool error = false;
  int64_t status = 0;
};

// The distinct rates of a run, up to a bound (a real chip gives at most 16384).
class DistinctValues {
 public:
  void Clear();
  void Insert(double value);
  bool Overflowed() const { return overflowed_; }
  std::vector<double> Sorted() const;

 private:
  void Grow();
  std::vector<uint64_t> table_;
  size_t size_ = 0;
  bool overflowed_ = false;
};

// Turns one run's rows, as they stream by, into a Record.
class RecordBuilder {
 public:
  void Start(const Columns& columns, const RunSettings& settings, const ReadOptions& options);
  void Reserve(size_t rows);
  // Why the row cannot follow the one before (without the line), if it cannot.
  Result<void, std::string> Add(const RowValues& row);
  // A line cut short, left out; `note` says which.
  void Incomplete(std::string note);
  // A "# gap: ..." line at `line`: the rows after it start a new segment of the same run.
  void GapLine(int64_t line, std::string_view why);
  // The record, or why there is none; `subject` names the file (and the run) in messages.
  ReadResult Finish(const std::string& subject);

 private:
  enum class Cause { Kept, ErrorFlag, RangeLimit };
  static Result<void, std::string> Fail(std::string why);
  Cause LeftOut(const RowValues& row) const;
  void Miss(int64_t count);
  Result<void, std::string> Timing(const std::string& subject);
  void NumberGaps(const PaceSteps::Pace& pace);
  void Segments();
  void Units();
  double BlockSpread();  // the blocks fed to stats_; gives one sample in LSB

  Record record_;
  ReadOptions options_;
  bool hasErrorColumn_ = false;
  double limitLsb_ = 0.0;  // the LSB the limit codes are told by while streaming
  std::optional<double> statedLsb_;
  std::optional<double> timeStep_;  // a sample's time when known before the rows

  int64_t rows_ = 0;
  int64_t considered_ = 0;  // after the skipped start
  double firstElapsed_ = 0.0, lastElapsed_ = 0.0;
  int64_t firstSample_ = 0, lastSample_ = 0;
  double start_ = 0.0;     // time of the first row considered, from the run's first row
  double lastTime_ = 0.0;  // of the last row considered, from start_
  double runSpan_ = 0.0;   // time of the last row from the run's first row
  double startElapsed_ = 0.0;
  int64_t startSample_ = 0;
  bool breakPending_ = false;
  bool gapLine_ = false;  // a gap line since the last row
  int64_t gapLines_ = 0;
  std::string firstGap_;
  std::vector<size_t> breaks_;
  PaceSteps steps_;
  int elapsedDecimals_ = 0;
  DistinctValues distinct_;
  std::string firstText_;
  double minValue_ = 0.0, maxValue_ = 0.0;
  double bestCodeRate_ = 0.0;  // acquisition: rate / code at the largest code
  int64_t bestCode_ = 0;
  RunningStats stats_;
};

}  // namespace velk::noise
