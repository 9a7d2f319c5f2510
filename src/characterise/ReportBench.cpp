#include "characterise/ReportBench.h"

#include <cmath>
#include <string_view>
#include <vector>

#include "core/NumberText.h"

namespace velk::characterise {

namespace {

std::optional<double> NumberOf(const Characterisation& doc, std::string_view key) {
  for (const Condition& c : doc.conditions)
    if (c.key == key)
      if (const double* v = std::get_if<double>(&c.value); v && std::isfinite(*v)) return *v;
  return std::nullopt;
}

std::string Cell(std::optional<double> v, int digits = 4) {
  return "<td class=\"num\">" + (v ? FormatSignificant(*v, digits) : std::string("&#8211;")) +
         "</td>";
}

}  // namespace

std::optional<Plot> ScaleResidualPlot(const Characterisation& doc) {
  if (doc.plateaus.empty()) return std::nullopt;
  const Figure* sf = doc.Find("scale_factor");
  const std::optional<double> fs = NumberOf(doc, "full_scale_dps");
  // One LSB of residual is 100 / (K FS) % FS: the unit the nonlinearity is judged in.
  const bool percent = sf && sf->value && *sf->value != 0.0 && fs && *fs > 0.0;
  const double per = percent ? 100.0 / (std::abs(*sf->value) * *fs) : 1.0;
  Plot plot;
  plot.title = "Scale: residual against rate";
  plot.x = {"rate (deg/s)", false};
  plot.y = {percent ? "residual (% FS)" : "residual (LSB)", false};
  PlotSeries used{"used", "#1f5fa8", PlotSeries::Style::Points, {}, {}, {}, {}};
  PlotSeries dropped{"left out", "#c0392b", PlotSeries::Style::HollowPoints, {}, {}, {}, {}};
  for (const RatePlateau& p : doc.plateaus) {
    PlotSeries& s = p.used ? used : dropped;
    s.x.push_back(p.rate);
    // A plateau left out has no residual from the line; it sits at zero, told apart by style.
    const double r = p.used ? p.residual * per : 0.0;
    s.y.push_back(r);
    s.lo.push_back(p.used ? std::optional(r - 1.96 * p.se * per) : std::nullopt);
    s.hi.push_back(p.used ? std::optional(r + 1.96 * p.se * per) : std::nullopt);
  }
  PlotSeries zero{"", "#777", PlotSeries::Style::DashedLine, {}, {}, {}, {}};
  zero.x = {doc.plateaus.front().rate, doc.plateaus.back().rate};
  for (const RatePlateau& p : doc.plateaus) {
    zero.x[0] = std::min(zero.x[0], p.rate);
    zero.x[1] = std::max(zero.x[1], p.rate);
  }
  zero.y = {0.0, 0.0};
  plot.series.push_back(zero);
  if (!used.x.empty()) plot.series.push_back(used);
  if (!dropped.x.empty()) plot.series.push_back(dropped);
  return plot;
}

std::string TurnBudgetTable(const Characterisation& doc) {
  static const std::pair<const char*, const char*> kTerms[] = {
      {"budget_arw_deg", "white noise"},
      {"budget_bias_deg", "bias"},
      {"budget_stops_deg", "stops"},
      {"budget_period_deg", "period"},
      {"budget_quantisation_deg", "quantisation"}};
  std::vector<std::string> ways;
  for (const char* way : {"_ccw", "_cw"})
    if (NumberOf(doc, std::string("angle_deg") + way)) ways.push_back(way);
  if (ways.empty()) return {};
  std::string html = "<table class=\"bench\"><tr><th>term</th>";
  for (const std::string& w : ways)
    html += "<th class=\"num\" colspan=\"2\">" + std::string(w == "_ccw" ? "ccw" : "cw") + "</th>";
  html += "</tr>";
  // The terms add as variances: a share is a term's square over their sum.
  std::vector<double> total(ways.size(), 0.0);
  for (size_t k = 0; k < ways.size(); ++k)
    for (const auto& [key, label] : kTerms)
      if (auto v = NumberOf(doc, key + ways[k])) total[k] += *v * *v;
  for (const auto& [key, label] : kTerms) {
    html += std::string("<tr><td>") + label + "</td>";
    for (size_t k = 0; k < ways.size(); ++k) {
      const auto v = NumberOf(doc, key + ways[k]);
      html += Cell(v, 2);
      html += "<td class=\"num\">" +
              (v && total[k] > 0 ? FormatSignificant(100.0 * *v * *v / total[k], 2) + " %"
                                 : std::string("&#8211;")) +
              "</td>";
    }
    html += "</tr>";
  }
  html += "<tr class=\"sum\"><td>all (1 SE)</td>";
  for (double t : total)
    html += "<td class=\"num\">" + FormatSignificant(std::sqrt(t), 2) + "</td><td></td>";
  html += "</tr><tr><td>angle</td>";
  for (const std::string& w : ways) html += Cell(NumberOf(doc, "angle_deg" + w), 7) + "<td></td>";
  html += "</tr>";
  bool angleOut = false;
  for (const std::string& w : ways) angleOut = angleOut || NumberOf(doc, "angle_out_deg" + w);
  if (angleOut) {
    html += "<tr><td>Angle_Out</td>";
    for (const std::string& w : ways)
      html += Cell(NumberOf(doc, "angle_out_deg" + w), 7) + "<td></td>";
    html += "</tr>";
  }
  return html + "</table>";
}

std::string TumbleMeansTable(const Characterisation& doc) {
  static const char* const kAxes[] = {"x", "y", "z"};
  bool any = false;
  std::string rows;
  for (const char* axis : kAxes) {
    const auto up = NumberOf(doc, std::string("mean_p") + axis + "_dps");
    const auto down = NumberOf(doc, std::string("mean_n") + axis + "_dps");
    any = any || up || down;
    rows += "<tr><td>" + std::string(1, static_cast<char>(axis[0] - 'a' + 'A')) + "</td>" +
            Cell(up) + Cell(down) +
            Cell(up && down ? std::optional((*up - *down) / 2.0) : std::nullopt) + "</tr>";
  }
  if (!any) return {};
  std::string html =
      "<table class=\"bench\"><tr><th>axis up</th><th class=\"num\">+ up</th>"
      "<th class=\"num\">&#8722; up</th><th class=\"num\">half diff.</th></tr>" +
      rows;
  for (const auto& [key, label] : {std::pair{"g2_x_less_z_dps", "g&#178;: X &#8722; Z"},
                                   std::pair{"g2_y_less_z_dps", "g&#178;: Y &#8722; Z"}})
    if (auto v = NumberOf(doc, key))
      html += std::string("<tr><td>") + label + "</td>" + Cell(v) + "<td></td><td></td></tr>";
  return html + "</table>";
}

}  // namespace velk::characterise
