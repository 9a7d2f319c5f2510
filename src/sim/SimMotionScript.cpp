#include "sim/SimMotionScript.h"

#include <algorithm>
#include <cmath>

#include "core/EchoText.h"
#include "sim/SimNumber.h"

namespace velk {

namespace {

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The comma-separated items of a value.
std::vector<std::string_view> Items(std::string_view text) {
  std::vector<std::string_view> items;
  for (size_t from = 0;;) {
    const size_t comma = text.find(',', from);
    items.push_back(Trimmed(text.substr(from, comma - from)));
    if (comma == std::string_view::npos) return items;
    from = comma + 1;
  }
}

}  // namespace

Result<std::optional<SimTableScript>, std::string> ParseTableScript(std::string_view text) {
  if (Trimmed(text).empty()) return std::optional<SimTableScript>();
  SimTableScript steps;
  for (std::string_view item : Items(text)) {
    const size_t at = item.find('@');
    const std::optional<double> rate =
        at == std::string_view::npos ? std::nullopt : SimNumber(item.substr(0, at));
    const std::optional<double> seconds =
        at == std::string_view::npos ? std::nullopt : SimNumber(item.substr(at + 1));
    if (!rate || !seconds || *seconds <= 0.0 || std::fabs(*rate) > 10000.0)
      return Unexpected("VELK47120_SIM_TABLE=\"" + Escaped(text) + "\": \"" + Escaped(item) +
                        "\" is not RATE@SECONDS; the table stays at rest. Give rates in deg/s "
                        "each held a number of seconds above 0, e.g. 0@10,50@10,-50@10.");
    steps.push_back({*rate, *seconds});
  }
  return std::optional<SimTableScript>(std::move(steps));
}

double PlayTable(SimRateProfile& profile, double from, const SimTableScript& steps,
                 std::vector<SimHeld>* held) {
  double at = from;
  for (const SimTableStep& step : steps) {
    const double reached = profile.RampTo(at, step.rate, kTableAcceleration);
    at = profile.Hold(reached, step.seconds);
    if (held != nullptr) held->push_back({reached, at});
  }
  return profile.RampTo(at, 0.0, kTableAcceleration);
}

Result<std::optional<SimTurn>, std::string> SimTurn::Parse(std::string_view text) {
  if (Trimmed(text).empty()) return std::optional<SimTurn>();
  const auto refuse = [&](const std::string& why) {
    return Unexpected("VELK47120_SIM_TURN=\"" + Escaped(text) + "\": " + why +
                      "; the board stays still. Give N[,ccw][,rate=R][,start=S], e.g. "
                      "2,ccw,rate=150,start=5.");
  };
  SimTurn turn;
  const std::vector<std::string_view> items = Items(text);
  const std::optional<double> turns = SimNumber(items.front());
  if (!turns || *turns <= 0.0 || *turns > 1000.0)
    return refuse("the turns need a number above 0 and up to 1000");
  turn.turns = *turns;
  for (size_t i = 1; i < items.size(); ++i) {
    const std::string_view item = items[i];
    if (item == "ccw" || item == "cw") {
      turn.ccw = item == "ccw";
      continue;
    }
    const size_t equals = item.find('=');
    const std::string_view key = Trimmed(item.substr(0, equals));
    const std::optional<double> value =
        equals == std::string_view::npos ? std::nullopt : SimNumber(item.substr(equals + 1));
    if (key == "rate" && value && *value > 0.0) {
      turn.rate = *value;
    } else if (key == "start" && value && *value >= 0.0) {
      turn.start = *value;
    } else if (key == "rate" || key == "start") {
      return refuse(std::string(key) +
                    (key == "rate" ? " needs a number above 0" : " needs a number of 0 or more"));
    } else {
      std::string quoted(1, '"');  // appended: g++ 12 -O3 misreads "\"" + string (-Wrestrict)
      quoted += Escaped(item);
      return refuse(quoted + "\" is not ccw, rate=R or start=S");
    }
  }
  return std::optional<SimTurn>(turn);
}

double PlayTurn(SimRateProfile& profile, double from, const SimTurn& turn) {
  double at = profile.Hold(from, turn.start);
  const double sign = turn.ccw ? 1.0 : -1.0;
  const double whole = std::floor(turn.turns), rest = turn.turns - whole;
  for (int k = 0; k < static_cast<int>(whole); ++k)
    at = profile.Stroke(at, sign * 360.0, StrokeSeconds(360.0, turn.rate));
  if (rest > 0.0)
    at = profile.Stroke(at, sign * 360.0 * rest, StrokeSeconds(360.0 * rest, turn.rate));
  return at;
}

double MoveFixture(SimFixture& fixture, SimRateProfile& motion, double now, int position) {
  const auto move = fixture.MoveTo(now, position);
  if (!move) return std::max(now, fixture.Settled());
  if (move->axis[2] != 0.0) {
    motion.Cut(move->start);
    motion.Stroke(move->start, move->axis[2] * move->angle, move->seconds);
  }
  return move->start + move->seconds;
}

}  // namespace velk
