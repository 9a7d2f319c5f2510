#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "noise/Results.h"

namespace velk::noise {
namespace {

// The window saves this same text: it must never throw on bytes that are not UTF-8.
TEST(ResultJson, ReplacesBytesThatAreNotUtf8AndKeepsTheNameEscaped) {
  Analysis a;
  a.file =
      "/lab/Pr\xFC"
      "fstand\n\xFF.csv";
  a.comment = "VELK47120 caf\xE9";
  const auto j = nlohmann::json::parse(ResultJson(a, "1.0"));
  EXPECT_EQ(j["source"]["file"],
            "/lab/Pr\uFFFD"
            "fstand\n\uFFFD.csv");
  EXPECT_EQ(j["source"]["file_echo"],
            "/lab/Pr\\xFC"
            "fstand\\n\\xFF.csv");
  EXPECT_EQ(j["source"]["comment"], "VELK47120 caf\uFFFD");
}

// Every row left out is counted by its cause in the report and the JSON, and the notes reach
// the JSON too; with none left out the report has no line for them.
TEST(Results, CountRowsLeftOutByCause) {
  const struct {
    LeftOutRows rows;
    const char* line;
  } cases[] = {
      {{}, nullptr},
      {{.errorFlag = 2, .rangeLimit = 1, .incomplete = 1},
       "Left out   4 rows: 2 flagged as errors, 1 at the range's limit, 1 cut short\n"},
      {{.errorFlag = 1}, "Left out   1 row: 1 flagged as an error\n"},
  };
  for (const auto& c : cases) {
    Analysis a;
    a.leftOut = c.rows;
    a.integerCounts = true;
    a.notes = {"the last line (10) has no line end: left out as incomplete"};
    const std::string report = ReportText(a);
    SCOPED_TRACE(report);
    if (c.line == nullptr)
      EXPECT_EQ(report.find("Left out"), std::string::npos);
    else
      EXPECT_NE(report.find(std::string("whole counts\n") + c.line), std::string::npos);
    const auto j = nlohmann::json::parse(ResultJson(a, "1.0"));
    EXPECT_EQ(j["sampling"]["left_out"], (nlohmann::json{{"error_flag", c.rows.errorFlag},
                                                         {"range_limit", c.rows.rangeLimit},
                                                         {"incomplete", c.rows.incomplete}}));
    EXPECT_EQ(j["notes"], nlohmann::json::array({a.notes[0]}));
  }
}

TEST(KalibrYaml, WritesAnUpperLimitAsSuchAndNeverAZeroForIt) {
  constexpr double kRadian = 3.14159265358979323846 / 180;
  const struct {
    const char* name;
    bool allowed, detected;
    std::optional<double> siValue, siUpperLimit;
    std::string line;
  } rows[] = {
      {"measured", true, true, 40.0 / 216000 * kRadian, std::nullopt,
       "gyroscope_random_walk: 3.23209121e-06   # rad/s^2/sqrt(Hz)"},
      {"upper limit only", true, false, std::nullopt, 1560.0 / 216000 * kRadian,
       "gyroscope_random_walk: 0.000126051557   # rad/s^2/sqrt(Hz), an upper limit, not a "
       "measured value"},
      {"nothing estimated", true, false, std::nullopt, std::nullopt,
       "gyroscope_random_walk: null   # rad/s^2/sqrt(Hz): not measured, and the record gives no "
       "upper limit"},
      {"not fitted", false, false, std::nullopt, std::nullopt,
       "gyroscope_random_walk: null   # rad/s^2/sqrt(Hz): not fitted (--terms leaves it out)"},
  };
  for (const auto& row : rows) {
    Analysis a;
    a.file = "run\r\nB\x85.csv";
    a.tau0 = 0.01;
    TermReport& k = a.terms[kK];
    k.allowed = row.allowed;
    k.detected = row.detected;
    k.siValue = row.siValue;
    k.siUpperLimit = row.siUpperLimit;
    const std::string yaml = KalibrYaml(a);
    EXPECT_EQ(yaml.rfind("# gyro noise of run\\r\\nB\\x85.csv; two-sided", 0), 0u) << yaml;
    EXPECT_NE(yaml.find("\n" + row.line + "\n"), std::string::npos) << row.name << "\n" << yaml;
    EXPECT_NE(yaml.find("\nupdate_rate: 100   # Hz\n"), std::string::npos) << yaml;
  }
}

}  // namespace
}  // namespace velk::noise
