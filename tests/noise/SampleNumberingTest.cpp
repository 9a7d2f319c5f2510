#include <gtest/gtest.h>

#include "IrregularLoop.h"
#include "noise/SampleNumbering.h"

namespace velk::noise {
namespace {

// Reads late by more than half a period keep their samples' own numbers. (Where a sample came
// within the span's width of a period before its read, two numbers fit every read so far and
// no rule fed as the reads come can tell them apart; this sequence has none it gets wrong.)
TEST(SampleNumberingTest, NumbersEverySampleAnIrregularLoopSaw) {
  constexpr double kPeriod = 0.004;
  SampleNumbering numbering(kPeriod);
  int64_t last = -1;
  for (const test::ChipRead& read : test::IrregularLoop(kPeriod, 1, 4000)) {
    if (!read.flag) {
      numbering.Clear(read.time);
      continue;
    }
    const SampleNumbering::Sample got = numbering.Found(read.time);
    ASSERT_EQ(got.number, read.sample) << "at " << read.time << " s";
    ASSERT_EQ(got.missing, read.sample - last - 1);
    last = read.sample;
  }
  EXPECT_GT(last, 2500);
}

}  // namespace
}  // namespace velk::noise
