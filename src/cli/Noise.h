#pragma once

#include <optional>
#include <string>

#include "noise/Analysis.h"
#include "noise/Record.h"

namespace velk {

struct CliContext;
struct CliOptions;
struct Plan;

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
// Puts a noise option's value in the request; returns why the value does not fit.
std::string ApplyNoiseOption(NoiseRequest& request, const std::string& name,
                             const std::string& value);

// noise FILE: reads a saved record, analyses it and reports; no chip is touched.
int NoiseFile(const CliOptions& options, const Plan& plan, CliContext& context);

}  // namespace velk
