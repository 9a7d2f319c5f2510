#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cli/Setup.h"
#include "core/Result.h"

namespace velk {

class Reg47120;
struct CliCommand;
struct CliOptions;

// What the command line asks for, checked against the register table before any frame.
struct Plan {
  const CliCommand* command = nullptr;
  std::vector<std::string> operands;
  // What the operands name, as the command's check found it.
  int16_t slot = 0;
  int32_t value = 0;
  SetupFile setup;
  // A characterisation's limits by figure name: the --limits file's, --limit-NAME over them.
  std::map<std::string, double> limits;
};

// The command the words name, with its operands and options checked, or the message for the
// user when they do not fit.
Result<Plan, std::string> MakePlan(const CliOptions& options, const Reg47120& table);

}  // namespace velk
