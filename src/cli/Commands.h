#pragma once

#include <cstdint>
#include <string>

namespace velk {

class Reg47120;
class Session;
struct Chip;
struct CommandCall;
enum class ExitStatus : int;

// The commands that act on the chip once it is found. Each returns an exit status.
ExitStatus Identify(const CommandCall& call);
ExitStatus Read(const CommandCall& call);
// To the call's file when it has one, else to the context's output.
ExitStatus Log(const CommandCall& call);

// The line a log starts with: "# " and the chip, the interface and the settings as read,
// ending in the words Smpl_Prd (also given back), Sens_Avg and the model, then "\n".
std::string LogComment(Session& session, const Chip& chip, int32_t& smplPrd);

// "Name 0xAA 0xVVVV".
std::string RegisterLine(const Reg47120& table, int16_t slot, int32_t word);

}  // namespace velk
