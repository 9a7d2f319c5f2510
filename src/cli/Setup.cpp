#include "cli/Setup.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <utility>

#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Connection.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "cli/Registers.h"
#include "core/Delay.h"
#include "core/SafeSave.h"
#include "core/SmallFile.h"
#include "measure/OutputCycle.h"
#include "measure/RangeTable.h"
#include "registers/Session.h"

namespace velk {

const std::array<int16_t, kSetupCount> kSetupSlots = {
    slot::Gyro_Ofst, slot::Gyro_Scale, slot::Alm_Mag1, slot::Alm_Mag2,
    slot::Alm_Smp1,  slot::Alm_Smp2,   slot::Alm_Ctrl, slot::Aux_DAC,
    slot::Gpio_Ctrl, slot::Msc_Ctrl,   slot::Smpl_Prd, slot::Sens_Avg,
};

namespace {

constexpr size_t kMaxSetupBytes = 64 * 1024;

// The order a load writes in: alarms off first, so no half-set alarm fires; the rate
// calibration last.
constexpr int16_t kLoadOrder[] = {slot::Alm_Mag1,  slot::Alm_Mag2,  slot::Alm_Smp1,
                                  slot::Alm_Smp2,  slot::Alm_Ctrl,  slot::Aux_DAC,
                                  slot::Gpio_Ctrl, slot::Msc_Ctrl,  slot::Smpl_Prd,
                                  slot::Sens_Avg,  slot::Gyro_Ofst, slot::Gyro_Scale};

int IndexOf(int16_t s) {
  return static_cast<int>(std::find(kSetupSlots.begin(), kSetupSlots.end(), s) -
                          kSetupSlots.begin());
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// What a value must satisfy beyond being a word.
Result<void, std::string> ValueFits(const Reg47120& table, int16_t s, int64_t value) {
  char range[48];
  const int bits = table.RegBits[s];
  const int64_t top = (int64_t{1} << bits) - 1;
  if (table.RegSigned[s] != 0 && bits < 16) {
    // Its own bits, sign-extended to the whole word as the window writes a negative value.
    const int64_t half = int64_t{1} << (bits - 1);
    if (value < 0 || value > 0xFFFF || (value >= half && value < 0x10000 - half)) {
      std::snprintf(range, sizeof range, "0 to 0x%llX or 0x%llX to 0xFFFF",
                    static_cast<long long>(half - 1), static_cast<long long>(0x10000 - half));
      return Unexpected(std::string("out of range (") + range + ")");
    }
  } else if (value < 0 || value > top) {
    std::snprintf(range, sizeof range, "0 to 0x%llX", static_cast<long long>(top));
    return Unexpected(std::string("out of range (") + range + ")");
  }
  if (s == slot::Msc_Ctrl && (value & kSelfTestBits) != 0)
    return Unexpected("has self-test bits set (8, 9, 10), which a setup never holds");
  if (s == slot::Sens_Avg) {
    const int32_t rangeBits = static_cast<int32_t>(value) & 0x700;
    const bool knownRange =
        rangeBits == 0 || rangeBits == 0x100 || rangeBits == 0x200 || rangeBits == 0x400;
    if ((value & ~int64_t{0x707}) != 0 || !knownRange)
      return Unexpected("is no range (0x100, 0x200 or 0x400) with an averaging 0..7");
    const int32_t limit = RangeAt(RangePosition(rangeBits)).maxAvgCnt;
    if ((value & 7) > limit)
      return Unexpected("averages 2^" + std::to_string(value & 7) +
                        " taps; this range allows at most 2^" + std::to_string(limit));
  }
  return {};
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

}  // namespace

int32_t SetupWord(const Reg47120& table, int16_t s, int32_t word) {
  const int bits = table.RegBits[s];
  if (bits < 16) {
    const int32_t mask = (1 << bits) - 1;
    word &= mask;
    if (table.RegSigned[s] != 0 && (word & (1 << (bits - 1))) != 0) word |= 0xFFFF & ~mask;
  }
  if (s == slot::Msc_Ctrl) word &= ~kSelfTestBits;
  if (s == slot::Sens_Avg) {
    int32_t rangeBits = word & 0x700;
    if (rangeBits != 0 && rangeBits != 0x100 && rangeBits != 0x200)
      rangeBits = RangeAt(RangePosition(rangeBits)).bits;
    word = rangeBits | std::min(word & 7, RangeAt(RangePosition(rangeBits)).maxAvgCnt);
  }
  return word;
}

Result<SetupFile, std::string> ReadSetupFile(const std::filesystem::path& file,
                                             const Reg47120& table) {
  const std::string name = Escaped(file.string());
  const auto read = ReadSmallRegularFile(file, kMaxSetupBytes);
  if (read) return ParseSetupText(*read, name, table);
  switch (read.error().status) {
    case SmallFileError::Status::Folder:
      return Unexpected(name + " is a folder, not a setup file");
    case SmallFileError::Status::NotRegular:
      return Unexpected(name + " is not a regular file");
    case SmallFileError::Status::TooLarge:
      return Unexpected(name + " is too large for a setup file");
    case SmallFileError::Status::Missing:
    case SmallFileError::Status::Failed:
      break;
  }
  return Unexpected("cannot read " + name + ": " + std::strerror(read.error().error));
}

Result<SetupFile, std::string> ParseSetupText(std::string_view bytes, const std::string& name,
                                              const Reg47120& table) {
  SetupFile setup;
  std::string content(bytes);
  // Editors may put a UTF-8 byte order mark in front, as in the configuration file.
  if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);
  if (Trim(content).empty()) return Unexpected(name + " is empty");
  std::array<bool, kSetupCount> seen{};
  bool productSeen = false;
  std::istringstream lines(content);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string where = name + " line " + std::to_string(number) + ": ";
    if (std::any_of(line.begin(), line.end(), [](char c) {
          const auto u = static_cast<unsigned char>(c);
          return (u < 0x20 && c != '\t' && c != '\r') || u == 0x7F;
        })) {
      return Unexpected(where + "not text: this is not a setup file");
    }
    const std::string text = Trim(line.substr(0, line.find('#')));
    if (text.empty()) continue;
    const size_t eq = text.find('=');
    if (eq == std::string::npos) return Unexpected(where + "expected NAME = VALUE");
    const std::string key = Trim(text.substr(0, eq));
    const std::string valueText = Trim(text.substr(eq + 1));
    const auto value = ParseValue(valueText);
    if (key == "Product") {
      if (productSeen || !value || (*value != 47120 && *value != 47121))
        return Unexpected(where +
                          (productSeen ? "Product given twice" : "Product must be 47120 or 47121"));
      productSeen = true;
      setup.product = static_cast<int32_t>(*value);
      continue;
    }
    int index = kSetupCount;
    for (int i = 0; i < kSetupCount; ++i)
      if (RegisterName(table, kSetupSlots[i]) == key) index = i;
    if (index == kSetupCount)
      return Unexpected(where + "\"" + Escaped(key) + "\" is not a register a setup holds");
    if (seen[index]) return Unexpected(where + key + " given twice");
    if (!value)
      return Unexpected(where + key + " value \"" + Escaped(valueText) +
                        "\" is no number (0x hex or decimal)");
    if (const auto fits = ValueFits(table, kSetupSlots[index], *value); !fits)
      return Unexpected(where + key + " " + valueText + " " + fits.error());
    seen[index] = true;
    setup.values[index] = static_cast<int32_t>(*value);
  }
  if (!productSeen) return Unexpected(name + ": no Product line: this is not a whole setup file");
  for (int i = 0; i < kSetupCount; ++i) {
    if (!seen[i])
      return Unexpected(name + ": " + RegisterName(table, kSetupSlots[i]) +
                        " is missing: the file is not a whole setup (cut short?)");
  }
  return setup;
}

Result<void, std::string> CheckSetupSave(const CliOptions&, const Reg47120&, Plan& plan) {
  const std::filesystem::path file = plan.operands[0];
  std::error_code error;
  const auto status = std::filesystem::status(file, error);
  const std::string name = Escaped(file.string());
  // Anything it cannot tell is left to the save, which says why.
  if (error || status.type() == std::filesystem::file_type::not_found) return {};
  const std::string unsaved = "; nothing was saved";
  if (status.type() == std::filesystem::file_type::directory)
    return Unexpected(name + " is a folder" + unsaved);
  if (status.type() != std::filesystem::file_type::regular)
    return Unexpected(name + " is not a regular file" + unsaved);
  if (access(file.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS))
    return Unexpected(name + " is read-only" + unsaved);
  return {};
}

Result<void, std::string> CheckSetupLoad(const CliOptions&, const Reg47120& table, Plan& plan) {
  Result<SetupFile, std::string> setup = ReadSetupFile(plan.operands[0], table);
  if (!setup) return Unexpected(std::move(setup).error() + "; nothing was written");
  plan.setup = *setup;
  return {};
}

void SaveFailed(CliContext& context, const std::string& name, const SaveError& saved) {
  switch (saved.status) {
    case SaveError::Status::Folder:
      context.err << "velk47120-cli: " << name << " is a folder; nothing was saved\n";
      break;
    case SaveError::Status::ReadOnly:
      context.err << "velk47120-cli: " << name << " is read-only; nothing was saved\n";
      break;
    case SaveError::Status::NotRegular:
      context.err << "velk47120-cli: " << name << " is not a regular file; nothing was saved\n";
      break;
    default:
      context.err << "velk47120-cli: cannot write " << name << ": " << std::strerror(saved.error)
                  << "\n";
  }
}

SetupFile ReadChipSetup(Session& session, int32_t model, std::vector<std::string>* adjusted) {
  SetupFile setup;
  setup.product = model;
  for (int i = 0; i < kSetupCount; ++i) {
    const int16_t s = kSetupSlots[i];
    session.spi.ReadRegister(s);
    const int32_t read = RawWord(session.spi);
    const int32_t word = SetupWord(session.reg, s, read);
    // Self-test bits are never saved, so dropping them needs no word.
    if (adjusted != nullptr && word != (s == slot::Msc_Ctrl ? read & ~kSelfTestBits : read)) {
      char line[128];
      std::snprintf(line, sizeof line, "%s reads 0x%04X, which a load refuses; saved as 0x%04X",
                    RegisterName(session.reg, s).c_str(), static_cast<unsigned>(read),
                    static_cast<unsigned>(word));
      adjusted->push_back(line);
    }
    setup.values[i] = word;
  }
  return setup;
}

std::vector<std::string> WriteSetup(Session& session, const SetupFile& setup) {
  Spi47120& spi = session.spi;
  spi.WriteRegister(slot::Alm_Ctrl, 0);
  for (int16_t s : kLoadOrder) spi.WriteRegister(s, setup.values[IndexOf(s)]);
  // Let the chip take the new sample settings before they are read back.
  DelayMs(100.0f);
  std::vector<std::string> mismatches;
  for (int16_t s : kLoadOrder) {
    spi.ReadRegister(s);
    int32_t word = RawWord(spi);
    if (s == slot::Msc_Ctrl) word &= ~kSelfTestBits;
    const int32_t wanted = setup.values[IndexOf(s)];
    if (word != wanted) {
      char line[128];
      std::snprintf(line, sizeof line, "%s reads 0x%04X after 0x%04X was written",
                    RegisterName(session.reg, s).c_str(), static_cast<unsigned>(word),
                    static_cast<unsigned>(wanted));
      mismatches.push_back(line);
    }
  }
  return mismatches;
}

std::string SetupText(Session& session, int32_t model, std::ostream& err) {
  std::string text = "# VELK" + std::to_string(model) + " setup, saved " + Today() +
                     "\nProduct = " + std::to_string(model) + "\n";
  std::vector<std::string> adjusted;
  const SetupFile setup = ReadChipSetup(session, model, &adjusted);
  for (const std::string& line : adjusted) err << "velk47120-cli: " << line << "\n";
  for (int i = 0; i < kSetupCount; ++i) {
    char line[128];
    std::snprintf(line, sizeof line, "%s = 0x%04X\n",
                  RegisterName(session.reg, kSetupSlots[i]).c_str(),
                  static_cast<unsigned>(setup.values[i]));
    text += line;
  }
  return text;
}

ExitStatus SetupSave(const CommandCall& call) {
  CliContext& context = call.context;
  const int32_t model = call.chip.model;
  const std::filesystem::path file = call.plan.operands[0];
  const std::string text = SetupText(call.session, model, context.err);
  const std::string name = Escaped(file.string());
  const auto saved = SaveFileSafely(file, text);
  if (!saved) {
    SaveFailed(context, name, saved.error());
    return ExitStatus::kOutputFailed;
  }
  context.out << "saved " << kSetupCount << " registers of the VELK" << model << " to "
              << file.string() << "\n"
              << std::flush;
  return ExitStatus::kDone;
}

ExitStatus SetupLoad(const CommandCall& call) {
  CliContext& context = call.context;
  const int32_t model = call.chip.model;
  const SetupFile& setup = call.plan.setup;
  if (setup.product != model) {
    context.err << "velk47120-cli: the setup is for the VELK" << setup.product
                << ", but the chip is a VELK" << model << "; nothing was written\n";
    return ExitStatus::kUsage;
  }
  context.chipWritten = true;
  ExitStatus status = ExitStatus::kDone;
  for (const std::string& line : WriteSetup(call.session, setup)) {
    context.err << "velk47120-cli: " << line << "\n";
    status = ExitStatus::kMismatch;
  }
  if (status == ExitStatus::kDone)
    context.out << "loaded and confirmed " << kSetupCount << " registers\n" << std::flush;
  return status;
}

}  // namespace velk
