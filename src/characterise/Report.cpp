#include "characterise/Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <variant>

#include "core/EchoText.h"
#include "core/JsonText.h"

namespace velk::characterise {

namespace {

using Json = nlohmann::ordered_json;

Json Number(const std::optional<double>& v) {
  return v && std::isfinite(*v) ? Json(*v) : Json(nullptr);
}

std::optional<double> UpperLimit(const ReportInput& input, const Figure& f) {
  if (f.value) return std::nullopt;
  const auto found = input.upperLimits.find(f.name);
  if (found == input.upperLimits.end()) return std::nullopt;
  return found->second;
}

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text + " ";
}

// A condition's value as the header shows it.
std::optional<std::string> ConditionText(const Characterisation& doc, const char* key, double scale,
                                         const char* unit) {
  for (const Condition& c : doc.conditions) {
    if (c.key != key) continue;
    if (const double* d = std::get_if<double>(&c.value)) {
      if (!std::isfinite(*d)) return std::nullopt;
      char text[32];
      std::snprintf(text, sizeof text, "%.6g", *d * scale);
      return std::string(text) + unit;
    }
    return std::get<std::string>(c.value);
  }
  return std::nullopt;
}

std::string Fact(const Report& report, const char* key, double scale, const char* unit) {
  std::vector<std::string> seen;
  for (const ReportInput& input : report.inputs)
    if (const auto text = ConditionText(input.doc, key, scale, unit))
      if (std::find(seen.begin(), seen.end(), *text) == seen.end()) seen.push_back(*text);
  if (seen.empty()) return "not recorded";
  std::string joined;
  for (const std::string& s : seen) joined += (joined.empty() ? "" : " / ") + s;
  return seen.size() > 1 ? joined + " (the inputs differ)" : joined;
}

}  // namespace

std::string FigureNumber(double value, std::optional<double> lo, std::optional<double> hi) {
  // Four significant digits, more where the interval is narrower than they show, so a value
  // and its ends never print alike.
  int digits = 4;
  if (lo && hi && *hi > *lo && value != 0.0) {
    const double half = (*hi - *lo) / 2;
    const int needed = static_cast<int>(std::floor(std::log10(std::abs(value)))) -
                       static_cast<int>(std::floor(std::log10(half))) + 2;
    digits = std::clamp(needed, 4, 12);
  }
  char text[40];
  // Trailing zeros kept: an interval's ends line up with the value's digits.
  std::snprintf(text, sizeof text, "%#.*g", digits, value);
  return text;
}

std::string LimitNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string FigureInterval(const Figure& f) {
  if (!f.lo || !f.hi) return {};
  return FigureNumber(*f.lo, f.lo, f.hi) + " .. " + FigureNumber(*f.hi, f.lo, f.hi);
}

std::string FigureReason(const ReportInput& input, const Figure& f) {
  std::string reason = f.reason.empty() ? "no value" : f.reason;
  if (const auto upper = UpperLimit(input, f))
    reason += "; 95 % upper limit " + FigureNumber(*upper) + " " + f.unit;
  return reason;
}

noise::Verdict JudgeReport(Report& report, const std::map<std::string, double>& limits) {
  report.limits = limits;
  std::vector<noise::Judged> judged;
  for (ReportInput& input : report.inputs)
    for (Figure& f : input.doc.figures) {
      const auto limit = limits.find(f.name);
      if (limit == limits.end()) {
        Judge(f, std::nullopt);
        continue;
      }
      if (const auto upper = UpperLimit(input, f)) {
        // The noise command's rule for a term it did not detect: its upper limit decides.
        noise::Evidence e;
        e.estimated = true;
        e.upperLimit = upper;
        noise::Judged j = noise::Judge(f.name, limit->second, e);
        f.limit = limit->second;
        f.verdict = j.result;
        judged.push_back(j);
      } else {
        judged.push_back(Judge(f, limit->second));
      }
    }
  report.overall = noise::Overall(judged);
  return report.overall;
}

std::vector<std::string> UnusedLimits(const Report& report) {
  std::vector<std::string> unused;
  for (const auto& [name, limit] : report.limits) {
    bool found = false;
    for (const ReportInput& input : report.inputs) found = found || input.doc.Find(name);
    if (!found) unused.push_back(name);
  }
  return unused;
}

ReportFacts FactsOf(const Report& report) {
  ReportFacts facts;
  facts.chip = Fact(report, "model", 1.0, "");
  facts.range = Fact(report, "range_dps", 1.0, " deg/s");
  facts.samplePeriod = Fact(report, "sample_period_s", 1e3, " ms");
  facts.taps = Fact(report, "taps", 1.0, "");
  return facts;
}

std::string ReportTable(const Report& report) {
  std::string out = Padded("figure", 22) + Padded("value", 11) + Padded("95 % interval", 23) +
                    Padded("unit", 14) + Padded("limit", 10) + Padded("verdict", 12) + "test\n";
  for (size_t i = 0; i < report.inputs.size(); ++i) {
    const ReportInput& input = report.inputs[i];
    for (const Figure& f : input.doc.figures) {
      const std::string interval = FigureInterval(f);
      out += Padded(Escaped(f.name), 22) +
             Padded(f.value ? FigureNumber(*f.value, f.lo, f.hi) : "-", 11) +
             Padded(interval.empty() ? "-" : interval, 23) + Padded(Escaped(f.unit), 14) +
             Padded(f.limit ? LimitNumber(*f.limit) : "-", 10) +
             Padded(f.limit ? std::string(noise::VerdictName(f.verdict)) : "-", 12) +
             Escaped(input.doc.test) + " [" + std::to_string(i + 1) + "]\n";
      if (!f.value) out += "    " + Escaped(FigureReason(input, f)) + "\n";
      if (!f.conditions.empty()) out += "    " + Escaped(f.conditions) + "\n";
    }
  }
  for (const std::string& name : UnusedLimits(report))
    out += "limit " + name + " = " + LimitNumber(report.limits.at(name)) +
           " judged nothing: no input has that figure\n";
  out += "\ninputs:\n";
  for (size_t i = 0; i < report.inputs.size(); ++i) {
    const ReportInput& input = report.inputs[i];
    // Appended piece by piece: g++ 12 at -O3 takes "[" + string for an overlapping copy.
    out += '[';
    out += std::to_string(i + 1);
    out += "] " + Escaped(input.file) + "  " + Escaped(input.doc.test) + "  sha256 " +
           input.sha256 + "\n";
    for (const Source& s : input.doc.sources)
      out += "    record " + Escaped(s.file) + "  sha256 " +
             (s.sha256.empty() ? "not recorded" : Escaped(s.sha256)) + "\n";
  }
  bool any = false;
  for (size_t i = 0; i < report.inputs.size(); ++i)
    for (const std::string& w : report.inputs[i].doc.warnings) {
      if (!any) out += "\nwarnings:\n";
      any = true;
      out += '[';
      out += std::to_string(i + 1);
      out += "] " + Escaped(w) + "\n";
    }
  return out;
}

std::string ReportJson(const Report& report, std::string_view programVersion,
                       std::string_view date) {
  Json j;
  j["schema"] = kReportSchema;
  j["program_version"] = programVersion;
  j["date"] = date;
  j["overall"] = noise::VerdictName(report.overall);
  Json limits = Json::object();
  for (const auto& [name, limit] : report.limits) limits[name] = limit;
  j["limits"] = limits;
  j["limits_unused"] = UnusedLimits(report);
  const ReportFacts facts = FactsOf(report);
  j["facts"] = {{"chip", facts.chip},
                {"range", facts.range},
                {"sample_period", facts.samplePeriod},
                {"taps", facts.taps}};
  Json inputs = Json::array();
  for (const ReportInput& input : report.inputs) {
    Json sources = Json::array();
    for (const Source& s : input.doc.sources)
      sources.push_back(
          {{"file", s.file}, {"sha256", s.sha256.empty() ? Json(nullptr) : Json(s.sha256)}});
    inputs.push_back({{"file", input.file},
                      {"sha256", input.sha256},
                      {"test", input.doc.test},
                      {"program_version", input.doc.programVersion},
                      {"sources", sources},
                      {"warnings", input.doc.warnings}});
  }
  j["inputs"] = inputs;
  Json figures = Json::array();
  for (size_t i = 0; i < report.inputs.size(); ++i) {
    const ReportInput& input = report.inputs[i];
    for (const Figure& f : input.doc.figures)
      figures.push_back({{"name", f.name},
                         {"value", Number(f.value)},
                         {"lo", Number(f.lo)},
                         {"hi", Number(f.hi)},
                         {"upper_limit", Number(UpperLimit(input, f))},
                         {"unit", f.unit},
                         {"signed", f.signedValue},
                         {"limit", Number(f.limit)},
                         {"verdict", noise::VerdictName(f.verdict)},
                         {"conditions", f.conditions},
                         {"reason", f.value ? Json(nullptr) : Json(f.reason)},
                         {"test", input.doc.test},
                         {"input", i}});
  }
  j["figures"] = figures;
  return JsonText(j, 2) + "\n";
}

}  // namespace velk::characterise
