#include "core/HexText.h"

namespace velk {

namespace {

int32_t HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

}  // namespace

int32_t HexToLong(std::string_view text) {
  // The entry boxes hold four digits; anything longer keeps its last four.
  if (text.size() > 4) text.remove_prefix(text.size() - 4);
  int32_t value = 0;
  for (char c : text) value = value * 16 + HexDigit(c);
  return value;
}

int16_t HexToInteger(std::string_view text) {
  const int32_t value = HexToLong(text);
  return static_cast<int16_t>(value >= 32768 ? value - 65536 : value);
}

}  // namespace velk
