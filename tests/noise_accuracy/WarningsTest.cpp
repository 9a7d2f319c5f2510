// Each check of the sampling raised by the case it names, and by nothing else.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "noise/Analysis.h"
#include "noise/read/Reader.h"
#include "noise_accuracy/Draw.h"

namespace velk::noise {
namespace {

std::vector<std::string> Codes(const Analysis& a) {
  std::vector<std::string> codes;
  for (const Warning& w : a.warnings) codes.emplace_back(WarningCodeText(w.code));
  return codes;
}

// A drawn record written as an acquisition file and read back, so the reader's own figures
// (1 s means, 10 s temperatures, the codes' spread) go into the checks; the temperature
// climbs `degPerMinute`.
Record Reread(const Record& drawn, double degPerMinute = 0) {
  const ChipSettings& c = *drawn.chip;
  char line[256];
  std::snprintf(line, sizeof line,
                "# VELK47120, firmware 1.2, noise profile, range %d Dgr/S, sample period 3.91 mS, "
                "averaging 0 (1 taps), Smpl_Prd=0x01, Sens_Avg=0x%04X, model 47120\n",
                static_cast<int>(c.rangeDps), static_cast<unsigned>(c.sensAvg));
  std::string text = std::string(line) + "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)\n";
  for (size_t s = 0; s < drawn.samples.size(); ++s) {
    const double t = static_cast<double>(s) * drawn.tau0;
    const auto code = static_cast<int>(drawn.samples[s]);
    std::snprintf(line, sizeof line, "%zu,%.6f,%.7g,%d,", s, t, code * drawn.unit, code);
    text += line;
    if (s % 256 == 0) text += std::to_string(25 + degPerMinute * t / 60);
    text += "\n";
  }
  ReadResult read = ReadRecordText(text, "reread.csv", {});
  EXPECT_TRUE(read.has_value()) << read.error().message;
  return *std::move(read);
}

// Every nth sample of a chip said to average `taps` (the draw itself averages one).
Record EveryNth(size_t n, int taps = 1) {
  Record r = Draw("white", 2);
  std::vector<double> kept;
  for (size_t i = 0; i < r.samples.size(); i += n) kept.push_back(r.samples[i]);
  r.samples = kept;
  r.tau0 *= static_cast<double>(n);
  r.chip->taps = taps;
  r.chip->windowS = taps * r.chip->samplePeriodS;
  return r;
}

// Every 25th sample of a chip that averages one: each row's noise is a whole sample's.
Record EveryTwentyFifth() {
  return EveryNth(25);
}

TEST(SamplingChecks, EachIsRaisedByItsCase) {
  const struct {
    std::vector<std::string> codes;
    std::function<Record()> make;
  } rows[] = {
      {{}, [] { return Reread(Draw("white", 0.5)); }},
      {{"subsampled"}, EveryTwentyFifth},
      // Rows two samples apart are still within a window of four.
      {{}, [] { return EveryNth(2, 4); }},
      {{"quantization"}, [] { return Reread(Draw("quant", 0.2, 0x0400)); }},
      // Codes that spread 0.35 LSB: less than half of one is still too few.
      {{"quantization"}, [] { return Reread(Draw("arw=0.07", 0.2, 0x0400)); }},
      // A swing is no sum of noise terms: what the fit takes from it holds no span of its own.
      {{"motion", "unresolved"},
       [] {
         Record r = Draw("white", 0.2);
         for (size_t i = 0; i < r.samples.size(); ++i)
           r.samples[i] += std::round(300 * std::sin(2 * std::numbers::pi * i * r.tau0 / 60));
         return Reread(r);
       }},
      // A ripple of one code each second: the 1 s means miss it, the fit's chi-square does not.
      {{"motion"},
       [] {
         Record r = Draw("white", 0.2);
         for (size_t i = 0; i < r.samples.size(); ++i)
           r.samples[i] += std::round(0.6 * std::sin(2 * std::numbers::pi * i * r.tau0));
         return Reread(r);
       }},
      {{"temperature"}, [] { return Reread(Draw("white", 0.3), 0.2); }},
      {{"gaps"},
       [] {
         Record r = Draw("white", 0.5);
         r.samples.erase(r.samples.begin() + 1000, r.samples.begin() + 1100);
         r.segmentStarts = {0, 1000};
         r.lost = 100;
         return r;
       }},
      {{"narrow_floor"}, [] { return Draw("allan-b", 2); }},
      // An hour shows this walk at one fitted point only, beside a narrow floor.
      {{"narrow_floor", "unresolved"}, [] { return Draw("arw=0.6,bi=10,rrw=100", 1); }},
      {{"oversampled"},
       [] {
         Record r = Draw("white", 0.5);
         r.layout = Layout::Log;
         r.tau0 /= 2;
         return r;
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.codes.empty() ? "none" : row.codes.back());
    Record record = row.make();
    const Analysis a = Analyze(record, {});
    EXPECT_EQ(Codes(a), row.codes) << (a.warnings.empty() ? "" : a.warnings[0].text);
  }
}

// Rows further apart than the chip's averaging window read N sqrt(tau0 / W) times too high,
// and the check says by how much.
TEST(SamplingChecks, SubsamplingInflatesTheArwByItsFactor) {
  Record r = EveryTwentyFifth();
  const Analysis a = Analyze(r, {});
  ASSERT_FALSE(a.warnings.empty());
  EXPECT_NEAR(*a.warnings[0].factor, 5.0, 1e-9);
  EXPECT_NEAR(*a.terms[kN].value, 0.6 * 5, 0.3);
}

}  // namespace
}  // namespace velk::noise
