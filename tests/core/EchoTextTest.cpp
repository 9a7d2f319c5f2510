#include <gtest/gtest.h>

#include <string>

#include "core/EchoText.h"

namespace velk {
namespace {

// What reaches a terminal, a JSON document or a YAML comment: printable UTF-8 that still names
// every byte of the original.
TEST(EchoText, EscapesWhatCouldBreakALineOrIsNotUtf8) {
  const struct {
    const char* name;
    std::string text, echoed;
  } rows[] = {
      {"plain and valid UTF-8 kept",
       "Drehrate_gr\xC3\xB6\xC3\x9F"
       "e \xE2\x82\xAC \xF0\x9F\x94\xA5",
       "Drehrate_gr\xC3\xB6\xC3\x9F"
       "e \xE2\x82\xAC \xF0\x9F\x94\xA5"},
      {"line breaks, tab, quote, backslash", "a\r\n\t\"\\", "a\\r\\n\\t\\\"\\\\"},
      {"other controls and DEL", std::string("\x00\x1B\x7F", 3), "\\x00\\x1B\\x7F"},
      {"Latin-1 bytes", "caf\xE9 r\xE9glage", "caf\\xE9 r\\xE9glage"},
      {"a sequence cut short, at the end too", "\xE2\x82x\xE2\x82", "\\xE2\\x82x\\xE2\\x82"},
      {"overlong, surrogate, beyond U+10FFFF", "\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80",
       "\\xC0\\xAF\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80"},
      {"C1 controls", "\xC2\x85\xC2\x9B", "\\xC2\\x85\\xC2\\x9B"},
      {"line and paragraph separators",
       "a\xE2\x80\xA8"
       "b\xE2\x80\xA9",
       "a\\xE2\\x80\\xA8b\\xE2\\x80\\xA9"},
      {"the next characters are kept", "\xC2\xA0\xE2\x80\xAA", "\xC2\xA0\xE2\x80\xAA"},
  };
  for (const auto& row : rows) EXPECT_EQ(Escaped(row.text), row.echoed) << row.name;
}

}  // namespace
}  // namespace velk
