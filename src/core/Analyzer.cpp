#include "core/Analyzer.h"

#include <cmath>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

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

// A field longer than this cannot be a setting; it is skipped rather than held in memory.
constexpr size_t kMaxField = 16u << 20;

// Splits the file into the fields the settings are read from: leading blanks skipped; a field
// in double quotes runs to the closing quote; any other field ends at a comma or a line end
// (CR LF, LF or CR).
class FieldReader {
 public:
  explicit FieldReader(std::istream& in) : in_(in) {}

  // False at the end of the file. `overlong` marks a field cut at kMaxField.
  bool Next(std::string& field, bool& overlong) {
    field.clear();
    overlong = false;
    while (Peek() == ' ' || Peek() == '\t') Advance();
    if (Peek() == kEnd) return false;

    if (Peek() == '"') {
      Advance();
      while (Peek() != kEnd && Peek() != '"') Take(field, overlong);
      if (Peek() == '"') Advance();
      // Whatever follows the closing quote up to the delimiter belongs to no field.
      while (!AtDelimiter()) Advance();
    } else {
      while (!AtDelimiter()) Take(field, overlong);
    }
    SkipDelimiter();
    return true;
  }

 private:
  static constexpr int kEnd = -1;

  int Peek() {
    if (pos_ == len_) {
      in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
      len_ = static_cast<size_t>(in_.gcount());
      pos_ = 0;
      if (len_ == 0) return kEnd;
    }
    return static_cast<unsigned char>(buffer_[pos_]);
  }
  void Advance() { ++pos_; }

  bool AtDelimiter() {
    const int c = Peek();
    return c == kEnd || c == ',' || c == '\r' || c == '\n';
  }

  void Take(std::string& field, bool& overlong) {
    if (field.size() < kMaxField)
      field += buffer_[pos_];
    else
      overlong = true;
    Advance();
  }

  void SkipDelimiter() {
    const int c = Peek();
    if (c == kEnd) return;
    Advance();
    if (c == '\r' && Peek() == '\n') Advance();
  }

  std::istream& in_;
  std::vector<char> buffer_ = std::vector<char>(1 << 16);
  size_t pos_ = 0;
  size_t len_ = 0;
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

void Analyzer::LoadConfig(const std::filesystem::path& file) {
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) return;
  std::ifstream in(file, std::ios::binary);
  if (!in) return;

  // Editors may put a UTF-8 byte order mark in front of the first key.
  char mark[3] = {};
  in.read(mark, 3);
  if (in.gcount() != 3 || std::string_view(mark, 3) != "\xEF\xBB\xBF") {
    in.clear();
    in.seekg(0);
  }

  FieldReader reader(in);
  std::string line;
  bool overlong = false;
  while (reader.Next(line, overlong)) {
    if (overlong) continue;
    const size_t eq = line.find('=');
    // The key is what stands before the blank in front of "=", so "=" must be at least the
    // second character.
    if (eq == std::string::npos || eq < 1) continue;
    const std::string key = line.substr(0, eq - 1);
    const std::string value = eq + 2 <= line.size() ? line.substr(eq + 2) : std::string();

    if (key == "Device Number") {
      DeviceNumber = DeviceNumberSetting::FromText(value);
      continue;
    }
    int16_t* target = key == "Interface"      ? &InterfaceType
                      : key == "Port Address" ? &PortAddress
                      : key == "Factory"      ? &FactoryMode
                                              : nullptr;
    if (target == nullptr) continue;
    if (const auto number = SettingNumber(value)) *target = *number;
  }
}

bool Analyzer::SaveConfig(const fs::path& file, std::string* problem) const {
  const SaveOutcome outcome = SaveFileSafely(file, ConfigContent(*this));
  if (outcome.Ok()) return true;
  if (problem == nullptr) return false;
  const std::string shown = ShortPathText(file);
  using Status = SaveOutcome::Status;
  switch (outcome.status) {
    case Status::Folder:
      *problem = shown + " is a folder, so the settings were not saved. Rename or remove it.";
      break;
    case Status::ReadOnly:
      *problem = shown + " is read-only, so the settings were not saved. Make it writable.";
      break;
    case Status::NotRegular:
      *problem = shown + " is not a regular file, so the settings were not saved.";
      break;
    case Status::FolderNotWritable:
      *problem = "The folder " + FolderOf(file) +
                 " cannot be written, so the settings were not saved. Start the program from a "
                 "folder you may write to.";
      break;
    case Status::FolderMissing:
      *problem =
          "The folder " + FolderOf(file) + " does not exist, so the settings were not saved.";
      break;
    case Status::Saved:
    case Status::Failed:
      *problem = "The settings could not be saved to " + shown + ": " +
                 std::generic_category().message(outcome.error) + ".";
      break;
  }
  return false;
}

}  // namespace velk
