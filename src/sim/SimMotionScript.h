#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"
#include "sim/SimFixture.h"
#include "sim/SimRateProfile.h"

namespace velk {

// A scripted rate table (VELK47120_SIM_TABLE=RATE@S,RATE@S,...): each rate reached at the
// table's acceleration limit, then held S seconds; after the last, back to rest.
struct SimTableStep {
  double rate = 0.0;     // deg/s
  double seconds = 0.0;  // held once reached
};
using SimTableScript = std::vector<SimTableStep>;
inline constexpr std::string_view kTableHelp =
    "VELK47120_SIM_TABLE=RATE@S,...: a rate table from the start: each rate (deg/s) reached at "
    "100 deg/s^2 and held S seconds, then back to rest";
static_assert(kTableAcceleration == 100.0, "kTableHelp names the table's acceleration");
inline constexpr std::string_view kTurnHelp =
    "VELK47120_SIM_TURN=N[,ccw][,rate=R][,start=S]: a hand turn from the start: still S "
    "seconds (5), then N turns clockwise (or ccw) seen from +Z peaking near R deg/s (150)";
// Nothing for a blank value, else the steps or the line saying what is wrong and the fix.
Result<std::optional<SimTableScript>, std::string> ParseTableScript(std::string_view text);
// Plays the steps on `profile` from `from`; returns when the table is at rest again. With
// `held`, appends each step's plateau (from reaching the rate to leaving it).
struct SimHeld {
  double from = 0.0, to = 0.0;
};
double PlayTable(SimRateProfile& profile, double from, const SimTableScript& steps,
                 std::vector<SimHeld>* held = nullptr);

// A hand turn (VELK47120_SIM_TURN=N[,ccw][,rate=R][,start=S]): still S seconds, then N turns
// about the sensitive axis, a minimum-jerk stroke of 360 degrees each (a last one of what is
// left of N) peaking at R deg/s, then still: the angle is N x 360 exactly. Clockwise unless
// ccw, seen from +Z, so its rate is negative.
struct SimTurn {
  double turns = 1.0;
  bool ccw = false;
  double rate = 150.0;  // deg/s, each stroke's peak
  double start = 5.0;   // s still first

  static Result<std::optional<SimTurn>, std::string> Parse(std::string_view text);
  // The signed angle, degrees.
  double Angle() const { return (ccw ? 360.0 : -360.0) * turns; }
};
// Plays the turn on `profile` from `from`; returns when the board is still again.
double PlayTurn(SimRateProfile& profile, double from, const SimTurn& turn);

// Moves the fixture to `position` from `now` (after any move under way), a turn about the
// sensitive axis added to the rate from the move's start; returns when the board is there.
double MoveFixture(SimFixture& fixture, SimRateProfile& motion, double now, int position);

}  // namespace velk
