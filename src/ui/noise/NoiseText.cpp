#include "ui/noise/NoiseText.h"

#include <cmath>
#include <cstdio>

namespace velk {

namespace {

// Three significant digits, trailing zeros kept: "0.600", "35.2", "1.23e+04".
std::string Three(double v) {
  if (!std::isfinite(v)) return "-";
  char text[40];
  const double magnitude = v == 0 ? 0 : std::floor(std::log10(std::abs(v)));
  if (magnitude < -3 || magnitude > 5) {
    std::snprintf(text, sizeof text, "%.2e", v);
  } else {
    std::snprintf(text, sizeof text, "%.*f", static_cast<int>(std::max(0.0, 2 - magnitude)), v);
  }
  return text;
}

std::string UnitOf(const noise::TermReport& term) {
  if (term.key == "arw") return "°/√h";
  if (term.key == "bias_instability") return "°/h";
  if (term.key == "rrw") return "°/h/√h";
  return std::string(term.unit);
}

}  // namespace

std::string TermText(const noise::TermReport& t) {
  const std::string unit = UnitOf(t);
  if (!t.detected)
    return t.upperLimit ? "not detected (below " + Three(*t.upperLimit) + " " + unit + ")"
                        : "not estimated";
  if (!t.value) return "-";
  std::string text = Three(*t.value) + " " + unit;
  if (t.lo && t.hi) text += " (" + Three(*t.lo) + " to " + Three(*t.hi) + ")";
  return text;
}

std::string ValueText(std::optional<double> value, const char* unit) {
  return value ? Three(*value) + " " + unit : "-";
}

std::string MinimumText(const noise::ClassicReport& c) {
  if (!c.minimum) return "-";
  std::string text = Three(*c.minimum) + " °/h";
  if (c.minimumTau) text += " at tau " + Three(*c.minimumTau) + " s";
  if (c.biFromMinimum) text += "; / 0.664 = " + Three(*c.biFromMinimum) + " °/h";
  return text;
}

std::string WarningsText(const std::vector<noise::Warning>& warnings) {
  if (warnings.empty()) return "none";
  std::string text;
  for (const noise::Warning& w : warnings) {
    if (!text.empty()) text += "\n";
    text += noise::WarningCodeText(w.code);
    if (w.factor) text += " (" + Three(*w.factor) + ")";
    text += ": " + w.text;
  }
  return text;
}

std::string VerdictText(const noise::Analysis& a) {
  if (a.verdicts.empty()) return "no limits";
  std::string text = std::string(noise::VerdictName(a.overall)) + " (";
  for (size_t i = 0; i < a.verdicts.size(); ++i) {
    const noise::Judged& v = a.verdicts[i];
    const char* name = v.key == "arw" ? "ARW" : v.key == "bi" ? "BI" : "RRW";
    text +=
        (i > 0 ? ", " : "") + std::string(name) + " " + std::string(noise::VerdictName(v.result));
  }
  return text + ")";
}

std::string FileStateText(const noise::Analysis& a) {
  const char* layout = a.layout == noise::Layout::Acquisition ? "acquisition"
                       : a.layout == noise::Layout::Datalog   ? "datalog"
                                                              : "log";
  return "File " + a.file + " (" + layout + ", run " + std::to_string(a.run) + " of " +
         std::to_string(a.runs) + "): " + std::to_string(a.samples) + " samples, tau0 " +
         Three(a.tau0) + " s";
}

std::string LiveStateText(noise::LiveMode mode, int64_t samples, const std::string& cause,
                          bool full) {
  if (cause.empty()) return "Live: waiting for the read loop";
  std::string text = "Live";
  if (mode == noise::LiveMode::Deciding)
    return text + ": timing the read loop (since " + cause + ")";
  text += mode == noise::LiveMode::ChipClocked ? ", chip-clocked: " : ", host-paced: ";
  text += std::to_string(samples) + " samples since " + cause;
  if (full) text += ". The record is full: no more samples are taken; Clear starts over.";
  return text;
}

}  // namespace velk
