#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/EchoText.h"
#include "noise/Results.h"
#include "noise/Units.h"

namespace velk::noise {

namespace {

// Four significant digits, as a datasheet gives a noise figure; "-" for nothing.
std::string Sig(std::optional<double> v, int digits = 4) {
  if (!v || !std::isfinite(*v)) return "-";
  char text[48];
  std::snprintf(text, sizeof text, "%.*g", digits, *v);
  return text;
}

std::string Fixed(double v, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

std::string Percent(double p) {
  return p == 0.95 ? "95 %" : std::abs(p - kOneSigma) < 1e-9 ? "68.3 %" : Sig(100 * p, 3) + " %";
}

// At least one blank after the text, so a long number never runs into the next column.
std::string Padded(std::string text, size_t width) {
  text.append(text.size() < width ? width - text.size() : 1, ' ');
  return text;
}

// A warning's factor: three decimals, as the sentences give it.
std::string Factor(double f) {
  return std::abs(f) >= 0.01 && std::abs(f) < 1e6 ? Fixed(f, 3) : Sig(f, 3);
}

std::string_view LayoutText(Layout layout) {
  switch (layout) {
    case Layout::Acquisition:
      return "acquisition";
    case Layout::Datalog:
      return "the window's datalog";
    case Layout::Log:
      break;
  }
  return "log";
}

// One term: its value and interval when detected, else "not detected" with its upper limit.
std::string TermLine(const TermReport& t) {
  std::string line = "  ";
  line += Padded(std::string(t.name), 20);
  const std::string unit(t.unit);
  if (!t.detected) {
    if (!t.upperLimit) return line += "not estimated";
    line += "not detected (below ";
    line += Sig(t.upperLimit);
    line += ' ';
    line += unit;
    line += ", upper limit 95 %; rise ";
    line += Sig(t.rise, 3);
    return line += ")";
  }
  std::string value = Sig(t.value);
  value += ' ';
  value += unit;
  line += Padded(std::move(value), 22);
  if (t.lo && t.hi) {
    std::string range = Sig(t.lo);
    range += " to ";
    range += Sig(t.hi);
    line += Padded(std::move(range), 24);
  }
  line += "(";
  line += Sig(t.siValue);
  line += ' ';
  line += t.siUnit;
  line += ", rise ";
  line += Sig(t.rise, 3);
  return line += ")";
}

std::string_view UnitOf(std::string_view key) {
  return key == "arw" ? "deg/sqrt(h)" : key == "bi" ? "deg/h" : "deg/h/sqrt(h)";
}

}  // namespace

std::string LeftOutText(const LeftOutRows& rows) {
  const int64_t total = rows.Total();
  if (total == 0) return {};
  std::string text = std::to_string(total) + (total == 1 ? " row:" : " rows:");
  const char* separator = " ";
  const auto cause = [&](int64_t count, const char* one, const char* many) {
    if (count == 0) return;
    text += separator + std::to_string(count) + (count == 1 ? one : many);
    separator = ", ";
  };
  cause(rows.errorFlag, " flagged as an error", " flagged as errors");
  cause(rows.rangeLimit, " at the range's limit", " at the range's limit");
  cause(rows.incomplete, " cut short", " cut short");
  return text;
}

std::string ReportText(const Analysis& a) {
  std::string r;
  r += "Source     " + (a.file == "-" ? std::string("standard input") : Escaped(a.file)) + " (" +
       std::string(LayoutText(a.layout)) + ", run " + std::to_string(a.run) + " of " +
       std::to_string(a.runs) + ")\n";
  if (a.chip) {
    const ChipSettings& c = *a.chip;
    r += "Chip       " + (c.model != 0 ? std::to_string(c.model) : "model unknown") + ", range " +
         Sig(c.rangeDps) + " deg/s, LSB " + Sig(c.lsbDps, 6) + " deg/s, sample period " +
         Sig(c.samplePeriodS * 1e3) + " ms, " + std::to_string(c.taps) +
         (c.taps == 1 ? " tap" : " taps") + ", W " + Sig(c.windowS * 1e3) + " ms\n";
  }
  if (a.priority) r += "Priority   " + RealtimeText(*a.priority) + "\n";
  r += "Sampling   tau0 " + Sig(a.tau0, 6) + " s (" + std::string(Tau0SourceText(a.tau0Source)) +
       "), " + std::to_string(a.samples) + " samples, " + Fixed(a.durationS, 1) + " s, " +
       std::to_string(a.segments) + (a.segments == 1 ? " segment" : " segments");
  if (a.lost > 0) r += ", " + std::to_string(a.lost) + " lost";
  r += a.integerCounts ? ", whole counts\n" : "\n";
  if (a.leftOut.Total() > 0) r += "Left out   " + LeftOutText(a.leftOut) + "\n";
  r += "Mean rate  " + Sig(a.meanDps, 6) + " deg/s";
  if (a.meanTemp) r += "; mean temperature " + Fixed(*a.meanTemp, 2) + " degC";
  r += "\n";
  for (const std::string& note : a.notes) r += "Note       " + note + "\n";
  r += std::string("Estimator  ") +
       (a.estimator == Estimator::Overlapping ? "overlapping" : "non-overlapping") +
       " Allan deviation; intervals " + Percent(a.confidence) +
       ", profile likelihood of the generalised fit; a term is detected when dropping it raises "
       "chi-square by over 5.41\n";

  r += "\nNoise terms (fitted from tau " + Sig(a.tauMin) + " s";
  if (a.fittedPoints > 0) {
    r += ", " + std::to_string(a.fittedPoints) + " points, " + std::to_string(a.rounds);
    r += a.rounds == 1 ? " round" : " rounds";
    r += a.converged ? ")\n" : ", not settled)\n";
  } else {
    r += ": no point to fit)\n";
  }
  if (a.notEstimated) {
    r += "  Not estimated: " + *a.notEstimated;
    if (a.neededDurationS)
      r += "; a record of at least " + Sig(a.neededDurationS, 3) + " s would give one point";
    r += ".\n";
  }
  for (int index : {kQ, kN, kB, kK, kR})
    if (a.terms[index].shown) r += TermLine(a.terms[index]) + "\n";

  r += "\nClassic readings\n";
  r += "  N at tau = 1 s        " + Sig(a.classic.arwAt1s) + " deg/sqrt(h)\n";
  r += "  K at the last point   " + Sig(a.classic.rrwLast) + " deg/h/sqrt(h)\n";
  r += "  Minimum               " + Sig(a.classic.minimum) + " deg/h";
  if (a.classic.minimumTau) r += " at tau " + Sig(a.classic.minimumTau) + " s";
  r += "; / 0.664 = " + Sig(a.classic.biFromMinimum) + " deg/h\n";

  // With samples missing, the differences each point could use.
  const bool gaps = std::any_of(a.adev.begin(), a.adev.end(),
                                [](const AdevRow& row) { return row.terms < row.possible; });
  r += "\n" + Padded("tau (s)", 12) + Padded("ADEV (deg/h)", 14) + Padded("lo", 12) +
       Padded("hi", 12) + Padded("EDF", 10) + (gaps ? Padded("terms", 12) : "") + "fit\n";
  for (const AdevRow& row : a.adev) {
    const auto h = [](std::optional<double> v) {
      return v ? std::optional<double>(*v * kBiToDegPerHour) : std::nullopt;
    };
    r += Padded(Sig(row.tau), 12) + Padded(Sig(h(row.adev)), 14) + Padded(Sig(h(row.lo)), 12) +
         Padded(Sig(h(row.hi)), 12) + Padded(Sig(row.edf, 3), 10) +
         (gaps ? Padded(std::to_string(row.terms), 12) : "") + (row.inFit ? "*" : "") + "\n";
  }

  if (!a.warnings.empty()) {
    r += "\nWarnings\n";
    for (const Warning& w : a.warnings)
      r += "  " + std::string(WarningCodeText(w.code)) +
           (w.factor ? " (" + Factor(*w.factor) + ")" : std::string()) + ": " + w.text + "\n";
  }
  if (!a.verdicts.empty()) {
    r += "\nVerdict (95 %): ";
    r += VerdictName(a.overall);
    r += "\n";
    for (const Judged& v : a.verdicts) {
      r += "  ";
      r += Padded(std::string(v.key), 5);
      r += "limit ";
      r += Sig(v.limit);
      r += ' ';
      r += UnitOf(v.key);
      r += ": ";
      r += VerdictName(v.result);
      r += " (";
      r += DeciderText(v.by);
      if (v.end) {
        r += ' ';
        r += Sig(v.end);
      }
      r += ")\n";
    }
  }
  return r;
}

std::string TableCsv(const Analysis& a) {
  std::string csv = "m,tau (s),terms,adev (deg/s),lo (deg/s),hi (deg/s),edf,alpha,in fit\n";
  const auto num = [](std::optional<double> v) {
    if (!v || !std::isfinite(*v)) return std::string();
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", *v);
    return std::string(text);
  };
  for (const AdevRow& r : a.adev)
    csv += std::to_string(r.m) + "," + num(r.tau) + "," + std::to_string(r.terms) + "," +
           num(r.adev) + "," + num(r.lo) + "," + num(r.hi) + "," + num(r.edf) + "," +
           std::to_string(r.alpha) + "," + (r.inFit ? "1" : "0") + "\n";
  return csv;
}

std::string KalibrYaml(const Analysis& a) {
  const auto num = [](double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    return std::string(text);
  };
  // A term the record could not show is written as its upper limit, never as 0: a filter
  // told the gyro has no such noise trusts it too much.
  const auto density = [&](const TermReport& t, std::string_view unit) {
    const std::string u(unit);
    if (t.detected && t.siValue) return num(*t.siValue) + "   # " + u;
    if (t.siUpperLimit)
      return num(*t.siUpperLimit) + "   # " + u + ", an upper limit, not a measured value";
    if (!t.allowed) return "null   # " + u + ": not fitted (--terms leaves it out)";
    return "null   # " + u + ": not measured, and the record gives no upper limit";
  };
  // Escaped: a line break or a byte that is not UTF-8 in the name cannot end the comment.
  std::string yaml =
      "# gyro noise of " + Escaped(a.file) + "; " + std::string(kDensityConvention) + "\n";
  yaml += "gyroscope_noise_density: " + density(a.terms[kN], "rad/s/sqrt(Hz)") + "\n";
  yaml += "gyroscope_random_walk: " + density(a.terms[kK], "rad/s^2/sqrt(Hz)") + "\n";
  yaml +=
      "update_rate: " + (a.tau0 > 0 && std::isfinite(1.0 / a.tau0) ? num(1.0 / a.tau0) : "null") +
      "   # Hz\n";
  return yaml;
}

}  // namespace velk::noise
