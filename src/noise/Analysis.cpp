#include "noise/Analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "noise/Units.h"

namespace velk::noise {

namespace {

constexpr double kFitFromWindows = 20.0;  // the fit starts where averaging no longer shapes it
constexpr double kVerdictConfidence = 0.95;
constexpr double kFloorFactor = 0.664;  // sigma at the flat part per unit of B

struct TermUnits {
  std::string_view name, key, unit, siUnit;
  double scale;    // deg/s units -> the shown unit
  double siScale;  // deg/s units -> SI
};

const std::array<TermUnits, kTermCount> kTermUnits = {{
    {"Quantization noise", "quantization", "deg", "rad", 1.0, Radians(1.0)},
    {"Angle random walk", "arw", "deg/sqrt(h)", "rad/s/sqrt(Hz)", kArwToDegPerRootHour,
     Radians(1.0)},
    {"Bias instability", "bias_instability", "deg/h", "rad/s", kBiToDegPerHour, Radians(1.0)},
    {"Rate random walk", "rrw", "deg/h/sqrt(h)", "rad/s^2/sqrt(Hz)", kRrwToDegPerHourRootHour,
     Radians(1.0)},
    {"Rate ramp", "rate_ramp", "deg/h^2", "rad/s^2", kRampToDegPerHourSquared, Radians(1.0)},
}};

std::string Format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

std::vector<int64_t> SegmentSizes(const Record& record) {
  std::vector<int64_t> sizes;
  const auto& starts = record.segmentStarts;
  for (size_t i = 0; i < starts.size(); ++i) {
    const size_t end = i + 1 < starts.size() ? starts[i + 1] : record.samples.size();
    sizes.push_back(static_cast<int64_t>(end - starts[i]));
  }
  return sizes;
}

// The term with the largest share of the fitted model at tau; white rate noise when nothing
// was fitted.
int DominantAlpha(const std::array<double, kTermCount>& c, double tau) {
  int best = kN;
  double largest = 0.0;
  for (int t = 0; t < kTermCount; ++t) {
    const double part = c[t] * c[t] * TermShape(static_cast<Term>(t), tau);
    if (part > largest) {
      largest = part;
      best = t;
    }
  }
  return kTermAlpha[best];
}

// Values this thread's analysis left out for not being finite: each becomes null, and the
// report says so once.
thread_local int dropped = 0;

std::optional<double> Finite(std::optional<double> v) {
  if (v && !std::isfinite(*v)) ++dropped;
  return v && std::isfinite(*v) ? v : std::nullopt;
}

std::optional<double> Scaled(std::optional<double> v, double scale) {
  return v ? Finite(*v * scale) : std::nullopt;
}

double Span(const std::vector<double>& values) {
  if (values.empty()) return 0.0;
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  return *hi - *lo;
}

void CheckSampling(const Record& record, const FitResult& fit, Analysis& a) {
  auto warn = [&](std::string code, std::optional<double> factor, std::string text) {
    a.warnings.push_back({std::move(code), Finite(factor), std::move(text)});
  };
  const std::optional<ChipSettings>& chip = record.chip;
  if (chip && chip->windowS > 0 && record.tau0 > chip->windowS * (1 + 1e-9)) {
    const double factor = std::sqrt(record.tau0 / chip->windowS);
    warn("subsampled", factor,
         "tau0 = " + Format("%.6g", record.tau0) + " s is longer than the chip's averaging " +
             "window W = " + Format("%.6g", chip->windowS) + " s, so the short-tau deviation " +
             "and the ARW read about " + Format("%.3f", factor) + " times high: acquire with " +
             "\"noise --duration\", or log at an interval of W or less.");
  }
  if (chip && record.layout != Layout::Acquisition && chip->samplePeriodS > 0 &&
      record.tau0 < chip->samplePeriodS * (1 - 1e-9))
    warn("oversampled", chip->samplePeriodS / record.tau0,
         "tau0 = " + Format("%.6g", record.tau0) + " s is shorter than the chip's sample " +
             "period of " + Format("%.6g", chip->samplePeriodS) + " s, so rows repeat samples " +
             "and the short-tau deviation reads low: log at an interval of at least the sample " +
             "period, or acquire with \"noise --duration\".");
  if (record.stats.blocks > 0 && record.stats.blockSpreadRms < 0.5)
    warn("quantization", record.stats.blockSpreadRms,
         "The codes spread only " + Format("%.2f", record.stats.blockSpreadRms) +
             " LSB RMS within 256-sample blocks, so the LSB shapes the short-tau deviation: " +
             "choose a finer range.");
  const double meanSpan = Span(record.stats.secondMeans);
  if (chip && chip->rangeDps > 0 && meanSpan > 0.05 * chip->rangeDps)
    warn("motion", meanSpan / chip->rangeDps,
         "The 1 s means of the rate span " + Format("%.1f", 100 * meanSpan / chip->rangeDps) +
             " % of full scale: the part moved during the record; keep it still.");
  else if (fit.fittedPoints > 0 && fit.reducedChiSquare > 5)
    warn("motion", fit.reducedChiSquare,
         "The fit's reduced chi-square is " + Format("%.1f", fit.reducedChiSquare) +
             ": the curve is not the sum of the noise terms (motion or a disturbance?).");
  if (a.tempSpan && *a.tempSpan > 0.5)
    warn("temperature", *a.tempSpan,
         "The 10 s means of the temperature span " + Format("%.2f", *a.tempSpan) +
             " degC: the bias follows temperature, which bends the long-tau end; let the part " +
             "settle first.");
  // A file's lost samples end its segments; a live record fills them with the last value
  // and counts them among its samples.
  const bool filled = record.segmentStarts.size() <= 1 && record.lost > 0;
  if (filled) {
    const double share = a.samples > 0 ? static_cast<double>(record.lost) / a.samples : 0.0;
    // Each fill repeats a sample, so white noise reads up to sqrt(1 + 2 x share) high.
    warn("gaps", share,
         std::to_string(record.lost) + " samples (" + Format("%.2f", 100 * share) +
             " %) were missed and filled with the last value, which raises the deviation by " +
             "up to " + Format("%.1f", 100 * (std::sqrt(1 + 2 * share) - 1)) +
             " %: a shorter loop delay, fewer other programs, or \"noise --duration\" " +
             "misses fewer.");
  } else if (record.segmentStarts.size() > 1 || record.lost > 0) {
    const double total = static_cast<double>(a.samples + record.lost);
    const double share = total > 0 ? record.lost / total : 0.0;
    warn("gaps", share,
         "The record holds " + std::to_string(record.segmentStarts.size()) + " segments and " +
             std::to_string(record.lost) + " lost samples (" + Format("%.2f", 100 * share) +
             " %); no second difference crosses a gap, so long taus rest on fewer terms.");
  }
  const double n = fit.coefficient[kN], b = fit.coefficient[kB], k = fit.coefficient[kK];
  if (b > 0 && n > 0) {
    const double floor = 0.4413 * b * b;
    const double from = n * n / floor;
    const double to = k > 0 ? 3 * floor / (k * k) : HUGE_VAL;
    const double width = to / from;
    if (std::isfinite(width) && width < 100)
      warn("narrow_floor", width,
           "The flat part of the curve spans a factor of only " + Format("%.3g", width) +
               " in tau, so the minimum / 0.664 overstates B: read the fitted B.");
  }
  for (int t = 0; t < kTermCount; ++t) {
    const TermResult& term = fit.terms[t];
    // A term given only as an upper limit already says the record cannot show it.
    if (term.allowed && fit.coefficient[t] > 0 && !term.upperLimit && term.dominantPoints < 2)
      warn("unresolved", term.dominantPoints,
           std::string(kTermUnits[t].name) + " dominates fewer than two fitted points, so " +
               "its value leans on the other terms: take a longer record.");
  }
  if (fit.fittedPoints > 0 && !fit.converged)
    warn("not_converged", fit.rounds,
         "The fit's weights had not settled after " + std::to_string(fit.rounds) +
             " rounds; its terms may be off in their last digits.");
}

Verdict JudgeTerm(const TermResult& t, double scale, double limit) {
  const auto s = [&](std::optional<double> v) { return Scaled(v, scale); };
  return Judge(limit, s(t.lo), s(t.hi), s(t.upperLimit));
}

// Everything after the deviation: the fit, the table's intervals, the terms in datasheet units,
// the checks and the verdict. `record` gives the facts; its samples are not read.
Analysis Summarize(const Record& record, const std::vector<int64_t>& sizes,
                   const std::vector<AllanPoint>& octavePoints,
                   const std::vector<AllanPoint>& gridPoints, const AnalysisOptions& options) {
  dropped = 0;
  Analysis a;
  a.layout = record.layout;
  a.file = record.file;
  a.run = record.run;
  a.runs = record.runs;
  a.comment = record.comment;
  a.chip = record.chip;
  a.tau0 = record.tau0;
  a.tau0Source = record.tau0Source;
  a.samples = std::accumulate(sizes.begin(), sizes.end(), int64_t{0});
  a.durationS = record.durationS;
  a.segments = static_cast<int64_t>(record.segmentStarts.size());
  a.lost = record.lost;
  a.jitter = record.jitter;
  a.integerCounts = record.integerCounts;
  a.meanDps = record.stats.meanRate;
  a.meanTemp = Finite(record.stats.meanTemp);
  if (!record.stats.tenSecondTemps.empty()) a.tempSpan = Span(record.stats.tenSecondTemps);
  a.notes = record.notes;
  a.estimator = options.estimator;
  a.confidence = options.confidence;
  a.termsAllowed = options.terms;

  const bool overlapping = options.estimator == Estimator::Overlapping;
  const double unit2 = record.unit * record.unit;
  std::vector<FitPoint> points;
  for (const AllanPoint& p : octavePoints) {
    FitPoint f{.m = p.m, .tau = p.tau, .variance = p.variance * unit2};
    for (int t = 0; t < kTermCount; ++t)
      f.edf[t] = SegmentsEdf(kTermAlpha[t], p.m, sizes, overlapping);
    points.push_back(f);
  }
  const double window = record.chip ? record.chip->windowS : 0.0;
  a.tauMin = options.fitFrom.value_or(kFitFromWindows * window);
  FitOptions fitOptions{.allowed = options.terms, .confidence = options.confidence};
  const FitResult fit = FitTerms(points, a.tauMin, fitOptions);
  a.rounds = fit.rounds;
  a.converged = fit.converged;

  // The table on the chosen grid, each point's EDF for the noise dominant at its tau.
  for (const AllanPoint& p : gridPoints) {
    AdevRow row;
    row.m = p.m;
    row.tau = p.tau;
    row.terms = p.terms;
    row.adev = p.adev * record.unit;
    row.alpha = fit.fittedPoints > 0 ? DominantAlpha(fit.coefficient, p.tau) : 0;
    row.edf = SegmentsEdf(row.alpha, p.m, sizes, overlapping);
    if (row.edf > 0 && row.adev > 0) {
      const Interval i = ChiSquareInterval(row.adev, row.edf, options.confidence);
      row.lo = Finite(i.lo);
      row.hi = Finite(i.hi);
    }
    for (size_t j = 0; j < octavePoints.size(); ++j)
      if (octavePoints[j].m == p.m && j < fit.inFit.size()) row.inFit = fit.inFit[j];
    a.adev.push_back(row);
  }

  for (int t = 0; t < kTermCount; ++t) {
    const TermUnits& u = kTermUnits[t];
    const TermResult& r = fit.terms[t];
    TermReport& report = a.terms[t];
    report.name = u.name;
    report.key = u.key;
    report.unit = u.unit;
    report.siUnit = u.siUnit;
    report.allowed = options.terms[t];
    if (!report.allowed) continue;
    report.value = Finite(fit.coefficient[t] * u.scale);
    report.lo = Scaled(r.lo, u.scale);
    report.hi = Scaled(r.hi, u.scale);
    report.upperLimit = Scaled(r.upperLimit, u.scale);
    report.edf = std::isfinite(r.edf) ? r.edf : 0.0;
    report.resolved = r.resolved;
    report.siValue = Finite(fit.coefficient[t] * u.siScale);
  }

  const ClassicReadings classic = Classic(points);
  a.classic.arwAt1s = Scaled(classic.arwAt1s, kArwToDegPerRootHour);
  a.classic.rrwLast = Scaled(classic.rrwLast, kRrwToDegPerHourRootHour);
  a.classic.minimum = Scaled(classic.minimum, kBiToDegPerHour);
  a.classic.minimumTau = Finite(classic.minimumTau);
  a.classic.biFromMinimum = Scaled(classic.biFromMinimum, kBiToDegPerHour);

  CheckSampling(record, fit, a);

  // The verdict always takes the 95 % intervals.
  if (options.limitArw || options.limitBi || options.limitRrw) {
    FitResult sure = fit;
    if (options.confidence != kVerdictConfidence) {
      fitOptions.confidence = kVerdictConfidence;
      sure = FitTerms(points, a.tauMin, fitOptions);
    }
    std::vector<Verdict> results;
    const auto judge = [&](std::string_view key, double limit, Verdict v) {
      a.verdicts.push_back({key, limit, v});
      results.push_back(v);
    };
    if (options.limitArw)
      judge("arw", *options.limitArw,
            JudgeTerm(sure.terms[kN], kArwToDegPerRootHour, *options.limitArw));
    if (options.limitBi) {
      Verdict v = JudgeTerm(sure.terms[kB], kBiToDegPerHour, *options.limitBi);
      if (options.biFromMinimum) {
        v = Verdict::Inconclusive;
        // The minimum's own 95 % interval, read as B.
        for (const FitPoint& p : points)
          if (classic.minimumTau && p.tau == *classic.minimumTau && p.edf[kB] > 0) {
            const Interval i =
                ChiSquareInterval(std::sqrt(p.variance), p.edf[kB], kVerdictConfidence);
            const double s = kBiToDegPerHour / kFloorFactor;
            v = Judge(*options.limitBi, Finite(i.lo * s), Finite(i.hi * s), std::nullopt);
          }
      }
      judge("bi", *options.limitBi, v);
    }
    if (options.limitRrw)
      judge("rrw", *options.limitRrw,
            JudgeTerm(sure.terms[kK], kRrwToDegPerHourRootHour, *options.limitRrw));
    a.overall = Overall(results);
  }
  if (dropped > 0)
    a.warnings.push_back({"non_finite", dropped,
                          std::to_string(dropped) + " values came out as no finite number and are "
                                                    "left empty (null): the record is out of the "
                                                    "range the analysis can take."});
  return a;
}

}  // namespace

std::string_view VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Pass:
      return "pass";
    case Verdict::Fail:
      return "fail";
    case Verdict::Inconclusive:
      return "inconclusive";
    case Verdict::None:
      break;
  }
  return "none";
}

Analysis Analyze(Record& record, const AnalysisOptions& options) {
  const std::vector<int64_t> sizes = SegmentSizes(record);
  const int64_t longest = sizes.empty() ? 0 : *std::max_element(sizes.begin(), sizes.end());
  const double mean = record.samples.empty()
                          ? 0.0
                          : std::accumulate(record.samples.begin(), record.samples.end(), 0.0) /
                                static_cast<double>(record.samples.size());
  RateToPhase(record.samples, record.segmentStarts, mean, record.tau0);
  const int64_t half = std::max<int64_t>(longest / 2, 1);
  const auto deviation = [&](const TauGrid& grid) {
    return AllanDeviation(record.samples, record.segmentStarts, record.tau0,
                          GridFactors(grid, half), options.estimator);
  };
  const std::vector<AllanPoint> octaves = deviation({});
  return Summarize(record, sizes, octaves,
                   options.grid.kind == TauGrid::Kind::Octave ? octaves : deviation(options.grid),
                   options);
}

Analysis AnalyzePoints(const Record& facts, std::span<const int64_t> segmentSizes,
                       const std::vector<AllanPoint>& octaves, const AnalysisOptions& options) {
  return Summarize(facts, {segmentSizes.begin(), segmentSizes.end()}, octaves, octaves, options);
}

}  // namespace velk::noise
