#include "cli/Registers.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "measure/OutputCycle.h"
#include "registers/Session.h"

namespace velk {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Hex2(int32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

int16_t LastOfferedSlot(bool factory) {
  return factory ? slot::Test_Cnfg : slot::Command;
}

std::string RegisterName(const Reg47120& table, int16_t s) {
  std::string name = table.RegName[s];
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

Result<int16_t, std::string> FindRegister(const Reg47120& table, const std::string& text,
                                          bool factory) {
  int16_t found = 0;
  const std::string wanted = Lower(text);
  if (wanted != "n/a") {
    for (int16_t s = 1; s <= slot::Test_Cnfg && found == 0; ++s)
      if (Lower(RegisterName(table, s)) == wanted) found = s;
  }
  if (found == 0) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
      digits = digits.substr(2);
    const bool hex = !digits.empty() && digits.size() <= 2 &&
                     std::all_of(digits.begin(), digits.end(), [](char c) {
                       return std::isxdigit(static_cast<unsigned char>(c));
                     });
    if (!hex)
      return Unexpected("unknown register \"" + Escaped(text) +
                        "\": give a name from the register table or "
                        "an address in hex (see \"reg dump\")");
    const int32_t address = std::stoi(digits, nullptr, 16);
    for (int16_t s = 1; s <= slot::Test_Cnfg; ++s) {
      if (table.RegAddr[s] == address) found = s;
      if (table.RegBytes[s] == 2 && table.RegAddr[s] + 1 == address)
        return Unexpected("address " + Hex2(address) + " is the high byte of " +
                          RegisterName(table, s) + " at " + Hex2(table.RegAddr[s]) +
                          ": give the register's own address");
    }
    if (found == 0) return Unexpected("no register at address " + Hex2(address));
  }
  if (found > LastOfferedSlot(factory))
    return Unexpected(RegisterName(table, found) + " is a factory register: give --factory");
  return found;
}

Result<void, std::string> CheckRegGet(const CliOptions& options, const Reg47120& table,
                                      Plan& plan) {
  const Result<int16_t, std::string> found = FindRegister(table, plan.operands[0], options.factory);
  if (!found) return Unexpected(found.error());
  plan.slot = *found;
  if (table.RegReadable[plan.slot] == 0)
    return Unexpected(RegisterName(table, plan.slot) + " cannot be read");
  return {};
}

Result<void, std::string> CheckRegSet(const CliOptions& options, const Reg47120& table,
                                      Plan& plan) {
  const Result<int16_t, std::string> found = FindRegister(table, plan.operands[0], options.factory);
  if (!found) return Unexpected(found.error());
  plan.slot = *found;
  const std::string name = RegisterName(table, plan.slot);
  if (table.RegWritable[plan.slot] == 0) return Unexpected(name + " is read-only");
  const int64_t top = table.RegBytes[plan.slot] == 1 ? 0xFF : 0xFFFF;
  const std::string& text = plan.operands[1];
  const auto value = ParseValue(text);
  if (!value || *value > top)
    return Unexpected("value \"" + Escaped(text) + "\" for " + name + " must be 0 to " +
                      (top == 0xFF ? "0xFF" : "0xFFFF") + " (0x hex or decimal)");
  plan.value = static_cast<int32_t>(*value);
  return {};
}

ExitStatus RegGet(const CommandCall& call) {
  Session& session = call.session;
  const int16_t s = call.plan.slot;
  session.spi.ReadRegister(s);
  call.context.out << RegisterLine(session.reg, s, RawWord(session.spi)) << '\n' << std::flush;
  return ExitStatus::kDone;
}

ExitStatus RegSet(const CommandCall& call) {
  const int16_t s = call.plan.slot;
  call.context.chipWritten = true;
  call.session.spi.WriteRegister(s, call.plan.value);
  call.context.out << RegisterLine(call.session.reg, s, call.plan.value) << '\n' << std::flush;
  return ExitStatus::kDone;
}

ExitStatus RegDump(const CommandCall& call) {
  Session& session = call.session;
  const Reg47120& table = session.reg;
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  std::string text;
  for (int16_t s = 1; s <= LastOfferedSlot(call.options.factory); ++s) {
    if (table.RegReadable[s] == 0) continue;
    session.spi.ReadRegister(s);
    const int32_t word = RawWord(session.spi);
    if (call.options.json) {
      list.push_back(
          {{"name", RegisterName(table, s)}, {"address", table.RegAddr[s]}, {"value", word}});
    } else {
      text += RegisterLine(table, s, word) + "\n";
    }
  }
  call.context.out << (call.options.json ? JsonLine(list) : text) << std::flush;
  return ExitStatus::kDone;
}

}  // namespace velk
