#include "noise/Analysis.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/NumberText.h"
#include "noise/Readings.h"
#include "noise/Units.h"

namespace velk::noise {

namespace {

constexpr double kFitFromWindows = 20.0;  // the fit starts where averaging no longer shapes it
constexpr double kFitEdf = 8.0;           // the least white-noise EDF of a fitted point

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

std::string Sig(double v, int digits = 3) {
  return FormatSignificant(v, digits);
}

// Values that come out as no finite number become null; the count is reported once.
class FiniteOnly {
 public:
  std::optional<double> operator()(std::optional<double> v) {
    if (v && !std::isfinite(*v)) {
      ++dropped_;
      return std::nullopt;
    }
    return v;
  }
  std::optional<double> Scaled(std::optional<double> v, double scale) {
    return v ? (*this)(*v * scale) : std::nullopt;
  }
  int Dropped() const { return dropped_; }

 private:
  int dropped_ = 0;
};

std::vector<int64_t> SegmentSizes(const Record& record) {
  std::vector<int64_t> sizes;
  const auto& starts = record.segmentStarts;
  for (size_t i = 0; i < starts.size(); ++i) {
    const size_t end = i + 1 < starts.size() ? starts[i + 1] : record.samples.size();
    sizes.push_back(static_cast<int64_t>(end - starts[i]));
  }
  return sizes;
}

double Span(const std::vector<double>& values) {
  if (values.empty()) return 0.0;
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  return *hi - *lo;
}

// Step 1: what the record says of its source and sampling.
void TakeFacts(const Record& record, std::span<const int64_t> sizes, FiniteOnly& finite,
               Analysis& a) {
  a.layout = record.layout;
  a.file = record.file;
  a.run = record.run;
  a.runs = record.runs;
  a.comment = record.comment;
  a.priority = record.priority;
  a.chip = record.chip;
  a.tau0 = record.tau0;
  a.tau0Source = record.tau0Source;
  a.samples = std::accumulate(sizes.begin(), sizes.end(), int64_t{0});
  a.durationS = record.durationS;
  a.segments = static_cast<int64_t>(record.segmentStarts.size());
  a.lost = record.lost;
  a.leftOut = record.leftOut;
  a.jitter = record.jitter;
  a.integerCounts = record.integerCounts;
  a.meanDps = record.stats.meanRate;
  a.meanTemp = finite(record.stats.meanTemp);
  if (!record.stats.tenSecondTemps.empty()) a.tempSpan = Span(record.stats.tenSecondTemps);
  a.notes = record.notes;
}

// Step 2: the octave points in deg/s with each noise type's EDF. `sizes` are the segments'
// lengths on the sample grid, missing samples included; GapEdfShare takes their share out.
std::vector<FitPoint> OctavePoints(const Record& record, std::span<const int64_t> sizes,
                                   const std::vector<AllanPoint>& octaves, bool overlapping) {
  const double unit2 = record.unit * record.unit;
  std::vector<FitPoint> points;
  for (const AllanPoint& p : octaves) {
    FitPoint f{.m = p.m, .tau = p.tau, .variance = p.variance * unit2};
    for (int t = 0; t < kTermCount; ++t)
      f.edf[t] = SegmentsEdf(kTermAlpha[t], p.m, sizes, overlapping) * GapEdfShare(p);
    points.push_back(f);
  }
  return points;
}

// Step 3: the fit.
FitOptions FitOptionsFor(std::span<const int64_t> sizes, const AnalysisOptions& options) {
  return {.allowed = options.terms.allowed,
          .confidence = options.confidence,
          .longestSegment = sizes.empty() ? 0 : *std::max_element(sizes.begin(), sizes.end()),
          .overlapping = options.estimator == Estimator::Overlapping};
}

FitResult Fit(const std::vector<FitPoint>& points, const FitOptions& fitOptions, Analysis& a) {
  const FitResult fit = FitTerms(points, a.tauMin, fitOptions);
  a.rounds = fit.rounds;
  a.converged = fit.converged;
  a.fittedPoints = fit.fittedPoints;
  a.reducedChiSquare = fit.reducedChiSquare;
  return fit;
}

// Step 4: the table on the chosen grid, each point's EDF for the noise dominant at its tau.
void Tabulate(const Record& record, std::span<const int64_t> sizes,
              const std::vector<AllanPoint>& octaves, const std::vector<AllanPoint>& grid,
              const FitResult& fit, const AnalysisOptions& options, FiniteOnly& finite,
              Analysis& a) {
  const bool overlapping = options.estimator == Estimator::Overlapping;
  for (const AllanPoint& p : grid) {
    AdevRow row;
    row.m = p.m;
    row.tau = p.tau;
    row.terms = p.terms;
    row.possible = p.possible;
    row.adev = p.adev * record.unit;
    int best = kN;
    double largest = 0.0;
    for (int t = 0; t < kTermCount; ++t) {
      const double part = fit.coefficient[t] * fit.coefficient[t] * TermShape(Term(t), p.tau);
      if (part > largest) {
        largest = part;
        best = t;
      }
    }
    row.alpha = largest > 0.0 ? kTermAlpha[best] : 0;
    row.edf = SegmentsEdf(row.alpha, p.m, sizes, overlapping) * GapEdfShare(p);
    if (row.edf > 0 && row.adev > 0) {
      const Interval i = ChiSquareInterval(row.adev, row.edf, options.confidence);
      row.lo = finite(i.lo);
      row.hi = finite(i.hi);
    }
    for (size_t j = 0; j < octaves.size(); ++j)
      if (octaves[j].m == p.m && j < fit.inFit.size()) row.inFit = fit.inFit[j];
    a.adev.push_back(row);
  }
}

// Step 5: the terms in datasheet units and SI.
void Units(const FitResult& fit, const TermChoice& choice, FiniteOnly& finite, Analysis& a) {
  for (int t = 0; t < kTermCount; ++t) {
    const TermUnits& u = kTermUnits[t];
    const TermResult& r = fit.terms[t];
    TermReport& report = a.terms[t];
    report.name = u.name;
    report.key = u.key;
    report.unit = u.unit;
    report.siUnit = u.siUnit;
    report.allowed = r.allowed;
    report.detected = r.detected;
    report.shown = r.allowed && (!choice.automatic || r.detected || t == kN || t == kB || t == kK);
    if (!r.allowed || a.notEstimated) continue;
    report.rise = std::isfinite(r.rise) ? r.rise : 0.0;
    report.value = finite.Scaled(r.value, u.scale);
    report.lo = finite.Scaled(r.lo, u.scale);
    report.hi = finite.Scaled(r.hi, u.scale);
    report.lo95 = finite.Scaled(r.lo95, u.scale);
    report.hi95 = finite.Scaled(r.hi95, u.scale);
    report.upperLimit = finite.Scaled(r.upperLimit, u.scale);
    report.resolved = r.dominantPoints >= 2;
    report.siValue = finite.Scaled(r.value, u.siScale);
    report.siUpperLimit = finite.Scaled(r.upperLimit, u.siScale);
  }
}

// Step 6: the classic readings in datasheet units.
void ClassicStep(const std::vector<FitPoint>& points, FiniteOnly& finite, Analysis& a) {
  const ClassicReadings classic = Classic(points);
  a.classic.arwAt1s = finite.Scaled(classic.arwAt1s, kArwToDegPerRootHour);
  a.classic.rrwLast = finite.Scaled(classic.rrwLast, kRrwToDegPerHourRootHour);
  a.classic.minimum = finite.Scaled(classic.minimum, kBiToDegPerHour);
  a.classic.minimumTau = finite(classic.minimumTau);
  a.classic.biFromMinimum = finite.Scaled(classic.biFromMinimum, kBiToDegPerHour);
  a.classic.biFromMinimumLo95 = finite.Scaled(classic.biFromMinimumLo95, kBiToDegPerHour);
  a.classic.biFromMinimumHi95 = finite.Scaled(classic.biFromMinimumHi95, kBiToDegPerHour);
}

// The shortest single segment with an octave point at tau >= tauMin whose white-noise EDF
// reaches kFitEdf, in seconds.
std::optional<double> NeededDuration(double tau0, double tauMin, bool overlapping) {
  if (!(tau0 > 0.0) || !std::isfinite(tau0)) return std::nullopt;
  int64_t m = 1;
  while (static_cast<double>(m) * tau0 < tauMin && m < (int64_t{1} << 40)) m *= 2;
  const auto enough = [&](int64_t n) {
    return n >= 2 * m && GreenhallEdf(0, m, n + 1, overlapping) >= kFitEdf;
  };
  int64_t hi = 2 * m;
  while (!enough(hi) && hi < (int64_t{1} << 50)) hi *= 2;
  int64_t lo = hi / 2;
  while (hi - lo > 1) {
    const int64_t mid = lo + (hi - lo) / 2;
    (enough(mid) ? hi : lo) = mid;
  }
  return static_cast<double>(hi) * tau0;
}

// Step 5b: nothing to fit means nothing claimed; the reason and the length that would do.
void ExplainNoFit(std::span<const int64_t> sizes, const AnalysisOptions& options, Analysis& a) {
  const int64_t longest = sizes.empty() ? 0 : *std::max_element(sizes.begin(), sizes.end());
  const double spans = static_cast<double>(longest) * a.tau0;
  a.notEstimated = "no octave point at tau >= " + Sig(std::max(a.tauMin, a.tau0)) +
                   " s has an EDF of " + Sig(kFitEdf) + " or more: the longest segment spans " +
                   Sig(spans, 2) + " s";
  a.neededDurationS = NeededDuration(a.tau0, a.tauMin, options.estimator == Estimator::Overlapping);
}

// Step 7: the checks of the sampling and of the fit.
class Checks {
 public:
  Checks(const Record& record, const std::vector<FitPoint>& points, const FitOptions& fitOptions,
         const FitResult& fit, FiniteOnly& finite, Analysis& a)
      : record_(record),
        points_(points),
        fitOptions_(fitOptions),
        fit_(fit),
        finite_(finite),
        a_(a) {}

  void Run() {
    Sampling();
    Quantization();
    Motion();
    Temperature();
    Gaps();
    NarrowFloor();
    Unresolved();
    if (fit_.fittedPoints > 0 && !fit_.converged)
      Warn(WarningCode::NotConverged, fit_.rounds,
           "The fit's weights had not settled after " + std::to_string(fit_.rounds) +
               " rounds; its terms may be off in their last digits.");
  }

 private:
  void Warn(WarningCode code, std::optional<double> factor, std::string text) {
    a_.warnings.push_back({code, finite_(factor), std::move(text)});
  }

  void Sampling() {
    const std::optional<ChipSettings>& chip = record_.chip;
    if (!chip) return;
    if (chip->windowS > 0 && record_.tau0 > chip->windowS * (1 + 1e-9)) {
      const double factor = std::sqrt(record_.tau0 / chip->windowS);
      Warn(WarningCode::Subsampled, factor,
           "tau0 = " + Sig(record_.tau0, 6) + " s is longer than the chip's averaging window W = " +
               Sig(chip->windowS, 6) + " s, so the short-tau deviation and the ARW read about " +
               FormatFixed(factor, 3) + " times high: acquire with \"noise --duration\", or log " +
               "at an interval of W or less.");
    }
    if (record_.layout != Layout::Acquisition && chip->samplePeriodS > 0 &&
        record_.tau0 < chip->samplePeriodS * (1 - 1e-9))
      Warn(WarningCode::Oversampled, chip->samplePeriodS / record_.tau0,
           "tau0 = " + Sig(record_.tau0, 6) + " s is shorter than the chip's sample period of " +
               Sig(chip->samplePeriodS, 6) + " s, so rows repeat samples and the short-tau " +
               "deviation reads low: log at an interval of at least the sample period, or " +
               "acquire with \"noise --duration\".");
  }

  void Quantization() {
    const StreamStats& s = record_.stats;
    if (s.blocks > 0 && s.blockSpreadRms < 0.5)
      Warn(WarningCode::Quantization, s.blockSpreadRms,
           "The codes spread only " + FormatFixed(s.blockSpreadRms, 2) +
               " LSB RMS within 256-sample blocks, so the LSB shapes the short-tau deviation: " +
               "choose a finer range.");
  }

  void Motion() {
    const std::optional<ChipSettings>& chip = record_.chip;
    const double meanSpan = Span(record_.stats.secondMeans);
    if (chip && chip->rangeDps > 0 && meanSpan > 0.05 * chip->rangeDps) {
      Warn(WarningCode::Motion, meanSpan / chip->rangeDps,
           "The 1 s means of the rate span " + FormatFixed(100 * meanSpan / chip->rangeDps, 1) +
               " % of full scale: the part moved during the record; keep it still.");
      return;
    }
    if (fit_.fittedPoints > 0 && fit_.reducedChiSquare > 5) Misfit();
  }

  // Names where the curve leaves the fitted sum, and the option that may mend it.
  void Misfit() {
    const std::vector<AdevRow>& rows = a_.adev;
    std::vector<size_t> fitted;
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].inFit) fitted.push_back(i);
    size_t worst = 0;
    double worstZ = -1.0, worstRatio = 1.0;
    for (size_t k = 0; k < fitted.size(); ++k) {
      const AdevRow& row = rows[fitted[k]];
      double model = 0.0;
      for (int t = 0; t < kTermCount; ++t)
        model += fit_.coefficient[t] * fit_.coefficient[t] * TermShape(Term(t), row.tau);
      if (!(model > 0.0) || !(row.edf > 0.0)) continue;
      const double ratio = row.adev * row.adev / model;
      const double z = std::abs(ratio - 1.0) * std::sqrt(row.edf / 2.0);
      if (z > worstZ) {
        worstZ = z;
        worst = k;
        worstRatio = ratio;
      }
    }
    std::string text = "The fit's reduced chi-square is " + FormatFixed(fit_.reducedChiSquare, 1) +
                       ": the curve is not the sum of the noise terms.";
    // A term the choice leaves out may be what is missing: the fit with all five says so.
    if (!fitOptions_.allowed[kQ] || !fitOptions_.allowed[kR]) {
      FitOptions all = fitOptions_;
      all.allowed = kTermsAll.allowed;
      const FitResult wider = FitTerms(points_, a_.tauMin, all);
      std::string found;
      for (int t : {kQ, kR})
        if (!fitOptions_.allowed[t] && wider.terms[t].detected)
          found += std::string(found.empty() ? "" : " and ") +
                   (t == kQ ? "quantization noise" : "a rate ramp");
      if (!found.empty() && wider.reducedChiSquare < 0.5 * fit_.reducedChiSquare) {
        Warn(WarningCode::Motion, fit_.reducedChiSquare,
             text + " With " + found + " the fit's reduced chi-square is " +
                 FormatFixed(wider.reducedChiSquare, 1) + ": try --terms auto.");
        return;
      }
    }
    if (worstZ >= 0.0) {
      const bool shortEnd = worst < 2;
      const double percent = 100.0 * (std::sqrt(worstRatio) - 1.0);
      text += " It leaves it most at tau " + Sig(rows[fitted[worst]].tau) + " s, " +
              Sig(std::abs(percent), 2) + " % " + (percent > 0 ? "above" : "below") + " the fit";
      text += shortEnd ? ": --fit-from a longer tau leaves the short end out."
                       : ": motion or a disturbance? Keep the part still, or --fit-from a longer "
                         "tau.";
    }
    Warn(WarningCode::Motion, fit_.reducedChiSquare, text);
  }

  void Temperature() {
    if (a_.tempSpan && *a_.tempSpan > 0.5)
      Warn(WarningCode::Temperature, *a_.tempSpan,
           "The 10 s means of the temperature span " + FormatFixed(*a_.tempSpan, 2) +
               " degC: the bias follows temperature, which bends the long-tau end; let the part " +
               "settle first.");
  }

  void Gaps() {
    // Missing samples are bridged, in a file and in the live record alike.
    if (record_.lost > 0) {
      const double total = static_cast<double>(a_.samples + record_.lost);
      const double share = total > 0 ? record_.lost / total : 0.0;
      std::string text = std::to_string(record_.lost) + " samples (" + FormatFixed(100 * share, 2) +
                         " %) were missed; each window's mean is taken from the samples it " +
                         "holds and the white noise the missing ones add is taken out, so the " +
                         "long taus keep their terms but rest on fewer samples.";
      if (record_.segmentStarts.size() > 1)
        text += " The record holds " + std::to_string(record_.segmentStarts.size()) +
                " segments; no difference crosses from one into the next.";
      Warn(WarningCode::Gaps, share, text);
      return;
    }
    if (record_.segmentStarts.size() > 1)
      Warn(WarningCode::Gaps, 0.0,
           "The record holds " + std::to_string(record_.segmentStarts.size()) +
               " segments; no second difference crosses from one into the next, so long taus " +
               "rest on fewer terms.");
  }

  void NarrowFloor() {
    if (!fit_.terms[kB].detected) return;
    const std::optional<TauSpan> span = LargestShareSpan(fit_.coefficient, kB);
    if (!span) {
      Warn(WarningCode::NarrowFloor, 1.0,
           "Bias instability holds the largest share of the curve at no tau, so the minimum / "
           "0.664 overstates it: read the fitted B.");
      return;
    }
    const double width = span->to / span->from;
    if (std::isfinite(width) && width < 100)
      Warn(WarningCode::NarrowFloor, width,
           "Bias instability holds the largest share of the curve only from tau " +
               Sig(span->from) + " s to " + Sig(span->to) + " s, a factor of " + Sig(width) +
               ", so the minimum / 0.664 overstates it: read the fitted B.");
  }

  void Unresolved() {
    double lastTau = 0.0;
    for (const AdevRow& row : a_.adev)
      if (row.inFit) lastTau = std::max(lastTau, row.tau);
    for (int t = 0; t < kTermCount; ++t) {
      const TermResult& term = fit_.terms[t];
      if (!term.detected || term.dominantPoints >= 2) continue;
      const std::optional<TauSpan> span = LargestShareSpan(fit_.coefficient, Term(t));
      std::string where = "nowhere";
      if (span)
        where = span->from > 0 && std::isfinite(span->to)
                    ? "from tau " + Sig(span->from) + " s to " + Sig(span->to) + " s"
                : span->from > 0 ? "from tau " + Sig(span->from) + " s on"
                                 : "below tau " + Sig(span->to) + " s";
      Warn(WarningCode::Unresolved, term.dominantPoints,
           std::string(kTermUnits[t].name) + " holds the largest share at fewer than two " +
               "fitted points, so its value leans on the other terms: it would need points " +
               where + ", and the fitted points reach " + Sig(lastTau) + " s.");
    }
  }

  const Record& record_;
  const std::vector<FitPoint>& points_;
  const FitOptions& fitOptions_;
  const FitResult& fit_;
  FiniteOnly& finite_;
  Analysis& a_;
};

// Everything after the deviation, in its steps. `record` gives the facts; its samples are not
// read. `sizes` counts each segment's samples, `gridSizes` its samples and missing ones.
Analysis Summarize(const Record& record, std::span<const int64_t> sizes,
                   std::span<const int64_t> gridSizes, const std::vector<AllanPoint>& octaves,
                   const std::vector<AllanPoint>& grid, const AnalysisOptions& options) {
  FiniteOnly finite;
  Analysis a;
  TakeFacts(record, sizes, finite, a);
  a.estimator = options.estimator;
  a.confidence = options.confidence;
  a.termChoice = options.terms;
  const double window = record.chip ? record.chip->windowS : 0.0;
  a.tauMin = options.fitFrom.value_or(kFitFromWindows * window);
  if (!record.chip && !options.fitFrom)
    a.notes.push_back(
        "The file does not give the chip's settings, so its averaging window is unknown and "
        "the fit starts at tau0; --fit-from S starts it where the averaging no longer shapes "
        "the curve (20 windows).");

  const std::vector<FitPoint> points =
      OctavePoints(record, gridSizes, octaves, options.estimator == Estimator::Overlapping);
  const FitOptions fitOptions = FitOptionsFor(gridSizes, options);
  const FitResult fit = Fit(points, fitOptions, a);
  Tabulate(record, gridSizes, octaves, grid, fit, options, finite, a);
  if (fit.fittedPoints == 0) ExplainNoFit(gridSizes, options, a);
  Units(fit, options.terms, finite, a);
  ClassicStep(points, finite, a);
  Checks(record, points, fitOptions, fit, finite, a).Run();
  Rejudge(a, options.limits);
  if (finite.Dropped() > 0)
    a.warnings.push_back({WarningCode::NonFinite, finite.Dropped(),
                          std::to_string(finite.Dropped()) +
                              " values came out as no finite number and are left empty (null): "
                              "the record is out of the range the analysis can take."});
  return a;
}

Evidence TermEvidence(const Analysis& a, Term term) {
  const TermReport& t = a.terms[term];
  return {.estimated = !a.notEstimated,
          .detected = t.detected,
          .lo = t.lo95,
          .hi = t.hi95,
          .upperLimit = t.upperLimit};
}

}  // namespace

std::string_view WarningCodeText(WarningCode code) {
  switch (code) {
    case WarningCode::Subsampled:
      return "subsampled";
    case WarningCode::Oversampled:
      return "oversampled";
    case WarningCode::Quantization:
      return "quantization";
    case WarningCode::Motion:
      return "motion";
    case WarningCode::Temperature:
      return "temperature";
    case WarningCode::Gaps:
      return "gaps";
    case WarningCode::NarrowFloor:
      return "narrow_floor";
    case WarningCode::Unresolved:
      return "unresolved";
    case WarningCode::NotConverged:
      return "not_converged";
    case WarningCode::NonFinite:
      return "non_finite";
    case WarningCode::HostPaced:
      break;
  }
  return "host_paced";
}

void Rejudge(Analysis& a, const Limits& limits) {
  a.limits = limits;
  a.verdicts.clear();
  if (limits.arw) a.verdicts.push_back(Judge("arw", *limits.arw, TermEvidence(a, kN)));
  if (limits.bi) {
    Evidence e = TermEvidence(a, kB);
    if (limits.biFromMinimum) {
      // The minimum / 0.664 is B only where B is there to be read.
      e.lo = a.classic.biFromMinimumLo95;
      e.hi = a.classic.biFromMinimumHi95;
      e.upperLimit.reset();
    }
    Judged j = Judge("bi", *limits.bi, e);
    if (limits.biFromMinimum && e.estimated && !e.detected) {
      j.result = Verdict::Inconclusive;
      j.by = Decider::NotDetected;
      j.end.reset();
    }
    a.verdicts.push_back(j);
  }
  if (limits.rrw) a.verdicts.push_back(Judge("rrw", *limits.rrw, TermEvidence(a, kK)));
  a.overall = Overall(a.verdicts);
}

Analysis Analyze(Record& record, const AnalysisOptions& options) {
  const std::vector<int64_t> sizes = SegmentSizes(record);
  const bool gaps = !record.missing.empty();
  const std::vector<int64_t> gridSizes =
      gaps ? GridSizes(record.samples.size(), record.segmentStarts, record.missing) : sizes;
  const int64_t longest =
      gridSizes.empty() ? 0 : *std::max_element(gridSizes.begin(), gridSizes.end());
  const double mean = record.samples.empty()
                          ? 0.0
                          : std::accumulate(record.samples.begin(), record.samples.end(), 0.0) /
                                static_cast<double>(record.samples.size());
  RateToPhase(record.samples, record.segmentStarts, mean, record.tau0);
  const int64_t half = std::max<int64_t>(longest / 2, 1);
  const auto deviation = [&](const TauGrid& grid) {
    const std::vector<int64_t> factors = GridFactors(grid, half);
    return gaps ? GapAllanDeviation(record.samples, record.segmentStarts, record.missing,
                                    record.tau0, factors, options.estimator)
                : AllanDeviation(record.samples, record.segmentStarts, record.tau0, factors,
                                 options.estimator);
  };
  const std::vector<AllanPoint> octaves = deviation({});
  return Summarize(record, sizes, gridSizes, octaves,
                   options.grid.kind == TauGrid::Kind::Octave ? octaves : deviation(options.grid),
                   options);
}

Analysis AnalyzePoints(const Record& facts, std::span<const int64_t> segmentSizes,
                       const std::vector<AllanPoint>& octaves, const AnalysisOptions& options,
                       std::span<const int64_t> gridSizes) {
  return Summarize(facts, segmentSizes, gridSizes.empty() ? segmentSizes : gridSizes, octaves,
                   octaves, options);
}

}  // namespace velk::noise
