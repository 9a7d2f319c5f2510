#pragma once

#include <optional>
#include <string>

#include "characterise/Characterisation.h"
#include "core/Result.h"
#include "measure/CharacteriseRecord.h"

namespace velk {

class AppendLog;
struct CliContext;
struct CliOptions;
struct Plan;
enum class ExitStatus : int;

// What the live runs and the record readers of the characterise commands share.

// A record file read whole, with its SHA-256 for the document's sources; or the line saying
// why it cannot be used and how to put it right.
struct ReadRecordFile {
  CharacteriseRecord record;
  characterise::Source source;
};
Result<ReadRecordFile, std::string> ReadRecord(const std::string& file);

// The tempco curve of a tempco's JSON, with the file as a source; or why it gives none.
struct TempcoCorrection {
  characterise::TempCurve curve;
  characterise::Source source;
};
Result<TempcoCorrection, std::string> LoadTempco(const std::string& file);

// Judges the figures against the plan's limits, writes the document (a table, or JSON with
// --json) with the record's notes among its warnings, and gives the verdict's exit status.
ExitStatus Deliver(const CliOptions& options, const Plan& plan, CliContext& context,
                   characterise::Characterisation& doc);

// "velk47120-cli: MESSAGE" and status 1.
ExitStatus CharacteriseRefuse(CliContext& context, const std::string& message);

// How a command reports a record, live or read back: its figures from the record.
using RecordReport = ExitStatus (*)(const CliOptions& options, const Plan& plan,
                                    CliContext& context, const CharacteriseRecord& record,
                                    const std::string& name,
                                    std::optional<characterise::Source> source);
// --from FILE: the record read and reported, without the chip.
ExitStatus ReportFrom(const CliOptions& options, const Plan& plan, CliContext& context,
                      RecordReport report);

// A live run's rows to the --out file, when there is one (the writer left empty otherwise).
void RowsTo(std::optional<RecordOutput::RowWriter>& writer, AppendLog* file);
// What a live run says when no new sample came for `seconds`.
void SayNoNewSample(CliContext& context, double seconds);
// The record a live run wrote, as --from's own parser read it, and the --out file's SHA-256
// as its source; or the status once the reason is said.
struct WrittenRecord {
  CharacteriseRecord record;
  std::optional<characterise::Source> source;
};
Result<WrittenRecord, ExitStatus> WrittenBack(RecordOutput& output, const CliOptions& options,
                                              CliContext& context, bool toFile);

}  // namespace velk
