#pragma once

#include <string>

#include "core/SafeSave.h"

namespace velk {

// Why a whole-file save from a window failed, as the last line of its message box.
std::string SaveFailureReason(const SaveOutcome& outcome);

}  // namespace velk
