#include "core/PathText.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

TEST(PathText, LongPathsAreCutInTheMiddleKeepingTheFileName) {
  const std::string folder = "/home/user/" + std::string(200, 'f');
  const std::string shortFolder = ShortPathText(folder + "/Datalog_1.txt");
  EXPECT_EQ(shortFolder, folder.substr(0, 105) + "\u2026/Datalog_1.txt");

  // A name too long by itself is cut too; a multi-byte character is never split.
  const std::string name = std::string(150, 'n') + "\u00e9\u00e9\u00e9.txt";
  EXPECT_EQ(ShortPathText("/d/" + name), "/d/" + std::string(56, 'n') + "\u2026" +
                                             std::string(53, 'n') + "\u00e9\u00e9\u00e9.txt");
  EXPECT_EQ(ShortPathText("/short/Datalog_1.txt"), "/short/Datalog_1.txt");
}

}  // namespace
}  // namespace velk
