#include <gtest/gtest.h>

#include "ui/noise/NoiseText.h"

namespace velk {
namespace {

using noise::Decider;
using noise::Verdict;

// Each limit's verdict with the end of the interval that decided it, against the limit.
TEST(NoiseText, VerdictNamesWhatDecidedIt) {
  struct Case {
    std::vector<noise::Judged> judged;
    Verdict overall;
    const char* text;
  };
  const Case cases[] = {
      {{{"arw", 0.7, Verdict::Pass, Decider::UpperEnd, 0.6213},
        {"bi", 40, Verdict::Fail, Decider::LowerEnd, 45.12}},
       Verdict::Fail,
       "fail (ARW pass: upper end 0.621 within 0.7; BI fail: lower end 45.1 beyond 40)"},
      {{{"bi", 5, Verdict::Pass, Decider::UpperLimit, 3.2}},
       Verdict::Pass,
       "pass (BI pass: upper limit 3.2 within 5)"},
      {{{"rrw", 300, Verdict::Inconclusive, Decider::NotEstimated, std::nullopt}},
       Verdict::Inconclusive,
       "inconclusive (RRW inconclusive: not estimated)"},
  };
  for (const Case& c : cases) {
    noise::Analysis a;
    a.verdicts = c.judged;
    a.overall = c.overall;
    EXPECT_EQ(VerdictText(a), c.text);
  }
}

// The checks name the warnings, then the rows left out and the notes, a line each.
TEST(NoiseText, ChecksListWarningsRowsLeftOutAndNotes) {
  noise::Analysis a;
  EXPECT_EQ(ChecksText(a), "none");
  a.warnings = {{noise::WarningCode::Gaps, 0.01, "12 samples were missed."}};
  a.leftOut = {.errorFlag = 1, .incomplete = 1};
  a.notes = {"the last line (9) has no line end: left out as incomplete"};
  EXPECT_EQ(ChecksText(a),
            "gaps (0.0100): 12 samples were missed.\nleft out: 2 rows: 1 flagged as an error, 1 "
            "cut short\nnote: the last line (9) has no line end: left out as incomplete");
}

}  // namespace
}  // namespace velk
