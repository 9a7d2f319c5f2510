// characterise scale on the simulated rate table, through SPI on the simulated chip's clock.
#include <gtest/gtest.h>

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "characterise/ModelDraw.h"
#include "characterise/ScaleDraw.h"
#include "cli/CliRig.h"
#include "sim/SimNoiseProfile.h"
#include "sim/SimRateProfile.h"

namespace velk::test {
namespace {

using Json = nlohmann::json;

// The default rates on the 80 deg/s range, each held 10 s after its command: each figure within
// 4 SE (its own interval's half over 1.96) of the estimator on the model's noise-free table,
// and the chip's bias reaches neither. The sensor's samples are exact to the code.
TEST(CliCharacteriseScaleSim, DefaultRunOnTheSimulatedTable) {
  CliRig rig;
  SimCharacter character;
  rig.sensor.SetFixedRate(0.0);
  rig.sensor.SetNoiseProfile(SimNoiseProfile::Parse("white,seed=4").value());
  rig.sensor.SetCharacter(character);
  rig.context.simulatedTable = [&rig](double rate) { rig.sensor.CommandTableRate(rate); };
  ASSERT_EQ(rig.Run({"reg", "set", "Sens_Avg", "0x0100"}), 0);
  ASSERT_EQ(rig.Run({"characterise", "scale", "--table-command", "sim", "--json"}), 0)
      << rig.err.str();
  const Json doc = Json::parse(rig.out.str());

  characterise::TableDraw plan;
  plan.rates = characterise::DefaultRates(plan.fullScale);
  plan.acceleration = kTableAcceleration;
  const auto truth =
      characterise::AnalyseScale(characterise::DrawTable(character, plan, "", 0, 0.01));
  ASSERT_TRUE(truth) << truth.error();
  for (const char* name : {"scale_factor", "scale_factor_error", "nonlinearity", "asymmetry"}) {
    SCOPED_TRACE(name);
    const Json& f = doc["figures"][name];
    ASSERT_TRUE(f["value"].is_number()) << f;
    const double se = (f["hi"].get<double>() - f["lo"].get<double>()) / 2.0 / 1.96;
    EXPECT_NEAR(f["value"].get<double>(), characterise::Of(truth->doc, name).value, 4.0 * se);
  }
  EXPECT_EQ(doc["plateaus"].size(), 24u);
  for (const Json& p : doc["plateaus"]) EXPECT_TRUE(p["used"].get<bool>()) << p;
}

// Recorded while a scripted table runs by itself: the plateaus are found, matched to the rates
// given and fitted; the scale factor's error is the model's sf within its interval's reach.
TEST(CliCharacteriseScaleSim, FoundOnAScriptedTable) {
  // As the tool's --simulate takes them: a noise profile or a fixed rate set later would end
  // the script's motion.
  const char* const set[][2] = {{"VELK47120_SIM_TABLE", "0@6,20@6,-20@6,40@6,-40@6,0@6"},
                                {"VELK47120_SIM_NOISE", "white,seed=5"},
                                {"VELK47120_SIM_CHARACTER", "seed=1"}};
  for (const auto& [name, value] : set) setenv(name, value, 1);
  CliRig rig;
  for (const auto& [name, value] : set) unsetenv(name);
  const SimCharacter character;
  ASSERT_EQ(rig.Run({"reg", "set", "Sens_Avg", "0x0100"}), 0);
  ASSERT_EQ(rig.Run({"characterise", "scale", "--duration", "45", "--rates", "0,20,-20,40,-40,0",
                     "--json"}),
            0)
      << rig.err.str();
  const Json doc = Json::parse(rig.out.str());
  ASSERT_EQ(doc["plateaus"].size(), 6u);
  for (const Json& p : doc["plateaus"]) EXPECT_TRUE(p["used"].get<bool>()) << p;
  const Json& error = doc["figures"]["scale_factor_error"];
  // Up to half full scale the cubic adds at most 3 k3 x^2, 0.075 %, to the slope.
  EXPECT_NEAR(error["value"].get<double>(), 100.0 * character.sf, 0.15) << error;
}

}  // namespace
}  // namespace velk::test
