#pragma once

#include <optional>
#include <string>

#include "core/Result.h"
#include "noise/Analysis.h"
#include "noise/Record.h"

namespace velk {

class Reg47120;
struct CliContext;
struct CliOptions;
struct CommandCall;
struct Plan;
enum class ExitStatus : int;

// What the noise command is asked for beyond the options every command takes.
struct NoiseRequest {
  noise::ReadOptions read;
  noise::AnalysisOptions analysis;
  std::optional<std::string> table;   // --table F.csv
  std::optional<std::string> kalibr;  // --kalibr F.yaml
};

// The noise options the command line names; nullopt for a name that is not one. The flag says
// whether the option takes a value.
std::optional<bool> NoiseOptionTakesValue(const std::string& name);
// Puts a noise option's value in the request, or fails with why the value does not fit.
Result<void, std::string> ApplyNoiseOption(NoiseRequest& request, const std::string& name,
                                           const std::string& value);

// The options that go with a FILE or with an acquisition (--duration, --out), before any frame.
Result<void, std::string> CheckNoise(const CliOptions& options, const Reg47120& table, Plan& plan);
// noise FILE: reads a saved record, analyses it and reports; no chip is touched.
ExitStatus NoiseFile(const CliOptions& options, const Plan& plan, CliContext& context);
// noise --duration S: acquires every sample from the chip, then analyses and reports them.
ExitStatus NoiseAcquire(const CommandCall& call);
// The analysis of a record, its report or JSON on standard output, the files --table and
// --kalibr name; returns the exit status (5 or 6 for a failed or inconclusive verdict).
ExitStatus NoiseReport(const CliOptions& options, noise::Record record, CliContext& context);

}  // namespace velk
