#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/AppendLog.h"
#include "core/QueuedWriter.h"
#include "core/Result.h"
#include "noise/Record.h"

namespace velk {

// The calibration words a cycle ran with, as read back.
struct RecordWords {
  int32_t gyroOfst = 0;
  int32_t gyroScale = 0;
  bool operator==(const RecordWords&) const = default;
};

// One averaging window of a repeatability run: a power-down cycle ("1", "2", ...) or a
// self-test window ("self-test off", "self-test on"); a tumble's position or a turn.
struct RecordWindow {
  std::string label;
  std::optional<RecordWords> words;
  std::vector<double> rates;  // deg/s, every sample taken, in order
  std::vector<double> temps;  // degC, once a second
  int64_t lost = 0;
  bool whole = false;  // its end line was written: the average ran its full time
  // A turn's: each sample's number (the Sample column) and elapsed time, and Angle_Out as
  // read while still (s, deg).
  std::vector<int64_t> numbers;
  std::vector<double> times;
  std::vector<std::pair<double, double>> angles;
};

inline constexpr std::string_view kSelfTestOff = "self-test off";
inline constexpr std::string_view kSelfTestOn = "self-test on";

// A rate a table was commanded to in a scale run, and when (s, the rows' elapsed time).
struct RecordTableRate {
  double time = 0.0;
  double rate = 0.0;   // deg/s
  double dwell = 0.0;  // s held
  bool operator==(const RecordTableRate&) const = default;
};

// "# table: RATE deg/s at TIME s, dwell DWELL s", the line a scale run writes before a plateau.
std::string TableLine(const RecordTableRate& table);

// A characterise record, or a log read as one.
struct CharacteriseRecord {
  std::string test;     // "repeatability", "tempco" or "log"
  std::string comment;  // the chip's line, without "# "
  std::optional<noise::ChipSettings> chip;
  std::map<std::string, std::string> conditions;  // of the "# characterise TEST:" line
  std::optional<RecordWords> words;               // in force at the start
  std::vector<RecordWindow> windows;              // repeatability
  // Tempco and log: the rate at its times and the temperature at its own (s, deg/s, degC).
  std::vector<double> time, rate, tempTime, temp;
  std::vector<RecordTableRate> table;  // scale: the table's commands
  int runs = 0;                        // in the file; the last is kept
  std::vector<std::string> notes;      // what was left out, for the user

  std::optional<double> Number(const std::string& key) const;
};

// The record's header: the log's columns and those a test adds ("Cycle", "Samples" or
// "Cycle,Sample").
std::string RecordColumns(std::string_view extra);

// "# characterise TEST: key=value, ...", the words line and the note on what a row holds.
std::string RecordConditionLines(std::string_view test,
                                 const std::vector<std::pair<std::string, std::string>>& conditions,
                                 const RecordWords& words, std::string_view rowsNote);
// "# LABEL starts: Gyro_Ofst=0x0000, Gyro_Scale=0x0800" ("cycle 3 starts" for a cycle).
std::string WindowStartLine(std::string_view label, const RecordWords& words);
// "# LABEL ends: N samples, L lost"; a window without it was cut short.
std::string WindowEndLine(std::string_view label, int64_t taken, int64_t lost);
// "# LABEL Angle_Out: DEG deg at S s", a reading taken while the board was still.
std::string WindowAngleLine(std::string_view label, double degrees, double elapsed);

// A number as a row writes it, so the reader takes back the same value.
std::string RecordNumber(double value);

// Builds the record from its lines, the file's or those a live run writes: a header line
// starts a run (the comment lines just before it are its own) and the last run is kept.
class RecordParser {
 public:
  // One line without its line break. Fails with the line's number and what is wrong.
  Result<void, std::string> Line(std::string_view line);
  // The record, or why it cannot be used; `what` names it in the messages.
  Result<CharacteriseRecord, std::string> Finish(std::string_view what);

 private:
  void StartRun();
  Result<void, std::string> Comment(std::string_view text);
  Result<void, std::string> Row(std::string_view line);
  std::string Where() const;

  CharacteriseRecord record_;
  std::vector<std::string> pending_;  // comment lines since the last row
  std::vector<int> columns_;          // per field: the role below, or -1
  char separator_ = ',';
  bool inRun_ = false;
  int64_t line_ = 0;
  int64_t shortLine_ = 0;  // a row cut short, which only the last line may be
  int64_t errorRows_ = 0;
  int runs_ = 0;
  RecordWindow* open_ = nullptr;
};

// What a live run writes: its lines go to the file (a second at a time, by the writer's
// thread) and to the parser, so the live analysis sees what a later --from reads.
class RecordOutput {
 public:
  using RowWriter = QueuedWriter<AppendLog::WriteError>;

  // `writer` null: no file.
  RecordOutput(RowWriter* writer, std::chrono::system_clock::time_point start);

  // Whole lines, each ending in '\n'.
  void Lines(std::string_view text);
  // Hands the lines so far to the writer.
  void Hand();
  bool Failed() const { return writer_ != nullptr && writer_->Failed(); }
  // The UTC time `elapsed` seconds after the start, as the log's first column writes it.
  std::string Utc(double elapsed) const;
  // The first line the parser refused: a fault of the writer, kept to be reported.
  const std::optional<std::string>& Refused() const { return refused_; }
  RecordParser& parser() { return parser_; }

 private:
  RowWriter* writer_;
  std::chrono::system_clock::time_point start_;
  std::string rows_;
  RecordParser parser_;
  std::optional<std::string> refused_;
};

// A record's row: the log's columns with only the gyro, the temperature (when read) and New,
// then the test's own field.
std::string RecordRow(const std::string& utc, double elapsed, std::string_view rate,
                      std::optional<float> temp, std::string_view extra);

}  // namespace velk
