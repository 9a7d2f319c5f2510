#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/AppendLog.h"
#include "core/QueuedWriter.h"
#include "measure/Acquisition.h"
#include "noise/read/RecordBuilder.h"

namespace velk {

// The acquisition file's header, the layout the noise reader takes.
inline constexpr std::string_view kAcquisitionHeader =
    "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)";

// What the tool and the window keep of an acquisition: the record built as the samples come,
// and the file's rows handed whole to a writer on another thread, a second at a time (so a
// crash loses at most the last second). Progress and silence are the caller's to show.
class AcquisitionRecord : public AcquisitionSink {
 public:
  using RowWriter = QueuedWriter<AppendLog::WriteError>;

  // `writer` null: no file. `expected` samples are reserved, up to a bound.
  AcquisitionRecord(const noise::RunSettings& settings, const noise::ReadOptions& read,
                    int64_t expected, RowWriter* writer);

  // False once the writer has failed.
  bool Take(const AcquiredSample& sample) override;
  // Hands over the rows of the second begun; after the acquisition, before the writer finishes.
  void Hand();
  // A break in the run (a replugged chip starts afresh): the rows after it are a new segment,
  // after a "# gap: WHY" line in the file.
  void Gap(std::string_view why);
  // The record, marked with the priority the acquisition ran at.
  noise::ReadResult Finish(const AcquisitionOutcome& outcome);

 private:
  noise::RecordBuilder builder_;
  RowWriter* writer_;
  std::string rows_;
  int64_t lines_ = 2;  // in the file: its comment and header lines come first
};

}  // namespace velk
