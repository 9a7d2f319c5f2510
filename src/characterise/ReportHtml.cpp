#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "characterise/Report.h"
#include "characterise/ReportBench.h"
#include "characterise/Svg.h"

namespace velk::characterise {

namespace {

// Enough for a sheet: a page holds the table and the plots, the JSON holds every warning.
constexpr size_t kMostWarnings = 8;
// Beyond this many figures the table is set smaller so the plots keep the sheet.
constexpr size_t kDenseFigures = 14;

constexpr const char* kColours[] = {"#1f5fa8", "#c0392b", "#2e7d32", "#8e44ad", "#b26a00"};

constexpr std::string_view kStyle = R"(<style>
@page { size: A4; margin: 11mm 12mm; }
* { box-sizing: border-box; }
html { font: 8.5pt/1.3 sans-serif; color: #000; background: #fff; }
body { width: 186mm; margin: 0 auto; }
h1 { font-size: 13pt; margin: 0 0 1.5mm; }
h2 { font-size: 9pt; margin: 2.5mm 0 1mm; }
table { border-collapse: collapse; }
.facts th { text-align: left; font-weight: normal; color: #444; padding: 0 2mm 0 0; white-space: nowrap; }
.facts td { padding: 0 4mm 0 0; }
.facts { margin-bottom: 1mm; }
.records { margin: 0; padding: 0; list-style: none; }
.record { margin-left: 4mm; }
.records li { margin-bottom: 0.6mm; }
.hash { font-family: monospace; font-size: 6.5pt; color: #333; word-break: break-all; }
.figures { width: 100%; table-layout: fixed; }
.figures { font-size: 8pt; }
.figures col.figure { width: 21%; } .figures col.value { width: 8.5%; }
.figures col.interval { width: 18%; } .figures col.unit { width: 11%; }
.figures col.limit { width: 6%; } .figures col.verdict { width: 9.5%; }
.figures th { text-align: left; font-size: 7.5pt; border-bottom: 0.8pt solid #000; padding: 0.5mm 1.5mm; }
.figures td { border-bottom: 0.4pt solid #bbb; padding: 0.3mm 1.5mm; vertical-align: top; }
.figures .group td { background: #eef1f5; font-size: 7.5pt; padding-top: 0.6mm; }
.num { text-align: right; white-space: nowrap; font-variant-numeric: tabular-nums; }
.key { color: #555; font-size: 6.5pt; font-family: monospace; margin-left: 1.5mm; }
.cond { font-size: 6.8pt; color: #333; }
.reason { font-style: italic; color: #444; }
.pass { color: #1a7f37; font-weight: bold; }
.fail { color: #c62828; font-weight: bold; }
.inconclusive { color: #a15c00; font-weight: bold; }
.plots { display: grid; grid-template-columns: 1fr 1fr; gap: 2mm 4mm; margin-top: 2mm; }
.plots.three { grid-template-columns: repeat(3, minmax(0, 1fr)); gap: 2mm 3mm; }
figure { margin: 0; break-inside: avoid; }
figure svg { width: 100%; height: auto; display: block; }
figcaption { font-size: 6.8pt; color: #444; }
figure.table .title { font-weight: bold; font-size: 7.5pt; margin: 0.5mm 0 1mm; }
.bench { font-size: 7pt; width: 100%; }
.bench th { text-align: left; font-weight: normal; color: #444; border-bottom: 0.6pt solid #000; padding: 0 1mm; }
.bench th.num { text-align: right; }
.bench td { border-bottom: 0.3pt solid #ccc; padding: 0.2mm 1mm; }
.bench .sum td { border-top: 0.6pt solid #000; }
.dense .figures { font-size: 7pt; }
.dense .figures col.figure { width: 23%; } .dense .figures col.value { width: 7.5%; }
.dense .figures col.interval { width: 14.5%; } .dense .figures col.unit { width: 9.5%; }
.dense .figures col.limit { width: 4.5%; } .dense .figures col.verdict { width: 8%; }
.dense .figures td { padding: 0.1mm 1mm; line-height: 1.15; }
.dense .figures .group td { font-size: 6.5pt; padding-top: 0.3mm; }
.dense .key { font-size: 5.5pt; margin-left: 1mm; }
.dense .cond { font-size: 6pt; line-height: 1.1; }
.dense h2 { margin: 1.5mm 0 0.5mm; }
.dense h1 { font-size: 11pt; margin-bottom: 1mm; }
.dense .records li { font-size: 7pt; margin-bottom: 0.2mm; line-height: 1.2; }
.dense .hash { font-size: 5.5pt; }
.dense .records br { display: none; } .dense .record { margin-left: 2mm; }
.dense .facts { font-size: 7.5pt; }
.dense figcaption { font-size: 6pt; }
.dense .bench { font-size: 6pt; } .dense .bench th, .dense .bench td { padding: 0 0.6mm; }
.dense .notes, .dense p.cond { font-size: 6pt; margin-top: 0.5mm; }
.notes { font-size: 7pt; color: #333; margin: 1mm 0 0; padding-left: 4mm; }
</style>)";

PlotSeries Named(std::string name, const char* colour,
                 PlotSeries::Style style = PlotSeries::Style::Points) {
  PlotSeries s;
  s.name = std::move(name);
  s.colour = colour;
  s.style = style;
  return s;
}

std::string H(std::string_view text) {
  return XmlEscaped(text);
}

std::string Label(std::string_view name) {
  static const std::pair<std::string_view, std::string_view> kLabels[] = {
      {"bias", "Bias"},
      {"wake_repeatability", "Bias repeatability, wake to wake"},
      {"turn_on_repeatability", "Bias repeatability, turn-on"},
      {"bias_tempco", "Bias tempco"},
      {"bias_tempco_quadratic", "Bias tempco, quadratic"},
      {"bias_excursion", "Bias excursion over temperature"},
      {"hysteresis", "Thermal hysteresis"},
      {"sensor_lag", "Sensor thermal lag"},
      {"self_test_response", "Self-test response"},
      {"arw", "Angle random walk"},
      {"bias_instability", "Bias instability"},
      {"rate_random_walk", "Rate random walk"},
      {"scale_factor", "Scale factor"},
      {"scale_factor_error", "Scale factor error"},
      {"nonlinearity", "Nonlinearity"},
      {"asymmetry", "Scale factor asymmetry"},
      {"relative_scale_factor", "Scale factor, turn by hand"},
      {"g_sensitivity_x", "g-sensitivity, X"},
      {"g_sensitivity_y", "g-sensitivity, Y"},
      {"g_sensitivity_z", "g-sensitivity, Z"},
  };
  for (const auto& [key, label] : kLabels)
    if (key == name) return std::string(label);
  return std::string(name);
}

std::string Percent(double share) {
  char text[16];
  std::snprintf(text, sizeof text, "%.3g", share * 100.0);
  return text;
}

// "[K] " built by appending: g++ 12 at -O3 takes "[" + string for an overlapping copy.
std::string Numbered(size_t i) {
  std::string tag(1, '[');
  tag += std::to_string(i + 1);
  tag += "] ";
  return tag;
}

std::string InputTag(const Report& report, size_t i) {
  return Numbered(i) + std::filesystem::path(report.inputs[i].file).filename().string();
}

std::string Header(const Report& report, std::string_view version, std::string_view date) {
  const ReportFacts facts = FactsOf(report);
  std::string html = "<h1>Gyro characterisation report</h1><table class=\"facts\">";
  const std::pair<const char*, std::string> rows[] = {
      {"Chip", facts.chip},
      {"Range", facts.range},
      {"Sample period", facts.samplePeriod},
      {"Taps", facts.taps},
      {"Date", std::string(date)},
      {"Software", std::string(version)},
      {"Verdict", report.limits.empty() ? std::string("no limits given")
                                        : std::string(noise::VerdictName(report.overall))}};
  // Four facts a row: the header stays short enough to leave the sheet to the figures.
  for (size_t k = 0; k < std::size(rows); ++k) {
    const auto& [name, value] = rows[k];
    const bool verdict = std::string_view(name) == "Verdict" && !report.limits.empty();
    html += std::string(k % 4 == 0 ? "<tr>" : "") + "<th>" + name + "</th><td" +
            (verdict ? " class=\"" + H(value) + "\"" : std::string()) + ">" + H(value) + "</td>" +
            (k % 4 == 3 || k + 1 == std::size(rows) ? "</tr>" : "");
  }
  html += "</table><ul class=\"records\">";
  for (size_t i = 0; i < report.inputs.size(); ++i) {
    const ReportInput& input = report.inputs[i];
    html += "<li>[" + std::to_string(i + 1) + "] " + H(input.file) + ", " + H(input.doc.test) +
            " <span class=\"hash\">SHA-256 " + H(input.sha256) + "</span>";
    for (const Source& s : input.doc.sources)
      html += "<br><span class=\"record\">record " + H(s.file) + " <span class=\"hash\">" +
              (s.sha256.empty() ? std::string("hash not recorded") : "SHA-256 " + H(s.sha256)) +
              "</span></span>";
    html += "</li>";
  }
  return html + "</ul>";
}

// The parts of the conditions all of an input's figures share, said once in its heading.
std::vector<std::string> Parts(const std::string& conditions) {
  std::vector<std::string> parts;
  for (size_t from = 0; from <= conditions.size();) {
    const size_t comma = std::min(conditions.find(", ", from), conditions.size());
    parts.push_back(conditions.substr(from, comma - from));
    from = comma + 2;
  }
  return parts;
}

std::string Joined(const std::vector<std::string>& parts, size_t from, size_t to) {
  std::string text;
  for (size_t k = from; k < to; ++k) text += (k > from ? ", " : "") + parts[k];
  return text;
}

std::string FigureRows(const Report& report) {
  std::string html =
      "<h2>Figures (95 % intervals)</h2><table class=\"figures\"><col class=\"figure\">"
      "<col class=\"value\"><col class=\"interval\"><col class=\"unit\"><col class=\"limit\">"
      "<col class=\"verdict\"><col><tr><th>Figure</th>"
      "<th class=\"num\">Value</th><th class=\"num\">95 % interval</th><th>Unit</th>"
      "<th class=\"num\">Limit</th><th>Verdict</th><th>Conditions</th></tr>";
  for (size_t i = 0; i < report.inputs.size(); ++i) {
    const ReportInput& input = report.inputs[i];
    std::optional<std::vector<std::string>> common;
    for (const Figure& f : input.doc.figures) {
      if (f.conditions.empty()) continue;
      const std::vector<std::string> parts = Parts(f.conditions);
      if (!common) {
        common = parts;
        continue;
      }
      size_t k = 0;
      while (k < common->size() && k < parts.size() && (*common)[k] == parts[k]) ++k;
      common->resize(k);
    }
    const size_t shared = common ? common->size() : 0;
    html += "<tr class=\"group\"><td colspan=\"7\">" + H(InputTag(report, i)) + ", " +
            H(input.doc.test) + (shared > 0 ? ": " + H(Joined(*common, 0, shared)) : "") +
            "</td></tr>";
    for (const Figure& f : input.doc.figures) {
      html += "<tr><td>" + H(Label(f.name)) + "<span class=\"key\">" + H(f.name) + "</span></td>";
      if (f.value)
        html += "<td class=\"num\">" + FigureNumber(*f.value, f.lo, f.hi) +
                "</td><td class=\"num\">" + H(FigureInterval(f)) + "</td>";
      else
        html += "<td colspan=\"2\" class=\"reason\">" + H(FigureReason(input, f)) + "</td>";
      html += "<td>" + H(f.unit) + "</td><td class=\"num\">" +
              (f.limit ? LimitNumber(*f.limit) : std::string("&ndash;")) + "</td>";
      const std::string verdict(noise::VerdictName(f.verdict));
      html += f.limit ? "<td class=\"" + verdict + "\">" + verdict + "</td>" : "<td>&ndash;</td>";
      const std::vector<std::string> parts = Parts(f.conditions);
      html += "<td class=\"cond\">" +
              H(Joined(parts, std::min(shared, parts.size()), parts.size())) + "</td></tr>";
    }
  }
  return html + "</table>";
}

// A plot of the page and what its caption says.
struct PagePlot {
  Plot plot;
  std::string caption;
};

std::optional<PagePlot> AdevPlot(const Report& report) {
  Plot plot;
  plot.title = "Allan deviation";
  plot.x = {"\xCF\x84 (s)", true};
  plot.y = {"Allan deviation (deg/s)", true};
  size_t runs = 0;
  bool lineNamed = false;
  double confidence = 0.0;
  for (size_t i = 0; i < report.inputs.size(); ++i) {
    const ReportInput& input = report.inputs[i];
    if (input.adev.empty()) continue;
    const char* colour = kColours[runs++ % std::size(kColours)];
    confidence = input.adevConfidence;
    PlotSeries points = Named(InputTag(report, i), colour);
    for (const AdevPoint& p : input.adev) {
      points.x.push_back(p.tau);
      points.y.push_back(p.adev);
      points.lo.push_back(p.lo);
      points.hi.push_back(p.hi);
    }
    plot.series.push_back(points);
    // The white noise's line N / sqrt(tau) the fit found, N from deg/sqrt(h) to deg/sqrt(s).
    const Figure* arw = input.doc.Find("arw");
    if (arw && arw->value) {
      PlotSeries line =
          Named(lineNamed ? "" : "N / \xE2\x88\x9A\xCF\x84", colour, PlotSeries::Style::DashedLine);
      lineNamed = true;
      const double n = *arw->value / 60.0;
      for (double tau : {input.adev.front().tau, input.adev.back().tau}) {
        line.x.push_back(tau);
        line.y.push_back(n / std::sqrt(tau));
      }
      plot.series.push_back(line);
    }
  }
  if (runs == 0) return std::nullopt;
  return PagePlot{plot, "Bars: the " + Percent(confidence) + " % intervals of the noise run" +
                            (runs > 1 ? "s" : "") + "."};
}

std::optional<PagePlot> TempcoPlot(const Report& report) {
  const auto first = std::find_if(
      report.inputs.begin(), report.inputs.end(),
      [](const ReportInput& in) { return !in.doc.bins.empty() || in.doc.curve.has_value(); });
  if (first == report.inputs.end()) return std::nullopt;
  const size_t index = static_cast<size_t>(first - report.inputs.begin());
  const Characterisation& doc = first->doc;
  Plot plot;
  plot.title = "Bias against temperature";
  plot.x = {"temperature (degC)", false};
  plot.y = {"bias (deg/s)", false};
  struct Way {
    Ramp ramp;
    const char* name;
    const char* colour;
  };
  std::vector<PlotSeries> curves;  // drawn over the bins
  for (const Way& way : {Way{Ramp::Up, "up", "#c0392b"}, Way{Ramp::Down, "down", "#1f5fa8"}}) {
    PlotSeries bins =
        Named(std::string(way.name) + " bins", way.colour, PlotSeries::Style::HollowPoints);
    double rate = 0.0;
    for (const TempBin& b : doc.bins) {
      if (b.ramp != way.ramp) continue;
      bins.x.push_back(b.temperature);
      bins.y.push_back(b.bias);
      bins.lo.push_back(b.bias - 1.96 * b.se);
      bins.hi.push_back(b.bias + 1.96 * b.se);
      rate += b.rate;
    }
    if (!bins.x.empty()) rate /= static_cast<double>(bins.x.size());
    if (doc.curve && doc.curve->to > doc.curve->from) {
      // At the ramp's mean rate, the curve passes through its own bins.
      PlotSeries curve = Named(std::string(way.name) + " fit", way.colour, PlotSeries::Style::Line);
      constexpr int kSteps = 80;
      for (int k = 0; k <= kSteps; ++k) {
        const double t = doc.curve->from + (doc.curve->to - doc.curve->from) * k / kSteps;
        curve.x.push_back(t);
        curve.y.push_back(doc.curve->At(t, way.ramp, rate));
      }
      curves.push_back(curve);
    }
    if (!bins.x.empty()) plot.series.push_back(bins);
  }
  plot.series.insert(plot.series.end(), curves.begin(), curves.end());
  return PagePlot{
      plot, "From " + InputTag(report, index) + ". Bars: 1.96 standard errors of each 1 degC bin."};
}

std::optional<PagePlot> CyclesPlot(const Report& report) {
  const auto first = std::find_if(report.inputs.begin(), report.inputs.end(),
                                  [](const ReportInput& in) { return !in.doc.cycles.empty(); });
  if (first == report.inputs.end()) return std::nullopt;
  const size_t index = static_cast<size_t>(first - report.inputs.begin());
  const std::vector<CycleBias>& cycles = first->doc.cycles;
  Plot plot;
  plot.title = "Bias per cycle";
  plot.x = {"cycle", false};
  plot.y = {"bias (deg/s)", false};
  PlotSeries points = Named("bias", "#1f5fa8");
  double sum = 0.0;
  for (size_t k = 0; k < cycles.size(); ++k) {
    points.x.push_back(static_cast<double>(k + 1));
    points.y.push_back(cycles[k].bias);
    sum += cycles[k].bias;
  }
  const double mean = sum / static_cast<double>(cycles.size());
  PlotSeries line = Named("mean", "#777", PlotSeries::Style::DashedLine);
  line.x = {1.0, static_cast<double>(cycles.size())};
  line.y = {mean, mean};
  plot.series = {line, points};
  return PagePlot{plot, "From " + InputTag(report, index) + "."};
}

// The first input the cell draws from: its tag for the caption, nullptr when none has data.
template <typename Has>
const ReportInput* FirstWith(const Report& report, Has has, std::string& tag) {
  for (size_t i = 0; i < report.inputs.size(); ++i)
    if (has(report.inputs[i].doc)) {
      tag = InputTag(report, i);
      return &report.inputs[i];
    }
  return nullptr;
}

// A cell of the plot grid: a plot, or a small table for what reads better as numbers.
struct Cell {
  std::optional<PagePlot> plot;
  std::string title, table, caption;
};

std::vector<Cell> BenchCells(const Report& report) {
  std::vector<Cell> cells;
  std::string tag;
  if (const ReportInput* in = FirstWith(
          report, [](const Characterisation& d) { return !d.plateaus.empty(); }, tag))
    if (auto plot = ScaleResidualPlot(in->doc))
      cells.push_back(
          {PagePlot{*plot, "From " + tag + ". Bars: 1.96 standard errors."}, {}, {}, {}});
  if (const ReportInput* in = FirstWith(
          report, [](const Characterisation& d) { return !TurnBudgetTable(d).empty(); }, tag))
    cells.push_back({std::nullopt, "Turn: error budget (deg, 1 SE)", TurnBudgetTable(in->doc),
                     "From " + tag + ". Each term's share of the angle's variance."});
  if (const ReportInput* in = FirstWith(
          report, [](const Characterisation& d) { return !TumbleMeansTable(d).empty(); }, tag))
    cells.push_back({std::nullopt, "Tumble: position means (deg/s)", TumbleMeansTable(in->doc),
                     "From " + tag +
                         ". Each the mean of both passes; the half difference before the Earth's "
                         "rate is taken out."});
  return cells;
}

// The plots and tables side by side: three in a row when there are three or more, else two
// wider ones; shorter when two rows must share the sheet with the table.
std::string Plots(const Report& report) {
  std::vector<Cell> cells;
  for (auto plot : {AdevPlot(report), TempcoPlot(report), CyclesPlot(report)})
    if (plot) cells.push_back({*std::move(plot), {}, {}, {}});
  for (Cell& c : BenchCells(report)) cells.push_back(std::move(c));
  for (bool narrow : {true, false}) {
    std::string html;
    size_t drawn = 0;
    for (Cell& c : cells) {
      if (!c.plot) {
        ++drawn;
        html += "<figure class=\"table\"><div class=\"title\">" + H(c.title) + "</div>" + c.table +
                "<figcaption>" + H(c.caption) + "</figcaption></figure>";
        continue;
      }
      c.plot->plot.width = narrow ? 250.0 : 340.0;
      c.plot->plot.height = narrow ? (cells.size() > 3 ? 130.0 : 225.0) : 190.0;
      const std::string svg = PlotSvg(c.plot->plot);
      if (svg.empty()) continue;
      ++drawn;
      html += "<figure>" + svg + "<figcaption>" + H(c.plot->caption) + "</figcaption></figure>";
    }
    if (drawn == 0) return {};
    if (drawn >= 3 || !narrow)
      return std::string("<div class=\"plots") + (narrow ? " three" : "") + "\">" + html + "</div>";
  }
  return {};
}

std::string Notes(const Report& report) {
  std::vector<std::string> notes;
  for (const std::string& name : UnusedLimits(report))
    notes.push_back("The limit " + name + " = " + LimitNumber(report.limits.at(name)) +
                    " judged nothing: no input has that figure.");
  size_t warnings = 0;
  for (size_t i = 0; i < report.inputs.size(); ++i)
    for (const std::string& w : report.inputs[i].doc.warnings) {
      if (++warnings <= kMostWarnings) notes.push_back(Numbered(i) + w);
    }
  if (warnings > kMostWarnings)
    notes.push_back(std::to_string(warnings - kMostWarnings) +
                    " more warnings are in the inputs and the report's JSON.");
  if (notes.empty()) return {};
  std::string html = "<h2>Notes</h2><ul class=\"notes\">";
  for (const std::string& n : notes) html += "<li>" + H(n) + "</li>";
  return html + "</ul>";
}

}  // namespace

std::string ReportHtml(const Report& report, std::string_view version, std::string_view date) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<title>Gyro characterisation report</title>";
  html += kStyle;
  // A full set's table and six plots share the one sheet only set tighter.
  size_t figures = 0;
  for (const ReportInput& input : report.inputs) figures += input.doc.figures.size();
  if (figures > kDenseFigures)
    html += "<style>@page { margin: 8mm 10mm; } body { width: 190mm; }</style>";
  html += figures > kDenseFigures ? "</head><body class=\"dense\">" : "</head><body>";
  html += Header(report, version, date);
  html += FigureRows(report);
  html += Plots(report);
  html += Notes(report);
  html +=
      "<p class=\"cond\">A signed figure is judged by its size; a noise term not detected by "
      "its 95 % upper limit. Pass: the interval's upper end is within the limit; fail: its "
      "lower end is beyond it; else inconclusive.</p>";
  return html + "</body></html>\n";
}

}  // namespace velk::characterise
