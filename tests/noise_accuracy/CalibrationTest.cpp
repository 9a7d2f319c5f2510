// How often the analysis claims each term, and how often its intervals and upper limits hold
// the truth, over 60 simulated records per class. Seeds are fixed per class; a rate that
// misses is a finding about the estimator, never a reason to pick other seeds.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "noise/Analysis.h"
#include "noise/Edf.h"
#include "noise/Units.h"
#include "noise_accuracy/ProfileVariance.h"
#include "sim/SimNoiseProfile.h"

namespace velk::noise {
namespace {

// 10 Hz for two hours: octaves from 0.1 s to 3280 s hold the white noise, the bias floor (2 s
// to 20 s in allan-b) and the random walk of every class, and the 300 records take seconds.
// An hour leaves the random walk of allan-b two or three octaves, where its intervals hold the
// truth a point or two less often than they say.
constexpr double kTau0 = 0.1;
constexpr double kHours = 2.0;
constexpr int kRecords = 60;

using Terms = std::array<double, kTermCount>;
constexpr Terms kReportScale = {1.0, kArwToDegPerRootHour, kBiToDegPerHour,
                                kRrwToDegPerHourRootHour, kRampToDegPerHourSquared};
constexpr const char* kTermName[kTermCount] = {"Q", "N", "B", "K", "R"};

struct Class {
  const char* name;
  const char* profile;
  uint64_t firstSeed;
  bool borderline = false;  // B claimed in only part of the records
};

std::array<bool, kTermCount> Present(const NoiseTerms& t) {
  return {false, t.arw > 0, t.bi > 0, t.rrw > 0, false};
}

Record Drawn(SimNoiseProfile& profile) {
  profile.SetPeriod(kTau0);
  Record r;
  r.tau0 = kTau0;
  r.tau0Source = Tau0Source::Elapsed;
  const auto n = static_cast<int64_t>(kHours * 3600 / kTau0);
  r.samples.reserve(static_cast<size_t>(n));
  for (int64_t s = 0; s < n; ++s) r.samples.push_back(profile.Rate(s));
  r.segmentStarts = {0};
  r.durationS = static_cast<double>(n) * kTau0;
  return r;
}

// The terms the model with the class's own terms takes from the profile's exact curve at the
// record's fitted taus, the points weighed and correlated as the fit takes them, in report
// units: where the model is not the profile's exact shape, that is what the fit estimates.
Terms Truth(const NoiseTerms& terms, const Analysis& a) {
  const int64_t samples[] = {a.samples};
  std::vector<FitPoint> points;
  for (const AdevRow& row : a.adev) {
    if (!row.inFit) continue;
    FitPoint p{.m = row.m, .tau = row.tau, .variance = ProfileVariance(terms, kTau0, row.m)};
    // Exact points: the EDF only sets the weights, its size keeps every present term in.
    for (int t = 0; t < kTermCount; ++t)
      p.edf[t] = 1e9 * SegmentsEdf(kTermAlpha[t], row.m, samples);
    points.push_back(p);
  }
  const FitResult fit =
      FitTerms(points, 0.0, {.allowed = Present(terms), .longestSegment = a.samples});
  Terms truth{};
  for (int t = 0; t < kTermCount; ++t) truth[t] = fit.coefficient[t] * kReportScale[t];
  return truth;
}

struct Outcome {
  std::array<bool, kTermCount> detected{}, covered{}, limitAbove{};
  Terms truth{};
};

Outcome Judged(const Class& c, uint64_t seed) {
  NoiseChoice choice =
      SimNoiseProfile::Parse(std::string(c.profile) + ",seed=" + std::to_string(seed));
  Record record = Drawn(choice.value().value());
  AnalysisOptions options;
  options.confidence = 0.95;
  const Analysis a = Analyze(record, options);
  Outcome o;
  o.truth = Truth(choice.value()->Terms(), a);
  for (int t = 0; t < kTermCount; ++t) {
    const TermReport& r = a.terms[t];
    o.detected[t] = r.detected;
    o.covered[t] = r.detected && r.lo && r.hi && *r.lo <= o.truth[t] && o.truth[t] <= *r.hi;
    o.limitAbove[t] = !r.detected && r.upperLimit && *r.upperLimit >= o.truth[t];
  }
  return o;
}

void PrintTo(const Class& c, std::ostream* os) {
  *os << c.profile;
}

class Calibration : public ::testing::TestWithParam<Class> {};

TEST_P(Calibration, ClaimsAndIntervalsHoldAtTheirRates) {
  const Class& c = GetParam();
  std::vector<Outcome> outcomes;
  for (int i = 0; i < kRecords; ++i) outcomes.push_back(Judged(c, c.firstSeed + i));
  const std::array<bool, kTermCount> present =
      Present(SimNoiseProfile::Parse(c.profile).value()->Terms());
  for (int t = 0; t < kTermCount; ++t) {
    int detected = 0, covered = 0, limits = 0, above = 0;
    for (const Outcome& o : outcomes) {
      detected += o.detected[t];
      covered += o.covered[t];
      limits += !o.detected[t];
      above += o.limitAbove[t];
    }
    char line[160];
    std::snprintf(line, sizeof line,
                  "%-10s %s %-7s truth %-10.4g detected %2d/%d  covered %2d/%-2d  limit above "
                  "truth %2d/%d",
                  c.name, kTermName[t], present[t] ? "present" : "absent", outcomes[0].truth[t],
                  detected, kRecords, covered, detected, above, limits);
    std::cout << line << "\n";
    SCOPED_TRACE(line);
    if (!present[t]) {
      // In the classes with B too: its Gauss-Markov sum is flicker noise only over the decades
      // it covers, and what it lacks elsewhere must not pass for Q, K or R.
      EXPECT_LE(detected, 3);
      continue;
    }
    if (c.borderline && t == kB) {
      // Records that miss B are those that drew it low: there even an exact one-sided 95 %
      // limit holds the truth only 1 - 0.05 / (1 - share detected) of the time, 91.7 % at 40 %.
      EXPECT_GE(detected, 18);
      EXPECT_LE(detected, 42);
      EXPECT_GE(above * kRecords, 55 * limits);
    } else {
      EXPECT_GE(detected, 58);
    }
    EXPECT_GE(covered * kRecords, 54 * detected);
  }
}

INSTANTIATE_TEST_SUITE_P(Classes, Calibration,
                         ::testing::Values(Class{"White", "arw=0.6", 1},
                                           Class{"NK", "arw=0.6,rrw=600", 101},
                                           Class{"NB", "arw=0.6,bi=40", 201},
                                           Class{"AllanB", "arw=0.6,bi=40,rrw=600", 301},
                                           // B where two hours claim it about a third of the
                                           // time: see the limits' bound above.
                                           Class{"Borderline", "arw=0.6,bi=2.6", 401, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velk::noise
