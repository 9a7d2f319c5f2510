// A figure's verdict and the JSON that carries the figures there and back.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "characterise/Characterisation.h"
#include "characterise/Sha256.h"
#include "support/TempDir.h"

namespace velk::characterise {
namespace {

using noise::Verdict;

TEST(Figure, JudgedByItsSizeAgainstTheLimit) {
  struct Case {
    const char* name;
    double value, lo, hi;
    bool isSigned;
    double limit;
    Verdict want;
  };
  const Case cases[] = {
      {"within", 0.5, 0.4, 0.6, true, 1.0, Verdict::Pass},
      {"negative within", -0.5, -0.6, -0.4, true, 1.0, Verdict::Pass},
      {"negative beyond", -2.0, -2.5, -1.5, true, 1.0, Verdict::Fail},
      {"holds 0: up to its larger end", 0.1, -1.2, 0.8, true, 1.0, Verdict::Inconclusive},
      {"holds 0, ends within", 0.1, -0.8, 0.9, true, 1.0, Verdict::Pass},
      {"holds 0, both ends beyond", 0.5, -2.0, 3.0, true, 1.0, Verdict::Inconclusive},
      {"straddles", 0.9, 0.8, 1.1, true, 1.0, Verdict::Inconclusive},
      {"spread beyond", 1.5, 1.2, 1.8, false, 1.0, Verdict::Fail},
      {"spread reaching", 0.5, 0.0, 1.2, false, 1.0, Verdict::Inconclusive},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Figure f = Valued("bias", "deg/s", c.value, c.lo, c.hi);
    f.signedValue = c.isSigned;
    EXPECT_EQ(Judge(f, c.limit).result, c.want);
    EXPECT_EQ(f.verdict, c.want);
    EXPECT_EQ(f.limit, c.limit);
  }
  Figure none = Null("sensor_lag", "s", "not estimated: one rate");
  EXPECT_EQ(Judge(none, 3.0).result, Verdict::Inconclusive);
  EXPECT_EQ(Judge(none, std::nullopt).result, Verdict::None);
  EXPECT_FALSE(Valued("bias", "deg/s", std::nan(""), 0, 1).value);
}

Characterisation Sample() {
  Characterisation c;
  c.test = "tempco";
  c.programVersion = "1.2.3";
  c.words = ChipWords{0x0012, 0x8001};
  c.conditions = {{"span_degc", 70.0}, {"kind", std::string("wake-to-wake")}};
  c.warnings = {"a ramp ran at 3 degC/min"};
  c.sources = {{"run.csv", "ab12"}};
  Figure b = Valued("bias", "deg/s", -0.25, -0.3, -0.2, "at 25 degC");
  Judge(b, 0.5);
  c.figures = {b, Null("sensor_lag", "s", "not estimated: one rate")};
  c.figures.push_back(Valued("bias_excursion", "deg/s", 0.5, 0.4, 0.6));
  c.figures.back().signedValue = false;
  c.cycles = {{0.61, 25.2, ChipWords{1, 2}}, {0.62, 25.3, std::nullopt}};
  c.bins = {{Ramp::Down, 30.5, 0.7, 0.001, 60, -0.016, 4000}};
  c.curve = TempCurve{0.6, 0.01, 2e-4, 0.02, 0.6, -10, 60};
  return c;
}

TEST(CharacteriseJson, ReadsBackWhatItWrites) {
  const Characterisation c = Sample();
  const auto back = ReadCharacteriseJson(CharacteriseJson(c));
  ASSERT_TRUE(back) << back.error();
  EXPECT_EQ(back->test, c.test);
  EXPECT_EQ(back->programVersion, c.programVersion);
  EXPECT_EQ(back->words, c.words);
  EXPECT_EQ(back->conditions, c.conditions);
  EXPECT_EQ(back->warnings, c.warnings);
  EXPECT_EQ(back->sources, c.sources);
  EXPECT_EQ(back->cycles, c.cycles);
  EXPECT_EQ(back->bins, c.bins);
  EXPECT_EQ(back->curve, c.curve);
  ASSERT_EQ(back->figures.size(), c.figures.size());
  for (size_t i = 0; i < c.figures.size(); ++i) {
    const Figure &a = c.figures[i], &b = back->figures[i];
    EXPECT_EQ(b.name, a.name);
    EXPECT_EQ(b.value, a.value);
    EXPECT_EQ(b.lo, a.lo);
    EXPECT_EQ(b.hi, a.hi);
    EXPECT_EQ(b.unit, a.unit);
    EXPECT_EQ(b.limit, a.limit);
    EXPECT_EQ(b.verdict, a.verdict);
    EXPECT_EQ(b.conditions, a.conditions);
    EXPECT_EQ(b.reason, a.reason);
    EXPECT_EQ(b.signedValue, a.signedValue);
  }
  EXPECT_NE(CharacteriseJson(c).find("\"schema\": \"velk47120-characterise/1\""),
            std::string::npos);
}

TEST(CharacteriseJson, RefusesWithTheFix) {
  std::string good = CharacteriseJson(Sample());
  auto edited = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  struct Case {
    const char* name;
    std::string text;
    const char* says;
  };
  const Case cases[] = {
      {"not JSON", "{", "is not JSON"},
      {"another schema", edited("characterise/1", "noise/2"), "velk47120-noise/2"},
      {"no figures", edited("\"figures\"", "\"figure\""), "\"figures\" is missing"},
      {"a value without its end", edited("\"lo\": -0.3", "\"lo\": null"), "figure \"bias\""},
      {"a word too wide", edited("\"gyro_ofst\": 18", "\"gyro_ofst\": 70000"), "16-bit"},
      {"an unknown verdict", edited("\"verdict\": \"pass\"", "\"verdict\": \"ok\""), "\"ok\""},
      {"a text for a number", edited("\"bias_dps\": 0.61", "\"bias_dps\": \"x\""), "not a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto read = ReadCharacteriseJson(c.text);
    ASSERT_FALSE(read);
    EXPECT_NE(read.error().find(c.says), std::string::npos) << read.error();
  }
}

}  // namespace
}  // namespace velk::characterise

namespace velk::characterise {
namespace {

// Known answers, and a file read in pieces gives the same digest as its bytes whole.
TEST(Sha256, KnownAnswersAndFiles) {
  EXPECT_EQ(Sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  test::TempDir dir;
  const std::string bytes(200000, 'x');
  std::ofstream(dir / "r", std::ios::binary) << bytes;
  EXPECT_EQ(Sha256OfFile(dir / "r").value(), Sha256(bytes));
  EXPECT_FALSE(Sha256OfFile(dir / "missing"));
}

}  // namespace
}  // namespace velk::characterise
