#pragma once

#include <string>

namespace velk {

// The help of the tool (empty command) or of one command ("log", "reg set", ...); empty when
// there is no such command.
std::string HelpText(const std::string& command);

}  // namespace velk
