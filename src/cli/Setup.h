#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace velk {

class Reg47120;
class Session;
struct CliContext;

// The configuration a user sets, in the order a setup file lists it.
inline constexpr int kSetupCount = 12;
extern const std::array<int16_t, kSetupCount> kSetupSlots;

// Msc_Ctrl's self-test bits (8, 9, 10): never saved, never loaded.
inline constexpr int32_t kSelfTestBits = 0x700;

// A setup file read and checked without the chip: every register once, each value in range.
struct SetupFile {
  int32_t product = 0;
  std::array<int32_t, kSetupCount> values{};  // in the order of kSetupSlots
  std::string error;                          // not empty: refused, naming the line
};
// The text of a setup file; `name` is how messages call it.
SetupFile ParseSetupText(std::string_view bytes, const std::string& name, const Reg47120& table);
// Reads only a small regular file, then parses it.
SetupFile ReadSetupFile(const std::filesystem::path& file, const Reg47120& table);

// A word read from the chip as a setup holds it, so a load takes back whatever a save wrote:
// bits above the register's own dropped (a signed value sign-extended from them), no self-test,
// and a range with no more averaging than it allows, as the window's range control sets it.
int32_t SetupWord(const Reg47120& table, int16_t slot, int32_t word);

// Each returns an exit status.
int SetupSave(Session& session, int32_t model, const std::filesystem::path& file,
              CliContext& context);
int SetupLoad(Session& session, int32_t model, const SetupFile& setup, CliContext& context);

}  // namespace velk
