// How often the scale figures' 95 % intervals hold the truth: the estimator on the noise-free
// model along the same path. Seeds are fixed.
#include <gtest/gtest.h>

#include <cstdio>

#include "characterise/ModelDraw.h"
#include "characterise/ScaleDraw.h"

namespace velk::characterise {
namespace {

// 200 records put the binomial SD of a 95 % rate at 1.5 %.
constexpr int kRecords = 200;
constexpr double kWhite = 0.6 / 60.0;  // deg/s sqrt(s), every profile's
const char* const kFigures[] = {"scale_factor", "scale_factor_error", "nonlinearity", "asymmetry"};

void Report(const char* noise, const int (&held)[4], const int (&valued)[4], bool hold) {
  for (int f = 0; f < 4; ++f) {
    const double rate = valued[f] > 0 ? double(held[f]) / valued[f] : 0.0;
    std::printf("scale %-8s %-20s %3d of %3d records: %.1f %%\n", noise, kFigures[f], held[f],
                valued[f], 100.0 * rate);
    if (!hold) continue;
    EXPECT_EQ(valued[f], kRecords) << noise << " " << kFigures[f];
    EXPECT_GE(rate, 0.92) << noise << " " << kFigures[f];
    EXPECT_LE(rate, 0.98) << noise << " " << kFigures[f];
  }
}

void Count(const Characterisation& doc, const Characterisation& truth, int (&held)[4],
           int (&valued)[4]) {
  for (int f = 0; f < 4; ++f) {
    const Span s = Of(doc, kFigures[f]), t = Of(truth, kFigures[f]);
    if (!s.valued) continue;
    ++valued[f];
    if (s.lo <= t.value && t.value <= s.hi) ++held[f];
  }
}

// White noise as plateau means: a mean of white noise is normal about the model's output with
// SD N / sqrt(T), so drawing the means is the same as drawing every sample and averaging.
TEST(ScaleCoverage, WhiteMeans) {
  SimCharacter c;
  const double fs = 80.0;
  const std::vector<double> rates = DefaultRates(fs);
  ScaleInput in;
  in.fullScale = fs;
  in.lsb = 0.018318814697265626;
  in.nominal = 1.0 / in.lsb;
  in.white = kWhite;
  const Scale truth = FitScale(DrawMeans(c, rates, fs, 9.0, kWhite, 0), in);
  int held[4] = {}, valued[4] = {};
  for (int i = 0; i < kRecords; ++i) {
    in.seed = 100 + static_cast<uint64_t>(i);
    Count(FitScale(DrawMeans(c, rates, fs, 9.0, kWhite, 7000 + static_cast<uint64_t>(i)), in).doc,
          truth.doc, held, valued);
  }
  Report("white", held, valued, true);
}

// allan-a's slow terms correlate the samples, so every sample is drawn, at a coarse 0.05 s;
// the table accelerates between plateaus and the tool's windows are checked as it checks them.
TEST(ScaleCoverage, CorrelatedNoiseOnTheTable) {
  SimCharacter c;
  TableDraw plan;
  plan.rates = DefaultRates(plan.fullScale);
  const Result<Scale, std::string> truth = AnalyseScale(DrawTable(c, plan, "", 0, kWhite));
  ASSERT_TRUE(truth) << truth.error();
  for (const char* noise : {"allan-a", "allan-b"}) {
    int held[4] = {}, valued[4] = {};
    for (int i = 0; i < kRecords; ++i) {
      ScaleInput in = DrawTable(c, plan, noise, 3000 + static_cast<uint64_t>(i), kWhite);
      in.seed = 100 + static_cast<uint64_t>(i);
      const Result<Scale, std::string> s = AnalyseScale(in);
      ASSERT_TRUE(s) << s.error();
      Count(s->doc, truth->doc, held, valued);
    }
    Report(noise, held, valued, std::string(noise) == "allan-a");
  }
}

}  // namespace
}  // namespace velk::characterise
