// Reading text as a number and writing numbers as text: any text, any double's bits.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "core/NumberText.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTargets.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Results of reading are finite and never a negative zero.
void CheckRead(double value) {
  VELK_FUZZ_CHECK(std::isfinite(value));
  VELK_FUZZ_CHECK(value != 0.0 || !std::signbit(value));
}

// Plain decimal text, [+-]digits[.digits][E[+-]digits] with a digit somewhere before the
// exponent: the one form the C library reads exactly as the program does.
bool IsPlainDecimal(std::string_view text, bool allowExponent) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool any = false;
  while (i < text.size() && IsDigit(text[i])) ++i, any = true;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, any = true;
  }
  if (!any) return false;
  if (allowExponent && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const size_t digits = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == digits) return false;
  }
  return i == text.size();
}

// Rounds plain decimal text (no exponent) half away from zero to `decimals` places on its own
// digits, as a person would; nullopt when the text has more than 15 significant digits or a
// magnitude a double cannot carry to 15 digits.
std::optional<std::string> RoundDecimalText(std::string_view text, int decimals) {
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  const size_t point = std::min(text.find('.'), text.size());
  std::string whole(text.substr(0, point));
  std::string fraction(point < text.size() ? text.substr(point + 1) : std::string_view());
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));

  std::string digits = whole + fraction;
  const size_t first = digits.find_first_not_of('0');
  if (first != std::string::npos) {
    const size_t last = digits.find_last_not_of('0');
    if (last - first + 1 > 15) return std::nullopt;
    const long magnitude = static_cast<long>(whole.size()) - 1 - static_cast<long>(first);
    if (magnitude > 300 || magnitude < -290) return std::nullopt;
  }

  fraction.resize(std::max(fraction.size(), static_cast<size_t>(decimals) + 1), '0');
  std::string kept = "0" + whole + fraction.substr(0, static_cast<size_t>(decimals));
  if (fraction[static_cast<size_t>(decimals)] >= '5') {
    size_t i = kept.size();
    while (kept[--i] == '9') kept[i] = '0';
    ++kept[i];
  }
  std::string out = kept.substr(0, kept.size() - static_cast<size_t>(decimals));
  out.erase(0, std::min(out.find_first_not_of('0'), out.size() - 1));
  if (decimals > 0) out += "." + kept.substr(kept.size() - static_cast<size_t>(decimals));
  if (negative && out.find_first_not_of("0.") != std::string::npos) out.insert(0, "-");
  return out;
}

void CheckFixed(double value, int decimals) {
  const std::string out = velk::FormatFixed(value, decimals);
  if (std::isnan(value)) return VELK_FUZZ_CHECK(out == "NaN");
  if (std::isinf(value)) return VELK_FUZZ_CHECK(out == (value < 0 ? "-Infinity" : "Infinity"));
  const int places = std::clamp(decimals, 0, 30);

  // -ddd.ddd with exactly `places` decimals, no leading zeros, no minus on a zero.
  size_t i = out[0] == '-' ? 1 : 0;
  const size_t digitsStart = i;
  while (i < out.size() && IsDigit(out[i])) ++i;
  VELK_FUZZ_CHECK(i > digitsStart);
  VELK_FUZZ_CHECK(out[digitsStart] != '0' || i == digitsStart + 1);
  if (places > 0) {
    VELK_FUZZ_CHECK(i < out.size() && out[i] == '.');
    VELK_FUZZ_CHECK(out.size() - i - 1 == static_cast<size_t>(places));
    VELK_FUZZ_CHECK(out.find_first_not_of("0123456789", i + 1) == std::string::npos);
  } else {
    VELK_FUZZ_CHECK(i == out.size());
  }
  if (digitsStart == 1) VELK_FUZZ_CHECK(out.find_first_not_of("-0.") != std::string::npos);

  // Fifteen significant digits, then half a unit of the last decimal. Long double: near the
  // top of the range the fifteen digits lie beyond the largest double.
  const long double back = std::strtold(out.c_str(), nullptr);
  const long double tolerance = 0.5L * std::pow(10.0L, -places) + 1e-14L * std::fabs(value);
  VELK_FUZZ_CHECK(std::fabs(back - value) <= tolerance * (1 + 1e-9L));
}

void CheckGeneral(float value) {
  const std::string out = velk::FormatGeneral(value);
  if (std::isnan(value)) return VELK_FUZZ_CHECK(out == "NaN");
  if (std::isinf(value)) return VELK_FUZZ_CHECK(out == (value < 0 ? "-Infinity" : "Infinity"));
  if (value == 0.0f) return VELK_FUZZ_CHECK(out == "0");

  // The program reads back what it writes, to seven significant digits.
  const std::optional<double> back = velk::ExactNumber(out);
  VELK_FUZZ_CHECK(back.has_value());
  VELK_FUZZ_CHECK(std::fabs(*back - value) <= 5e-7 * std::fabs(value));

  const size_t e = out.find('E');
  const std::string mantissa = out.substr(0, e);
  size_t significant = 0;
  bool started = false;
  for (char c : mantissa) {
    started = started || (c >= '1' && c <= '9');
    significant += started && IsDigit(c);
  }
  VELK_FUZZ_CHECK(significant >= 1 && significant <= 7);
  if (mantissa.find('.') != std::string::npos)
    VELK_FUZZ_CHECK(mantissa.back() != '0' && mantissa.back() != '.');
  VELK_FUZZ_CHECK(out.find('e') == std::string::npos);
  if (e != std::string::npos) {
    VELK_FUZZ_CHECK(out.size() >= e + 4 && (out[e + 1] == '+' || out[e + 1] == '-'));
    VELK_FUZZ_CHECK(out.find_first_not_of("0123456789", e + 2) == std::string::npos);
  }
}

void CheckRounding(double value) {
  const int32_t wide = velk::RoundToInt32(value);
  const int16_t narrow = velk::RoundToInt16(value);
  VELK_FUZZ_CHECK(narrow == std::clamp<int32_t>(wide, INT16_MIN, INT16_MAX));
  if (std::isnan(value)) return VELK_FUZZ_CHECK(wide == 0);
  if (value < INT32_MIN) return VELK_FUZZ_CHECK(wide == INT32_MIN);
  if (value > INT32_MAX) return VELK_FUZZ_CHECK(wide == INT32_MAX);
  // Nearest whole number, a tie to the even one.
  const double distance = std::fabs(static_cast<double>(wide) - value);
  VELK_FUZZ_CHECK(distance <= 0.5);
  if (distance == 0.5) VELK_FUZZ_CHECK(wide % 2 == 0);
}

}  // namespace

int velk_fuzz_number_text(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  double raw = 0.0;
  std::memcpy(&raw, data, std::min(size, sizeof raw));
  float rawFloat = 0.0f;
  std::memcpy(&rawFloat, data, std::min(size, sizeof rawFloat));
  const int rawDecimals = size > 0 ? static_cast<int8_t>(data[size - 1]) : 0;

  const double read = velk::ReadNumber(text);
  const double leading = velk::LeadingDecimalNumber(text);
  const std::optional<double> exact = velk::ExactNumber(text);
  CheckRead(read);
  CheckRead(leading);

  // Text that is a number and nothing else reads the same by all three, and as the C library
  // reads it (limited to the range of a double, subnormals aside).
  std::string_view trimmed = text;
  while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t'))
    trimmed.remove_prefix(1);
  while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t'))
    trimmed.remove_suffix(1);
  if (exact) {
    CheckRead(*exact);
    VELK_FUZZ_CHECK(*exact == read);
    if (trimmed[0] != '&' && trimmed.find_first_of("Dd") == std::string_view::npos)
      VELK_FUZZ_CHECK(*exact == leading);
  }
  if (IsPlainDecimal(trimmed, true)) {
    VELK_FUZZ_CHECK(exact.has_value());
    const double library = std::strtod(std::string(trimmed).c_str(), nullptr);
    if (std::isinf(library))
      VELK_FUZZ_CHECK(*exact == std::copysign(DBL_MAX, library));
    else if (library == 0.0 || std::fabs(library) >= DBL_MIN)
      VELK_FUZZ_CHECK(*exact == library);
  }

  for (const double value : {read, leading, raw}) CheckRounding(value);
  for (const double value : {read, raw}) {
    CheckFixed(value, rawDecimals);
    for (int decimals = 0; decimals <= 4; ++decimals) CheckFixed(value, decimals);
  }
  if (exact && IsPlainDecimal(trimmed, false)) {
    for (int decimals = 0; decimals <= 4; ++decimals)
      if (const auto expected = RoundDecimalText(trimmed, decimals))
        VELK_FUZZ_CHECK(velk::FormatFixed(*exact, decimals) == *expected);
  }

  CheckGeneral(rawFloat);
  CheckGeneral(std::fabs(read) > FLT_MAX ? std::copysign(INFINITY, read)
                                         : static_cast<float>(read));
  return 0;
}
