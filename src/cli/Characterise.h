#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "characterise/Characterisation.h"
#include "core/Result.h"

namespace velk {

class Reg47120;
struct CliContext;
struct CliOptions;
struct CommandCall;
struct Plan;
enum class ExitStatus : int;

// What a characterise command is asked for beyond the options every command takes.
struct CharacteriseRequest {
  int cycles = 12;
  double offS = 30.0;  // powered down, in 0.5 s steps
  double settleS = 10.0;
  double averageS = 60.0;
  std::optional<std::string> powerCommand;  // "sim" drives the simulated supply
  std::optional<std::string> tempco;        // a tempco's JSON that corrects each bias
  std::optional<std::string> from;          // analyse this record instead of measuring
  std::optional<std::string> limitsFile;
  std::optional<std::string> html;
  std::map<std::string, double> limits;  // by figure name, from --limit-NAME
  bool yes = false;
  bool flash = false;
  std::optional<std::string> undoFile;
  std::optional<std::string> undo;
  // scale
  std::optional<std::vector<double>> rates;  // deg/s; none: the default list for the range
  std::optional<std::string> tableCommand;   // "sim" drives the simulated table
  double dwellS = 10.0;
  double plateauSigmas = 5.0;      // a 0.5 s mean this many SE off its run ends it
  double plateauSpread = 4.0;      // a 0.5 s spread this many times the typical one is motion
  double plateauMin = 3.0;         // s, the shortest run found as a plateau
  std::optional<double> latitude;  // deg, north positive
  std::optional<std::string> fixtureCommand;  // "sim" drives the simulated fixture
  std::optional<int> turns;                   // a turn's full turns; a record's own, else 1
  double stopError = 0.3;                     // deg
};

// The characterise options the command line names; nullopt for a name that is not one. The
// flag says whether the option takes a value. Any --limit-NAME of a figure's name is one.
std::optional<bool> CharacteriseOptionTakesValue(const std::string& name);
// Puts a characterise option's value in the request, or fails with why the value does not fit.
Result<void, std::string> ApplyCharacteriseOption(CharacteriseRequest& request,
                                                  const std::string& name,
                                                  const std::string& value);

// The figures a limit may name, and the --limit-NAME options that name them ('-' for '_').
const std::vector<std::string>& CharacteriseFigureNames();
std::vector<std::string_view> CharacteriseLimitOptions();

// A JSON, limits or undo file: up to 64 MiB, whole, or the line saying why not.
inline constexpr uintmax_t kLargestSmallText = 64u << 20;
Result<std::string, std::string> ReadSmallText(const std::string& file);

// A limits file: one "name = value" a line, "#" comments and blank lines; or the line saying
// what is wrong, with its number.
Result<std::map<std::string, double>, std::string> ParseLimits(std::string_view text,
                                                               const std::string& fileName);

// Judges every figure that has a limit (the file's, then --limit-NAME over it) and gives the
// exit status: 5 when one fails, else 6 when one is inconclusive, else 0.
ExitStatus JudgeFigures(characterise::Characterisation& doc,
                        const std::map<std::string, double>& limits);

// The commands.
Result<void, std::string> CheckCharacterise(const CliOptions& options, const Reg47120& table,
                                            Plan& plan);
ExitStatus CharacteriseRepeatability(const CommandCall& call);
ExitStatus CharacteriseRepeatabilityFrom(const CliOptions& options, const Plan& plan,
                                         CliContext& context);
ExitStatus CharacteriseTempco(const CommandCall& call);
ExitStatus CharacteriseTempcoFrom(const CliOptions& options, const Plan& plan, CliContext& context);
ExitStatus CharacteriseScale(const CommandCall& call);
ExitStatus CharacteriseScaleFrom(const CliOptions& options, const Plan& plan, CliContext& context);
ExitStatus CharacteriseApply(const CommandCall& call);
ExitStatus CharacteriseTurn(const CommandCall& call);
ExitStatus CharacteriseTurnFrom(const CliOptions& options, const Plan& plan, CliContext& context);
ExitStatus CharacteriseTumble(const CommandCall& call);
ExitStatus CharacteriseTumbleFrom(const CliOptions& options, const Plan& plan, CliContext& context);
ExitStatus CharacteriseReport(const CliOptions& options, const Plan& plan, CliContext& context);

}  // namespace velk
