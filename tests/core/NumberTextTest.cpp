#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <optional>
#include <string>

#include "core/NumberText.h"

namespace velk {
namespace {

// The fuzz replay holds the general properties (finite results, no negative zero, rounding
// ties to even and saturating, plain decimals read as the C library reads them, formats read
// back); these are the program's own readings of text the C library reads otherwise.
TEST(NumberText, ReadsTheCalibrationPanelsText) {
  EXPECT_DOUBLE_EQ(ReadNumber(" 1 2.5\t6\n"), 12.56);
  EXPECT_DOUBLE_EQ(ReadNumber("- 3.5mV"), -3.5);
  EXPECT_DOUBLE_EQ(ReadNumber("2D3"), 2000.0);
  EXPECT_DOUBLE_EQ(ReadNumber("7E"), 7.0);
  EXPECT_EQ(ReadNumber("abc"), 0.0);
  EXPECT_FALSE(std::signbit(ReadNumber("-0")));
  EXPECT_EQ(ReadNumber("& h 1f"), 31.0);
  EXPECT_EQ(ReadNumber("&HFFFF"), -1.0);
  EXPECT_EQ(ReadNumber("&H10000"), 65536.0);
  EXPECT_EQ(ReadNumber("&HFFFFFFFF"), -1.0);
  EXPECT_EQ(ReadNumber("&O177777"), -1.0);
  EXPECT_EQ(ReadNumber("&X12"), 0.0);
  // Extreme text saturates instead of failing.
  EXPECT_EQ(ReadNumber("-1D400"), -DBL_MAX);
  EXPECT_EQ(ReadNumber(std::string(5000, '9')), DBL_MAX);
  EXPECT_DOUBLE_EQ(ReadNumber("0." + std::string(5000, '0') + "1e5001"), 1.0);

  EXPECT_EQ(LeadingDecimalNumber("abc"), 0.0);
  EXPECT_EQ(LeadingDecimalNumber("1.25V"), 1.25);
  EXPECT_EQ(LeadingDecimalNumber("1e"), 1.0);
  EXPECT_EQ(LeadingDecimalNumber(" \t+12.5 5"), 12.5);
  EXPECT_EQ(LeadingDecimalNumber("- 5"), 0.0);
  EXPECT_EQ(LeadingDecimalNumber("1d3"), 1.0);

  EXPECT_EQ(ExactNumber(" 12 "), 12.0);
  EXPECT_EQ(ExactNumber("&HFFFF"), -1.0);
  for (const char* text : {"", "  ", "1 2", "12a", "1e", "&H", "&H1G", ".", "-", "0x10"})
    EXPECT_EQ(ExactNumber(text), std::nullopt) << '"' << text << '"';
}

TEST(NumberText, FormatsRoundTheReadableDigits) {
  EXPECT_EQ(FormatFixed(1.005, 2), "1.01");  // stored as 1.00499999999999989...
  EXPECT_EQ(FormatFixed(9.9996, 3), "10.000");
  EXPECT_EQ(FormatFixed(2048 * 0.0006105f, 4), "1.2503");
  EXPECT_EQ(FormatFixed(1e30, 2), "1000000000000000000000000000000.00");
  EXPECT_EQ(FormatFixed(std::nan(""), 2), "NaN");
  EXPECT_EQ(FormatGeneral(-12.45582f), "-12.45582");
  EXPECT_EQ(FormatGeneral(-0.0f), "0");
  EXPECT_EQ(FormatGeneral(12345678.0f), "1.234568E+07");
  EXPECT_EQ(FormatGeneral(0.00001f), "1E-05");
}

}  // namespace
}  // namespace velk
