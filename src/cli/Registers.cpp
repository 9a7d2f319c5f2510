#include "cli/Registers.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "cli/Cli.h"
#include "cli/Commands.h"
#include "cli/Options.h"
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

RegisterChoice FindRegister(const Reg47120& table, const std::string& text, bool factory) {
  RegisterChoice choice;
  const std::string wanted = Lower(text);
  if (wanted != "n/a") {
    for (int16_t s = 1; s <= slot::Test_Cnfg && choice.slot == 0; ++s)
      if (Lower(RegisterName(table, s)) == wanted) choice.slot = s;
  }
  if (choice.slot == 0) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
      digits = digits.substr(2);
    const bool hex = !digits.empty() && digits.size() <= 2 &&
                     std::all_of(digits.begin(), digits.end(), [](char c) {
                       return std::isxdigit(static_cast<unsigned char>(c));
                     });
    if (!hex) {
      choice.error = "unknown register \"" + Escaped(text) +
                     "\": give a name from the register table or "
                     "an address in hex (see \"reg dump\")";
      return choice;
    }
    const int32_t address = std::stoi(digits, nullptr, 16);
    for (int16_t s = 1; s <= slot::Test_Cnfg; ++s) {
      if (table.RegAddr[s] == address) choice.slot = s;
      if (table.RegBytes[s] == 2 && table.RegAddr[s] + 1 == address) {
        choice.error = "address " + Hex2(address) + " is the high byte of " +
                       RegisterName(table, s) + " at " + Hex2(table.RegAddr[s]) +
                       ": give the register's own address";
        return choice;
      }
    }
    if (choice.slot == 0) {
      choice.error = "no register at address " + Hex2(address);
      return choice;
    }
  }
  if (choice.slot > LastOfferedSlot(factory)) {
    choice.error = RegisterName(table, choice.slot) + " is a factory register: give --factory";
    choice.slot = 0;
  }
  return choice;
}

int RegGet(Session& session, int16_t s, CliContext& context) {
  session.spi.ReadRegister(s);
  context.out << RegisterLine(session.reg, s, RawWord(session.spi)) << '\n' << std::flush;
  return exitcode::kDone;
}

int RegSet(Session& session, int16_t s, int32_t value, CliContext& context) {
  context.chipWritten = true;
  session.spi.WriteRegister(s, value);
  context.out << RegisterLine(session.reg, s, value) << '\n' << std::flush;
  return exitcode::kDone;
}

int RegDump(Session& session, bool factory, bool json, CliContext& context) {
  const Reg47120& table = session.reg;
  std::string text = json ? "[" : "";
  bool first = true;
  for (int16_t s = 1; s <= LastOfferedSlot(factory); ++s) {
    if (table.RegReadable[s] == 0) continue;
    session.spi.ReadRegister(s);
    const int32_t word = RawWord(session.spi);
    if (json) {
      char item[96];
      std::snprintf(item, sizeof item, "%s{\"name\":\"%s\",\"address\":%d,\"value\":%d}",
                    first ? "" : ",", RegisterName(table, s).c_str(), table.RegAddr[s], word);
      text += item;
    } else {
      text += RegisterLine(table, s, word) + "\n";
    }
    first = false;
  }
  if (json) text += "]\n";
  context.out << text << std::flush;
  return exitcode::kDone;
}

}  // namespace velk
