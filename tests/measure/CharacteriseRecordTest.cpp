// The characterise record read back: what a run, a log or a damaged file gives.
#include <gtest/gtest.h>

#include "measure/CharacteriseRecord.h"

namespace velk {
namespace {

constexpr const char* kChip =
    "# VELK47120, firmware 1.2, parallel port 0x378, range 80 Dgr/S, Smpl_Prd=0x01, "
    "Sens_Avg=0x0100, model 47120\n";
constexpr const char* kLogHeader =
    "time (UTC),elapsed (s),Supply (V),Gyro (Dgr/S),ADC In (V),Temp (dgrC),Angle (dgr),New,"
    "Error,Status\n";

Result<CharacteriseRecord, std::string> Parse(const std::string& text) {
  RecordParser parser;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    if (auto taken = parser.Line(rest.substr(0, end)); !taken) return Unexpected(taken.error());
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return parser.Finish("F");
}

std::string Repeatability(const std::string& rows) {
  return kChip +
         RecordConditionLines("repeatability", {{"average_s", "1"}, {"off_s", "0.5"}}, {0, 0x800},
                              "samples") +
         RecordColumns("Cycle") + rows;
}

TEST(CharacteriseRecord, DamagedFilesSayWhatIsWrong) {
  const struct {
    const char* name;
    std::string text;
    const char* says;
  } cases[] = {
      {"empty", "", "F holds no record"},
      {"no chip line", std::string(kLogHeader) + "t,0.1,5,0.2,1,25,0,1,0,0\n",
       "F has no chip line"},
      {"not a record", "hello\n", "line 1: neither a comment nor the header"},
      {"row outside a cycle", Repeatability("t,0.1,,0.5,,,,1,,,1\n"),
       "line 6: a row of cycle 1, which has no start line"},
      {"rate not a number", Repeatability(WindowStartLine("1", {}) + "t,0.1,,fast,,,,1,,,1\n"),
       "line 7: Gyro is \"fast\", not a number"},
      {"end without start", Repeatability(WindowEndLine("2", 5, 0)),
       "line 6: cycle 2 ends without its start line"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto record = Parse(c.text);
    ASSERT_FALSE(record);
    EXPECT_NE(record.error().find(c.says), std::string::npos) << record.error();
  }
}

// A cycle without its end line was cut short; a log is read as a tempco input, its error rows
// left out and only its last run kept.
TEST(CharacteriseRecord, WindowsAndLogs) {
  const auto repeat = Parse(Repeatability(
      WindowStartLine("1", {3, 0x800}) + "t,0.1,,0.5,,25.5,,1,,,1\nt,0.2,,0.7,,,,1,,,1\n" +
      WindowEndLine("1", 2, 0) + WindowStartLine("2", {3, 0x800}) + "t,3.1,,0.4,,25,,1,,,2\n"));
  ASSERT_TRUE(repeat) << repeat.error();
  ASSERT_EQ(repeat->windows.size(), 2u);
  EXPECT_TRUE(repeat->windows[0].whole);
  EXPECT_FALSE(repeat->windows[1].whole);
  EXPECT_EQ(repeat->windows[0].rates, (std::vector<double>{0.5, 0.7}));
  EXPECT_EQ(repeat->windows[0].temps, (std::vector<double>{25.5}));
  EXPECT_EQ(repeat->windows[0].words, (RecordWords{3, 0x800}));
  EXPECT_EQ(repeat->Number("average_s"), 1.0);
  EXPECT_DOUBLE_EQ(repeat->chip->samplePeriodS, 0.003906);

  const std::string run = std::string(kChip) + kLogHeader;
  const auto log = Parse(run + "t,0.5,5,9,1,20,0,1,0,0\n" + run +
                         "t,0.1,5,0.2,1,25,0,1,0,0\nt,0.2,5,99,1,25,0,1,1,1\n"
                         "t,0.3,5,0.3,1,26,0,1,0,0\nt,0.4,5");
  ASSERT_TRUE(log) << log.error();
  EXPECT_EQ(log->test, "log");
  EXPECT_EQ(log->rate, (std::vector<double>{0.2, 0.3}));
  EXPECT_EQ(log->tempTime, (std::vector<double>{0.1, 0.3}));
  const std::string notes = ::testing::PrintToString(log->notes);
  for (const char* note : {"F holds 2 runs", "line 9 is cut short", "1 row with the error flag"})
    EXPECT_NE(notes.find(note), std::string::npos) << notes;
}

}  // namespace
}  // namespace velk
