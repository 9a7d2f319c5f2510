// The report: its inputs read, its figures judged, and a page that carries nothing from outside
// and stays well formed whatever the files hold.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "characterise/ModelDraw.h"
#include "characterise/Report.h"
#include "characterise/ReportBench.h"
#include "characterise/ReportSamples.h"
#include "characterise/Svg.h"

namespace velk::characterise {
namespace {

using noise::Verdict;

bool NameChar(char c, bool first) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':' ||
         (!first && (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.'));
}

// Why the text is not one well-formed XML element (empty when it is): the tags nest and close,
// attributes are quoted and not repeated, every '&' starts a known entity, no raw '<' in text
// or attribute values, and no byte XML 1.0 forbids.
std::string XmlProblem(std::string_view x) {
  std::vector<std::string> open;
  int roots = 0;
  const auto entity = [&](size_t& i) {
    const size_t end = x.find(';', i);
    if (end == std::string_view::npos) return false;
    const std::string_view name = x.substr(i + 1, end - i - 1);
    const bool ok = name == "amp" || name == "lt" || name == "gt" || name == "quot" ||
                    name == "apos" ||
                    (name.size() > 1 && name[0] == '#' &&
                     name.find_first_not_of("0123456789", 1) == std::string_view::npos) ||
                    (name.size() > 2 && name.substr(0, 2) == "#x" &&
                     name.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string_view::npos);
    i = end;
    return ok;
  };
  for (size_t i = 0; i < x.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(x[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return "a control byte";
    if (c == '&') {
      if (!entity(i)) return "a bare & at " + std::to_string(i);
      continue;
    }
    if (c != '<') {
      if (open.empty() && !std::isspace(c)) return "text outside the element";
      continue;
    }
    const bool closing = i + 1 < x.size() && x[i + 1] == '/';
    size_t p = i + (closing ? 2 : 1);
    const size_t nameStart = p;
    while (p < x.size() && NameChar(x[p], p == nameStart)) ++p;
    const std::string name(x.substr(nameStart, p - nameStart));
    if (name.empty()) return "a '<' that starts no tag at " + std::to_string(i);
    std::vector<std::string> attributes;
    while (p < x.size() && x[p] != '>' && x[p] != '/') {
      if (!std::isspace(static_cast<unsigned char>(x[p]))) return "no space before an attribute";
      while (p < x.size() && std::isspace(static_cast<unsigned char>(x[p]))) ++p;
      if (p < x.size() && (x[p] == '>' || x[p] == '/')) break;
      const size_t a = p;
      while (p < x.size() && NameChar(x[p], p == a)) ++p;
      const std::string attribute(x.substr(a, p - a));
      if (attribute.empty() || p + 1 >= x.size() || x[p] != '=' ||
          (x[p + 1] != '"' && x[p + 1] != '\''))
        return "an attribute without a quoted value in <" + name + ">";
      if (std::find(attributes.begin(), attributes.end(), attribute) != attributes.end())
        return "attribute " + attribute + " twice";
      attributes.push_back(attribute);
      const char quote = x[p + 1];
      size_t v = p + 2;
      for (; v < x.size() && x[v] != quote; ++v) {
        if (x[v] == '<') return "a '<' in an attribute of <" + name + ">";
        if (x[v] == '&' && !entity(v)) return "a bare & in an attribute";
      }
      if (v >= x.size()) return "an unclosed attribute";
      p = v + 1;
    }
    const bool empty = p < x.size() && x[p] == '/';
    if (empty) ++p;
    if (p >= x.size() || x[p] != '>') return "an unclosed tag <" + name + ">";
    if (closing) {
      if (open.empty() || open.back() != name) return "</" + name + "> closes nothing open";
      open.pop_back();
    } else {
      if (open.empty() && ++roots > 1) return "more than one root";
      if (!empty) open.push_back(name);
    }
    i = p;
  }
  return open.empty() ? "" : "<" + open.back() + "> is never closed";
}

std::vector<std::string> SvgElements(const std::string& html) {
  std::vector<std::string> svgs;
  for (size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1)) {
    const size_t end = html.find("</svg>", at);
    if (end == std::string::npos) break;
    svgs.push_back(html.substr(at, end + 6 - at));
  }
  return svgs;
}

ReportInput Input(const std::string& file, const std::string& text) {
  auto read = ReadReportInput(file, text);
  EXPECT_TRUE(read) << read.error();
  return read ? *std::move(read) : ReportInput{};
}

// What must not be in a page that is read off line and may be sent on: nothing fetched.
void ExpectSelfContained(const std::string& html) {
  for (const char* outside : {"http:", "https:", "src=", "<link", "<script", "url(", "@import"})
    EXPECT_EQ(html.find(outside), std::string::npos) << outside;
  EXPECT_NE(html.find("@page { size: A4;"), std::string::npos);
}

TEST(ReportChecker, CatchesWhatIsNotWellFormed) {
  for (const char* good : {"<svg a=\"1\"><g/><text>x &amp; &#956;</text></svg>", "<svg/>"})
    EXPECT_EQ(XmlProblem(good), "") << good;
  for (const char* bad :
       {"<svg><g></svg>", "<svg a=1></svg>", "<svg>a & b</svg>", "<svg><text>a < b</text></svg>",
        "<svg a=\"1\" a=\"2\"/>", "<svg></svg><svg></svg>", "<svg>\x01</svg>"})
    EXPECT_NE(XmlProblem(bad), "") << bad;
}

// A whole page from records drawn from the simulator's model and analysed, and a noise run.
TEST(ReportHtml, ModelRecordsMakeASelfContainedPageWithItsPlots) {
  SimCharacter c;
  c.lag = 0.0;
  const SimTempPath path = SimTempPath::Parse("ramp:0..50@1,soak=600").value().value();
  Report report;
  ReportInput tempco = Input(
      "tempco.json", CharacteriseJson(AnalyseTempco(DrawTempco(c, path, "white", 7, 0.5)).doc));
  RepeatPlan plan;
  plan.cycles = 5;
  SimCharacter wake;
  wake.wake = 0.005;
  ReportInput repeat =
      Input("repeat.json",
            CharacteriseJson(
                AnalyseRepeatability(DrawRepeatability(wake, SimTempPath(), "white", 3, plan).input)
                    .doc));
  report.inputs = {tempco, repeat, Input("noise.json", NoiseJsonSample())};
  EXPECT_EQ(JudgeReport(report, {{"bias_tempco", 1.0}, {"arw", 0.3}}), Verdict::Fail);
  const std::string html = ReportHtml(report, "3.0.0", "2026-12-08 12:00 UTC");
  ExpectSelfContained(html);
  const std::vector<std::string> svgs = SvgElements(html);
  ASSERT_EQ(svgs.size(), 3u) << "the Allan deviation, the bias against temperature, the cycles";
  for (const std::string& svg : svgs) EXPECT_EQ(XmlProblem(svg), "") << svg.substr(0, 200);
  for (const char* shown :
       {"bias_tempco", "wake_repeatability", "arw", "bias_instability", "rate_random_walk",
        "not detected; 95 % upper limit 19.80 deg/h", ">pass<", ">fail<", "47120", "320 deg/s",
        "3.906 ms", "3.0.0", "2026-12-08 12:00 UTC", report.inputs[0].sha256.c_str(),
        "Bias against temperature", "Bias per cycle", "Allan deviation"})
    EXPECT_NE(html.find(shown), std::string::npos) << shown;
  EXPECT_EQ(report.inputs[0].sha256.size(), 64u);
}

TEST(ReportHtml, TextFromFilesIsEscapedAndPlotsWithoutDataAreLeftOut) {
  const std::string hostile = "</td><script>alert(1)</script>&\x01\xff<svg onload=x>";
  Characterisation doc = TempcoSample();
  doc.figures[0].conditions = hostile;
  doc.figures[2].reason = hostile;
  doc.warnings = {hostile};
  doc.sources = {{hostile, hostile}};
  doc.conditions.push_back({"model", hostile});
  doc.bins.clear();
  doc.curve.reset();  // no plot of bias against temperature
  Report report;
  report.inputs = {Input(hostile, CharacteriseJson(doc)), Input(hostile, NoiseJsonSample(hostile))};
  JudgeReport(report, {{"bias", 1.0}});
  const std::string html = ReportHtml(report, "3.0.0", hostile);
  ExpectSelfContained(html);
  EXPECT_EQ(html.find("<svg onload"), std::string::npos);
  EXPECT_EQ(html.find('\x01'), std::string::npos);
  EXPECT_NE(html.find("&lt;/td&gt;&lt;script&gt;alert(1)&lt;/script&gt;&amp;"), std::string::npos);
  // The noise file's name is the Allan deviation's legend entry.
  const std::vector<std::string> svgs = SvgElements(html);
  ASSERT_EQ(svgs.size(), 1u);
  EXPECT_EQ(XmlProblem(svgs[0]), "");
  EXPECT_NE(svgs[0].find("&lt;svg onload=x&gt;"), std::string::npos);

  // Nothing to plot: no plot, not an empty frame.
  Report bare;
  bare.inputs = {Input("r.json", CharacteriseJson(TempcoSample()))};
  bare.inputs[0].doc.bins.clear();
  bare.inputs[0].doc.curve.reset();
  EXPECT_EQ(ReportHtml(bare, "3.0.0", "today").find("<svg"), std::string::npos);
}

TEST(Report, VerdictsOverTheInputsAsTheNoiseRuleGivesThem) {
  struct Case {
    const char* name;
    std::map<std::string, double> limits;
    Verdict overall;
  };
  // tempco: bias 0.6 [0.598, 0.602], bias_tempco 0.01 [0.0099, 0.0101], sensor_lag null;
  // repeatability 0.0024 [0.0015, 0.0058]; noise: arw 0.59 [0.54, 0.66], bias_instability
  // not detected below 19.8, rate_random_walk not considered.
  const Case cases[] = {
      {"no limits", {}, Verdict::None},
      {"within", {{"bias", 1.0}, {"wake_repeatability", 0.01}}, Verdict::Pass},
      {"beyond", {{"bias_tempco", 0.005}}, Verdict::Fail},
      {"straddles", {{"arw", 0.6}}, Verdict::Inconclusive},
      {"noise term beyond", {{"arw", 0.5}}, Verdict::Fail},
      {"upper limit within", {{"bias_instability", 20.0}}, Verdict::Pass},
      {"upper limit beyond: not a fail", {{"bias_instability", 10.0}}, Verdict::Inconclusive},
      {"null figure", {{"sensor_lag", 100.0}}, Verdict::Inconclusive},
      {"term not considered", {{"rate_random_walk", 1.0}}, Verdict::Inconclusive},
      {"a fail outweighs", {{"sensor_lag", 100.0}, {"bias", 0.1}}, Verdict::Fail},
      {"a figure no input has", {{"self_test_response", 1.0}}, Verdict::None},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Report report;
    report.inputs = {Input("t.json", CharacteriseJson(TempcoSample())),
                     Input("r.json", CharacteriseJson(RepeatSample())),
                     Input("n.json", NoiseJsonSample())};
    EXPECT_EQ(JudgeReport(report, c.limits), c.overall);
    for (const ReportInput& input : report.inputs)
      for (const Figure& f : input.doc.figures)
        EXPECT_EQ(f.limit.has_value(), c.limits.count(f.name) == 1) << f.name;
  }
}

TEST(Report, TableAndJsonCarryTheFiguresVerdictsAndHashes) {
  Report report;
  report.inputs = {Input("t.json", CharacteriseJson(TempcoSample())),
                   Input("n.json", NoiseJsonSample())};
  JudgeReport(report, {{"bias_tempco", 0.005}, {"arw", 1.0}, {"hysteresis", 1.0}});
  const std::string table = ReportTable(report);
  for (const char* shown :
       {"bias_tempco", "0.01000", "0.009900 .. 0.01010", "deg/s/degC", "0.005", "fail",
        "tempco [1]", "noise [2]", "pass", "not estimated: one ramp rate",
        "not detected; 95 % upper limit 19.80 deg/h", "limit hysteresis = 1 judged nothing",
        report.inputs[0].sha256.c_str(), "ramp.csv", "record run.csv  sha256 not recorded",
        "the temperature moved 2 degC"})
    EXPECT_NE(table.find(shown), std::string::npos) << shown;

  const auto j = nlohmann::json::parse(ReportJson(report, "3.0.0", "today"));
  EXPECT_EQ(j["schema"], "velk47120-report/1");
  EXPECT_EQ(j["overall"], "fail");
  EXPECT_EQ(j["limits"]["arw"], 1.0);
  EXPECT_EQ(j["limits_unused"], nlohmann::json::array({"hysteresis"}));
  EXPECT_EQ(j["inputs"][1]["sha256"], report.inputs[1].sha256);
  EXPECT_EQ(j["inputs"][0]["sources"][0]["file"], "ramp.csv");
  EXPECT_EQ(j["facts"]["chip"], "47120");
  ASSERT_EQ(j["figures"].size(), 6u);
  EXPECT_EQ(j["figures"][1]["verdict"], "fail");
  EXPECT_EQ(j["figures"][4]["name"], "bias_instability");
  EXPECT_EQ(j["figures"][4]["upper_limit"], 19.8);
  EXPECT_EQ(j["figures"][5]["reason"],
            "not considered: the noise run left the term out (its --terms)");
}

TEST(Report, InputsThatAreNotOneAreRefusedWithTheFix) {
  std::string noise = NoiseJsonSample();
  auto edited = [](std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  struct Case {
    const char* name;
    std::string text;
    const char* says;
  };
  const Case cases[] = {
      {"not JSON", "time,rate\n0,1\n", "is not JSON: give the JSON that characterise"},
      {"no schema", "{\"a\": 1}", "has no schema"},
      {"another schema", "{\"schema\": \"velk47120-noise/1\"}", "velk47120-noise/2"},
      {"a report", "{\"schema\": \"velk47120-report/1\"}", "the characterise and noise JSON"},
      {"a broken characterisation", "{\"schema\": \"velk47120-characterise/1\"}",
       "save it again from characterise"},
      {"a term of the wrong kind", edited(noise, "\"rrw\": null", "\"rrw\": 3"),
       "run noise --json again"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto read = ReadReportInput("x.json", c.text);
    ASSERT_FALSE(read);
    EXPECT_NE(read.error().find(c.says), std::string::npos) << read.error();
  }
  const auto notEstimated = ReadReportInput(
      "n.json",
      edited(noise, "\"not_estimated\": null", "\"not_estimated\": \"the record is too short\""));
  ASSERT_TRUE(notEstimated);
  EXPECT_EQ(notEstimated->doc.figures[0].reason, "not estimated: the record is too short");
}

TEST(Svg, TicksCoverTheDataAndLabelsTellNeighboursApart) {
  struct Case {
    double lo, hi;
    bool log;
  };
  for (const Case c :
       {Case{0.5851, 0.6112, false}, Case{-9.4, 59.4, false}, Case{1e-7, 3e-7, false},
        Case{0.6, 0.6, false}, Case{0.0039, 15.6, true}, Case{0.02, 0.05, true}}) {
    SCOPED_TRACE(std::to_string(c.lo) + " .. " + std::to_string(c.hi));
    const Ticks t = c.log ? LogTicks(c.lo, c.hi) : LinearTicks(c.lo, c.hi);
    EXPECT_LE(t.lo, c.lo);
    EXPECT_GE(t.hi, c.hi);
    EXPECT_GE(t.at.size(), 3u);
    EXPECT_LE(t.at.size(), 12u);
    // Points a plot of that range draws carry tick labels that all differ.
    Plot plot;
    plot.x.log = plot.y.log = c.log;
    PlotSeries s;
    s.x = s.y = {c.lo, c.hi};
    plot.series = {s};
    const std::string svg = PlotSvg(plot);
    EXPECT_EQ(XmlProblem(svg), "");
    std::vector<std::string> labels;
    for (size_t at = svg.find("text-anchor=\"end\">"); at != std::string::npos;
         at = svg.find("text-anchor=\"end\">", at + 1)) {
      const size_t from = svg.find('>', at) + 1;
      labels.push_back(svg.substr(from, svg.find("</text>", from) - from));
    }
    std::vector<std::string> distinct = labels;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    EXPECT_EQ(distinct.size(), labels.size()) << testing::PrintToString(labels);
  }
  EXPECT_EQ(XmlEscaped("a\xC0\x80<\xED\xA0\x80"),
            "a\xEF\xBF\xBD\xEF\xBF\xBD&lt;\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

// The bench tests' documents as their commands write them, cut to what the page reads.
Characterisation ScaleSample(bool withScaleFactor) {
  Characterisation doc;
  doc.test = "scale";
  doc.conditions = {{"full_scale_dps", 320.0}};
  if (withScaleFactor)
    doc.figures.push_back(Valued("scale_factor", "LSB/(deg/s)", 12.5, 12.4, 12.6, ""));
  // Residual 4 LSB at 12.5 LSB/(deg/s) and 320 deg/s is 0.1 % FS.
  doc.plateaus = {{-300.0, -3750.0, 0.5, 4.0, true},
                  {0.0, 0.0, 0.5, -2.0, true},
                  {300.0, 3750.0, 0.5, -2.0, true},
                  {350.0, 4000.0, 0.5, 0.0, false}};
  return doc;
}

Characterisation TurnSample() {
  Characterisation doc;
  doc.test = "turn";
  // ARW 0.3 deg and stops 0.4 deg: 36 % and 64 % of the variance, 0.5 deg in all.
  for (const char* way : {"_ccw", "_cw"}) {
    const std::string w = way;
    doc.conditions.push_back({"angle_deg" + w, w == "_ccw" ? 360.5 : -360.25});
    doc.conditions.push_back({"budget_arw_deg" + w, 0.3});
    doc.conditions.push_back({"budget_stops_deg" + w, 0.4});
  }
  doc.figures.push_back(Valued("relative_scale_factor", "1", 1.001, 1.0, 1.002, ""));
  return doc;
}

Characterisation TumbleSample() {
  Characterisation doc;
  doc.test = "tumble";
  const std::pair<const char*, double> means[] = {{"mean_px_dps", 0.75}, {"mean_nx_dps", 0.5},
                                                  {"mean_py_dps", 0.6},  {"mean_ny_dps", 0.6},
                                                  {"mean_pz_dps", 0.4},  {"mean_nz_dps", 0.9}};
  for (const auto& [key, v] : means) doc.conditions.push_back({key, v});
  doc.conditions.push_back({"g2_x_less_z_dps", 0.0625});
  return doc;
}

// The part of the page that holds the plots and the bench tables.
std::string PlotGrid(const std::string& html) {
  const size_t at = html.find("<div class=\"plots");
  if (at == std::string::npos) return {};
  const size_t end = html.find("<h2>Notes", at);
  const std::string grid =
      html.substr(at, (end == std::string::npos ? html.find("<p class=", at) : end) - at);
  return grid;
}

TEST(ReportHtml, BenchTestsShowTheirResidualsBudgetAndPositionMeans) {
  struct Case {
    const char* name;
    std::vector<Characterisation> docs;
    size_t svgs;
    std::vector<const char*> shown, absent;
  };
  const Case cases[] = {
      {"a full set: three a row, two rows",
       {TempcoSample(), RepeatSample(), ScaleSample(true), TurnSample(), TumbleSample()},
       3,
       {"plots three", "residual (% FS)", "Scale: residual against rate", "left out",
        "Turn: error budget", "36 %", "64 %", "0.5<", "360.5", "-360.25", "Tumble: position means",
        "0.125<", "-0.25<", "0.0625"},
       {"residual (LSB)"}},
      {"no scale factor: residuals in LSB",
       {ScaleSample(false)},
       1,
       {"residual (LSB)"},
       {"% FS", "Turn: error budget", "Tumble"}},
      {"none of the three",
       {TempcoSample(), RepeatSample()},
       2,
       {},
       {"Scale:", "Turn:", "Tumble:"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Report report;
    for (const Characterisation& d : c.docs)
      report.inputs.push_back(Input(d.test + ".json", CharacteriseJson(d)));
    const std::string html = ReportHtml(report, "3.0.0", "today");
    ExpectSelfContained(html);
    const std::vector<std::string> svgs = SvgElements(html);
    EXPECT_EQ(svgs.size(), c.svgs);
    EXPECT_EQ(XmlProblem(PlotGrid(html)), "");
    for (const char* s : c.shown) EXPECT_NE(html.find(s), std::string::npos) << s;
    for (const char* s : c.absent) EXPECT_EQ(html.find(s), std::string::npos) << s;
  }
}

TEST(ReportBench, ScaleResidualsScaleToFullScaleAndKeepTheLeftOutApart) {
  const std::optional<Plot> plot = ScaleResidualPlot(ScaleSample(true));
  ASSERT_TRUE(plot);
  std::vector<double> used, dropped;
  for (const PlotSeries& s : plot->series) {
    if (s.name == "used") used = s.y;
    if (s.name == "left out") dropped = s.x;
  }
  ASSERT_EQ(used.size(), 3u);
  EXPECT_NEAR(used[0], 0.1, 1e-12);
  EXPECT_NEAR(used[1], -0.05, 1e-12);
  EXPECT_EQ(dropped, std::vector<double>{350.0});
  EXPECT_FALSE(ScaleResidualPlot(TurnSample()));
  EXPECT_EQ(TurnBudgetTable(TumbleSample()), "");
  EXPECT_EQ(TumbleMeansTable(ScaleSample(true)), "");
}

}  // namespace
}  // namespace velk::characterise
