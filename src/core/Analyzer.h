#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include "core/Result.h"
#include "core/SmallFile.h"

namespace velk {

inline constexpr const char* kConfigFileName = "Velk47120.cfg";

// The "Device Number" setting: the text as read from the configuration file until a model
// is chosen in the Device menu, a number from then on. The models' numbers (47120, 47121) do
// not fit in 16 bits, so the number is 32-bit.
class DeviceNumberSetting {
 public:
  DeviceNumberSetting() = default;
  static DeviceNumberSetting FromText(std::string text);
  static DeviceNumberSetting FromNumber(int32_t number);

  bool IsNumber() const { return std::holds_alternative<int32_t>(value_); }
  bool IsEmpty() const;
  // Compared as a number: a text reads as its leading number, 0 when it has none.
  int32_t Numeric() const;
  // As written after "Device Number = ": a number in the configuration's number format,
  // a text unchanged.
  std::string ConfigText() const;
  // Decimal text for captions; the text itself when it is not a number.
  std::string DisplayText() const;

  bool operator==(const DeviceNumberSetting&) const = default;

 private:
  std::variant<std::string, int32_t> value_;
};

// The codes of InterfaceType, as the configuration file stores them.
namespace interface_type {
inline constexpr int16_t kNone = 0;
inline constexpr int16_t kParallelPort = 1;
inline constexpr int16_t kUsbCard = 2;
}  // namespace interface_type

// The configuration file as LoadConfig read it.
struct ConfigFileRead {
  std::string bytes;
  int settingLines = 0;  // the lines with one of the four keys
};

// Settings of module Analyzer that live for the whole run; the first four survive in the
// configuration file.
struct Analyzer {
  int16_t InterfaceType = interface_type::kNone;
  int16_t PortAddress = 888;
  int16_t FactoryMode = 0;
  DeviceNumberSetting DeviceNumber;
  float LoopDelay = 100.0f;  // milliseconds
  std::string OsName;

  // Keys missing from the file, lines that cannot be understood and a file that cannot be
  // read all leave the current values in place. Only a regular file of at most 1 MiB is read;
  // the file as read is returned, or why it was not, so that a refused file can be reported and
  // never written.
  Result<ConfigFileRead, SmallFileError> LoadConfig(
      const std::filesystem::path& file = kConfigFileName);
  // Replaces an existing file by a temporary file renamed over it where that keeps the file
  // as it was (owner, permissions, other links to it), else rewrites it in place; a link is
  // followed to its file. When the settings could not be written, the error is a sentence for
  // the user saying why and what to do.
  Result<void, std::string> SaveConfig(const std::filesystem::path& file = kConfigFileName) const;
};

// A whole number as the configuration file writes it: a blank (or minus sign) before the
// digits and one blank after them, " 1 " or "-5 ".
std::string ConfigNumberText(int32_t value);

}  // namespace velk
