// The analysis against simulated chips whose noise terms are known. Seeds are fixed by name;
// a seed that fails is a finding, never a reason to pick another.
#include <gtest/gtest.h>

#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>
#include <string>

#include "core/GyroRange.h"
#include "noise/Analysis.h"
#include "noise/Edf.h"
#include "noise_accuracy/Draw.h"
#include "noise_accuracy/ProfileVariance.h"
#include "sim/SimNoiseProfile.h"
#include "sim/SimScales.h"

namespace velk::noise {
namespace {

constexpr int kSmplPrd = 1;
constexpr int kSensAvg = 0x0100;  // range 80, one tap
constexpr int kModel = 47120;

}  // namespace

// A still 47120 at Smpl_Prd 1 (range 80 and one tap unless told), drawn straight from the
// profile.
Record Draw(const std::string& profile, double hours, int sensAvg) {
  NoiseChoice choice = SimNoiseProfile::Parse(profile);
  SimNoiseProfile& p = choice.value().value();
  const double period = SimSamplePeriod(kSmplPrd);
  p.SetPeriod(period);
  Record r;
  r.layout = Layout::Acquisition;
  r.tau0 = period;
  r.tau0Source = Tau0Source::SamplePeriod;
  r.unit = GyroLsb(sensAvg, kModel);
  r.integerCounts = true;
  r.chip = ChipSettings{.model = kModel,
                        .smplPrd = kSmplPrd,
                        .sensAvg = kSensAvg,
                        .rangeDps = 80,
                        .lsbDps = r.unit,
                        .samplePeriodS = period,
                        .taps = 1,
                        .windowS = period};
  const auto n = static_cast<int64_t>(hours * 3600 / period);
  r.samples.reserve(static_cast<size_t>(n));
  for (int64_t s = 0; s < n; ++s) r.samples.push_back(p.Code(s, kSmplPrd, sensAvg, kModel));
  r.segmentStarts = {0};
  r.durationS = static_cast<double>(n) * period;
  return r;
}

namespace {

struct Case {
  const char* profile;
  double hours;
  NoiseTerms truth;
  double nTol, bTol, kTol;
};

class ProfileAccuracy : public ::testing::TestWithParam<std::tuple<Case, int>> {};

TEST_P(ProfileAccuracy, TermsMatchTheProfileAndEveryPointSitsInItsBand) {
  const auto& [c, seed] = GetParam();
  Record record = Draw(std::string(c.profile) + ",seed=" + std::to_string(seed), c.hours, kSensAvg);
  const double dt = record.tau0, lsb = record.unit;
  AnalysisOptions options;
  options.confidence = 0.95;
  const Analysis a = Analyze(record, options);

  const NoiseTerms& t = c.truth;
  const TermReport &n = a.terms[kN], &b = a.terms[kB], &k = a.terms[kK];
  ASSERT_TRUE(n.value && b.value && k.value);
  EXPECT_NEAR(*n.value, t.arw, c.nTol * t.arw);
  EXPECT_NEAR(*b.value, t.bi, c.bTol * t.bi);
  EXPECT_NEAR(*k.value, t.rrw, c.kTol * t.rrw);
  // Each octave point with nu >= 30 inside the two-sided 99.99 % band of its own EDF.
  int checked = 0;
  for (const AdevRow& row : a.adev) {
    if (row.edf < 30) continue;
    const boost::math::chi_squared chi2(row.edf);
    // The LSB's share: rounding as white noise of lsb / sqrt(12).
    const double expected = ProfileVariance(t, dt, row.m, lsb / std::sqrt(12.0));
    const double ratio = row.adev * row.adev / expected * row.edf;
    EXPECT_GT(ratio, boost::math::quantile(chi2, 0.00005)) << "tau " << row.tau;
    EXPECT_LT(ratio, boost::math::quantile(chi2, 0.99995)) << "tau " << row.tau;
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

INSTANTIATE_TEST_SUITE_P(
    AllanB, ProfileAccuracy,
    ::testing::Combine(::testing::Values(Case{"allan-b", 6, {0.6, 40, 600}, 0.10, 0.10, 0.15}),
                       ::testing::Values(1, 2, 3)),
    [](const auto& info) { return "Seed" + std::to_string(std::get<1>(info.param)); });

INSTANTIATE_TEST_SUITE_P(
    AllanA, ProfileAccuracy,
    ::testing::Combine(::testing::Values(Case{"allan-a", 12, {0.6, 10, 40}, 0.10, 0.10, 0.30}),
                       ::testing::Values(1, 2, 3)),
    [](const auto& info) { return "Seed" + std::to_string(std::get<1>(info.param)); });

}  // namespace
}  // namespace velk::noise
