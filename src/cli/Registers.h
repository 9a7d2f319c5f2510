#pragma once

#include <cstdint>
#include <string>

namespace velk {

class Reg47120;
class Session;
struct CliContext;

// A register named on the command line, checked against the table before the chip is
// touched.
struct RegisterChoice {
  int16_t slot = 0;
  std::string error;  // not empty: refused, with the reason
};

// By name (as in the table, case aside) or by its own address in hex. Registers after
// Command are the factory's and need `factory`.
RegisterChoice FindRegister(const Reg47120& table, const std::string& text, bool factory);
// The last slot offered: Command, or Test_Cnfg in factory mode.
int16_t LastOfferedSlot(bool factory);
// The table name without padding.
std::string RegisterName(const Reg47120& table, int16_t slot);

int RegGet(Session& session, int16_t slot, CliContext& context);
int RegSet(Session& session, int16_t slot, int32_t value, CliContext& context);
int RegDump(Session& session, bool factory, bool json, CliContext& context);

}  // namespace velk
