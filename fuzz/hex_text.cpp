// Hexadecimal entry text: any text, its range and the bits the two conversions share.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/HexText.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTargets.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

int velk_fuzz_hex_text(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int32_t value = velk::HexToLong(text);
  VELK_FUZZ_CHECK(value >= 0 && value <= 65535);
  VELK_FUZZ_CHECK(static_cast<uint16_t>(velk::HexToInteger(text)) == value);

  // Only the last four characters count, and every other character counts as a zero digit.
  const std::string_view last = text.substr(text.size() > 4 ? text.size() - 4 : 0);
  std::string zeroed(last);
  for (char& c : zeroed)
    if (!IsHexDigit(c)) c = '0';
  VELK_FUZZ_CHECK(velk::HexToLong(zeroed) == value);
  VELK_FUZZ_CHECK((zeroed.empty() ? 0 : std::stol(zeroed, nullptr, 16)) == value);
  VELK_FUZZ_CHECK(velk::HexToLong(std::string(4, '0') + zeroed) == value);
  return 0;
}
