#include "core/NumberText.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace velk {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

struct Scanned {
  double value = 0.0;
  size_t used = 0;  // characters taken; 0 when the text does not begin with a number
};

// Decimal digits times a power of ten, limited to the range of a double. from_chars keeps the
// conversion independent of the C locale, which the window toolkit sets from the environment.
double DecimalValue(std::string_view digits, int64_t exponent) {
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  while (!digits.empty() && digits.back() == '0') {
    digits.remove_suffix(1);
    ++exponent;
  }
  if (digits.empty()) return 0.0;
  const int64_t magnitude = static_cast<int64_t>(digits.size()) - 1 + exponent;
  if (magnitude > 400) return DBL_MAX;
  if (magnitude < -400) return 0.0;

  std::string text(digits);
  text += 'e';
  text += std::to_string(exponent);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) return magnitude > 0 ? DBL_MAX : 0.0;
  if (error != std::errc() || end != text.data() + text.size()) return 0.0;
  return std::min(value, DBL_MAX);
}

// Sign, digits, one decimal point and an exponent whose letter is E (or D when allowed). An
// exponent letter without digits behind it is not taken.
Scanned ScanDecimal(std::string_view text, bool allowD) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  std::string digits;
  int64_t fractionDigits = 0;
  bool any = false;
  while (i < text.size() && IsDigit(text[i])) {
    digits += text[i++];
    any = true;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) {
      digits += text[i++];
      ++fractionDigits;
      any = true;
    }
  }
  if (!any) return {};

  int64_t exponent = 0;
  if (i < text.size()) {
    const char letter = text[i];
    const bool isLetter =
        letter == 'E' || letter == 'e' || (allowD && (letter == 'D' || letter == 'd'));
    size_t j = i + 1;
    bool expNegative = false;
    if (isLetter && j < text.size() && (text[j] == '+' || text[j] == '-'))
      expNegative = text[j++] == '-';
    if (isLetter && j < text.size() && IsDigit(text[j])) {
      // Far beyond any double; keeps the sum below from overflowing.
      constexpr int64_t kCap = 1'000'000'000;
      while (j < text.size() && IsDigit(text[j])) {
        exponent = std::min(exponent * 10 + (text[j] - '0'), kCap);
        ++j;
      }
      if (expNegative) exponent = -exponent;
      i = j;
    }
  }

  double value = DecimalValue(digits, exponent - fractionDigits);
  if (negative) value = -value;
  if (value == 0.0) value = 0.0;  // no negative zero
  return {value, i};
}

// "&H" or "&O" and their digits. Up to 16 bits the digits are a 16-bit pattern (so &HFFFF is
// -1), beyond that a 32-bit one; digits beyond 32 bits keep the low 32.
Scanned ScanRadix(std::string_view text) {
  if (text.size() < 2 || text[0] != '&') return {};
  const char letter = text[1];
  uint32_t radix = 0;
  if (letter == 'H' || letter == 'h') radix = 16;
  if (letter == 'O' || letter == 'o') radix = 8;
  if (radix == 0) return {};

  size_t i = 2;
  uint64_t value = 0;
  bool wide = false;
  bool any = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    uint32_t digit = 0;
    if (IsDigit(c)) {
      digit = static_cast<uint32_t>(c - '0');
    } else if (radix == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else if (radix == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else {
      break;
    }
    if (digit >= radix) break;
    value = value * radix + digit;
    if (value > 0xFFFFFFFFu) {
      wide = true;
      value &= 0xFFFFFFFFu;
    }
    any = true;
  }
  if (!any) return {0.0, i};
  if (!wide && value <= 0xFFFF) return {static_cast<double>(static_cast<int16_t>(value)), i};
  return {static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(value))), i};
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<double> ReadNumberIfAny(std::string_view text) {
  std::string packed;
  packed.reserve(text.size());
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\n') packed += c;
  const bool radix = !packed.empty() && packed[0] == '&';
  const Scanned scanned = radix ? ScanRadix(packed) : ScanDecimal(packed, true);
  // "&H" alone takes two characters but holds no digit.
  if (scanned.used <= (radix ? 2u : 0u)) return std::nullopt;
  return scanned.value;
}

double ReadNumber(std::string_view text) {
  return ReadNumberIfAny(text).value_or(0.0);
}

double LeadingDecimalNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return ScanDecimal(text, false).value;
}

std::optional<double> ExactNumber(std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return std::nullopt;
  const Scanned scanned = text[0] == '&' ? ScanRadix(text) : ScanDecimal(text, true);
  // "&H" alone takes two characters but holds no digit.
  if (scanned.used != text.size() || (text[0] == '&' && scanned.used <= 2)) return std::nullopt;
  return scanned.value;
}

int32_t RoundToInt32(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);
  if (rounded <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (rounded >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(rounded);
}

int16_t RoundToInt16(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);
  if (rounded <= std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
  if (rounded >= std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  return static_cast<int16_t>(rounded);
}

std::string FormatFixed(double value, int decimals) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  decimals = std::clamp(decimals, 0, 30);

  // Fifteen significant digits first, so 0.125 rounds as the 0.125 a person reads and not as
  // the binary value just below it.
  char buffer[64];
  const auto printed = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                     std::chars_format::scientific, 14);
  const std::string_view sci(buffer, static_cast<size_t>(printed.ptr - buffer));
  const size_t ePos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, ePos))
    if (IsDigit(c)) digits += c;
  int exponent = 0;  // place of digits[0] is 10^exponent
  std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+'), sci.data() + sci.size(),
                  exponent);

  // Keep the digits down to the last decimal, then round half away from zero on the next.
  const int keep = exponent + decimals + 1;
  std::string kept;
  if (keep >= 0) {
    kept = digits.substr(0, std::min<size_t>(static_cast<size_t>(keep), digits.size()));
    if (static_cast<size_t>(keep) < digits.size() && digits[static_cast<size_t>(keep)] >= '5') {
      int i = static_cast<int>(kept.size()) - 1;
      while (i >= 0 && kept[static_cast<size_t>(i)] == '9') kept[static_cast<size_t>(i--)] = '0';
      if (i >= 0) {
        ++kept[static_cast<size_t>(i)];
      } else {
        kept.insert(kept.begin(), '1');
        ++exponent;
      }
    }
  }

  auto digitAt = [&](int place) {
    const int index = exponent - place;
    return index >= 0 && index < static_cast<int>(kept.size()) ? kept[static_cast<size_t>(index)]
                                                               : '0';
  };
  std::string out;
  for (int place = std::max(exponent, 0); place >= 0; --place) out += digitAt(place);
  if (decimals > 0) {
    out += '.';
    for (int place = -1; place >= -decimals; --place) out += digitAt(place);
  }
  const bool zero = out.find_first_not_of("0.") == std::string::npos;
  if (value < 0 && !zero) out.insert(out.begin(), '-');
  return out;
}

std::string FormatSignificant(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", std::clamp(digits, 1, 17), value);
  return text;
}

std::string FormatGeneral(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (value == 0.0f) return "0";
  char buffer[64];
  const auto printed =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 7);
  std::string out(buffer, printed.ptr);
  std::replace(out.begin(), out.end(), 'e', 'E');
  return out;
}

}  // namespace velk
