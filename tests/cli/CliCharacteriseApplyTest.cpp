// characterise apply: what it writes to the chip, what it refuses, and the bias it takes out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>

#include "characterise/Characterisation.h"
#include "cli/CliRig.h"
#include "cli/Setup.h"
#include "registers/Reg47120.h"
#include "sim/SimCharacter.h"
#include "sim/SimMotionScript.h"
#include "sim/SimScales.h"
#include "sim/SimSignals.h"

namespace velk::test {
namespace {

using characterise::ChipWords;

constexpr int kGyroOfst = 0x14;
constexpr int kGyroScale = 0x16;

std::string ResultJson(std::vector<characterise::Figure> figures,
                       std::optional<ChipWords> words = ChipWords{0, 0x800}) {
  characterise::Characterisation doc;
  doc.test = "tempco";
  doc.figures = std::move(figures);
  doc.words = words;
  return characterise::CharacteriseJson(doc);
}

std::string ResultJson(double bias, std::optional<ChipWords> words) {
  return ResultJson({characterise::Valued("bias", "deg/s", bias, bias - 0.01, bias + 0.01)}, words);
}

void Save(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

std::string SetupWith(int product, const char* ofst, const char* scale) {
  return "Product = " + std::to_string(product) + "\nGyro_Ofst = " + ofst +
         "\nGyro_Scale = " + scale +
         "\nAlm_Mag1 = 0\nAlm_Mag2 = 0\nAlm_Smp1 = 0\nAlm_Smp2 = 0\nAlm_Ctrl = 0\nAux_DAC = 0\n"
         "Gpio_Ctrl = 0\nMsc_Ctrl = 0\nSmpl_Prd = 1\nSens_Avg = 0x400\n";
}

// The write frames as registers: a pair to one register's two bytes, high byte first.
std::vector<std::string> Registers(const std::vector<uint16_t>& writes) {
  std::vector<std::string> named;
  for (size_t i = 0; i + 1 < writes.size(); i += 2) {
    const int address = writes[i + 1] >> 8 & 0x7F;
    const char* name = address == kGyroOfst    ? "Gyro_Ofst"
                       : address == kGyroScale ? "Gyro_Scale"
                       : address == 0x34       ? "Msc_Ctrl"
                       : address == 0x3E       ? "Command"
                                               : "?";
    char text[32];
    std::snprintf(text, sizeof text, "%s=0x%02X%02X", name, writes[i] & 0xFF, writes[i + 1] & 0xFF);
    named.push_back(text);
  }
  return named;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// From Gyro_Ofst 0 and Gyro_Scale 0x800: 100 counts either side, then both self-tests at the
// old Gyro_Scale and one 10 % above, and the old words back.
const std::vector<std::string> kMeasured = {
    "Gyro_Ofst=0x0064", "Gyro_Ofst=0xFF9C", "Gyro_Ofst=0x0064",  "Gyro_Ofst=0x0000",
    "Msc_Ctrl=0x0100",  "Msc_Ctrl=0x0200",  "Msc_Ctrl=0x0100",   "Gyro_Scale=0x08CD",
    "Msc_Ctrl=0x0200",  "Msc_Ctrl=0x0100",  "Gyro_Scale=0x0800", "Msc_Ctrl=0x0000"};
// The simulator's bias is 0.6 deg/s, 32.75 counts of 0.0183 deg/s.
const std::vector<std::string> kNewWords = {"Gyro_Ofst=0xFFDF"};
// A 1 % scale error is 20.20 counts of Gyro_Scale at 0x800 (the gain / 1.01, 0.049 % a count).
// A bias of 60.8 counts passes through the gain, so 20 counts lower it is 60.2, not 61.
const std::vector<std::string> kNewScale = {"Gyro_Scale=0x07EC"};
const std::vector<std::string> kNewBoth = {"Gyro_Ofst=0xFFC4", "Gyro_Scale=0x07EC"};

characterise::Figure ScaleError(double percent) {
  return characterise::Valued("scale_factor_error", "%", percent, percent - 0.05, percent + 0.05);
}
const std::vector<std::string> kFlash = {"Command=0x0008"};

struct ApplyRig : CliRig {
  explicit ApplyRig(int product = 47120) : CliRig(product) {
    sensor.SetFixedRate(0.0);
    Save(dir / "r.json", ResultJson(kSimBias, ChipWords{0, 0x800}));
    Save(dir / "s.json", ResultJson({ScaleError(1.0)}));
    Save(dir / "b.json",
         ResultJson({characterise::Valued("bias", "deg/s", 1.111, 1.101, 1.121), ScaleError(1.0)}));
    Save(dir / "undo.setup", SetupWith(product, "0xFFF0", "0x0790"));
  }
  int Apply(std::vector<std::string> args) {
    for (std::string& a : args)
      if (a.ends_with(".json") || a.ends_with(".setup")) a = (dir / a).string();
    args.insert(args.begin(), {"characterise", "apply"});
    return Run(args);
  }
};

TEST(CliCharacteriseApply, WritesOnlyWhatItIsAskedTo) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> writes;
  } cases[] = {
      {"measured, the old words back", {"r.json"}, kMeasured},
      {"--yes: the new words", {"r.json", "--yes"}, Concat(kMeasured, kNewWords)},
      {"--flash: then the flash",
       {"r.json", "--yes", "--flash"},
       Concat(Concat(kMeasured, kNewWords), kFlash)},
      {"scale only: Gyro_Scale", {"s.json", "--yes"}, Concat(kMeasured, kNewScale)},
      {"bias and scale: both", {"b.json", "--yes"}, Concat(kMeasured, kNewBoth)},
      {"--undo-file saves first",
       {"r.json", "--yes", "--undo-file", "u.setup"},
       Concat(kMeasured, kNewWords)},
      {"--undo: the two words",
       {"--undo", "undo.setup"},
       {"Gyro_Ofst=0xFFF0", "Gyro_Scale=0x0790"}},
      {"--undo --flash",
       {"--undo", "undo.setup", "--flash"},
       {"Gyro_Ofst=0xFFF0", "Gyro_Scale=0x0790", "Command=0x0008"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ApplyRig rig;
    ASSERT_EQ(rig.Apply(c.args), 0) << rig.err.str();
    EXPECT_EQ(Registers(rig.Writes()), c.writes) << rig.out.str();
  }
  // The undo file is a whole setup of the words before any write.
  ApplyRig rig;
  ASSERT_EQ(rig.Apply({"r.json", "--undo-file", "u.setup"}), 0) << rig.err.str();
  Reg47120 table;
  table.BuildRegisterTable();
  const auto undo = ReadSetupFile(rig.dir / "u.setup", table);
  ASSERT_TRUE(undo) << undo.error();
  EXPECT_EQ(undo->values[0], 0);
  EXPECT_EQ(undo->values[1], 0x800);
}

TEST(CliCharacteriseApply, RefusesWithTheFix) {
  const struct {
    const char* name;
    std::string json;
    std::vector<std::string> args;
    const char* says;
    std::vector<std::string> writes;
  } cases[] = {
      {"Gyro_Ofst differs",
       ResultJson(0.6, ChipWords{0xFFFB, 0x800}),
       {"r.json", "--yes"},
       "the chip's Gyro_Ofst 0x0000 and Gyro_Scale 0x0800 are not",
       {}},
      {"Gyro_Scale differs",
       ResultJson(0.6, ChipWords{0, 0x801}),
       {"r.json", "--yes"},
       "the chip's Gyro_Ofst 0x0000 and Gyro_Scale 0x0800 are not",
       {}},
      {"out of reach",
       ResultJson(40.0, ChipWords{0, 0x800}),
       {"r.json", "--yes"},
       "the bias needs Gyro_Ofst -21",
       kMeasured},
      {"neither bias nor scale",
       ResultJson({characterise::Valued("bias_tempco", "deg/s/degC", 0.01, 0.0, 0.02)}),
       {"r.json"},
       "holds no bias, scale_factor_error or relative_scale_factor figure: characterise tempco "
       "measures the bias, characterise scale or turn the scale error",
       {}},
      {"scale out of reach",
       ResultJson({ScaleError(-60.0)}),
       {"r.json", "--yes"},
       "the scale error needs Gyro_Scale 5",
       kMeasured},
      {"not JSON", "{\"schema\":", {"r.json"}, "is not JSON", {}},
      {"--flash alone",
       ResultJson(0.6, ChipWords{0, 0x800}),
       {"r.json", "--flash"},
       "give --yes too",
       {}},
      {"undo file of the other model",
       "",
       {"--undo", "u.setup"},
       "is for the VELK47121, but the chip is a VELK47120; nothing was written",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ApplyRig rig;
    if (!c.json.empty()) Save(rig.dir / "r.json", c.json);
    Save(rig.dir / "u.setup", SetupWith(47121, "0", "0x800"));
    EXPECT_EQ(rig.Apply(c.args), 1);
    EXPECT_NE(rig.err.str().find(c.says), std::string::npos) << rig.err.str();
    EXPECT_EQ(Registers(rig.Writes()), c.writes);
  }
}

// Under --simulate: the bias a characterisation measured with the chip's words, taken out to
// within the measurement's error (half a count for the rounding, and the count's own error).
TEST(CliCharacteriseApply, TakesOutTheBias) {
  const struct {
    int product;
    int ofst, scale;
  } cases[] = {{47120, 0, 0x800}, {47120, 40, 0x700}, {47121, -300, 0x900}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.product) + " " + std::to_string(c.ofst));
    ApplyRig rig(c.product);
    const double count = SimGyroFactor(0x100, c.product);
    const auto bias = [&] {
      const auto ofst = static_cast<int16_t>(rig.sensor.Word(kGyroOfst) << 4) >> 4;
      return rig.sensor.Bias() * (rig.sensor.Word(kGyroScale) & 0xFFF) / 2048.0 + ofst * count;
    };
    ASSERT_EQ(rig.Run({"reg", "set", "Gyro_Ofst", std::to_string(c.ofst & 0xFFFF)}), 0);
    ASSERT_EQ(rig.Run({"reg", "set", "Gyro_Scale", std::to_string(c.scale)}), 0);
    Save(rig.dir / "r.json", ResultJson(bias(), ChipWords{static_cast<uint16_t>(c.ofst & 0xFFFF),
                                                          static_cast<uint16_t>(c.scale)}));
    ASSERT_EQ(rig.Apply({"r.json", "--yes"}), 0) << rig.err.str();
    std::smatch se;
    const std::string out = rig.out.str();
    ASSERT_TRUE(std::regex_search(out, se, std::regex(R"(counts \(\+- ([0-9.]+))"))) << out;
    EXPECT_LE(std::fabs(bias()), (0.5 + 3 * std::stod(se[1])) * count) << out;
    EXPECT_EQ(rig.sensor.Word(kGyroScale), c.scale);
  }
}

// Under --simulate with a 1 % scale-factor error in the element: a result holding the truth
// brings the gain to nominal within half a Gyro_Scale count and the count's own error, and a
// bias applied with it still comes out at the new gain.
TEST(CliCharacteriseApply, TakesOutTheScaleError) {
  const struct {
    const char* name;
    int ofst, scale;
    bool withBias;
  } cases[] = {{"scale only", 20, 0x800, false}, {"bias and scale", -40, 0x780, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ApplyRig rig;
    rig.sensor.SetCharacter(SimCharacter::Parse("sf=0.01,k3=0,asym=0").value());
    const double count = SimGyroFactor(0x100, 47120);
    const auto gain = [&] { return 1.01 * (rig.sensor.Word(kGyroScale) & 0xFFF) / 2048.0; };
    const auto bias = [&] {
      const auto ofst = static_cast<int16_t>(rig.sensor.Word(kGyroOfst) << 4) >> 4;
      return rig.sensor.Bias() * (rig.sensor.Word(kGyroScale) & 0xFFF) / 2048.0 + ofst * count;
    };
    ASSERT_EQ(rig.Run({"reg", "set", "Gyro_Ofst", std::to_string(c.ofst & 0xFFFF)}), 0);
    ASSERT_EQ(rig.Run({"reg", "set", "Gyro_Scale", std::to_string(c.scale)}), 0);
    // The truth's gain error at the chip's words: (1 + sf) x Gyro_Scale / 2048 - 1.
    std::vector<characterise::Figure> figures = {ScaleError((gain() - 1.0) * 100.0)};
    if (c.withBias)
      figures.push_back(
          characterise::Valued("bias", "deg/s", bias(), bias() - 0.01, bias() + 0.01));
    const ChipWords words{static_cast<uint16_t>(c.ofst & 0xFFFF), static_cast<uint16_t>(c.scale)};
    Save(rig.dir / "r.json", ResultJson(figures, words));
    ASSERT_EQ(rig.Apply({"r.json", "--yes"}), 0) << rig.err.str();
    const std::string out = rig.out.str();
    std::smatch se;
    const std::regex counts(R"(counts \(\+- ([0-9.]+))");
    ASSERT_TRUE(std::regex_search(out, se, counts)) << out;
    // One Gyro_Scale count moves the gain by 1/2048 of the unit gain x 1.01.
    EXPECT_LE(std::fabs(gain() - 1.0), (0.5 + 3 * std::stod(se[1])) * 1.01 / 2048.0) << out;
    if (c.withBias) {
      const std::string rest = se.suffix();
      ASSERT_TRUE(std::regex_search(rest, se, counts)) << out;
      EXPECT_LE(std::fabs(bias()), (0.5 + 3 * std::stod(se[1])) * count) << out;
    } else {
      EXPECT_EQ(rig.sensor.Word(kGyroOfst), c.ofst & 0xFFFF) << out;
    }
  }
}

// The whole bench loop on the simulator: a turn by the simulated hand measures the 1 % scale
// error, apply takes it out to within the turn's own error and the count's.
TEST(CliCharacteriseApply, TakesOutWhatATurnMeasured) {
  ApplyRig rig;
  rig.sensor.SetCharacter(SimCharacter::Parse("sf=0.01,k3=0,asym=0").value());
  rig.context.simulatedTurn = [&](double turns) {
    rig.sensor.HandTurn(SimTurn{.turns = std::fabs(turns), .ccw = turns > 0});
  };
  ASSERT_EQ(rig.Run({"characterise", "turn", "--stop-error", "0.02", "--json"}), 0)
      << rig.err.str();
  const auto turn = characterise::ReadCharacteriseJson(rig.out.str());
  ASSERT_TRUE(turn) << turn.error();
  const characterise::Figure* f = turn->Find("relative_scale_factor");
  ASSERT_TRUE(f != nullptr && f->value && f->lo && f->hi) << rig.out.str();
  Save(rig.dir / "r.json", rig.out.str());
  rig.out.str("");
  ASSERT_EQ(rig.Apply({"r.json", "--yes"}), 0) << rig.err.str();
  std::smatch se;
  const std::string out = rig.out.str();
  ASSERT_TRUE(std::regex_search(out, se, std::regex(R"(counts \(\+- ([0-9.]+))"))) << out;
  const double gain = 1.01 * (rig.sensor.Word(kGyroScale) & 0xFFF) / 2048.0;
  const double turnSe = (*f->hi - *f->lo) / 2.0 / 1.959964;
  EXPECT_LE(std::fabs(gain - 1.0), 3 * turnSe + (0.5 + 3 * std::stod(se[1])) * 1.01 / 2048.0)
      << out;
  EXPECT_LT(rig.sensor.Word(kGyroScale), 0x800) << "the 1 % error not taken out";
}

}  // namespace
}  // namespace velk::test
