#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "core/NumberText.h"

namespace velk {
namespace {

// The fuzz replay holds the general properties (finite results, saturation, rounding ties to
// even, plain decimals read as the C library reads them, formats read back, NaN, zero and
// carries); these are the program's own readings of text the C library reads otherwise.
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
  // Saturation is the fuzz replay's; a tiny digit string with a huge exponent is still one.
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

// A person reads the digits, not the binary value just below them.
TEST(NumberText, FixedFormatRoundsTheDigitsAPersonReads) {
  EXPECT_EQ(FormatFixed(1.005, 2), "1.01");  // stored as 1.00499999999999989...
  // A small negative reading that rounds to zero shows no sign.
  EXPECT_EQ(FormatFixed(-0.004, 2), "0.00");
}

}  // namespace
}  // namespace velk
