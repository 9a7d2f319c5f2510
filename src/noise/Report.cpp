#include <cmath>
#include <cstdio>

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

std::string TermLine(const TermReport& t) {
  std::string line = "  " + Padded(std::string(t.name), 20);
  if (t.upperLimit) {
    line += "below " + Sig(t.upperLimit) + " " + std::string(t.unit) + " (upper limit)";
    if (t.value && *t.value > 0) line += "; fitted " + Sig(t.value);
    return line;
  }
  line += Padded(Sig(t.value) + " " + std::string(t.unit), 22);
  if (t.lo && t.hi) line += Padded(Sig(t.lo) + " to " + Sig(t.hi), 24);
  // Not "(" + Sig(...): g++ 12 at -O3 takes a literal prepended to a temporary string for an
  // overlapping copy (-Wrestrict).
  line += "(";
  line += Sig(t.siValue) + " " + std::string(t.siUnit) + ", EDF " + Sig(t.edf, 3) + ")";
  return line;
}

}  // namespace

std::string ReportText(const Analysis& a) {
  std::string r;
  r += "Source     " + (a.file == "-" ? std::string("standard input") : a.file) + " (" +
       std::string(LayoutText(a.layout)) + ", run " + std::to_string(a.run) + " of " +
       std::to_string(a.runs) + ")\n";
  if (a.chip) {
    const ChipSettings& c = *a.chip;
    r += "Chip       " + (c.model != 0 ? std::to_string(c.model) : "model unknown") + ", range " +
         Sig(c.rangeDps) + " deg/s, LSB " + Sig(c.lsbDps, 6) + " deg/s, sample period " +
         Sig(c.samplePeriodS * 1e3) + " ms, " + std::to_string(c.taps) +
         (c.taps == 1 ? " tap" : " taps") + ", W " + Sig(c.windowS * 1e3) + " ms\n";
  }
  r += "Sampling   tau0 " + Sig(a.tau0, 6) + " s (" + std::string(Tau0SourceText(a.tau0Source)) +
       "), " + std::to_string(a.samples) + " samples, " + Fixed(a.durationS, 1) + " s, " +
       std::to_string(a.segments) + (a.segments == 1 ? " segment" : " segments");
  if (a.lost > 0) r += ", " + std::to_string(a.lost) + " lost";
  r += a.integerCounts ? ", whole counts\n" : "\n";
  r += "Mean rate  " + Sig(a.meanDps, 6) + " deg/s";
  if (a.meanTemp) r += "; mean temperature " + Fixed(*a.meanTemp, 2) + " degC";
  r += "\n";
  for (const std::string& note : a.notes) r += "Note       " + note + "\n";
  r += std::string("Estimator  ") +
       (a.estimator == Estimator::Overlapping ? "overlapping" : "non-overlapping") +
       " Allan deviation; intervals " + Percent(a.confidence) + ", statistical plus fit-range\n";

  r += "\nNoise terms (fitted from tau " + Sig(a.tauMin) + " s, " + std::to_string(a.rounds) +
       (a.rounds == 1 ? " round" : " rounds") + (a.converged ? ")\n" : ", not settled)\n");
  for (int index : {kQ, kN, kB, kK, kR})
    if (a.terms[index].allowed) r += TermLine(a.terms[index]) + "\n";

  r += "\nClassic readings\n";
  r += "  N at tau = 1 s        " + Sig(a.classic.arwAt1s) + " deg/sqrt(h)\n";
  r += "  K at the last point   " + Sig(a.classic.rrwLast) + " deg/h/sqrt(h)\n";
  r += "  Minimum               " + Sig(a.classic.minimum) + " deg/h";
  if (a.classic.minimumTau) r += " at tau " + Sig(a.classic.minimumTau) + " s";
  r += "; / 0.664 = " + Sig(a.classic.biFromMinimum) + " deg/h\n";

  r += "\n" + Padded("tau (s)", 12) + Padded("ADEV (deg/h)", 14) + Padded("lo", 12) +
       Padded("hi", 12) + Padded("EDF", 10) + "fit\n";
  for (const AdevRow& row : a.adev) {
    const auto h = [](std::optional<double> v) {
      return v ? std::optional<double>(*v * kBiToDegPerHour) : std::nullopt;
    };
    r += Padded(Sig(row.tau), 12) + Padded(Sig(h(row.adev)), 14) + Padded(Sig(h(row.lo)), 12) +
         Padded(Sig(h(row.hi)), 12) + Padded(Sig(row.edf, 3), 10) + (row.inFit ? "*" : "") + "\n";
  }

  if (!a.warnings.empty()) {
    r += "\nWarnings\n";
    for (const Warning& w : a.warnings)
      r += "  " + w.code + (w.factor ? " (" + Factor(*w.factor) + ")" : std::string()) + ": " +
           w.text + "\n";
  }
  if (!a.verdicts.empty()) {
    r += "\nVerdict (95 %): " + std::string(VerdictName(a.overall)) + "\n";
    for (const Judged& v : a.verdicts) {
      const std::string_view unit = v.key == "arw"  ? "deg/sqrt(h)"
                                    : v.key == "bi" ? "deg/h"
                                                    : "deg/h/sqrt(h)";
      r += "  " + Padded(std::string(v.key), 5) + "limit " + Sig(v.limit) + " " +
           std::string(unit) + ": " + std::string(VerdictName(v.result)) + "\n";
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
  const auto num = [](std::optional<double> v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v && std::isfinite(*v) ? *v : 0.0);
    return std::string(text);
  };
  const TermReport& n = a.terms[kN];
  const TermReport& k = a.terms[kK];
  std::string yaml = "# gyro noise of " + a.file + "; " + std::string(kDensityConvention) + "\n";
  yaml += "gyroscope_noise_density: " + num(n.siValue) + "   # rad/s/sqrt(Hz)\n";
  yaml += "gyroscope_random_walk: " + num(k.siValue) + "   # rad/s^2/sqrt(Hz)\n";
  yaml +=
      "update_rate: " + num(a.tau0 > 0 ? std::optional(1.0 / a.tau0) : std::nullopt) + "   # Hz\n";
  return yaml;
}

}  // namespace velk::noise
