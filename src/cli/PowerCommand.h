#pragma once

#include <functional>
#include <string>

#include "cli/Setup.h"
#include "core/Result.h"
#include "measure/PowerCycles.h"

namespace velk {

class Session;

// Runs "COMMAND WORD" through /bin/sh, its input empty and its output kept for a message.
// Fails with the line naming the command, how it ended and what it said.
Result<void, std::string> RunPowerCommand(const std::string& command, const char* word,
                                          const char* what = "power command");

// A power-down by the chip's supply: switched off for the time, on again, the chip identified
// as the same model and the setup saved before the first cycle written back and confirmed.
class SwitchedPowerDown final : public PowerDown {
 public:
  using Switch = std::function<Result<void, std::string>(bool on)>;

  SwitchedPowerDown(Session& session, const AcquisitionTime& time, Switch power, int32_t model,
                    SetupFile saved)
      : session_(session), time_(time), power_(std::move(power)), model_(model), saved_(saved) {}
  Result<void, std::string> Cycle(double offS) override;

 private:
  Session& session_;
  const AcquisitionTime& time_;
  Switch power_;
  int32_t model_;
  SetupFile saved_;
};

}  // namespace velk
