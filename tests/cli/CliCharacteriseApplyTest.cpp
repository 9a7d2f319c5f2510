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
const std::vector<std::string> kNewWords = {"Gyro_Ofst=0xFFDF", "Gyro_Scale=0x0800"};
const std::vector<std::string> kFlash = {"Command=0x0008"};

struct ApplyRig : CliRig {
  explicit ApplyRig(int product = 47120) : CliRig(product) {
    sensor.SetFixedRate(0.0);
    Save(dir / "r.json", ResultJson(kSimBias, ChipWords{0, 0x800}));
    Save(dir / "undo.setup", SetupWith(product, "0xFFF0", "0x0790"));
  }
  int Apply(std::vector<std::string> args) {
    for (std::string& a : args)
      if (a == "r.json" || a == "undo.setup" || a == "u.setup") a = (dir / a).string();
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
    EXPECT_EQ(Registers(rig.Writes()), c.writes);
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
      {"no bias figure",
       ResultJson({characterise::Valued("bias_tempco", "deg/s/degC", 0.01, 0.0, 0.02)}),
       {"r.json"},
       "holds no bias figure: characterise tempco measures one",
       {}},
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

}  // namespace
}  // namespace velk::test
