// The hand turn's relative scale factor against the simulator's model with a known truth.
#include <gtest/gtest.h>

#include <cmath>

#include "characterise/ModelDraw.h"
#include "characterise/TurnDraw.h"

namespace velk::characterise {
namespace {

TurnInput Input(std::vector<TurnRecord> turns, int n = 1, double stopError = 0.0) {
  TurnInput in;
  in.turns = std::move(turns);
  in.turnsN = n;
  in.lsb = 0.0732752587890625;
  in.limit = 1.1 * 320.0;
  in.nominalPeriod = 0.01;
  in.stopError = stopError;
  return in;
}

// The truth is the estimator on the noise-free draw along the same path.
double Truth(const SimCharacter& c, TurnPlan plan) {
  plan.stopError = 0.0;
  const auto turn = AnalyseTurn(Input({DrawHandTurn(c, plan, "", 0)}, plan.turns));
  return Of(turn.value().doc, "relative_scale_factor").value;
}

TEST(Turn, RelativeScaleFactorWithinFourStandardErrors) {
  // white: ARW 0.01 deg/sqrt(s). The span integrated is the 4 s turn plus two 0.5 s guards
  // and the moving mean's reach, about 5.5 s: 0.01 sqrt(5.5) = 0.023 deg. Each bias window
  // holds about 4.2 s, so a mean's SE is 0.0049 deg/s, weighted by about 2.7 s each side: 0.019
  // deg. Together 0.030 deg, 8.4e-5 of a turn; a CW and CCW pair halves the variance.
  struct Case {
    const char* name;
    TurnPlan plan;
    bool both;
    double se;
  };
  TurnPlan lossy;
  lossy.lostEvery = 37;
  TurnPlan slowClock;
  slowClock.clockShare = 1.03;
  TurnPlan two;
  two.turns = 2;
  two.turnS = 6.0;
  const Case cases[] = {
      {"one ccw turn", TurnPlan{}, false, 8.4e-5},
      {"ccw and cw", TurnPlan{}, true, 6.0e-5},
      {"a sample in 37 lost", lossy, false, 8.4e-5},
      {"a clock 3 % slow", slowClock, false, 8.6e-5},
      {"two turns", two, false, 0.032 / 720.0 * 1.2},
  };
  SimCharacter c;
  c.k3 = 0.01;  // the cubic term, so the profile matters and the truth is not 1 + sf
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<TurnRecord> records = {DrawHandTurn(c, k.plan, "white", 41)};
    double truth = Truth(c, k.plan);
    if (k.both) {
      TurnPlan cw = k.plan;
      cw.direction = -1;
      records.push_back(DrawHandTurn(c, cw, "white", 42));
      truth = (truth + Truth(c, cw)) / 2.0;
    }
    const auto turn = AnalyseTurn(Input(records, k.plan.turns));
    ASSERT_TRUE(turn) << turn.error();
    const Span s = Of(turn->doc, "relative_scale_factor");
    EXPECT_NEAR(s.value, truth, 4.0 * k.se);
    // The interval is the budget's: 1.96 of its SE either side.
    EXPECT_NEAR((s.hi - s.lo) / 2.0 / 1.96, k.se, 0.35 * k.se);
    EXPECT_NEAR(truth, 1.0 + c.sf, 0.01) << "a scale error of the wrong size";
  }
}

TEST(Turn, TheBudgetCountsTheStopsAndTheAngleOutCheck) {
  SimCharacter c;
  TurnPlan plan;
  const auto clean = AnalyseTurn(Input({DrawHandTurn(c, plan, "white", 7)}, 1, 0.3));
  ASSERT_TRUE(clean);
  // Two rests of 0.3 deg rms dominate: 0.42 deg, 1.18e-3 of a turn.
  const Span s = Of(clean->doc, "relative_scale_factor");
  EXPECT_NEAR((s.hi - s.lo) / 2.0 / 1.96, 0.3 * std::sqrt(2.0) / 360.0, 2e-5);
  EXPECT_TRUE(clean->doc.warnings.empty());
  ASSERT_TRUE(clean->turns[0].angleOut);
  EXPECT_NEAR(*clean->turns[0].angleOut, clean->turns[0].angle, 0.2);

  plan.angleOffset = 3.0;
  const auto off = AnalyseTurn(Input({DrawHandTurn(c, plan, "white", 7)}, 1, 0.3));
  ASSERT_TRUE(off);
  ASSERT_EQ(off->doc.warnings.size(), 1u);
  EXPECT_NE(off->doc.warnings[0].find("Angle_Out"), std::string::npos);

  plan.angleOffset = 0.0;
  plan.clockShare = 1.05;
  const auto slow = AnalyseTurn(Input({DrawHandTurn(c, plan, "white", 7)}, 1, 0.3));
  ASSERT_TRUE(slow);
  EXPECT_NEAR(slow->turns[0].period, 0.0105, 1e-6);
  ASSERT_EQ(slow->doc.warnings.size(), 1u);
  EXPECT_NE(slow->doc.warnings[0].find("% off the nominal"), std::string::npos);
}

TEST(Turn, RefusedWithTheFix) {
  struct Case {
    const char* name;
    TurnPlan plan;
    int n;
    bool both;
    const char* says;
  };
  TurnPlan fast;  // 360 deg in 1.5 s peaks at 480 deg/s
  fast.turnS = 1.5;
  TurnPlan hurried;
  hurried.stillS = 2.0;
  TurnPlan none;
  none.turns = 0;
  const Case cases[] = {
      {"clipped", fast, 1, false, "within 2 % of where the output clips"},
      {"two seconds still", hurried, 1, false, "at least 3 s each side"},
      {"no turn", none, 1, false, "shows no turn"},
      {"one turn called two", TurnPlan{}, 2, false, "give --turns 1"},
      {"both the same way", TurnPlan{}, 1, true, "both turns went counter-clockwise"},
      {"most samples lost", TurnPlan{}, 1, false, "misses more than half its samples"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<TurnRecord> records = {DrawHandTurn(SimCharacter{}, k.plan, "white", 3)};
    if (k.both) records.push_back(records[0]);
    if (std::string(k.name) == "most samples lost") {  // every third sample kept
      TurnRecord thin;
      for (size_t i = 0; i < records[0].number.size(); i += 3) {
        thin.number.push_back(records[0].number[i]);
        thin.time.push_back(records[0].time[i]);
        thin.rate.push_back(records[0].rate[i]);
      }
      records[0] = thin;
    }
    const auto turn = AnalyseTurn(Input(records, k.n));
    ASSERT_FALSE(turn);
    EXPECT_NE(turn.error().find(k.says), std::string::npos) << turn.error();
  }
}

}  // namespace
}  // namespace velk::characterise
