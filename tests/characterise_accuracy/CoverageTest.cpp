// How often the characterisation's 95 % intervals hold the truth, over records drawn straight
// from the simulator's model. Seeds are fixed; a rate that misses is a finding about the
// estimator, never a reason to pick other seeds. allan-b's correlated noise may make the
// intervals miss, so its rates are printed, not held to the band.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "characterise/ModelDraw.h"

namespace velk::characterise {
namespace {

constexpr int kRecords = 300;
// 300 records put the binomial SD of a 95 % rate at 1.26 %: the band is about 2.4 SD wide
// either side.
constexpr double kLeast = 0.92, kMost = 0.98;

struct Tally {
  std::map<std::string, std::pair<int, int>> held;  // figure: (held, valued)
  void Add(const std::string& name, const Span& s, double truth) {
    auto& [hits, n] = held[name];
    if (!s.valued) return;
    ++n;
    if (s.lo <= truth && truth <= s.hi) ++hits;
  }
  void Check(const char* noise, bool held_to_band, int records = kRecords) const {
    for (const auto& [name, counts] : held) {
      const double rate = counts.second > 0 ? double(counts.first) / counts.second : 0.0;
      std::printf("%-8s %-24s %3d of %3d records: %.1f %%\n", noise, name.c_str(), counts.first,
                  counts.second, 100.0 * rate);
      if (!held_to_band) continue;
      EXPECT_GE(counts.second, records * 9 / 10) << noise << " " << name;
      EXPECT_GE(rate, kLeast) << noise << " " << name;
      EXPECT_LE(rate, kMost) << noise << " " << name;
    }
  }
};

// The population is the truth here: the chi-square interval is for the wake spread itself, not
// for the s of the twelve offsets one record drew (which every interval holds).
TEST(CharacteriseCoverage, Repeatability) {
  for (const char* noise : {"white", "allan-a", "allan-b"}) {
    // A wake spread near the white noise of a 60 s mean (1.3e-3 deg/s) so the correction
    // matters, and one well above allan-a's slow terms (about 2e-3 deg/s at 60 s).
    for (double wake : {0.002, 0.01}) {
      Tally tally;
      for (int i = 0; i < kRecords; ++i) {
        SimCharacter c;
        c.wake = wake;
        c.seed = 5000 + static_cast<uint64_t>(i);
        c.st = 20.0;
        RepeatPlan plan;
        plan.selfTest = true;
        const Repeatability r = AnalyseRepeatability(
            DrawRepeatability(c, SimTempPath(), noise, 9000 + static_cast<uint64_t>(i), plan)
                .input);
        tally.Add("wake_repeatability", Of(r.doc, "wake_repeatability"), wake);
        tally.Add("self_test_response", Of(r.doc, "self_test_response"), c.st);
      }
      const std::string label = std::string(noise) + (wake < 0.005 ? " 2e-3" : " 1e-2");
      // The correction takes out white noise only, as the figure is defined: allan-a's bias
      // instability and walk between cycles stay in s, which at a spread of 2e-3 deg/s
      // outweighs it (about 18 % of the intervals hold it). Printed, not held.
      const bool slowInSpread = std::string(noise) == "allan-a" && wake < 0.005;
      tally.Check(label.c_str(), std::string(noise) != "allan-b" && !slowInSpread);
    }
  }
}

// The truth is the same estimator on the noise-free model output along the same path, with
// the quadratic term in or out as the noisy record's F-test chose.
TEST(CharacteriseCoverage, Tempco) {
  SimCharacter c;
  c.b2 = 0.0002;
  c.lag = 0.0;  // the fit's model holds exactly: a lag's ramp ends would widen every interval
  const SimTempPath path = SimTempPath::Parse("ramp:-10..60@1,soak=600").value().value();
  constexpr double kTau0 = 0.5;
  const TempcoInput still = DrawTempco(c, path, "", 0, kTau0);
  std::map<bool, Tempco> truths;
  for (bool quadratic : {false, true}) {
    TempcoOptions forced;
    forced.quadratic = quadratic;
    forced.slow = SlowNoise{};
    truths.emplace(quadratic, AnalyseTempco(still, forced));
  }
  for (const char* noise : {"white", "allan-a", "allan-b"}) {
    Tally tally;
    int quadratic = 0;
    for (int i = 0; i < kRecords; ++i) {
      const Tempco r =
          AnalyseTempco(DrawTempco(c, path, noise, 20000 + static_cast<uint64_t>(i), kTau0));
      const bool kept = Of(r.doc, "bias_tempco_quadratic").valued;
      quadratic += kept;
      const Characterisation& truth = truths.at(kept).doc;
      for (const char* name :
           {"bias", "bias_tempco", "bias_tempco_quadratic", "bias_excursion", "hysteresis"})
        tally.Add(name, Of(r.doc, name), Of(truth, name).value);
    }
    std::printf("%s: b2 kept in %d of %d records\n", noise, quadratic, kRecords);
    tally.Check(noise, std::string(noise) != "allan-b");
  }
}

// Ramps at two rates 3x apart separate the lag from the hysteresis; the truth is again the
// estimator on the noise-free output, whose corners (where the die catches up) it shares.
// Only white noise is held to the band: the lag rests on four ramps, and the slow noise
// between them, which the bins' likelihood can only guess from so few, moves the lag and H by
// more than their intervals allow (about 74 % and 66 % of allan-a's intervals hold them).
TEST(CharacteriseCoverage, Lag) {
  constexpr int kLagRecords = 200;
  SimCharacter c;
  SimTempPath path(0.0);
  path.Soak(300).RampTo(40, 0.5).Soak(300).RampTo(0, 0.5).Soak(300);
  path.RampTo(40, 1.5).Soak(300).RampTo(0, 1.5).Soak(300);
  constexpr double kTau0 = 1.0;
  const TempcoInput still = DrawTempco(c, path, "", 0, kTau0);
  TempcoOptions forced;
  forced.quadratic = false;
  forced.slow = SlowNoise{};
  const Tempco truth = AnalyseTempco(still, forced);
  for (const char* noise : {"white", "allan-a", "allan-b"}) {
    Tally tally;
    for (int i = 0; i < kLagRecords; ++i) {
      TempcoOptions linear;
      linear.quadratic = false;
      const Tempco r = AnalyseTempco(
          DrawTempco(c, path, noise, 30000 + static_cast<uint64_t>(i), kTau0), linear);
      for (const char* name : {"sensor_lag", "hysteresis"})
        tally.Add(name, Of(r.doc, name), Of(truth.doc, name).value);
    }
    tally.Check(noise, std::string(noise) == "white", kLagRecords);
  }
}

}  // namespace
}  // namespace velk::characterise
