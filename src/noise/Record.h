#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Realtime.h"
#include "core/Result.h"

namespace velk::noise {

// The file layouts the analysis reads, told apart by their header.
enum class Layout { Log, Acquisition, Datalog };

// Where a record's tau0 came from. None only while the live record has not yet decided its
// pace.
enum class Tau0Source { None, SamplePeriod, Elapsed, Given, MedianCycle };

// The source as the report and the JSON name it.
constexpr std::string_view Tau0SourceText(Tau0Source source) {
  switch (source) {
    case Tau0Source::SamplePeriod:
      return "sample period";
    case Tau0Source::Elapsed:
      return "elapsed";
    case Tau0Source::Given:
      return "--tau0";
    case Tau0Source::MedianCycle:
      return "median cycle";
    case Tau0Source::None:
      break;
  }
  return "";
}

// The chip's settings as a file's comment line (or the datalog's header) records them. The
// datalog names neither the model nor the words: there they are 0, and lsbDps is the one its
// Scale and steps show.
struct ChipSettings {
  int32_t model = 47120;
  int32_t smplPrd = 1;       // Smpl_Prd as written
  int32_t sensAvg = 0x0402;  // Sens_Avg as written
  double rangeDps = 0.0;     // full scale, deg/s
  double lsbDps = 0.0;       // one Gyro_Out count, deg/s
  double samplePeriodS = 0.0;
  int32_t taps = 1;
  double windowS = 0.0;  // W: taps x sample period, the averaging window
};

// Running figures the reader keeps while it streams the rows, so the checks never need a
// second pass or a second copy of the record.
struct StreamStats {
  std::vector<double> secondMeans;     // mean rate (deg/s) of each whole second of the record
  std::vector<double> tenSecondTemps;  // mean temperature (degC) of each whole 10 s
  double blockSpreadRms = 0.0;         // RMS over 256-sample blocks of the codes' spread, LSB
  int64_t blocks = 0;                  // blocks that went into blockSpreadRms
  double meanRate = 0.0;               // deg/s, every kept sample
  std::optional<double> meanTemp;      // degC, when the file has a temperature column
};

// The rows of a run the record leaves out, by why. Those between two kept samples are missing
// samples too.
struct LeftOutRows {
  int64_t errorFlag = 0;   // Error set with an error bit, or without an alarm bit
  int64_t rangeLimit = 0;  // a code at either end of the range: it may be clipped
  int64_t incomplete = 0;  // a line cut short: the run's last, or one before a gap line
  int64_t Total() const { return errorFlag + rangeLimit + incomplete; }
};

// Sample numbers missing inside a segment, as runs: `count` samples missing just before
// samples[at]. Ascending in `at`; never at a segment's first sample.
struct MissingRun {
  size_t at = 0;
  int64_t count = 0;
};

// One run of rate samples ready for the analysis.
struct Record {
  Layout layout = Layout::Log;
  std::string file;  // as the user named it; "-" for standard input
  int run = 1;       // 1-based, in file order
  int runs = 1;
  std::string comment;  // the comment line (log, acquisition) without "# ", or empty
  std::optional<ChipSettings> chip;
  // The tool's own acquisition: the priority its thread ran at. None for a file.
  std::optional<RealtimeGrant> priority;

  double tau0 = 0.0;  // seconds between samples
  Tau0Source tau0Source = Tau0Source::None;
  // Rate samples in work units: counts when integerCounts, else deg/s. `unit` turns one
  // into deg/s.
  std::vector<double> samples;
  double unit = 1.0;
  bool integerCounts = false;
  // Index of each segment's first sample, ascending, starting with 0. The Allan sums never
  // cross from one segment into the next.
  std::vector<size_t> segmentStarts;
  // Missing samples the deviation bridges: its windows take the samples present.
  std::vector<MissingRun> missing;
  int64_t lost = 0;  // samples missing inside the record; a file's are `missing`'s
  LeftOutRows leftOut;
  double jitter = 0.0;     // host-paced: RMS of the elapsed steps' deviation from tau0, s
  double durationS = 0.0;  // (samples + lost) x tau0
  StreamStats stats;
  std::vector<std::string> notes;  // one sentence each: a partial last line, an overridden tau0
};

// The largest --tau0 or --skip the reader takes, in seconds.
inline constexpr double kLargestReadSeconds = 1e12;

// How the reader is asked to read.
struct ReadOptions {
  std::optional<int> run;      // 1-based; the last run when absent
  std::optional<double> tau0;  // seconds; overrides the time column, required for the datalog
  double skipS = 0.0;          // drop the first S seconds
  // Set (non-zero) by a signal handler: a read waiting on a pipe gives up.
  const volatile std::sig_atomic_t* stop = nullptr;
};

// Why a read gives no record.
struct ReadError {
  std::string message;  // as the tool prints it (exit status 1) and the window shows it
  // Set when the file is the window's datalog and no tau0 was given: its LoopDelay text in
  // mS (empty when not recorded), to offer as a start.
  std::optional<std::string> datalogLoopDelay;
};

// A record, or why there is none.
using ReadResult = Result<Record, ReadError>;

// The error side of a ReadResult that has only its message.
inline Unexpected<ReadError> ReadFailed(std::string message) {
  return Unexpected(ReadError{std::move(message), std::nullopt});
}

}  // namespace velk::noise
