#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"

namespace velk {

class Reg47120;
class Session;
struct CliContext;
struct CliOptions;
struct SaveError;
struct CommandCall;
struct Plan;
enum class ExitStatus : int;

// The configuration a user sets, in the order a setup file lists it.
inline constexpr int kSetupCount = 12;
extern const std::array<int16_t, kSetupCount> kSetupSlots;

// Msc_Ctrl's self-test bits (8, 9, 10): never saved, never loaded.
inline constexpr int32_t kSelfTestBits = 0x700;

// A setup file read and checked without the chip: every register once, each value in range.
struct SetupFile {
  int32_t product = 0;
  std::array<int32_t, kSetupCount> values{};  // in the order of kSetupSlots
};
// The text of a setup file, or why it is refused, naming the line; `name` is how messages
// call it.
Result<SetupFile, std::string> ParseSetupText(std::string_view bytes, const std::string& name,
                                              const Reg47120& table);
// Reads only a small regular file, then parses it.
Result<SetupFile, std::string> ReadSetupFile(const std::filesystem::path& file,
                                             const Reg47120& table);

// A word read from the chip as a setup holds it, so a load takes back whatever a save wrote:
// bits above the register's own dropped (a signed value sign-extended from them), no self-test,
// and a range with no more averaging than it allows, as the window's range control sets it.
int32_t SetupWord(const Reg47120& table, int16_t slot, int32_t word);

// The chip's configuration as a save holds it. A word a load would refuse is saved as SetupWord
// makes it, and the line saying so goes to `adjusted` when given.
SetupFile ReadChipSetup(Session& session, int32_t model, std::vector<std::string>* adjusted);
// Writes a setup (the alarms off first, the rate calibration last), lets the chip take it and
// reads it back: the lines of the registers that read otherwise, none when all are confirmed.
std::vector<std::string> WriteSetup(Session& session, const SetupFile& setup);

// What can be told without the chip: a save's target it must not replace, a load's whole file
// (read into the plan's setup). Fails with why the command cannot go ahead.
Result<void, std::string> CheckSetupSave(const CliOptions& options, const Reg47120& table,
                                         Plan& plan);
Result<void, std::string> CheckSetupLoad(const CliOptions& options, const Reg47120& table,
                                         Plan& plan);

// The chip's configuration as a setup file holds it; a word a load would refuse is saved as
// SetupWord makes it, with a line on `err`.
std::string SetupText(Session& session, int32_t model, std::ostream& err);

// To and from the file the plan's operand names. Each returns an exit status.
// "velk47120-cli: NAME is a folder; nothing was saved" and the like, on stderr.
void SaveFailed(CliContext& context, const std::string& name, const SaveError& saved);

ExitStatus SetupSave(const CommandCall& call);
ExitStatus SetupLoad(const CommandCall& call);

}  // namespace velk
