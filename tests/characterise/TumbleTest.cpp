// The tumble's g sensitivities against the simulator's model with a known truth.
#include <gtest/gtest.h>

#include <cmath>

#include "characterise/ModelDraw.h"
#include "characterise/TurnDraw.h"

namespace velk::characterise {
namespace {

bool Warned(const Characterisation& doc, const std::string& text) {
  for (const std::string& w : doc.warnings)
    if (w.find(text) != std::string::npos) return true;
  return false;
}

TEST(Tumble, SensitivitiesWithinFourStandardErrors) {
  // white: a 60 s mean deviates by 0.01 / sqrt(60) = 1.29e-3 deg/s; each position averages
  // two windows (9.1e-4) and g halves the difference of two: SE = 6.5e-4 deg/s/g. The truth is
  // the character's own g, which the noise-free estimator returns exactly.
  SimCharacter c;
  constexpr double kSe = 6.5e-4;
  for (const char* noise : {"", "white"}) {
    SCOPED_TRACE(noise);
    const Tumble t = AnalyseTumble(DrawTumbleInput(c, TumblePlan{}, noise, 11));
    const double truth[3] = {c.gx, c.gy, c.gz};
    const char* names[3] = {"g_sensitivity_x", "g_sensitivity_y", "g_sensitivity_z"};
    for (int axis = 0; axis < 3; ++axis) {
      const Span s = Of(t.doc, names[axis]);
      ASSERT_TRUE(s.valued) << names[axis];
      EXPECT_NEAR(s.value, truth[axis], *noise ? 4.0 * kSe : 1e-12) << names[axis];
      // The deviation is measured on the windows' halves (12 of them) and carried to 60 s by
      // a fitted ratio, so it wanders and leans wide.
      if (*noise) {
        EXPECT_GT((s.hi - s.lo) / 2.0 / 1.96, 0.8 * kSe) << names[axis];
        EXPECT_LT((s.hi - s.lo) / 2.0 / 1.96, 2.0 * kSe) << names[axis];
      }
    }
    EXPECT_FALSE(Warned(t.doc, "the passes disagree"));
  }
}

TEST(Tumble, WarnsOfDriftTheEarthAndAMissingPosition) {
  SimCharacter c;
  // A steady drift of 1e-5 deg/s/s moves a position's passes up to 8 s x 1e-4 apart, yet
  // cancels in the reversed order.
  TumblePlan drifting;
  drifting.drift = 1e-5;
  const Tumble d = AnalyseTumble(DrawTumbleInput(c, drifting, "", 0));
  EXPECT_TRUE(Warned(d.doc, "the passes disagree"));
  EXPECT_NEAR(Of(d.doc, "g_sensitivity_y").value, c.gy, 1e-9);

  TumbleInput noLatitude = DrawTumbleInput(c, TumblePlan{}, "", 0);
  noLatitude.latitude.reset();
  const Tumble e = AnalyseTumble(noLatitude);
  EXPECT_TRUE(Warned(e.doc, "give --latitude"));
  EXPECT_NEAR(Of(e.doc, "g_sensitivity_z").value - c.gz,
              kEarthRate * std::sin(c.lat * 3.14159265358979 / 180.0), 1e-9);

  TumblePlan settling;
  settling.moving = 8;  // -Y on the way back
  const Tumble m = AnalyseTumble(DrawTumbleInput(c, settling, "white", 5));
  EXPECT_TRUE(Warned(m.doc, "moved during window 9 (-Y up), left out"));
  // -Y keeps one window: SE = 1.29e-3 sqrt(1/2 + 1) / 2 = 7.9e-4.
  EXPECT_NEAR(Of(m.doc, "g_sensitivity_y").value, c.gy, 4.0 * 7.9e-4);

  TumblePlan gap;
  gap.skip = 3;
  const Tumble g = AnalyseTumble(DrawTumbleInput(c, gap, "", 0));
  EXPECT_FALSE(Of(g.doc, "g_sensitivity_y").valued);
  EXPECT_NE(g.doc.Find("g_sensitivity_y")->reason.find("-Y up"), std::string::npos);
  EXPECT_TRUE(Of(g.doc, "g_sensitivity_x").valued);
}

}  // namespace
}  // namespace velk::characterise
