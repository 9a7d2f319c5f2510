// characterise turn and tumble through the tool, on the simulated chip's clock: the board's
// motion played as fixed rates by the rig's sleep (the hand) and fixture.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "characterise/ModelDraw.h"
#include "characterise/Turn.h"
#include "cli/CliRig.h"
#include "sim/SimMotionScript.h"

namespace velk::test {
namespace {

using Json = nlohmann::json;

const Json* FigureIn(const Json& doc, const std::string& name) {
  const Json& figures = doc["figures"];
  return figures.contains(name) ? &figures[name] : nullptr;
}

// Two 14 s records: still, then `rate` for 4 s (360 deg at 90), then still; back the other way.
void PlayTurns(CliRig& rig, double rate) {
  rig.sensor.SetNoise(false);
  rig.sensor.SetFixedRate(0.0);
  const double start = rig.clock.Seconds();
  rig.context.sleep = [&rig, rate, start](double s) {
    rig.clock.Advance(s);
    const double t = std::fmod(rig.clock.Seconds() - start, 14.0);
    const double sign = rig.clock.Seconds() - start < 14.0 ? 1.0 : -1.0;
    rig.sensor.SetFixedRate(t >= 5.0 && t < 9.0 ? sign * rate : 0.0);
  };
}

TEST(CliCharacteriseTurn, BothWaysLiveAndFromTheRecord) {
  CliRig rig;
  PlayTurns(rig, 90.0);
  const auto file = rig.dir / "turn.csv";
  ASSERT_EQ(rig.Run({"characterise", "turn", "--duration", "14", "--stop-error", "0.1", "--out",
                     file.string(), "--json"}),
            0)
      << rig.err.str();
  const Json live = Json::parse(rig.out.str());
  const Json* f = FigureIn(live, "relative_scale_factor");
  ASSERT_NE(f, nullptr);
  // A fixed rate on the code grid: the angle is 360 deg to the stops' 0.14 deg and the
  // sample edges' share of a sample (0.35 deg at 90 deg/s and 3.9 ms).
  EXPECT_NEAR((*f)["value"].get<double>(), 1.0, 2e-3) << rig.err.str();
  EXPECT_TRUE(live["warnings"].empty()) << live["warnings"].dump();
  EXPECT_NE(rig.err.str().find("turn now: 1 full turn counter-clockwise"), std::string::npos);

  ASSERT_EQ(
      rig.Run({"characterise", "turn", "--stop-error", "0.1", "--from", file.string(), "--json"}),
      0)
      << rig.err.str();
  const Json read = Json::parse(rig.out.str());
  EXPECT_EQ((*FigureIn(read, "relative_scale_factor"))["value"], (*f)["value"]);
}

TEST(CliCharacteriseTurn, RefusedWithTheFix) {
  const struct {
    const char* name;
    double rate;
    std::vector<std::string> extra;
    bool narrow;  // on the 80 deg/s range
    const char* says;
  } cases[] = {
      {"clipped", 360.0, {"--turns", "4"}, false, "within 2 % of where the output clips"},
      {"miscounted", 90.0, {"--turns", "2"}, false, "give --turns 1"},
      {"never turned", 0.0, {}, false, "shows no turn"},
      {"on the 80 range", 90.0, {}, true, "the 320 deg/s range keeps it from clipping"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CliRig rig;
    if (c.narrow) {
      ASSERT_EQ(rig.Run({"reg", "set", "Sens_Avg", "0x0102"}), 0) << rig.err.str();
    }
    PlayTurns(rig, c.rate);
    std::vector<std::string> args = {"characterise", "turn", "--duration", "14"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(rig.Run(args), 1);
    EXPECT_NE(rig.err.str().find(c.says), std::string::npos) << rig.err.str();
  }
}

// The truth: the analysis of the noise-free model along the simulator's own hand turn.
double TurnTruth(const SimCharacter& c, int turns) {
  characterise::TurnInput in;
  in.turnsN = turns;
  in.stopError = 0.0;
  for (int sign : {1, -1}) {
    SimTurn turn;
    turn.turns = turns;
    turn.ccw = sign > 0;
    const characterise::ModelRecord m =
        characterise::DrawTurn(c, turn, 6.0, 320.0, "", 0, 3.906e-3);
    characterise::TurnRecord r;
    r.time = m.time;
    r.rate = m.rate;
    for (size_t i = 0; i < m.time.size(); ++i) r.number.push_back(static_cast<int64_t>(i));
    in.turns.push_back(r);
  }
  return characterise::Of(characterise::AnalyseTurn(in).value().doc, "relative_scale_factor").value;
}

// The simulator's own hand and fixture, with its character: each figure within 4 of its
// standard errors (the interval's half over 1.96, or over t(12) = 2.18) of the truth.
TEST(CliCharacteriseTurn, TheSimulatedHandAndFixture) {
  SimCharacter c;  // sf 0.002, k3 0.001, asym 0.001; g 0.01, -0.02, 0.005; 52 deg
  CliRig rig;
  rig.sensor.SetCharacter(c);
  rig.context.simulatedTurn = [&](double turns) {
    SimTurn turn;
    turn.turns = std::fabs(turns);
    turn.ccw = turns > 0;
    rig.sensor.HandTurn(turn);
  };
  rig.context.simulatedFixture = [&](int position) { rig.sensor.SetOrientation(position); };
  ASSERT_EQ(rig.Run({"characterise", "turn", "--stop-error", "0.02", "--json"}), 0)
      << rig.err.str();
  const Json turn = Json::parse(rig.out.str());
  const Json& f = turn["figures"]["relative_scale_factor"];
  const double se = (f["hi"].get<double>() - f["lo"].get<double>()) / 2.0 / 1.96;
  EXPECT_NEAR(f["value"].get<double>(), TurnTruth(c, 1), 4.0 * se) << rig.err.str();
  EXPECT_GT(f["value"].get<double>(), 1.001) << "the scale error unseen";

  ASSERT_EQ(rig.Run({"characterise", "tumble", "--fixture-command", "sim", "--average", "10",
                     "--latitude", "52", "--json"}),
            0)
      << rig.err.str();
  const Json tumble = Json::parse(rig.out.str());
  const double truth[3] = {c.gx, c.gy, c.gz};
  const char* names[3] = {"g_sensitivity_x", "g_sensitivity_y", "g_sensitivity_z"};
  for (int axis = 0; axis < 3; ++axis) {
    const Json& g = tumble["figures"][names[axis]];
    const double gse = (g["hi"].get<double>() - g["lo"].get<double>()) / 2.0 / 2.18;
    EXPECT_NEAR(g["value"].get<double>(), truth[axis], 4.0 * gse) << names[axis];
  }
  // The g^2 hint may show the Earth's horizontal rate; no window moved, none drifted.
  const std::string warnings = tumble["warnings"].dump();
  EXPECT_EQ(warnings.find("moved"), std::string::npos) << warnings;
  EXPECT_EQ(warnings.find("disagree"), std::string::npos) << warnings;
}

// The fixture plays each position's rate: bias 0.5 plus 0.3 g_x, -0.2 g_y and 0.4 g_z (deg/s
// per g, large against the 0.073 deg/s code so the codes show them exactly).
TEST(CliCharacteriseTumble, FixtureSimAndThePrompts) {
  const double g[3] = {0.3, -0.2, 0.4};
  CliRig rig;
  rig.sensor.SetNoise(false);
  std::vector<int> moved;
  rig.context.simulatedFixture = [&](int position) {
    moved.push_back(position);
    rig.sensor.SetFixedRate(0.5 + (position % 2 == 0 ? 1 : -1) * g[position / 2]);
  };
  const auto file = rig.dir / "tumble.csv";
  ASSERT_EQ(rig.Run({"characterise", "tumble", "--fixture-command", "sim", "--settle", "1",
                     "--average", "4", "--latitude", "0", "--out", file.string(), "--json"}),
            0)
      << rig.err.str();
  const std::string live = rig.out.str();
  ASSERT_EQ(rig.Run({"characterise", "tumble", "--from", file.string(), "--json"}), 0)
      << rig.err.str();
  // The record keeps the latitude: the same document but for its source.
  EXPECT_EQ(Json::parse(rig.out.str())["figures"], Json::parse(live)["figures"]);
  EXPECT_EQ(moved, (std::vector<int>{0, 1, 2, 3, 4, 5, 5, 4, 3, 2, 1, 0}));
  const Json doc = Json::parse(live);
  const char* names[3] = {"g_sensitivity_x", "g_sensitivity_y", "g_sensitivity_z"};
  for (int axis = 0; axis < 3; ++axis) {
    const Json* f = FigureIn(doc, names[axis]);
    ASSERT_NE(f, nullptr) << names[axis];
    // Each level to the code's half (0.037 deg/s), halved by the difference.
    EXPECT_NEAR((*f)["value"].get<double>(), g[axis], 0.04) << names[axis];
  }

  // Without a fixture the terminal is asked for each position, and Enter read.
  CliRig asked;
  asked.sensor.SetNoise(false);
  std::istringstream enter(std::string(12, '\n'));
  asked.context.in = &enter;
  ASSERT_EQ(asked.Run({"characterise", "tumble", "--settle", "0", "--average", "1"}), 0)
      << asked.err.str();
  const std::string err = asked.err.str();
  EXPECT_NE(err.find("counter-clockwise seen from +Z"), std::string::npos);
  EXPECT_NE(err.find("Place the board with +Z up, then press Enter"), std::string::npos);

  // Standard input gone, or no simulated fixture: refused with the fix.
  CliRig ended;
  std::istringstream none;
  ended.context.in = &none;
  EXPECT_NE(ended.Run({"characterise", "tumble", "--settle", "0", "--average", "1"}), 0);
  EXPECT_NE(ended.err.str().find("give --fixture-command CMD"), std::string::npos);
  CliRig bare;
  EXPECT_NE(bare.Run({"characterise", "tumble", "--fixture-command", "sim"}), 0);
  EXPECT_NE(bare.err.str().find("run with --simulate"), std::string::npos) << bare.err.str();
}

}  // namespace
}  // namespace velk::test
