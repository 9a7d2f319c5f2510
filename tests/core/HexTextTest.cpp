#include <gtest/gtest.h>

#include <string>

#include "core/HexText.h"

namespace velk {
namespace {

TEST(HexText, ReadsTheLastFourCharactersCountingNonDigitsAsZero) {
  EXPECT_EQ(HexToLong("1A"), 26);
  EXPECT_EQ(HexToLong("1a"), 26);
  EXPECT_EQ(HexToLong("G1"), 1);
  EXPECT_EQ(HexToLong(""), 0);
  EXPECT_EQ(HexToLong("FFFF"), 65535);
  EXPECT_EQ(HexToInteger("FFFF"), -1);
  EXPECT_EQ(HexToInteger("8000"), -32768);
  EXPECT_EQ(HexToInteger("7FFF"), 32767);

  EXPECT_EQ(HexToLong("12345"), 0x2345);
  EXPECT_EQ(HexToLong(std::string(100000, 'f')), 65535);
  EXPECT_EQ(HexToLong(std::string("\0\xff\0A", 4)), 10);
}

}  // namespace
}  // namespace velk
