// characterise repeatability and tempco through the tool, on the simulated chip's clock.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>

#include "characterise/ModelDraw.h"
#include "cli/CliRig.h"
#include "measure/SecondMeans.h"
#include "registers/Reg47120.h"

namespace velk::test {
namespace {

using Json = nlohmann::json;

int Address(int16_t s) {
  Reg47120 table;
  table.BuildRegisterTable();
  return table.RegAddr[s];
}

std::string FileText(const std::filesystem::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Repeatability live with --out, then the record read back: the two documents are one, the
// chip was written nothing but Pwr_Mde, the self-test bit and its restore, and a stop leaves a
// whole record whose cut cycle is left out.
TEST(CliCharacteriseRun, RepeatabilityLiveAndFromItsRecord) {
  const struct {
    const char* name;
    double stopAfter;  // s of the run; 0: none
    int wholeCycles;
    bool selfTest;
  } cases[] = {
      {"whole run", 0, 3, true},
      {"stopped in cycle 3", 9.5, 2, false},
  };
  const int pwrMde = Address(slot::Pwr_Mde), msc = Address(slot::Msc_Ctrl);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CliRig rig;
    volatile std::sig_atomic_t stop = 0;
    rig.context.stop = &stop;
    const double stopAt = rig.clock.Seconds() + c.stopAfter;
    rig.context.sleep = [&](double s) {
      rig.clock.Advance(s);
      if (c.stopAfter > 0 && rig.clock.Seconds() >= stopAt) stop = SIGINT;
    };
    ASSERT_EQ(rig.Run({"reg", "get", "Msc_Ctrl"}), 0);
    const std::string mscBefore = rig.out.str();
    const size_t writesBefore = rig.Writes().size();
    const auto file = rig.dir / "repeat.csv";
    ASSERT_EQ(rig.Run({"characterise", "repeatability", "--cycles", "3", "--off", "1.5",
                       "--average", "2", "--settle", "0", "--out", file.string(), "--json"}),
              0)
        << rig.err.str();
    const Json live = Json::parse(rig.out.str());

    std::vector<uint16_t> writes = rig.Writes();
    writes.erase(writes.begin(), writes.begin() + static_cast<std::ptrdiff_t>(writesBefore));
    int sleeps = 0, selfTestWrites = 0;
    for (uint16_t w : writes) {
      const int address = w >> 8 & 0x7F;
      if (address == pwrMde) {
        EXPECT_EQ(w & 0xFF, 3) << "1.5 s is three half-second counts";
        ++sleeps;
      } else if (address == pwrMde + 1) {  // its high byte
        EXPECT_EQ(w & 0xFF, 0);
      } else {
        EXPECT_TRUE(address == msc || address == msc + 1) << std::hex << w;
        ++selfTestWrites;
      }
    }
    EXPECT_EQ(sleeps, 3);
    EXPECT_EQ(selfTestWrites > 0, c.selfTest);
    stop = 0;
    rig.context.stop = nullptr;
    ASSERT_EQ(rig.Run({"reg", "get", "Msc_Ctrl"}), 0);
    EXPECT_EQ(rig.out.str(), mscBefore);

    // Whole lines only, and the same document from the file.
    const std::string text = FileText(file);
    // The first window waits out the wake and five averaging windows (4 taps of 3.906 ms)
    // even with --settle 0: the chip's filter still holds samples from before it slept.
    const size_t first = text.find('\n', text.find("# cycle 1 starts")) + 1;
    const size_t elapsed = text.find(',', first) + 1;
    EXPECT_GE(std::stod(text.substr(elapsed)), 1.5 + 0.2 + 5 * 4 * 0.003906 - 1e-3);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    ASSERT_EQ(rig.Run({"characterise", "repeatability", "--from", file.string(), "--json"}), 0)
        << rig.err.str();
    const Json read = Json::parse(rig.out.str());
    EXPECT_EQ(read, live);
    EXPECT_EQ(read["cycles"].size(), static_cast<size_t>(c.wholeCycles));
    EXPECT_EQ(read["sources"][0]["file"], file.string());
    EXPECT_FALSE(read["figures"]["wake_repeatability"]["value"].is_null());
    EXPECT_FALSE(read["figures"]["bias"]["value"].is_null());
    EXPECT_EQ(read["figures"].contains("self_test_response"), c.selfTest);
    if (c.stopAfter > 0) {
      const std::string warnings = read["warnings"].dump();
      EXPECT_NE(warnings.find("cycle 3 was cut short"), std::string::npos) << warnings;
    }
  }
}

// A switched supply: the turn-on figure, the setup written back after each power-up; a
// command that fails ends the run naming its status and what it said; "sim" without a
// simulated supply is refused before anything is written.
TEST(CliCharacteriseRun, PowerCommands) {
  const int pwrMde = Address(slot::Pwr_Mde);
  const std::vector<std::string> run = {
      "characterise", "repeatability", "--cycles", "2",        "--off",
      "0.5",          "--average",     "1",        "--settle", "0",
      "--json"};
  {
    CliRig rig;
    std::vector<bool> switched;
    rig.context.simulatedSupply = [&](bool on) { switched.push_back(on); };
    std::vector<std::string> args = run;
    args.insert(args.end(), {"--power-command", "sim"});
    ASSERT_EQ(rig.Run(args), 0) << rig.err.str();
    EXPECT_EQ(switched, (std::vector<bool>{false, true, false, true}));
    const Json doc = Json::parse(rig.out.str());
    EXPECT_TRUE(doc["figures"].contains("turn_on_repeatability"));
    EXPECT_EQ(doc["conditions"]["power"], "sim");
    for (uint16_t w : rig.Writes()) EXPECT_NE(w >> 8 & 0x7F, pwrMde);
  }
  {
    // A stop while the supply is off still switches it back on.
    CliRig rig;
    volatile std::sig_atomic_t stop = 0;
    rig.context.stop = &stop;
    std::vector<bool> switched;
    rig.context.simulatedSupply = [&](bool on) {
      switched.push_back(on);
      if (!on) stop = SIGINT;
    };
    std::vector<std::string> args = run;
    args.insert(args.end(), {"--power-command", "sim"});
    EXPECT_EQ(rig.Run(args), 0) << rig.err.str();
    EXPECT_EQ(switched, (std::vector<bool>{false, true}));
    EXPECT_NE(rig.err.str().find("0 cycles of 2"), std::string::npos) << rig.err.str();
  }
  {
    CliRig rig;
    const auto script = rig.dir / "supply.sh";
    std::ofstream(script) << "echo supply busy >&2\nexit 3\n";
    std::vector<std::string> args = run;
    args.insert(args.end(), {"--power-command", "sh " + script.string()});
    EXPECT_EQ(rig.Run(args), 2);
    EXPECT_NE(rig.err.str().find("off\" failed with status 3: supply busy"), std::string::npos)
        << rig.err.str();
  }
  {
    // A record on standard output would run into the figures.
    CliRig rig;
    std::vector<std::string> args = run;
    args.insert(args.end(), {"--out", "-"});
    EXPECT_EQ(rig.Run(args), 1);
    EXPECT_NE(rig.err.str().find("name a file for the record"), std::string::npos);
    EXPECT_EQ(rig.sensor.FrameCount(), 0);
  }
  {
    CliRig rig;
    const size_t before = rig.Writes().size();
    std::vector<std::string> args = run;
    args.insert(args.end(), {"--power-command", "sim"});
    EXPECT_EQ(rig.Run(args), 2);
    EXPECT_NE(rig.err.str().find("nothing was written"), std::string::npos) << rig.err.str();
    EXPECT_EQ(rig.Writes().size(), before);
  }
}

// The simulator's character draws a bias of known spread at every wake and power-up: the
// figures' intervals hold it, by Pwr_Mde and by the switched supply (whose power-up puts the
// flash setup back, so the run writes its own again), and the self-test step is its `st`.
TEST(CliCharacteriseRun, RepeatabilityOfTheSimulatedCharacter) {
  for (const bool switched : {false, true}) {
    SCOPED_TRACE(switched ? "switched supply" : "Pwr_Mde");
    CliRig rig;
    rig.sensor.SetFixedRate(0.0);
    rig.sensor.SetNoise(false);
    rig.sensor.SetCharacter(SimCharacter::Parse("wake=0.05,st=8,seed=5").value());
    rig.context.simulatedSupply = [&rig](bool on) {
      on ? rig.sensor.PowerOn() : rig.sensor.PowerOff();
    };
    ASSERT_EQ(rig.Run({"reg", "set", "Sens_Avg", "0x0102"}), 0);
    std::vector<std::string> args = {"characterise", "repeatability", "--cycles",  "12",
                                     "--off",        "0.5",           "--average", "2",
                                     "--settle",     "0.5",           "--json"};
    if (switched) args.insert(args.end(), {"--power-command", "sim"});
    ASSERT_EQ(rig.Run(args), 0) << rig.err.str();
    const Json doc = Json::parse(rig.out.str());
    const Json& spread = doc["figures"][switched ? "turn_on_repeatability" : "wake_repeatability"];
    EXPECT_LT(spread["lo"].get<double>(), 0.05) << spread;
    EXPECT_GT(spread["hi"].get<double>(), 0.05) << spread;
    const Json& step = doc["figures"]["self_test_response"];
    EXPECT_NEAR(step["value"].get<double>(), 8.0, 0.05) << step;
    for (const Json& cycle : doc["cycles"]) EXPECT_EQ(cycle["words"], doc["words"]);
    ASSERT_EQ(rig.Run({"reg", "get", "Sens_Avg"}), 0);
    EXPECT_NE(rig.out.str().find("0x0102"), std::string::npos) << rig.out.str();
  }
}

// Cycles at 20, 25 and 30 degC whose bias follows 0.01 deg/s/degC: the spread is the tempco's
// until --tempco corrects each bias to 25 degC, and the bias figure is the cycles' mean with
// its t interval over K - 1.
TEST(CliCharacteriseRun, TempcoCorrectsEachCycle) {
  CliRig rig;
  const auto record = rig.dir / "warm.csv";
  std::string text =
      "# VELK47120, firmware 1.2, parallel port 0x378, range 80 Dgr/S, Smpl_Prd=0x01, "
      "Sens_Avg=0x0100, model 47120\n" +
      RecordConditionLines("repeatability", {{"off_s", "1"}, {"average_s", "1"}}, {}, "samples") +
      RecordColumns("Cycle");
  const double temps[] = {20.0, 25.0, 30.0}, wobble[] = {0.001, -0.002, 0.001};
  for (int k = 0; k < 3; ++k) {
    const std::string label = std::to_string(k + 1);
    text += WindowStartLine(label, {});
    for (int i = 0; i < 256; ++i) {
      const double rate = 0.5 + 0.01 * (temps[k] - 25.0) + wobble[k] + (i % 2 ? 1e-4 : -1e-4);
      text += RecordRow("t", k * 10.0 + i / 256.0, RecordNumber(rate),
                        i == 0 ? std::optional<float>(static_cast<float>(temps[k])) : std::nullopt,
                        label);
    }
    text += WindowEndLine(label, 256, 0);
  }
  std::ofstream(record) << text;
  characterise::Characterisation tempco;
  tempco.test = "tempco";
  tempco.curve = characterise::TempCurve{.b0 = 0.5, .b1 = 0.01, .from = 0, .to = 40};
  std::ofstream(rig.dir / "tempco.json") << characterise::CharacteriseJson(tempco);

  ASSERT_EQ(rig.Run({"characterise", "repeatability", "--from", record.string(), "--json"}), 0)
      << rig.err.str();
  const Json raw = Json::parse(rig.out.str());
  EXPECT_NE(raw["warnings"].dump().find("moved 10.0 degC"), std::string::npos);
  EXPECT_GT(raw["figures"]["wake_repeatability"]["value"].get<double>(), 0.04);

  ASSERT_EQ(rig.Run({"characterise", "repeatability", "--from", record.string(), "--tempco",
                     (rig.dir / "tempco.json").string(), "--json", "--limit-bias", "0.6"}),
            0)
      << rig.err.str();
  const Json fixed = Json::parse(rig.out.str());
  const Json& bias = fixed["figures"]["bias"];
  // Biases 0.501, 0.498, 0.501: s = 0.001732, t(0.975, 2) = 4.303.
  EXPECT_NEAR(bias["value"].get<double>(), 0.5, 1e-9);
  EXPECT_NEAR(bias["hi"].get<double>() - 0.5, 4.303 * 0.001732 / std::sqrt(3.0), 1e-5);
  EXPECT_EQ(bias["verdict"], "pass");
  EXPECT_NE(bias["conditions"].get<std::string>().find("corrected to 25 degC"), std::string::npos);
  EXPECT_LT(fixed["figures"]["wake_repeatability"]["value"].get<double>(), 0.003);
  EXPECT_EQ(fixed["sources"].size(), 2u);
}

// A tempco record as a live run writes it (a second's mean a row) of a ramp drawn from the
// model gives the figures the analysis gives the every-sample draw.
TEST(CliCharacteriseRun, TempcoFromARecordOfTheModel) {
  SimCharacter character;
  character.b2 = 0.0002;
  character.lag = 0.0;
  const SimTempPath path = SimTempPath::Parse("ramp:-10..60@1,soak=600").value().value();
  const double tau0 = 0.05;
  const characterise::TempcoInput draw =
      characterise::DrawTempco(character, path, "white", 31, tau0);

  CliRig rig;
  const auto file = rig.dir / "ramp.csv";
  {
    AppendLog log;
    ASSERT_TRUE(log.Open(file, "\n"));
    RecordOutput::RowWriter writer(
        [&log](std::string_view rows) -> std::optional<AppendLog::WriteError> {
          if (auto written = log.Write(rows); !written) return written.error();
          return std::nullopt;
        });
    RecordOutput output(&writer, {});
    output.Lines(
        "# VELK47120, firmware 1.2, parallel port 0x378, range 80 Dgr/S, Smpl_Prd=0x0C, "
        "Sens_Avg=0x0100, model 47120\n" +
        RecordConditionLines("tempco", {{"duration_s", "1"}}, {}, "a second's mean") +
        RecordColumns("Samples"));
    SecondMeans means(output);
    size_t t = 0;
    for (size_t i = 0; i < draw.time.size(); ++i) {
      AcquiredSample s;
      s.number = static_cast<int64_t>(i);
      s.elapsed = draw.time[i];
      s.rate = static_cast<float>(draw.rate[i]);
      if (t < draw.tempTime.size() && draw.tempTime[t] <= s.elapsed)
        s.temp = static_cast<float>(draw.degrees[t++]);
      ASSERT_TRUE(means.Take(s));
    }
    means.Flush();
    ASSERT_FALSE(writer.Finish());
  }
  ASSERT_EQ(rig.Run({"characterise", "tempco", "--from", file.string(), "--json"}), 0)
      << rig.err.str();
  const Json doc = Json::parse(rig.out.str());
  const characterise::Tempco direct = characterise::AnalyseTempco(draw);
  for (const char* name : {"bias_tempco", "bias_tempco_quadratic", "hysteresis", "bias"}) {
    SCOPED_TRACE(name);
    const characterise::Span want = characterise::Of(direct.doc, name);
    const Json& got = doc["figures"][name];
    ASSERT_TRUE(want.valued);
    ASSERT_TRUE(got["value"].is_number());
    EXPECT_NEAR(got["value"].get<double>(), want.value, 0.25 * (want.hi - want.lo) / 2);
  }
  // A repeatability record is not a ramp, and says where it belongs.
  EXPECT_EQ(rig.Run({"characterise", "repeatability", "--from", file.string()}), 1);
  EXPECT_NE(rig.err.str().find("not a repeatability record"), std::string::npos) << rig.err.str();
}

}  // namespace
}  // namespace velk::test
