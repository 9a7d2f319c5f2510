#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"

namespace velk {

// What the command line and VELK47120_SIMULATE ask for: 0 for real hardware, else the
// simulated model (47120 or 47121); or the line to refuse the start with (exit status 2).
// Shared by every executable, so the window and the command-line tool read the option and
// the variable the same way.
using SimulateRequest = Result<int, std::string>;

// The model named after "--simulate": empty means 47120; anything but 47120 or 47121 is an
// error.
SimulateRequest SimulatedModel(std::string_view text);

// The variable's value: on (1, on, true, yes) is a 47120, off (0, off, false, no, empty or
// unset) is real hardware, a model is that model, case aside; anything else is an error.
SimulateRequest SimulateFromEnvironment(const char* value);

// Takes "--simulate", "--simulate=MODEL" and "--simulate MODEL" (MODEL all digits) out of
// the arguments (element 0 is the program and is kept) and says what they ask for. Without
// the option the variable decides. A later option wins over an earlier one.
SimulateRequest TakeSimulateOption(std::vector<std::string>& args, const char* environment);

}  // namespace velk
