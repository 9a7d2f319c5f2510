#pragma once

#include <cstdint>
#include <string>

namespace velk {

class AppendLog;
class Reg47120;
class Session;
struct Chip;
struct CliContext;
struct CliOptions;

// The commands that act on the chip once it is found. Each returns an exit status.
int Identify(Session& session, const Chip& chip, const CliOptions& options, CliContext& context);
int Read(Session& session, const CliOptions& options, CliContext& context);
// To `file` when given (opened), else to the context's output.
int Log(Session& session, const Chip& chip, const CliOptions& options, AppendLog* file,
        CliContext& context);

// "Name 0xAA 0xVVVV".
std::string RegisterLine(const Reg47120& table, int16_t slot, int32_t word);

}  // namespace velk
