#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "core/NumberText.h"

namespace velk {
namespace {

TEST(ReadNumber, IgnoresBlanksAnywhereAndStopsAtTheFirstMisfit) {
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
}

TEST(ReadNumber, ExtremeTextSaturatesInsteadOfFailing) {
  EXPECT_EQ(ReadNumber("1e999999999999999999999"), DBL_MAX);
  EXPECT_EQ(ReadNumber("-1D400"), -DBL_MAX);
  EXPECT_EQ(ReadNumber(std::string(5000, '9')), DBL_MAX);
  EXPECT_DOUBLE_EQ(ReadNumber("0." + std::string(5000, '0') + "1e5001"), 1.0);
  EXPECT_TRUE(std::isfinite(ReadNumber("&H" + std::string(1000, 'F'))));
}

TEST(LeadingDecimalNumber, TakesOnlyTheLeadingDecimalNumber) {
  EXPECT_EQ(LeadingDecimalNumber("abc"), 0.0);
  EXPECT_EQ(LeadingDecimalNumber("1.25V"), 1.25);
  EXPECT_EQ(LeadingDecimalNumber("1e3"), 1000.0);
  EXPECT_EQ(LeadingDecimalNumber("1e"), 1.0);
  EXPECT_EQ(LeadingDecimalNumber(" \t+12.5 5"), 12.5);
  EXPECT_EQ(LeadingDecimalNumber("- 5"), 0.0);
  EXPECT_EQ(LeadingDecimalNumber("1d3"), 1.0);
}

TEST(ExactNumber, AcceptsOnlyOneWholeNumber) {
  EXPECT_EQ(ExactNumber(" 12 "), 12.0);
  EXPECT_EQ(ExactNumber("\t-3.5e1"), -35.0);
  EXPECT_EQ(ExactNumber("&HFFFF"), -1.0);
  for (const char* text : {"", "  ", "1 2", "12a", "1e", "&H", "&H1G", ".", "-", "0x10"})
    EXPECT_EQ(ExactNumber(text), std::nullopt) << '"' << text << '"';
}

TEST(Rounding, GoesToTheEvenNeighbourAndSaturates) {
  EXPECT_EQ(RoundToInt32(2.5), 2);
  EXPECT_EQ(RoundToInt32(-3.5), -4);
  EXPECT_EQ(RoundToInt32(1e12), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(RoundToInt32(std::nan("")), 0);
  EXPECT_EQ(RoundToInt16(40000.0), 32767);
  EXPECT_EQ(RoundToInt16(std::nan("")), 0);
}

TEST(FormatFixed, RoundsTheReadableDigitsHalfAwayFromZero) {
  EXPECT_EQ(FormatFixed(0.125, 2), "0.13");
  EXPECT_EQ(FormatFixed(-12.5, 0), "-13");
  EXPECT_EQ(FormatFixed(1.005, 2), "1.01");  // stored as 1.00499999999999989...
  EXPECT_EQ(FormatFixed(9.9996, 3), "10.000");
  EXPECT_EQ(FormatFixed(0.0005, 3), "0.001");
  EXPECT_EQ(FormatFixed(-0.001, 2), "0.00");
  EXPECT_EQ(FormatFixed(2048 * 0.0006105f, 4), "1.2503");
  EXPECT_EQ(FormatFixed(1e30, 2), "1000000000000000000000000000000.00");
  EXPECT_EQ(FormatFixed(std::nan(""), 2), "NaN");
}

TEST(FormatGeneral, ShowsSevenSignificantDigitsWithoutPadding) {
  EXPECT_EQ(FormatGeneral(0.07326f), "0.07326");
  EXPECT_EQ(FormatGeneral(-12.45582f), "-12.45582");
  EXPECT_EQ(FormatGeneral(-0.0f), "0");
  EXPECT_EQ(FormatGeneral(12345678.0f), "1.234568E+07");
  EXPECT_EQ(FormatGeneral(0.00001f), "1E-05");
}

}  // namespace
}  // namespace velk
