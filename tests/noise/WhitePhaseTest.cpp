// White angle noise, as quantization gives it, is a term of its own: Q, not the ARW.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "noise/Analysis.h"

namespace velk::noise {
namespace {

constexpr double kAngleRms = 0.01;  // deg: Q itself, as sigma^2 = 3 sigma_x^2 / tau^2
constexpr double kTau0 = 0.01;

// The rate of a still part whose angle reads with white noise and nothing else.
Record WhitePhase() {
  Record r;
  r.tau0 = kTau0;
  r.tau0Source = Tau0Source::Elapsed;
  std::mt19937_64 rng(47120);
  std::normal_distribution<double> angle(0.0, kAngleRms);
  double last = angle(rng);
  for (int i = 0; i < 1 << 16; ++i) {
    const double x = angle(rng);
    r.samples.push_back((x - last) / kTau0);
    last = x;
  }
  r.segmentStarts = {0};
  r.durationS = static_cast<double>(r.samples.size()) * kTau0;
  return r;
}

TEST(WhitePhase, IsQuantizationNoiseNotArw) {
  Record record = WhitePhase();
  const Analysis a = Analyze(record, {});
  const TermReport& q = a.terms[kQ];
  ASSERT_TRUE(q.detected && q.value);
  EXPECT_TRUE(q.shown);
  EXPECT_NEAR(*q.value, kAngleRms, 0.03 * kAngleRms);
  EXPECT_FALSE(a.terms[kN].detected);

  // Without Q the white noise term cannot follow 1/tau^2, and the misfit says what would.
  record = WhitePhase();
  AnalysisOptions nbk;
  nbk.terms = kTermsNbk;
  const Analysis fixed = Analyze(record, nbk);
  const auto misfit = std::find_if(fixed.warnings.begin(), fixed.warnings.end(),
                                   [](const Warning& w) { return w.code == WarningCode::Motion; });
  ASSERT_NE(misfit, fixed.warnings.end());
  EXPECT_NE(misfit->text.find("--terms auto"), std::string::npos) << misfit->text;
}

}  // namespace
}  // namespace velk::noise
