#include "ui/noise/NoiseText.h"

#include <cmath>
#include <cstdio>

#include "core/NumberText.h"
#include "noise/Results.h"

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

// As the tool's report writes a bound: "3.2", "612", "1.23e+04".
std::string Sig(double v) {
  return FormatSignificant(v, 3);
}

std::string UnitOf(noise::Term term) {
  switch (term) {
    case noise::kQ:
      return "°";
    case noise::kN:
      return "°/√h";
    case noise::kB:
      return "°/h";
    case noise::kK:
      return "°/h/√h";
    case noise::kR:
      break;
  }
  return "°/h²";
}

const char* LimitName(std::string_view key) {
  return key == "arw" ? "ARW" : key == "bi" ? "BI" : "RRW";
}

// "upper end 0.62 within 0.7": the end that decided and where it stands against the limit.
std::string Decided(const noise::Judged& v) {
  using noise::Decider;
  std::string text(noise::DeciderText(v.by));
  const std::string limit = FormatSignificant(v.limit, 6);
  if (!v.end) return v.by == Decider::Straddles ? text + " " + limit : text;
  const std::string end = Sig(*v.end);
  switch (v.by) {
    case Decider::UpperEnd:
    case Decider::UpperLimit:
      return text + " " + end + " within " + limit;
    case Decider::LowerEnd:
      return text + " " + end + " beyond " + limit;
    case Decider::Straddles:
      return text + " " + limit + " (to " + end + ")";
    case Decider::NotDetected:
    case Decider::NotEstimated:
      break;
  }
  return text;
}

}  // namespace

std::string TermText(const noise::Analysis& a, noise::Term term) {
  const noise::TermReport& t = a.terms[term];
  if (a.notEstimated) return "not estimated";
  const std::string unit = UnitOf(term);
  if (!t.detected)
    return t.upperLimit ? "not detected (below " + Sig(*t.upperLimit) + " " + unit + ")"
                        : "not detected";
  if (!t.value) return "-";
  std::string text = Three(*t.value) + " " + unit;
  if (t.lo && t.hi) text += " (" + Three(*t.lo) + " to " + Three(*t.hi) + ")";
  return text;
}

std::string NotEstimatedText(const noise::Analysis& a) {
  if (!a.notEstimated) return {};
  std::string text = "not estimated: " + *a.notEstimated;
  if (a.neededDurationS)
    text += "; a record of at least " + Sig(*a.neededDurationS) + " s would give one point";
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

std::string ChecksText(const noise::Analysis& a) {
  std::string text = a.warnings.empty() ? std::string() : WarningsText(a.warnings);
  const auto line = [&text](const std::string& more) { text += (text.empty() ? "" : "\n") + more; };
  if (a.leftOut.Total() > 0) line("left out: " + noise::LeftOutText(a.leftOut));
  for (const std::string& note : a.notes) line("note: " + note);
  return text.empty() ? "none" : text;
}

std::string VerdictText(const noise::Analysis& a) {
  if (a.verdicts.empty()) return "no limits";
  std::string text = std::string(noise::VerdictName(a.overall)) + " (";
  for (size_t i = 0; i < a.verdicts.size(); ++i) {
    const noise::Judged& v = a.verdicts[i];
    text += (i > 0 ? "; " : "") + std::string(LimitName(v.key)) + " " +
            std::string(noise::VerdictName(v.result)) + ": " + Decided(v);
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

std::string AcquiredStateText(const noise::Analysis& a, const std::string& how) {
  std::string text = "Acquisition (" + how + "): " + std::to_string(a.samples) + " samples, " +
                     std::to_string(a.lost) + " lost, " + Three(a.durationS) + " s, tau0 " +
                     Three(a.tau0) + " s";
  if (a.priority) text += "; priority " + RealtimeText(*a.priority);
  return text;
}

std::string AcquiringStateText(int64_t taken, int64_t lost, double seconds, double duration,
                               const std::optional<RealtimeGrant>& priority, bool silent) {
  std::string text = "Acquiring: " + std::to_string(taken) + " samples, " + std::to_string(lost) +
                     " lost, " + FormatFixed(seconds, 1) + " s of " + FormatFixed(duration, 1) +
                     " s";
  if (priority) text += "; priority " + RealtimeText(*priority);
  if (silent)
    text += ". No new sample for a second: is the chip asleep, or another program reading it?";
  return text;
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
