#pragma once

#include <cstdint>
#include <string_view>

namespace velk {

// Hexadecimal text typed by the user. No trimming and no prefix: every character that is not
// a hex digit counts as 0. Only the last four characters count.
int32_t HexToLong(std::string_view text);     // 0..65535
int16_t HexToInteger(std::string_view text);  // the same bits as a signed 16-bit value

}  // namespace velk
