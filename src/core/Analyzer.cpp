#include "core/Analyzer.h"

#include <cmath>
#include <optional>
#include <string_view>
#include <system_error>

#include "core/NumberText.h"
#include "core/PathText.h"
#include "core/SafeSave.h"

namespace velk {

DeviceNumberSetting DeviceNumberSetting::FromText(std::string text) {
  DeviceNumberSetting setting;
  setting.value_ = std::move(text);
  return setting;
}

DeviceNumberSetting DeviceNumberSetting::FromNumber(int32_t number) {
  DeviceNumberSetting setting;
  setting.value_ = number;
  return setting;
}

bool DeviceNumberSetting::IsEmpty() const {
  const auto* text = std::get_if<std::string>(&value_);
  return text != nullptr && text->empty();
}

int32_t DeviceNumberSetting::Numeric() const {
  if (const auto* number = std::get_if<int32_t>(&value_)) return *number;
  return RoundToInt32(LeadingDecimalNumber(std::get<std::string>(value_)));
}

std::string DeviceNumberSetting::ConfigText() const {
  if (const auto* number = std::get_if<int32_t>(&value_)) return ConfigNumberText(*number);
  return std::get<std::string>(value_);
}

std::string DeviceNumberSetting::DisplayText() const {
  if (const auto* number = std::get_if<int32_t>(&value_)) return std::to_string(*number);
  const std::string& text = std::get<std::string>(value_);
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string ConfigNumberText(int32_t value) {
  // Appended piece by piece: g++ 12 at -O3 takes the chained operator+ for an overlapping
  // copy (-Wrestrict).
  std::string text = value < 0 ? "" : " ";
  text += std::to_string(value);
  text += ' ';
  return text;
}

namespace {

// Splits the file into the fields the settings are read from: leading blanks skipped; a field
// in double quotes runs to the closing quote; any other field ends at a comma or a line end
// (CR LF, LF or CR).
class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : text_(text) {}

  // False at the end of the file.
  bool Next(std::string& field) {
    field.clear();
    while (Peek() == ' ' || Peek() == '\t') Advance();
    if (Peek() == kEnd) return false;

    if (Peek() == '"') {
      Advance();
      while (Peek() != kEnd && Peek() != '"') Take(field);
      if (Peek() == '"') Advance();
      // Whatever follows the closing quote up to the delimiter belongs to no field.
      while (!AtDelimiter()) Advance();
    } else {
      while (!AtDelimiter()) Take(field);
    }
    SkipDelimiter();
    return true;
  }

 private:
  static constexpr int kEnd = -1;

  int Peek() const { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : kEnd; }
  void Advance() { ++pos_; }

  bool AtDelimiter() {
    const int c = Peek();
    return c == kEnd || c == ',' || c == '\r' || c == '\n';
  }

  void Take(std::string& field) {
    field += text_[pos_];
    Advance();
  }

  void SkipDelimiter() {
    const int c = Peek();
    if (c == kEnd) return;
    Advance();
    if (c == '\r' && Peek() == '\n') Advance();
  }

  std::string_view text_;
  size_t pos_ = 0;
};

std::optional<int16_t> SettingNumber(const std::string& value) {
  const std::optional<double> number = ExactNumber(value);
  if (!number) return std::nullopt;
  const double rounded = std::nearbyint(*number);
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) return std::nullopt;
  return static_cast<int16_t>(rounded);
}

namespace fs = std::filesystem;

std::string FolderOf(const fs::path& target) {
  std::error_code error;
  const fs::path folder = fs::absolute(target, error).parent_path();
  return ShortPathText(error ? target.parent_path() : folder);
}

std::string ConfigContent(const Analyzer& settings) {
  std::string device = settings.DeviceNumber.ConfigText();
  std::string deviceLine = "Device Number = " + device;
  // A line break inside the value would start a line of its own on the next read; such a
  // text goes back as the default. A comma would end the field, so that line is quoted (a
  // text read with a comma came from quotes, so it holds none).
  if (device.find_first_of("\r\n") != std::string::npos)
    deviceLine = "Device Number = ";
  else if (device.find(',') != std::string::npos && device.find('"') == std::string::npos)
    deviceLine = '"' + deviceLine + '"';
  return "Interface = " + ConfigNumberText(settings.InterfaceType) + "\r\n" +
         "Port Address = " + ConfigNumberText(settings.PortAddress) + "\r\n" +
         "Factory = " + ConfigNumberText(settings.FactoryMode) + "\r\n" + deviceLine + "\r\n";
}

}  // namespace

Result<ConfigFileRead, SmallFileError> Analyzer::LoadConfig(const std::filesystem::path& file) {
  auto bytes = ReadSmallRegularFile(file);
  if (!bytes) return Unexpected(bytes.error());
  ConfigFileRead read{std::move(*bytes)};
  // Editors may put a UTF-8 byte order mark in front of the first key.
  std::string_view text = read.bytes;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  FieldReader reader(text);
  std::string line;
  while (reader.Next(line)) {
    const size_t eq = line.find('=');
    // The key is what stands before the blank in front of "=", so "=" must be at least the
    // second character.
    if (eq == std::string::npos || eq < 1) continue;
    const std::string key = line.substr(0, eq - 1);
    const std::string value = eq + 2 <= line.size() ? line.substr(eq + 2) : std::string();

    int16_t* target = key == "Interface"      ? &InterfaceType
                      : key == "Port Address" ? &PortAddress
                      : key == "Factory"      ? &FactoryMode
                                              : nullptr;
    if (target == nullptr && key != "Device Number") continue;
    ++read.settingLines;
    if (target == nullptr) {
      DeviceNumber = DeviceNumberSetting::FromText(value);
      continue;
    }
    if (const auto number = SettingNumber(value)) *target = *number;
  }
  return read;
}

Result<void, std::string> Analyzer::SaveConfig(const fs::path& file) const {
  const auto saved = SaveFileSafely(file, ConfigContent(*this));
  if (saved) return {};
  const std::string shown = ShortPathText(file);
  const auto refused = [](std::string why) { return Unexpected(std::move(why)); };
  using Status = SaveError::Status;
  switch (saved.error().status) {
    case Status::Folder:
      return refused(shown + " is a folder, so the settings were not saved. Rename or remove it.");
    case Status::ReadOnly:
      return refused(shown + " is read-only, so the settings were not saved. Make it writable.");
    case Status::NotRegular:
      return refused(shown + " is not a regular file, so the settings were not saved.");
    case Status::FolderNotWritable:
      return refused("The folder " + FolderOf(file) +
                     " cannot be written, so the settings were not saved. Start the program "
                     "from a folder you may write to.");
    case Status::FolderMissing:
      return refused("The folder " + FolderOf(file) +
                     " does not exist, so the settings were not saved.");
    case Status::Failed:
      break;
  }
  return refused("The settings could not be saved to " + shown + ": " +
                 std::generic_category().message(saved.error().error) + ".");
}

}  // namespace velk
