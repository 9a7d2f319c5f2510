#include "sim/SimUsbUnplug.h"

#include <gtest/gtest.h>

#include "sim/SimUsbCard.h"
#include "support/ManualClock.h"

namespace velk {
namespace {

TEST(SimUsbUnplug, ParsesTheWindowAndSaysWhatItRefuses) {
  struct Row {
    const char* name;
    const char* text;
    std::optional<UnplugWindow> window;
    const char* refused;  // part of the message, or nullptr when taken
  };
  const Row rows[] = {
      {"blank", " ", std::nullopt, nullptr},
      {"gone for good", "3", UnplugWindow{3, std::nullopt}, nullptr},
      {"back again", " 3 , 6.5 ", UnplugWindow{3, 6.5}, nullptr},
      {"from the start", "0,1", UnplugWindow{0, 1}, nullptr},
      {"back first", "6,3", std::nullopt, "T2 must be after T1"},
      {"back at once", "3,3", std::nullopt, "T2 must be after T1"},
      {"a word", "soon", std::nullopt, "is not T1[,T2]"},
      {"negative", "-1,2", std::nullopt, "is not T1[,T2]"},
      {"no T2", "3,", std::nullopt, "is not T1[,T2]"},
      {"three times", "1,2,3", std::nullopt, "is not T1[,T2]"},
      {"not finite", "inf", std::nullopt, "is not T1[,T2]"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto parsed = ParseUnplugWindow(r.text);
    if (r.refused != nullptr) {
      ASSERT_FALSE(parsed);
      EXPECT_NE(parsed.error().find(r.refused), std::string::npos) << parsed.error();
      EXPECT_NE(parsed.error().find("the simulated card stays plugged in"), std::string::npos);
      continue;
    }
    ASSERT_TRUE(parsed) << parsed.error();
    ASSERT_EQ(parsed->has_value(), r.window.has_value());
    if (!r.window) continue;
    EXPECT_EQ((*parsed)->goneAt, r.window->goneAt);
    EXPECT_EQ((*parsed)->backAt, r.window->backAt);
  }
}

// Seconds counted from the call, the card away from T1 up to (not including) T2.
TEST(SimUsbUnplug, TheCardIsAwayOnlyInsideTheWindow) {
  test::ManualClock clock;
  SimSensor sensor(clock, 47120);
  SimUsbCard card(&sensor);
  clock.Advance(100);
  card.UnplugDuring(clock, {3, 6});
  const std::pair<double, bool> at[] = {{2.9, true}, {3.0, false}, {5.9, false}, {6.0, true}};
  double now = 0;
  for (const auto& [t, opens] : at) {
    clock.Advance(t - now);
    now = t;
    const int32_t handle = card.Open("Ezusb-0");
    EXPECT_EQ(handle > 0, opens) << t;
    if (handle > 0) card.Close(handle);
  }
}

}  // namespace
}  // namespace velk
