// characterise scale through the tool: a record of the model's rate table read back, and the
// table command run live on the simulated chip's clock.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "characterise/ModelDraw.h"
#include "characterise/ScaleDraw.h"
#include "cli/CliRig.h"
#include "core/NumberText.h"
#include "measure/CharacteriseRecord.h"

namespace velk::test {
namespace {

using Json = nlohmann::json;

// The draw as a scale run's record: every sample a row, a table line before each plateau when
// `table`, as --out writes them.
void WriteRecord(const std::filesystem::path& file, const characterise::ScaleInput& draw,
                 bool table) {
  AppendLog log;
  ASSERT_TRUE(log.Open(file, "\n"));
  RecordOutput::RowWriter writer(
      [&log](std::string_view rows) -> std::optional<AppendLog::WriteError> {
        if (auto written = log.Write(rows); !written) return written.error();
        return std::nullopt;
      });
  RecordOutput output(&writer, {});
  std::string rates;
  for (double r : draw.commanded) rates += (rates.empty() ? "" : " ") + RecordNumber(r);
  output.Lines(
      "# VELK47120, firmware 1.2, parallel port 0x378, range 80 Dgr/S, Smpl_Prd=0x0C, "
      "Sens_Avg=0x0100, model 47120\n" +
      RecordConditionLines("scale", {{"rates", rates}, {"table", table ? "command" : "none"}}, {},
                           "every sample") +
      RecordColumns("Plateau"));
  size_t w = 0;
  for (size_t i = 0; i < draw.time.size(); ++i) {
    if (table && w < draw.windows.size() && draw.windows[w].time <= draw.time[i])
      output.Lines(TableLine({draw.windows[w].time, draw.commanded[w], draw.windows[w].dwell})),
          ++w;
    output.Lines(RecordRow(output.Utc(draw.time[i]), draw.time[i],
                           FormatGeneral(static_cast<float>(draw.rate[i])), std::nullopt,
                           table ? std::to_string(w) : ""));
  }
  output.Hand();
  ASSERT_FALSE(writer.Finish());
}

// A record of the model's table, with its table lines and without (the plateaus found), gives
// what the analysis gives the draw itself.
TEST(CliCharacteriseScale, FromARecordOfTheModel) {
  SimCharacter character;
  characterise::TableDraw plan;
  plan.tau0 = 0.0254;  // Smpl_Prd 0x0C
  plan.rates = characterise::DefaultRates(plan.fullScale);
  characterise::ScaleInput draw = characterise::DrawTable(character, plan, "white", 8, 0.0);
  draw.white = characterise::RobustWhite(draw.time, draw.rate);
  for (const bool table : {true, false}) {
    SCOPED_TRACE(table ? "table lines" : "found");
    CliRig rig;
    const auto file = rig.dir / "scale.csv";
    WriteRecord(file, draw, table);
    ASSERT_EQ(rig.Run({"characterise", "scale", "--from", file.string(), "--json"}), 0)
        << rig.err.str();
    const Json doc = Json::parse(rig.out.str());
    characterise::ScaleInput in = draw;
    if (!table) in.windows.clear();
    const auto direct = characterise::AnalyseScale(in);
    ASSERT_TRUE(direct) << direct.error();
    for (const char* name : {"scale_factor", "scale_factor_error", "nonlinearity", "asymmetry"}) {
      SCOPED_TRACE(name);
      const characterise::Span want = characterise::Of(direct->doc, name);
      const Json& got = doc["figures"][name];
      ASSERT_TRUE(want.valued);
      ASSERT_TRUE(got["value"].is_number());
      EXPECT_NEAR(got["value"].get<double>(), want.value, 0.25 * (want.hi - want.lo) / 2);
    }
    // The plateaus for the plots, read back as written.
    const auto read = characterise::ReadCharacteriseJson(rig.out.str());
    ASSERT_TRUE(read) << read.error();
    ASSERT_EQ(read->plateaus.size(), 24u);
    for (size_t i = 0; i < 24; ++i) {
      EXPECT_EQ(read->plateaus[i].used, direct->doc.plateaus[i].used);
      // The record keeps a sample to single precision.
      EXPECT_NEAR(read->plateaus[i].residual, direct->doc.plateaus[i].residual, 1e-3);
    }
    EXPECT_NEAR(read->plateaus[21].output, (0.6 + character.Element(76.0, 80.0)) / plan.lsb, 1.0);
    // The table printed, and a count that does not match refused with what was found.
    ASSERT_EQ(rig.Run({"characterise", "scale", "--from", file.string()}), 0);
    EXPECT_NE(rig.out.str().find("scale_factor"), std::string::npos);
    EXPECT_NE(rig.out.str().find("     24"), std::string::npos) << rig.out.str();
    if (!table) {
      EXPECT_EQ(rig.Run({"characterise", "scale", "--from", file.string(), "--rates", "0,10,-10"}),
                1);
      EXPECT_NE(rig.err.str().find("found 24 plateaus of at least 3 s where 3 rates"),
                std::string::npos)
          << rig.err.str();
    }
  }
}

TEST(CliCharacteriseScale, RefusesWhatItCannotRun) {
  CliRig rig;
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {"nothing to run the table by", {"characterise", "scale"}, 1, "needs --table-command"},
      {"both",
       {"characterise", "scale", "--table-command", "true", "--duration", "5"},
       1,
       "give one"},
      {"a simulated table the chip has not",
       {"characterise", "scale", "--table-command", "sim"},
       2,
       "simulated rate table"},
      {"rates that are not",
       {"characterise", "scale", "--rates", "0,x,1"},
       1,
       "--rates takes deg/s"},
      {"a dwell too short to trim",
       {"characterise", "scale", "--dwell", "2"},
       1,
       "--dwell takes seconds from 4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rig.Run(c.args), c.status) << rig.err.str();
    EXPECT_NE(rig.err.str().find(c.says), std::string::npos) << rig.err.str();
  }
}

// The table command runs with each rate before its plateau, and once more with 0 at the end;
// the record holds a table line for each.
TEST(CliCharacteriseScale, TableCommandRunsBeforeEachPlateau) {
  CliRig rig;
  const auto asked = rig.dir / "asked";
  const auto file = rig.dir / "scale.csv";
  const int status =
      rig.Run({"characterise", "scale", "--table-command", "echo >>" + asked.string(), "--rates",
               "0,20,-20", "--dwell", "4", "--out", file.string()});
  // A table that never turns: the run is recorded whatever the figures make of it.
  EXPECT_TRUE(status == 0 || status == 1) << rig.err.str();
  std::ifstream in(asked);
  std::string said((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(said, "0\n20\n-20\n0\n");
  std::ifstream record(file);
  std::string text((std::istreambuf_iterator<char>(record)), {});
  EXPECT_NE(text.find("# table: -20 deg/s at "), std::string::npos);
  EXPECT_NE(text.find("# characterise scale: rates=0 20 -20, dwell_s=4, table=command"),
            std::string::npos);
  // Recorded while nobody turns the table: one plateau where three were asked for.
  EXPECT_EQ(rig.Run({"characterise", "scale", "--duration", "8", "--rates", "0,20,-20"}), 1);
  EXPECT_NE(rig.err.str().find("found 1 plateau of at least 3 s where 3 rates were asked for"),
            std::string::npos)
      << rig.err.str();
  // A table command that fails ends the run, named, as missing hardware.
  EXPECT_EQ(rig.Run({"characterise", "scale", "--table-command", "false", "--rates", "0,20,-20",
                     "--dwell", "4"}),
            2);
  EXPECT_NE(rig.err.str().find("the table command \"false 0\""), std::string::npos)
      << rig.err.str();
}

}  // namespace
}  // namespace velk::test
