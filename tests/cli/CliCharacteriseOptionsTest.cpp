// The rules every characterise command shares: its options, the limits file and the verdict's
// exit status.
#include <gtest/gtest.h>

#include "cli/Characterise.h"
#include "cli/Cli.h"
#include "cli/Options.h"

namespace velk {
namespace {

TEST(CharacteriseOptions, LimitsFileLines) {
  const auto good = ParseLimits(
      "# datasheet\n\nbias_tempco = 0.02  # deg/s/degC\r\n  wake_repeatability=0.005\n", "L");
  ASSERT_TRUE(good) << good.error();
  EXPECT_EQ(good->size(), 2u);
  EXPECT_DOUBLE_EQ(good->at("bias_tempco"), 0.02);

  const struct {
    const char* text;
    const char* says;
  } bad[] = {
      {"bias 0.1\n", "L line 1: write \"name = value\""},
      {"\nbias_temp = 1\n", "L line 2: no figure is called \"bias_temp\""},
      {"bias = 1\nbias = 2\n", "L line 2: bias is given twice"},
      {"bias = -1\n", "takes a limit of 0 or more"},
      {"bias = nan\n", "takes a limit of 0 or more"},
  };
  for (const auto& c : bad) {
    const auto parsed = ParseLimits(c.text, "L");
    ASSERT_FALSE(parsed) << c.text;
    EXPECT_NE(parsed.error().find(c.says), std::string::npos) << parsed.error();
  }
}

TEST(CharacteriseOptions, CommandLine) {
  const auto o = ParseOptions({"characterise", "repeatability", "--off", "1.5", "--cycles", "3",
                               "--limit-bias-tempco", "0.1", "--power-command=sim"});
  ASSERT_TRUE(o) << o.error();
  EXPECT_DOUBLE_EQ(o->characterise.offS, 1.5);
  EXPECT_EQ(o->characterise.cycles, 3);
  EXPECT_DOUBLE_EQ(o->characterise.limits.at("bias_tempco"), 0.1);
  EXPECT_EQ(o->characterise.powerCommand, "sim");
  // Pwr_Mde counts half seconds from 1 to 255; a wake is at least two cycles apart.
  for (auto args : std::vector<std::vector<std::string>>{{"--off", "0.7"},
                                                         {"--off", "128"},
                                                         {"--cycles", "1"},
                                                         {"--limit-bias-temp", "1"},
                                                         {"--limit-bias", "-1"}})
    EXPECT_FALSE(ParseOptions(args)) << args[0] << " " << args[1];
}

TEST(CharacteriseOptions, VerdictStatus) {
  using characterise::Valued;
  characterise::Characterisation doc;
  doc.figures = {Valued("bias_tempco", "deg/s/degC", 0.01, 0.008, 0.012),
                 Valued("hysteresis", "deg/s", 0.02, -0.01, 0.05)};
  EXPECT_EQ(JudgeFigures(doc, {}), ExitStatus::kDone);
  EXPECT_EQ(JudgeFigures(doc, {{"bias_tempco", 0.02}}), ExitStatus::kDone);
  EXPECT_EQ(doc.figures[0].verdict, noise::Verdict::Pass);
  EXPECT_EQ(JudgeFigures(doc, {{"bias_tempco", 0.02}, {"hysteresis", 0.03}}),
            ExitStatus::kInconclusive);
  EXPECT_EQ(JudgeFigures(doc, {{"bias_tempco", 0.005}, {"hysteresis", 0.03}}), ExitStatus::kFail);
}

}  // namespace
}  // namespace velk
