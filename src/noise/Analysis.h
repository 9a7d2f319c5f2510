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

namespace velk::noise {

// How the deviation is taken, fitted and judged.
struct AnalysisOptions {
  Estimator estimator = Estimator::Overlapping;
  TauGrid grid;  // the table's and the plot's points; the fit always takes octaves
  std::array<bool, kTermCount> terms{false, true, true, true, false};
  std::optional<double> fitFrom;  // s; else 20 W (or 0 without W)
  double confidence = kOneSigma;
  std::optional<double> limitArw;  // deg/sqrt(h)
  std::optional<double> limitBi;   // deg/h
  std::optional<double> limitRrw;  // deg/h/sqrt(h)
  bool biFromMinimum = false;      // judge the minimum / 0.664 instead of the fitted B
};

// One point of the table, in deg/s.
struct AdevRow {
  int64_t m = 0;
  double tau = 0.0;
  int64_t terms = 0;
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
  bool allowed = false;
  std::optional<double> value, lo, hi, upperLimit;
  double edf = 0.0;
  bool resolved = false;
  std::optional<double> siValue;
};

struct ClassicReport {
  std::optional<double> arwAt1s;  // deg/sqrt(h)
  std::optional<double> rrwLast;  // deg/h/sqrt(h)
  std::optional<double> minimum;  // deg/h
  std::optional<double> minimumTau;
  std::optional<double> biFromMinimum;  // deg/h
};

struct Warning {
  std::string code;
  std::optional<double> factor;
  std::string text;
};

struct Judged {
  std::string_view key;  // "arw", "bi", "rrw"
  double limit = 0.0;
  Verdict result = Verdict::None;
};

struct Analysis {
  // The source and its sampling, as the record gave them.
  Layout layout = Layout::Log;
  std::string file;
  int run = 1;
  int runs = 1;
  std::string comment;
  std::optional<ChipSettings> chip;
  double tau0 = 0.0;
  Tau0Source tau0Source = Tau0Source::None;
  int64_t samples = 0;
  double durationS = 0.0;
  int64_t segments = 0;
  int64_t lost = 0;
  double jitter = 0.0;
  bool integerCounts = false;
  double meanDps = 0.0;
  std::optional<double> meanTemp;
  std::optional<double> tempSpan;
  std::vector<std::string> notes;

  Estimator estimator = Estimator::Overlapping;
  double confidence = kOneSigma;
  double tauMin = 0.0;
  int rounds = 0;
  bool converged = false;
  std::array<bool, kTermCount> termsAllowed{};
  std::vector<AdevRow> adev;  // on the chosen grid
  std::array<TermReport, kTermCount> terms{};
  ClassicReport classic;
  std::vector<Warning> warnings;
  std::vector<Judged> verdicts;
  Verdict overall = Verdict::None;
};

// The whole analysis of a record. The record's samples are turned into phase in place.
Analysis Analyze(Record& record, const AnalysisOptions& options);

// The analysis of a record whose octave deviation is already taken (a live record): `facts`
// gives what Record says of the run (its samples are not read), `segmentSizes` each
// segment's sample count and `octaves` the points in the record's work units. The table is
// the octave points.
Analysis AnalyzePoints(const Record& facts, std::span<const int64_t> segmentSizes,
                       const std::vector<AllanPoint>& octaves, const AnalysisOptions& options);

// "pass", "fail", "inconclusive" or "none".
std::string_view VerdictName(Verdict verdict);

}  // namespace velk::noise
