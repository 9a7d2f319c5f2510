#include "core/EchoText.h"

#include <cstdio>

namespace velk {

namespace {

// The length of the well-formed UTF-8 character at `at`, or 0 when its bytes are not one
// (a Latin-1 byte, a cut sequence, an overlong form or a surrogate).
size_t Utf8Length(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  return length;
}

void AppendHex(std::string& out, std::string_view bytes) {
  for (const char c : bytes) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
    out += hex;
  }
}

// C1 controls (a terminal may take U+009B for an escape sequence) and the line and
// paragraph separators (YAML 1.1 breaks a line at them).
bool HiddenCharacter(std::string_view utf8) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(utf8[i]); };
  if (utf8.size() == 2) return b(0) == 0xC2 && b(1) <= 0x9F;
  return utf8.size() == 3 && b(0) == 0xE2 && b(1) == 0x80 && (b(2) == 0xA8 || b(2) == 0xA9);
}

}  // namespace

std::string Escaped(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) {
      const size_t length = Utf8Length(text, i);
      const std::string_view character = text.substr(i, length == 0 ? 1 : length);
      if (length == 0 || HiddenCharacter(character))
        AppendHex(out, character);
      else
        out += character;
      i += character.size();
      continue;
    }
    ++i;
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      default:
        if (u < 0x20 || u == 0x7F)
          AppendHex(out, text.substr(i - 1, 1));
        else
          out += c;
    }
  }
  return out;
}

}  // namespace velk
