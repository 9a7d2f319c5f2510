#include "noise/read/Reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "noise/read/LineFeed.h"
#include "noise/read/RecordBuilder.h"
#include "noise/read/RowFields.h"
#include "noise/read/RunHeader.h"

namespace velk::noise {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr size_t kRunsListed = 10;
// A comment line that marks a break inside a run (a replug), not a new run.
constexpr std::string_view kGapLine = "# gap:";

bool StartsRow(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

bool Blank(std::string_view line) {
  for (char c : line)
    if (c != ' ' && c != '\t') return false;
  return true;
}

enum class Phase { AwaitHeader, DatalogBlock, UnitsLine, Rows };

// What follows a row short of fields, which makes it a write cut short.
enum class CutBy { FileEnd, NextRun, Gap };

// The runs of one file, read line by line; only the run asked for (or, without --run, each in
// turn, the last one kept) goes into the builder, the others are only counted.
class FileReader {
 public:
  FileReader(LineFeed& feed, std::string name, std::string shown, const ReadOptions& options,
             uint64_t size)
      : feed_(feed),
        name_(std::move(name)),
        shown_(std::move(shown)),
        options_(options),
        size_(size) {}

  ReadResult Read();

 private:
  struct Short {
    int64_t line;
    size_t fields;
  };

  void Line(std::string_view line);
  void StartRun();
  void Comment(std::string_view line);
  void Header(const Columns& columns);
  void Row(std::string_view line);
  void RunError(int64_t line, const std::string& why);
  void LeaveOutShort(CutBy by);
  std::string At(int64_t line) const { return shown_ + " line " + std::to_string(line) + ": "; }
  std::string Subject() const;
  std::string RunsListed() const;

  LineFeed& feed_;
  std::string name_;
  std::string shown_;
  const ReadOptions& options_;
  uint64_t size_;
  std::string fileError_;

  std::vector<int64_t> runRows_;  // rows of each run so far
  Phase phase_ = Phase::AwaitHeader;
  RunSettings settings_;
  std::optional<Columns> columns_;
  bool parsing_ = false;  // this run's rows go into the builder
  int held_ = 0;          // the run the builder holds, 1-based
  bool started_ = false;  // the builder has that run's header
  std::string heldError_;
  std::optional<std::string> tau0Wanted_;  // a datalog's LoopDelay text when --tau0 is missing
  std::optional<Short> short_;
  uint64_t rowsStartAt_ = 0;
  RecordBuilder builder_;
};

std::string FileReader::Subject() const {
  if (runRows_.size() < 2) return shown_;
  return shown_ + " (run " + std::to_string(held_) + " of " + std::to_string(runRows_.size()) + ")";
}

std::string FileReader::RunsListed() const {
  std::string text;
  for (size_t i = 0; i < runRows_.size(); ++i) {
    if (i == kRunsListed && runRows_.size() > kRunsListed + 1) {
      text += ", ...";
      i = runRows_.size() - 1;
    }
    text += (i == 0 ? "" : ", ") + std::to_string(i + 1) + ": " + std::to_string(runRows_[i]) +
            (runRows_[i] == 1 ? " row" : " rows");
  }
  return text;
}

void FileReader::RunError(int64_t line, const std::string& why) {
  if (!parsing_) return;
  heldError_ = At(line) + why;
  parsing_ = false;
}

// A short row that ends its run (at the end of the file or before the next run's first line)
// or comes just before a gap line is a write cut short (a crash, a full disk, a replug): the
// run is kept without it.
void FileReader::LeaveOutShort(CutBy by) {
  --runRows_.back();
  if (!parsing_) return;
  const std::string fields =
      std::to_string(short_->fields) + " of " + std::to_string(columns_->roles.size()) + " fields";
  const std::string line = std::to_string(short_->line);
  const std::string tail = " holds " + fields + ": left out as incomplete";
  switch (by) {
    case CutBy::FileEnd:
      return builder_.Incomplete("the last line (" + line + ")" + tail);
    case CutBy::NextRun:
      return builder_.Incomplete("line " + line + ", the run's last," + tail);
    case CutBy::Gap:
      return builder_.Incomplete("line " + line + ", before a gap line," + tail);
  }
}

// A run starts at its comment line, datalog title or a header without either before it. One
// that never got its header gives its place to the next.
void FileReader::StartRun() {
  if (runRows_.empty() || columns_) runRows_.push_back(0);
  const int number = static_cast<int>(runRows_.size());
  columns_.reset();
  settings_ = RunSettings{};
  phase_ = Phase::AwaitHeader;
  parsing_ = !options_.run || *options_.run == number;
  if (parsing_) {
    held_ = number;
    started_ = false;
    heldError_.clear();
    tau0Wanted_.reset();
  }
}

void FileReader::Comment(std::string_view line) {
  StartRun();
  ReadCommentLine(line, settings_);
}

void FileReader::Header(const Columns& columns) {
  const bool datalog = columns.layout == Layout::Datalog;
  const bool belongs = !runRows_.empty() && !columns_ &&
                       phase_ == (datalog ? Phase::DatalogBlock : Phase::AwaitHeader);
  if (!belongs) StartRun();
  columns_ = columns;
  phase_ = datalog ? Phase::UnitsLine : Phase::Rows;
  rowsStartAt_ = feed_.Consumed();
  if (!parsing_) return;
  if (!columns.missing.empty()) {
    RunError(feed_.LineNumber(), "the header has no " + columns.missing + " column");
  } else if (datalog && !options_.tau0) {
    const std::string delay = settings_.loopDelayText.empty()
                                  ? "its LoopDelay is not recorded"
                                  : "its LoopDelay was " + settings_.loopDelayText + " mS";
    heldError_ = "the window's datalog has no time column: give --tau0 SECONDS (" + delay +
                 "; the loop's real period is usually longer)";
    tau0Wanted_ = settings_.loopDelayText;
    parsing_ = false;
  } else {
    builder_.Start(columns, settings_, options_);
    started_ = true;
  }
}

void FileReader::Row(std::string_view line) {
  const int64_t number = feed_.LineNumber();
  if (!feed_.Terminated()) {
    if (parsing_)
      builder_.Incomplete("the last line (" + std::to_string(number) +
                          ") has no line end: left out as incomplete");
    return;
  }
  int64_t& rows = runRows_.back();
  ++rows;
  if (!parsing_) return;
  if (rows == 64 && size_ > feed_.Consumed()) {
    // Sized once from the rows so far: no copy of the samples as they grow.
    const double perRow = static_cast<double>(feed_.Consumed() - rowsStartAt_) / 64.0;
    builder_.Reserve(
        64 + static_cast<size_t>(static_cast<double>(size_ - feed_.Consumed()) / perRow * 1.02));
  }
  RowValues values;
  std::string why;
  switch (ParseRow(line, *columns_, values, why)) {
    case RowResult::Ok:
      if (auto added = builder_.Add(values); !added) RunError(number, added.error());
      break;
    case RowResult::Short: {
      size_t fields = 1;
      for (char c : line) fields += c == columns_->separator;
      short_ = Short{number, fields};
      break;
    }
    case RowResult::Bad:
      RunError(number, why);
      break;
  }
}

void FileReader::Line(std::string_view line) {
  while (line.starts_with(kBom)) line.remove_prefix(kBom.size());
  if (Blank(line)) return;
  const bool gap = line.starts_with(kGapLine) && columns_ &&
                   (phase_ == Phase::Rows || phase_ == Phase::UnitsLine);
  if (short_) {
    const bool runStarts = line.front() == '#' || IsDatalogTitle(line) ||
                           (!StartsRow(line.front()) && ParseHeaderLine(line));
    if (runStarts)
      LeaveOutShort(gap ? CutBy::Gap : CutBy::NextRun);
    else
      RunError(short_->line, std::to_string(short_->fields) + " fields where the header has " +
                                 std::to_string(columns_ ? columns_->roles.size() : 0));
    short_.reset();
  }
  const int64_t number = feed_.LineNumber();
  if (gap) {
    phase_ = Phase::Rows;
    std::string_view why = line.substr(kGapLine.size());
    while (!why.empty() && why.front() == ' ') why.remove_prefix(1);
    if (parsing_) builder_.GapLine(number, why);
  } else if (StartsRow(line.front()) && !runRows_.empty()) {
    if (phase_ == Phase::Rows || phase_ == Phase::UnitsLine) {
      phase_ = Phase::Rows;
      Row(line);
    } else {
      RunError(number, "a row where the column header should be: " + Quoted(line));
    }
  } else if (line.front() == '#') {
    Comment(line);
  } else if (IsDatalogTitle(line)) {
    StartRun();
    phase_ = Phase::DatalogBlock;
  } else if (std::optional<Columns> columns = ParseHeaderLine(line)) {
    Header(*columns);
  } else if (runRows_.empty()) {
    fileError_ = shown_ + " is not a log, an acquisition file or a datalog: its line " +
                 std::to_string(number) + " reads " + Quoted(line);
  } else if (phase_ == Phase::DatalogBlock) {
    ReadDatalogLine(line, settings_);
  } else if (phase_ == Phase::UnitsLine && line.front() == '\t') {
    phase_ = Phase::Rows;
  } else if (phase_ == Phase::Rows || phase_ == Phase::UnitsLine) {
    phase_ = Phase::Rows;
    Row(line);
  } else {
    RunError(number, "the column header should follow, not " + Quoted(line));
  }
}

ReadResult FileReader::Read() {
  std::string_view line;
  while (fileError_.empty() && feed_.Next(line)) Line(line);
  if (!fileError_.empty()) return ReadFailed(fileError_);
  if (!feed_.Error().empty()) return ReadFailed("cannot read " + shown_ + ": " + feed_.Error());
  if (short_) LeaveOutShort(CutBy::FileEnd);
  const int runs = static_cast<int>(runRows_.size());
  if (runs == 0)
    return ReadFailed(shown_ + " holds no rows" + (feed_.LineNumber() == 0 ? ": it is empty" : ""));
  if (options_.run && *options_.run > runs) {
    return ReadFailed(runs == 1 ? shown_ + " holds a single run (" + RunsListed().substr(3) +
                                      "); --run " + std::to_string(*options_.run) + " is not there"
                                : shown_ + " holds " + std::to_string(runs) + " runs (" +
                                      RunsListed() + "); --run " + std::to_string(*options_.run) +
                                      " is not one of them");
  }
  if (!heldError_.empty()) return Unexpected(ReadError{heldError_, tau0Wanted_});
  if (!started_) return ReadFailed(Subject() + " holds no rows");
  ReadResult result = builder_.Finish(Subject());
  if (result) {
    result->file = name_;
    result->run = held_;
    result->runs = runs;
  }
  return result;
}

Result<void, std::string> CheckOptions(const ReadOptions& options) {
  if (options.run && *options.run < 1) return Unexpected(std::string("--run counts from 1"));
  if (options.tau0 && !(*options.tau0 > 0.0 && *options.tau0 <= kLargestReadSeconds))
    return Unexpected(std::string("--tau0 must be a positive number of seconds"));
  if (!(options.skipS >= 0.0 && options.skipS <= kLargestReadSeconds))
    return Unexpected(std::string("the seconds to skip must be 0 or more"));
  return {};
}

}  // namespace

ReadResult ReadRecordText(std::string_view text, const std::string& name,
                          const ReadOptions& options) {
  if (auto usable = CheckOptions(options); !usable) return ReadFailed(std::move(usable).error());
  LineFeed feed(text);
  return FileReader(feed, name, name == "-" ? "standard input" : name, options, text.size()).Read();
}

ReadResult ReadRecord(const std::string& file, const ReadOptions& options) {
  if (auto usable = CheckOptions(options); !usable) return ReadFailed(std::move(usable).error());
  const bool standardInput = file == "-";
  const std::string shown = standardInput ? "standard input" : file;
  const int fd = standardInput ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ReadFailed("cannot open " + shown + ": " + std::strerror(errno));
  struct stat info {};
  uint64_t size = 0;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    size = static_cast<uint64_t>(info.st_size);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  LineFeed feed(fd, options.stop);
  ReadResult result = FileReader(feed, file, shown, options, size).Read();
  if (!standardInput) ::close(fd);
  return result;
}

}  // namespace velk::noise
