#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/AppendLog.h"
#include "core/Result.h"
#include "measure/OutputCycle.h"

namespace velk {

// The tab-separated log a read-loop run appends to: one header block per run, one row per
// cycle, each line ending in CR LF. Rows reach the file whole as they are written, and a run
// holds the file against a second writer (see AppendLog). Failures never throw: Open and
// WriteRow return why as the error of their Result, and the run carries on without logging.
class Datalog {
 public:
  // Why a file could not be opened for a run.
  struct OpenError {
    std::string message;  // names the file once; no closing full stop
    bool busy = false;    // another program holds the file: another name or index will do
  };

  // What the header block records about the run's settings; texts are written as given.
  struct Header {
    std::string date;  // see TodayShortDate
    float loopDelay = 0.0f;
    std::string samplePeriod;  // text of the sample-period box, in ms
    std::string avgCnt;
    std::string scale;
    int32_t mscCtrl = 0;  // bits 8 and 9: positive and negative self-test
  };

  Datalog() = default;
  ~Datalog();
  Datalog(const Datalog&) = delete;
  Datalog& operator=(const Datalog&) = delete;

  // The datalog folder of this run (see ResolveFilePlaces), created if needed.
  static std::filesystem::path DatalogFolder();
  // folder / "<base>_<index>.txt"
  static std::filesystem::path FileName(const std::filesystem::path& folder,
                                        const std::string& baseText, const std::string& indexText);
  // Today in the system's short date format.
  static std::string TodayShortDate();
  // The file index after a logged run: the leading number of the text plus one, "1" when
  // the text holds no whole number or the next one would not show as plain digits.
  static std::string NextIndexText(const std::string& indexText);
  // A "/" in the name or the index would put the file in another folder.
  static bool NameHasFolder(const std::string& baseText, const std::string& indexText);
  // A line break would make a file name that lists and scripts read as two.
  static bool NameHasLineBreak(const std::string& baseText, const std::string& indexText);

  // Opens the file for appending (closing any file still open; creating its folder when
  // missing) and writes the header block, on a line of its own. On failure nothing stays open.
  Result<void, OpenError> Open(const std::filesystem::path& path, const Header& header);
  // Appends one row: the five values and the row flags of the reading, and Status. Fails, with
  // the reason naming the file, only on the call whose write failed; the file is then closed
  // and later calls do nothing.
  Result<void, std::string> WriteRow(int32_t index, const OutputCycle& cycle, int32_t status);
  // Appends `line` (such as "# gap: ...") as a line of its own; fails as WriteRow does.
  Result<void, std::string> WriteComment(const std::string& line);
  void Close();

  bool IsOpen() const { return log_.IsOpen(); }
  // The file of the last Open, as an absolute path; kept after Close.
  const std::filesystem::path& Path() const { return path_; }

 private:
  Result<void, std::string> WriteAll(const std::string& bytes);

  AppendLog log_;
  std::filesystem::path path_;
};

}  // namespace velk
