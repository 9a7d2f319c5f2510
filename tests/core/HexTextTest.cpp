#include <gtest/gtest.h>

#include "core/HexText.h"

namespace velk {
namespace {

// The fuzz replay holds the digit rules (the last four characters, non-digits as zero); here
// the signed reading of the same 16 bits.
TEST(HexText, TheIntegerReadingIsSigned) {
  EXPECT_EQ(HexToLong("FFFF"), 65535);
  EXPECT_EQ(HexToInteger("FFFF"), -1);
  EXPECT_EQ(HexToInteger("8000"), -32768);
  EXPECT_EQ(HexToInteger("7FFF"), 32767);
}

}  // namespace
}  // namespace velk
