#include "core/Analyzer.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "core/NumberText.h"

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
  return (value < 0 ? "" : " ") + std::to_string(value) + " ";
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

// Resolves a symbolic link, so saving replaces the file it points to and keeps the link.
std::filesystem::path SaveTarget(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_symlink(file, error)) return file;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(file, error);
  return error ? file : resolved;
}

// A name beside the target that no other writer is likely to pick; the exclusive open below
// settles the rare clash.
std::filesystem::path TemporaryBeside(const std::filesystem::path& target, int attempt) {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  std::filesystem::path name = target;
  name += ".tmp-" + std::to_string(static_cast<uint64_t>(ticks) % 1000000007u) + "-" +
          std::to_string(attempt);
  return name;
}

}  // namespace

void Analyzer::LoadConfig(const std::filesystem::path& file) {
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) return;
  std::ifstream in(file, std::ios::binary);
  if (!in) return;

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

bool Analyzer::SaveConfig(const std::filesystem::path& file) const {
  const std::filesystem::path target = SaveTarget(file);
  std::error_code error;
  // A file the user made read-only is left alone: a rename would slip past its protection.
  const auto status = std::filesystem::status(target, error);
  if (std::filesystem::is_directory(status)) return false;
  if (std::filesystem::exists(status) &&
      (status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
    return false;

  const std::string content = "Interface = " + ConfigNumberText(InterfaceType) + "\r\n" +
                              "Port Address = " + ConfigNumberText(PortAddress) + "\r\n" +
                              "Factory = " + ConfigNumberText(FactoryMode) + "\r\n" +
                              "Device Number = " + DeviceNumber.ConfigText() + "\r\n";

  std::filesystem::path temporary;
  std::FILE* out = nullptr;
  for (int attempt = 0; attempt < 8 && out == nullptr; ++attempt) {
    temporary = TemporaryBeside(target, attempt);
    // "x": never reuse a name another writer holds.
    out = std::fopen(temporary.c_str(), "wbx");
  }
  if (out == nullptr) return false;

  const bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
  const bool closed = std::fclose(out) == 0;
  if (written && closed) {
    std::filesystem::rename(temporary, target, error);
    if (!error) return true;
  }
  std::filesystem::remove(temporary, error);
  return false;
}

}  // namespace velk
