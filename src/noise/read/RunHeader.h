#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "noise/Record.h"

namespace velk::noise {

// What the reader takes from each column; the others are only counted.
enum class Column { Skip, Elapsed, Sample, Rate, Code, Temp, Error, Status };

// A run's columns as its header line names them.
struct Columns {
  Layout layout = Layout::Log;
  char separator = ',';
  std::vector<Column> roles;
  std::vector<std::string> names;  // as the header writes them, for messages
  std::string missing;             // a column the layout needs that the header lacks
};

// The columns when the line is the header of one of the layouts.
std::optional<Columns> ParseHeaderLine(std::string_view line);

// What the lines before a run's header say about the chip.
struct RunSettings {
  std::string comment;  // without "# "
  std::optional<ChipSettings> chip;
  std::optional<double> statedRangeDps;  // "range 320 Dgr/S" or the datalog's Scale
  // The datalog's block.
  std::string loopDelayText;  // "100" of "LoopDelay\t100 mS"
  std::optional<double> datalogPeriodS;
  int datalogAvgCnt = 0;
};

// The "# ..." line the tool's log and the acquisition files start a run with.
void ReadCommentLine(std::string_view line, RunSettings& settings);
// "VELK 47120 Datalog File", which starts a run of the window's datalog.
bool IsDatalogTitle(std::string_view line);
// One "Key\tValue" line of the datalog's block.
void ReadDatalogLine(std::string_view line, RunSettings& settings);
// The datalog's settings as far as its block gives them (model and words unknown, 0).
std::optional<ChipSettings> DatalogChip(const RunSettings& settings);

// The chip's settings from the words and the model.
ChipSettings ChipFromWords(int32_t smplPrd, int32_t sensAvg, int32_t model);
// The nominal period of Smpl_Prd in seconds.
double SamplePeriodS(int32_t smplPrd);
// One count's value of the range whose full scale (deg/s) is given, if it is one of the ranges.
std::optional<double> RangeLsb(double fullScaleDps);
// The count value of any range within 1 % of `step`.
std::optional<double> NearestRangeLsb(double step);

}  // namespace velk::noise
