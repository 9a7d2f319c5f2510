// characterise report on the command line: its files read without a chip, the statuses of its
// verdicts, and the page written where asked and nowhere else.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "characterise/ReportSamples.h"
#include "cli/CliRig.h"

namespace velk::test {
namespace {

struct ReportRig : CliRig {
  ReportRig() {
    std::ofstream(dir / "t.json") << characterise::CharacteriseJson(characterise::TempcoSample());
    std::ofstream(dir / "n.json") << characterise::NoiseJsonSample();
  }
  std::string File(const char* name) const { return (dir / name).string(); }
};

TEST(CliCharacteriseReport, StatusFollowsTheVerdicts) {
  struct Case {
    const char* name;
    std::vector<std::string> limits;
    int status;
  };
  const Case cases[] = {
      {"no limits", {}, 0},
      {"within", {"--limit-bias-tempco", "0.02"}, 0},
      {"beyond", {"--limit-bias-tempco", "0.005"}, 5},
      {"the noise command's own option names the arw figure", {"--limit-arw", "0.5"}, 5},
      {"an upper limit beyond", {"--limit-bias-instability", "10"}, 6},
      {"a null figure", {"--limit-sensor-lag", "100"}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReportRig rig;
    std::vector<std::string> args = {"characterise", "report", rig.File("t.json"),
                                     rig.File("n.json")};
    args.insert(args.end(), c.limits.begin(), c.limits.end());
    EXPECT_EQ(rig.Run(args), c.status) << rig.err.str();
    EXPECT_NE(rig.out.str().find("bias_tempco"), std::string::npos);
    EXPECT_TRUE(rig.Writes().empty()) << "no chip is needed";
  }
  // A limits file, and --limit-NAME over it.
  ReportRig rig;
  std::ofstream(rig.dir / "limits") << "bias_tempco = 0.005\narw = 1\n";
  EXPECT_EQ(rig.Run({"characterise", "report", rig.File("t.json"), rig.File("n.json"), "--limits",
                     rig.File("limits")}),
            5);
  EXPECT_EQ(rig.Run({"characterise", "report", rig.File("t.json"), "--limits", rig.File("limits"),
                     "--limit-bias-tempco", "1"}),
            0)
      << rig.err.str();
}

TEST(CliCharacteriseReport, WritesThePageAndTheJson) {
  ReportRig rig;
  const std::string page = rig.File("report.html");
  ASSERT_EQ(rig.Run({"characterise", "report", rig.File("t.json"), rig.File("n.json"), "--json",
                     "--html", page, "--limit-arw", "1"}),
            0)
      << rig.err.str();
  const auto j = nlohmann::json::parse(rig.out.str());
  EXPECT_EQ(j["schema"], "velk47120-report/1");
  EXPECT_EQ(j["inputs"].size(), 2u);
  const std::string html = ReadBytes(page);
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find(j["inputs"][0]["sha256"].get<std::string>()), std::string::npos);

  // "-" gives standard output to the page; the table goes to stderr.
  ASSERT_EQ(rig.Run({"characterise", "report", rig.File("t.json"), "--html", "-"}), 0);
  EXPECT_EQ(rig.out.str().rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(rig.err.str().find("bias_tempco"), std::string::npos);
}

TEST(CliCharacteriseReport, RefusesWhatItCannotUseAndSaysTheFix) {
  ReportRig rig;
  std::ofstream(rig.dir / "run.csv") << "time,rate\n0,1\n";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {"a record, not its JSON",
       {rig.File("t.json"), rig.File("run.csv")},
       "run.csv is not JSON: give the JSON that characterise (--json) or noise (--json) wrote"},
      {"a file that is not there", {rig.File("gone.json")}, "cannot read"},
      {"the page over an input",
       {rig.File("t.json"), "--html", rig.File("t.json")},
       "would write over an input"},
      {"a page in a folder that is not there",
       {rig.File("t.json"), "--html", rig.File("no/such/r.html")},
       "r.html"},
  };
  const std::string before = ReadBytes(rig.dir / "t.json");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"characterise", "report"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(rig.Run(args), 1);
    EXPECT_NE(rig.err.str().find(c.says), std::string::npos) << rig.err.str();
  }
  EXPECT_EQ(ReadBytes(rig.dir / "t.json"), before);
}

}  // namespace
}  // namespace velk::test
