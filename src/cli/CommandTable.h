#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"

namespace velk {

class AppendLog;
class Reg47120;
class Session;
struct Chip;
struct CliContext;
struct CliOptions;
struct Plan;
enum class ExitStatus : int;

// What a command acts with once the chip is found.
struct CommandCall {
  Session& session;
  const Chip& chip;
  const CliOptions& options;
  const Plan& plan;
  AppendLog* file;  // the log's file when --out names one (opened), else null
  CliContext& context;
};

// One command of the tool: how it is called, what it takes, how the help shows it and what it
// does. Parsing, dispatch and the help all read kCliCommands, in its order.
struct CliCommand {
  std::string_view word{};        // "reg"
  std::string_view subcommand{};  // "get"; empty for a command of one word
  std::string_view operands{};    // as the help names them: "NAME|ADDRESS VALUE"
  size_t operandCount = 0;
  size_t optionalOperands = 0;              // how many of the last operands may be left out
  std::vector<std::string_view> options{};  // beyond those every command takes
  std::string_view summary{};               // its line in the tool's help
  std::string_view usageOptions{};          // after the operands on its Usage line
  // What the help of its word says after the Usage lines; on the word's first row only.
  std::string_view help{};
  // It ends itself on a stop, with a summary, so a stop while connecting does not end the tool.
  bool endsOnStop = false;
  // Checks the operands before any frame and puts what they name in the plan, or fails with
  // why they do not fit. Null when there is nothing to check.
  Result<void, std::string> (*check)(const CliOptions& options, const Reg47120& table,
                                     Plan& plan) = nullptr;
  ExitStatus (*run)(const CommandCall& call) = nullptr;
  // A command that needs no chip runs this instead, once its options are checked: no
  // configuration is read and no interface opened. A command with both runs this when given
  // all its operands, and `run` when its optional ones are left out.
  ExitStatus (*runOffline)(const CliOptions& options, const Plan& plan,
                           CliContext& context) = nullptr;

  // Given this option, a command with both runs `runOffline` (it reads a record instead).
  std::string_view offlineOption{};

  std::string Name() const;      // "reg get"
  std::string Synopsis() const;  // "reg get NAME|ADDRESS"; an optional operand in brackets
  bool Offline(size_t operandsGiven, const std::vector<std::string>& optionsGiven) const;
};

extern const std::vector<CliCommand> kCliCommands;

}  // namespace velk
