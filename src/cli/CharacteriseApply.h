#pragma once

#include <string>

#include "core/Result.h"

namespace velk {

class Reg47120;
struct CliOptions;
struct Plan;

// characterise apply: RESULT.json (its bias and words) or --undo F (a whole setup file) read
// and checked before the first frame.
Result<void, std::string> CheckCharacteriseApply(const CliOptions& options, const Reg47120& table,
                                                 Plan& plan);

}  // namespace velk
