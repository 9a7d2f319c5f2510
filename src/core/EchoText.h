#pragma once

#include <string>
#include <string_view>

namespace velk {

// Text from the command line or a file as a message on stderr echoes it: tab, line breaks,
// backslash, double quote and other control bytes escaped, so an argument can neither break
// the line nor forge another one.
std::string Escaped(std::string_view text);

}  // namespace velk
