#pragma once

#include <string>
#include <string_view>

namespace velk {

// Text from the command line or a file as a message on stderr echoes it: tab, line breaks,
// backslash, double quote and other control bytes escaped, so an argument can neither break
// the line nor forge another one. Bytes that are not UTF-8, C1 controls and U+2028/U+2029
// are written as \xNN per byte: the result is printable UTF-8 and still names every byte.
std::string Escaped(std::string_view text);

}  // namespace velk
