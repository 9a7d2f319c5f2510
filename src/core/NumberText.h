#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velk {

// Reading text as a number, the calibration panel's rules: blanks, tabs and line feeds
// anywhere are ignored; then an optional sign, digits, at most one decimal point and an
// optional exponent (E or D) are taken up to the first character that does not fit; "&H" or
// "&O" read hexadecimal or octal digits. Text that does not begin with a number reads as 0.
// Never fails: results beyond the range of a double are limited to it.
double ReadNumber(std::string_view text);
// The same, but nullopt when the text does not begin with a number ("nan", "-", "&H").
std::optional<double> ReadNumberIfAny(std::string_view text);

// The leading decimal number of a text (loop delay, alarm threshold, DAC entries): leading
// blanks skipped, then sign, digits, decimal point and exponent up to the first character
// that does not fit; 0 when the text does not begin with a number.
double LeadingDecimalNumber(std::string_view text);

// The whole text, blanks around it ignored, as a number; nullopt when anything else is in it.
std::optional<double> ExactNumber(std::string_view text);

// Nearest whole number, ties to the even one; limited to the type's range, NaN gives 0.
int32_t RoundToInt32(double value);
int16_t RoundToInt16(double value);

// The fixed formats "0.0", "0.00", "0.000" (also "#0.000") and "0.0000": rounded half away
// from zero on the value's decimal digits, as a person rounds.
std::string FormatFixed(double value, int decimals);

// A double to `digits` significant digits as printf's %g writes it ("0.000123", "1.5e+07").
std::string FormatSignificant(double value, int digits);

// General number format of a single-precision value: at most 7 significant digits, no
// trailing zeros, an exponent ("1.234568E+07", "1E-05") only where plain digits cannot show it.
std::string FormatGeneral(float value);

}  // namespace velk
