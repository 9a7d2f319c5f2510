#pragma once

#include <cstdint>
#include <string>

#include "core/Result.h"

namespace velk {

class Reg47120;
struct CliOptions;
struct CommandCall;
struct Plan;
enum class ExitStatus : int;

// The slot of a register named on the command line, checked against the table before the
// chip is touched, or why it is refused. By name (as in the table, case aside) or by its own
// address in hex. Registers after Command are the factory's and need `factory`.
Result<int16_t, std::string> FindRegister(const Reg47120& table, const std::string& text,
                                          bool factory);
// The last slot offered: Command, or Test_Cnfg in factory mode.
int16_t LastOfferedSlot(bool factory);
// The table name without padding.
std::string RegisterName(const Reg47120& table, int16_t slot);

// The register of `reg get` and `reg set` (and the value of a set) into the plan's slot and
// value, or why they do not fit.
Result<void, std::string> CheckRegGet(const CliOptions& options, const Reg47120& table, Plan& plan);
Result<void, std::string> CheckRegSet(const CliOptions& options, const Reg47120& table, Plan& plan);

ExitStatus RegGet(const CommandCall& call);
ExitStatus RegSet(const CommandCall& call);
ExitStatus RegDump(const CommandCall& call);

}  // namespace velk
