#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "noise/Allan.h"
#include "noise/Edf.h"
#include "noise/Fit.h"
#include "noise/Record.h"
#include "noise/Verdict.h"

namespace velk::noise {

// Which terms the fit considers: "auto" takes all five and shows Q and R only when detected;
// a fixed set ("nbk", "qnbkr") shows each of its terms, detected or not.
struct TermChoice {
  bool automatic = true;
  std::array<bool, kTermCount> allowed{true, true, true, true, true};
};
inline constexpr TermChoice kTermsAuto{};
inline constexpr TermChoice kTermsNbk{false, {false, true, true, true, false}};
inline constexpr TermChoice kTermsAll{false, {true, true, true, true, true}};

// How the deviation is taken, fitted and judged.
struct AnalysisOptions {
  Estimator estimator = Estimator::Overlapping;
  TauGrid grid;  // the table's and the plot's points; the fit always takes octaves
  TermChoice terms;
  std::optional<double> fitFrom;  // s; else 20 W (or 0 without W)
  double confidence = kOneSigma;
  Limits limits;
};

// One point of the table, in deg/s.
struct AdevRow {
  int64_t m = 0;
  double tau = 0.0;
  int64_t terms = 0;     // used
  int64_t possible = 0;  // with no sample missing
  double adev = 0.0;
  std::optional<double> lo, hi;
  double edf = 0.0;
  int alpha = 0;
  bool inFit = false;
};

// A term in the units a datasheet gives, and in SI.
struct TermReport {
  std::string_view name;  // "Angle random walk"
  std::string_view key;   // "arw"
  std::string_view unit;
  std::string_view siUnit;
  bool allowed = false;  // considered by the fit
  bool shown = false;    // reported: in the chosen set, or detected under "auto"
  bool detected = false;
  double rise = 0.0;  // the fit's chi-square rise when the term is dropped
  // Detected: the value and its interval at the analysis's confidence, and at 95 %.
  std::optional<double> value, lo, hi, lo95, hi95;
  std::optional<double> upperLimit;  // not detected: one-sided 95 %
  bool resolved = false;             // holds the largest share at two fitted points or more
  std::optional<double> siValue, siUpperLimit;
};

struct ClassicReport {
  std::optional<double> arwAt1s;  // deg/sqrt(h)
  std::optional<double> rrwLast;  // deg/h/sqrt(h)
  std::optional<double> minimum;  // deg/h
  std::optional<double> minimumTau;
  std::optional<double> biFromMinimum;  // deg/h
  std::optional<double> biFromMinimumLo95, biFromMinimumHi95;
};

enum class WarningCode {
  Subsampled,
  Oversampled,
  Quantization,
  Motion,
  Temperature,
  Gaps,
  NarrowFloor,
  Unresolved,
  NotConverged,
  NonFinite,
  HostPaced,
};
// The code as the report and the JSON write it: "subsampled", "narrow_floor", ...
std::string_view WarningCodeText(WarningCode code);

struct Warning {
  WarningCode code;
  std::optional<double> factor;
  std::string text;
};

struct Analysis {
  // The source and its sampling, as the record gave them.
  Layout layout = Layout::Log;
  std::string file;
  int run = 1;
  int runs = 1;
  std::string comment;
  std::optional<RealtimeGrant> priority;  // the tool's own acquisition
  std::optional<ChipSettings> chip;
  double tau0 = 0.0;
  Tau0Source tau0Source = Tau0Source::None;
  int64_t samples = 0;
  double durationS = 0.0;
  int64_t segments = 0;
  int64_t lost = 0;
  LeftOutRows leftOut;
  double jitter = 0.0;
  bool integerCounts = false;
  double meanDps = 0.0;
  std::optional<double> meanTemp;
  std::optional<double> tempSpan;
  std::vector<std::string> notes;

  // Why no term could be estimated ("the longest segment spans 0.8 s"), and how long a
  // record would have to be for one point to fit; empty when the fit had points.
  std::optional<std::string> notEstimated;
  std::optional<double> neededDurationS;

  Estimator estimator = Estimator::Overlapping;
  double confidence = kOneSigma;
  double tauMin = 0.0;
  int rounds = 0;
  bool converged = false;
  TermChoice termChoice;
  int fittedPoints = 0;
  double reducedChiSquare = 0.0;
  std::vector<AdevRow> adev;  // on the chosen grid
  std::array<TermReport, kTermCount> terms{};
  ClassicReport classic;
  std::vector<Warning> warnings;
  Limits limits;
  std::vector<Judged> verdicts;
  Verdict overall = Verdict::None;
};

// Judges the analysis against the limits again, from the 95 % ends it keeps: a changed limit
// needs no new fit and no new read.
void Rejudge(Analysis& analysis, const Limits& limits);

// The whole analysis of a record. The record's samples are turned into phase in place.
Analysis Analyze(Record& record, const AnalysisOptions& options);

// The analysis of a record whose octave deviation is already taken (a live record): `facts`
// gives what Record says of the run (its samples are not read), `segmentSizes` each
// segment's sample count, `gridSizes` its samples and missing ones (empty: none missing) and
// `octaves` the points in the record's work units. The table is the octave points.
Analysis AnalyzePoints(const Record& facts, std::span<const int64_t> segmentSizes,
                       const std::vector<AllanPoint>& octaves, const AnalysisOptions& options,
                       std::span<const int64_t> gridSizes = {});

}  // namespace velk::noise
