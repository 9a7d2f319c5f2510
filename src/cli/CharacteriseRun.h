#pragma once

#include <optional>
#include <string>

#include "characterise/Characterisation.h"
#include "core/Result.h"
#include "measure/CharacteriseRecord.h"

namespace velk {

struct CliContext;
struct CliOptions;
struct Plan;
enum class ExitStatus : int;

// What the live runs and the record readers of repeatability and tempco share.

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

}  // namespace velk
