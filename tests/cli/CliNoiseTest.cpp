#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/CliRig.h"
#include "sim/SimNoiseProfile.h"

namespace velk::test {
namespace {

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A 100 ms log of a still chip at the default settings, analysed as the bench would: the tool
// reads the file alone, and says that rows 100 ms apart inflate the white noise
// sqrt(100 / 15.624) times.
TEST(CliNoise, ALogIsAnalysedWithoutAFrameAndNamesItsSubsampling) {
  CliRig rig;
  rig.sensor.SetNoiseProfile(SimNoiseProfile::Parse("white").value());
  const std::string log = (rig.dir / "still.csv").string();
  ASSERT_EQ(rig.Run({"log", "--interval", "100", "--count", "900", "--out", log}), 0)
      << rig.err.str();
  const auto traced = std::filesystem::file_size(rig.dir / "trace");
  ASSERT_EQ(rig.Run({"noise", log, "--json"}), 0) << rig.err.str();
  EXPECT_EQ(std::filesystem::file_size(rig.dir / "trace"), traced);

  const auto j = nlohmann::json::parse(rig.out.str());
  EXPECT_EQ(j["schema"], "velk47120-noise/2");
  EXPECT_EQ(j["source"]["layout"], "log");
  EXPECT_EQ(j["chip"]["sens_avg"], 0x0402);
  EXPECT_NEAR(j["chip"]["window_s"].get<double>(), 4 * 2 * 1.953e-3, 1e-6);
  // Rows whose error flag is set are left out.
  const std::vector<std::string> rows = Lines(ReadText(log));
  const auto flagged = std::count_if(rows.begin() + 2, rows.end(), [](const std::string& r) {
    return r.find(",1,1,") != std::string::npos;
  });
  EXPECT_EQ(j["sampling"]["samples"], 900 - flagged);
  EXPECT_NEAR(j["sampling"]["tau0_s"].get<double>(), 0.1, 1e-9);
  bool subsampled = false;
  for (const auto& w : j["warnings"])
    if (w["code"] == "subsampled") {
      subsampled = true;
      EXPECT_NEAR(w["factor"].get<double>(), 2.530, 5e-4);
    }
  EXPECT_TRUE(subsampled);
  for (const char* bad : {"nan", "inf"}) EXPECT_EQ(rig.out.str().find(bad), std::string::npos);

  // The verdict's statuses, from the ARW's own 95 % interval.
  ASSERT_EQ(rig.Run({"noise", log, "--json", "--confidence", "95"}), 0);
  const auto arw = nlohmann::json::parse(rig.out.str())["terms"]["arw"];
  const double value = arw["value"], lo = arw["lo"], hi = arw["hi"];
  ASSERT_LT(lo, value);
  const auto judged = [&](double limit) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", limit);
    return rig.Run({"noise", log, "--limit-arw", text});
  };
  EXPECT_EQ(judged(hi * 1.01), 0);
  EXPECT_NE(rig.out.str().find("Verdict (95 %): pass"), std::string::npos);
  EXPECT_EQ(judged(lo * 0.99), 5);
  EXPECT_EQ(judged(value), 6);

  // The table and the densities are saved; a folder in their place is refused.
  ASSERT_EQ(rig.Run({"noise", log, "--table", (rig.dir / "t.csv").string(), "--kalibr",
                     (rig.dir / "k.yaml").string()}),
            0);
  EXPECT_EQ(Lines(ReadText(rig.dir / "t.csv"))[0],
            "m,tau (s),terms,adev (deg/s),lo (deg/s),hi (deg/s),edf,alpha,in fit");
  EXPECT_NE(ReadText(rig.dir / "k.yaml").find("\nupdate_rate: 10 "), std::string::npos);
  EXPECT_EQ(rig.Run({"noise", log, "--table", rig.dir.Path().string()}), 1);
  EXPECT_NE(rig.err.str().find("is a folder; nothing was saved"), std::string::npos);
}

// An acquisition of a still gyro, 8 s of it: enough for N, with K only as an upper limit.
std::string StillAcquisition(const std::string& comment) {
  std::string text = "# " + comment +
                     ", range 320 Dgr/S, sample period 3.91 mS, averaging 2 (4 taps), "
                     "Smpl_Prd=0x01, Sens_Avg=0x0402, model 47120\n"
                     "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)\n";
  uint32_t seed = 7;
  for (int i = 1; i <= 2048; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int code = static_cast<int>(seed >> 24) % 9 - 4;
    char row[80];
    std::snprintf(row, sizeof row, "%d,%.6f,%.7g,%d,25.1\n", i, i * 0.003906, code * 0.07327526,
                  code);
    text += row;
  }
  return text;
}

// Bytes a Latin-1 bench PC writes, or a name from another system, reach the JSON as U+FFFD
// (the command used to abort), and the name's escaped form keeps every byte.
TEST(CliNoise, NamesAndCommentsThatAreNotUtf8AreReplacedNotFatal) {
  CliRig rig;
  const struct {
    const char* name;
    std::string comment, file, commentShown, fileShown, fileEcho;
  } rows[] = {
      {"latin-1 comment",
       "VELK47120 Pr\xFC"
       "fstand",
       "still.csv",
       "VELK47120 Pr\uFFFD"
       "fstand",
       "still.csv", "still.csv"},
      {"latin-1 name", "VELK47120", "caf\xE9.csv", "VELK47120", "caf\uFFFD.csv", "caf\\xE9.csv"},
      {"line break and 0xFF", "VELK47120", "run\n\xFF.csv", "VELK47120", "run\n\uFFFD.csv",
       "run\\n\\xFF.csv"},
  };
  for (const auto& row : rows) {
    const auto file = rig.dir / row.file;
    std::ofstream(file, std::ios::binary) << StillAcquisition(row.comment);
    ASSERT_EQ(
        rig.Run({"noise", file.string(), "--json", "--kalibr", (rig.dir / "k.yaml").string()}), 0)
        << row.name << ": " << rig.err.str();
    const auto j = nlohmann::json::parse(rig.out.str());
    const auto& source = j["source"];
    EXPECT_EQ(source["comment"].get<std::string>().substr(0, row.commentShown.size()),
              row.commentShown)
        << row.name;
    EXPECT_EQ(source["file"], (rig.dir / row.fileShown).string()) << row.name;
    EXPECT_EQ(source["file_echo"], rig.dir.Path().string() + "/" + row.fileEcho) << row.name;

    // The YAML: four lines whatever the name, and K, which only has an upper limit, written as
    // that limit in SI, marked so, never as 0.
    const std::vector<std::string> yaml = Lines(ReadText(rig.dir / "k.yaml"));
    ASSERT_EQ(yaml.size(), 4u) << row.name;
    EXPECT_NE(yaml[0].find(row.fileEcho + "; two-sided"), std::string::npos) << yaml[0];
    const auto& k = j["terms"]["rrw"];
    ASSERT_TRUE(k["upper_limit"].is_number()) << row.name;
    const double si = k["upper_limit"].get<double>() / 216000 * M_PI / 180;
    EXPECT_NEAR(std::stod(yaml[2].substr(yaml[2].find(':') + 1)), si, si * 1e-8);
    EXPECT_NE(yaml[2].find("# rad/s^2/sqrt(Hz), an upper limit, not a measured value"),
              std::string::npos)
        << yaml[2];
  }
}

// Standard output for a "-" file, and a run cut short by a crash with another appended after
// it, as the bench makes them.
TEST(CliNoise, OutputToStandardOutputAndCutRunsAreTakenAsAsked) {
  CliRig rig;
  rig.sensor.SetNoiseProfile(SimNoiseProfile::Parse("white").value());
  const std::string log = (rig.dir / "runs.csv").string();
  ASSERT_EQ(rig.Run({"log", "--interval", "100", "--count", "300", "--out", log}), 0);
  std::ofstream(log, std::ios::app) << "2026-12-08T01:22:43.706Z,30.100000,5.0";
  ASSERT_EQ(rig.Run({"log", "--interval", "100", "--count", "300", "--out", log}), 0);
  const struct {
    std::vector<std::string> args;
    const char* out;  // at the start of standard output
    const char* err;  // in standard error
  } rows[] = {
      {{"noise", log, "--run", "1"}, "Source     ", ""},
      {{"noise", log, "--table", "-"}, "m,tau (s),terms,adev (deg/s)", "Sampling   tau0 0.1 s"},
      {{"noise", log, "--kalibr", "-", "--json"}, "", "\"schema\": \"velk47120-noise/2\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.back());
    ASSERT_EQ(rig.Run(row.args), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str().rfind(row.out, 0), 0u) << rig.out.str();
    EXPECT_NE(rig.err.str().find(row.err), std::string::npos) << rig.err.str();
  }
  EXPECT_NE(rig.out.str().find("\nupdate_rate: 10 "), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("-"));
  ASSERT_EQ(rig.Run({"noise", log, "--run", "1"}), 0);
  EXPECT_NE(rig.out.str().find("Note       line 303, the run's last, holds 3 of 10 fields: left "
                               "out as incomplete"),
            std::string::npos)
      << rig.out.str();
}

TEST(CliNoise, BadInputIsAnsweredWithItsReason) {
  CliRig rig;
  const std::string missing = (rig.dir / "none.csv").string();
  const std::string record = (rig.dir / "r.csv").string(), link = (rig.dir / "l.csv").string();
  std::ofstream(record) << "kept";
  std::filesystem::create_symlink(record, link);
  const struct {
    std::vector<std::string> args;
    std::string says;
  } rows[] = {
      {{"noise", missing}, "none.csv"},
      {{"noise", missing, "--confidence", "90"}, "--confidence takes 68.3 or 95, not \"90\""},
      {{"noise", missing, "--tau", "hourly"}, "--tau takes octave, decade or a number"},
      {{"noise", missing, "--limit-bi", "-3"}, "--limit-bi takes a limit in deg/h above 0"},
      {{"noise", missing, "--count", "3"}, "--count does not apply to noise"},
      {{"noise"}, "noise needs a FILE to read or --duration SECONDS to acquire"},
      {{"noise", missing, "--duration", "60"}, "--duration acquires one from the chip, without"},
      {{"noise", missing, "--out", "x.csv"}, "--out saves the samples of an acquisition"},
      {{"noise", missing, "--reconnect-wait", "5"}, "--reconnect-wait waits for the USB card of"},
      {{"noise", "--duration", "60", "--out", "-"}, "--out - is refused: the report goes to"},
      {{"noise", "--duration", "60", "--run", "2"}, "an acquisition is one run"},
      {{"noise", missing, "-"}, "noise takes fewer arguments"},
      // Bounds are said with the refusal.
      {{"noise", "--duration", "1e12"}, "--duration takes a number of seconds above 0, up to 1e9"},
      {{"noise", missing, "--tau0", "2e12"}, "--tau0 takes seconds above 0, up to 1e12"},
      {{"noise", missing, "--skip", "-1"}, "--skip takes seconds from 0 to 1e12"},
      {{"noise", missing, "--run", "0"}, "--run takes a run number from 1 to 1000000"},
      {{"noise", missing, "--limit-arw", "1e999"}, "--limit-arw takes a limit in deg/sqrt(h)"},
      // A file written over the record read or the samples saved.
      {{"noise", record, "--table", record}, "--table " + record + " is the record read ("},
      {{"noise", link, "--kalibr", record}, "--kalibr " + record + " is the record read ("},
      {{"noise", missing, "--table", missing}, "is the record read"},
      {{"noise", "--duration", "3", "--out", record, "--table", link}, "is the file --out"},
      {{"noise", "--duration", "3", "--out", missing, "--kalibr", missing}, "is the file --out"},
      {{"noise", missing, "--table", link, "--kalibr", record}, "are one file: name two"},
      {{"noise", missing, "--table", "-", "--kalibr", "-"}, "both ask for standard output"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(rig.Run(row.args), 1) << row.says;
    EXPECT_NE(rig.err.str().find(row.says), std::string::npos) << rig.err.str();
    EXPECT_EQ(rig.out.str(), "");
  }
  EXPECT_EQ(std::filesystem::file_size(rig.dir / "trace"), 0u);  // not a frame, even to find it
  EXPECT_EQ(ReadText(record), "kept");
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace velk::test
