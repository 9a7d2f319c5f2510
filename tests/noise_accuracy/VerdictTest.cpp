// The verdict as the evidence allows it: nothing claimed without a point to fit, a term not
// detected never failed, and a changed limit judged again from the kept ends alone.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "noise/Analysis.h"
#include "noise/Results.h"
#include "noise_accuracy/Draw.h"

namespace velk::noise {
namespace {

TEST(Verdict, NothingToFitClaimsNothing) {
  Record record = Draw("white", 10 * 1.953e-3 * 2 / 3600);  // ten samples
  ASSERT_EQ(record.samples.size(), 10u);
  AnalysisOptions options;
  options.limits.arw = 0.7;
  const Analysis a = Analyze(record, options);
  ASSERT_TRUE(a.notEstimated && a.neededDurationS);
  EXPECT_NE(a.notEstimated->find("the longest segment spans"), std::string::npos);
  EXPECT_GT(*a.neededDurationS, a.durationS);
  for (const TermReport& t : a.terms)
    EXPECT_FALSE(t.detected || t.value || t.lo || t.hi || t.upperLimit) << t.name;
  ASSERT_EQ(a.verdicts.size(), 1u);
  EXPECT_EQ(a.verdicts[0].by, Decider::NotEstimated);
  EXPECT_EQ(a.overall, Verdict::Inconclusive);
  const auto j = nlohmann::json::parse(ResultJson(a, "test"));
  EXPECT_TRUE(j["terms"]["arw"]["value"].is_null());
  EXPECT_EQ(j["verdict"]["arw"]["result"], "inconclusive");
}

Limits Arw(double limit) {
  Limits l;
  l.arw = limit;
  return l;
}

Limits Bi(double limit, bool fromMinimum = false) {
  Limits l;
  l.bi = limit;
  l.biFromMinimum = fromMinimum;
  return l;
}

struct Row {
  const char* name;
  Limits limits;
  Verdict result;
  Decider by;
};

// Judges `a` again by the row's limits alone and checks the one verdict line.
void ExpectRejudged(Analysis& a, const Row& row) {
  Rejudge(a, row.limits);
  ASSERT_EQ(a.verdicts.size(), 1u) << row.name;
  EXPECT_EQ(std::pair(a.verdicts[0].result, a.verdicts[0].by), std::pair(row.result, row.by))
      << row.name;
}

TEST(Verdict, LimitsAreJudgedAgainFromTheKeptEnds) {
  Record record = Draw("white,seed=4", 0.5);
  Analysis a = Analyze(record, {});
  const TermReport &n = a.terms[kN], &b = a.terms[kB];
  ASSERT_TRUE(n.detected && n.lo95 && n.hi95 && *n.lo95 < *n.lo && *n.hi < *n.hi95);
  ASSERT_TRUE(!b.detected && b.upperLimit && !b.value);
  const Row rows[] = {
      {"ArwAboveTheInterval", Arw(*n.hi95 * 1.01), Verdict::Pass, Decider::UpperEnd},
      {"ArwBelowTheInterval", Arw(*n.lo95 * 0.99), Verdict::Fail, Decider::LowerEnd},
      {"ArwInsideTheInterval", Arw(*n.value), Verdict::Inconclusive, Decider::Straddles},
      // The verdict reads the 95 % ends, whatever the confidence shown.
      {"ArwBelowTheShownInterval", Arw((*n.lo95 + *n.lo) / 2), Verdict::Inconclusive,
       Decider::Straddles},
      {"ArwAboveTheShownInterval", Arw((*n.hi + *n.hi95) / 2), Verdict::Inconclusive,
       Decider::Straddles},
      {"BiAboveTheUpperLimit", Bi(*b.upperLimit * 1.01), Verdict::Pass, Decider::UpperLimit},
      // Not detected is never failed, however low the limit.
      {"BiBelowTheUpperLimit", Bi(*b.upperLimit / 100), Verdict::Inconclusive, Decider::Straddles},
      {"MinimumConventionNeedsB", Bi(1e6, true), Verdict::Inconclusive, Decider::NotDetected},
  };
  for (const auto& row : rows) {
    ExpectRejudged(a, row);
    EXPECT_EQ(a.overall, row.result) << row.name;
    // The same as analysing afresh with these limits.
    Record again = Draw("white,seed=4", 0.5);
    AnalysisOptions options;
    options.limits = row.limits;
    EXPECT_EQ(Analyze(again, options).verdicts[0].result, row.result) << row.name;
  }
}

// Judged by the minimum / 0.664, a detected B is read from the minimum's own 95 % interval,
// not from the fit's nor from the minimum alone.
TEST(Verdict, TheMinimumConventionReadsTheMinimumsInterval) {
  Analysis a;
  TermReport& b = a.terms[kB];
  b.detected = true;
  b.value = 10;
  b.lo95 = 9;
  b.hi95 = 11;
  a.classic.biFromMinimum = 12;
  a.classic.biFromMinimumLo95 = 11.5;
  a.classic.biFromMinimumHi95 = 14;
  const Row rows[] = {
      {"FittedWithin", Bi(13), Verdict::Pass, Decider::UpperEnd},
      {"MinimumWithinItsIntervalNot", Bi(13, true), Verdict::Inconclusive, Decider::Straddles},
      {"MinimumIntervalWithin", Bi(15, true), Verdict::Pass, Decider::UpperEnd},
      {"MinimumIntervalBeyond", Bi(11, true), Verdict::Fail, Decider::LowerEnd},
  };
  for (const auto& row : rows) {
    ExpectRejudged(a, row);
  }
}

}  // namespace
}  // namespace velk::noise
