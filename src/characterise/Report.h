#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "characterise/Characterisation.h"
#include "core/Result.h"
#include "noise/Verdict.h"

namespace velk::characterise {

inline constexpr std::string_view kReportSchema = "velk47120-report/1";
inline constexpr std::string_view kNoiseSchema = "velk47120-noise/2";

// One tau of a noise run's Allan deviation, with its interval at the run's confidence.
struct AdevPoint {
  double tau = 0.0;   // s
  double adev = 0.0;  // deg/s
  std::optional<double> lo, hi;
  bool inFit = false;
};

// One file the report was given: a characterisation, or a noise run read as one (test
// "noise", its N, B and K as the figures arw, bias_instability and rate_random_walk).
struct ReportInput {
  std::string file;
  std::string sha256;  // of the bytes read
  Characterisation doc;
  // A noise term the run did not detect has no value, only its 95 % upper limit: what the
  // verdict reads, as the noise command's does.
  std::map<std::string, double> upperLimits;
  std::vector<AdevPoint> adev;
  double adevConfidence = 0.0;  // of the adev intervals, 0..1
};

struct Report {
  std::vector<ReportInput> inputs;
  std::map<std::string, double> limits;  // by figure name, as judged
  noise::Verdict overall = noise::Verdict::None;
};

// The noise run's JSON (schema velk47120-noise/2) as a report input; or why it is not one, to
// follow the file's name.
Result<ReportInput, std::string> ReadNoiseJson(std::string_view text);

// The file's JSON, whichever of the two schemas it has, with the SHA-256 of `text`; or why it
// cannot be read, to follow the file's name ("is not JSON: ...").
Result<ReportInput, std::string> ReadReportInput(const std::string& file, std::string_view text);

// Judges every figure of every input against its limit (a noise term not detected by its upper
// limit) and keeps the limits; the verdict over all, None when nothing had a limit.
noise::Verdict JudgeReport(Report& report, const std::map<std::string, double>& limits);

// The limits no input has a figure for: they judged nothing.
std::vector<std::string> UnusedLimits(const Report& report);

// What the report's header says of the run: the chip, the range, ... as each input recorded
// it ("not recorded" when none did; the different values joined when the inputs differ).
struct ReportFacts {
  std::string chip, range, samplePeriod, taps;
};
ReportFacts FactsOf(const Report& report);

// The table the tool prints: a row a figure (value, 95 % interval, unit, limit, verdict, the
// test it came from) with its conditions below, then the inputs with their hashes and the
// warnings.
std::string ReportTable(const Report& report);

// The report as JSON, schema velk47120-report/1.
std::string ReportJson(const Report& report, std::string_view programVersion,
                       std::string_view date);

// One self-contained HTML page that prints on one A4 sheet: the header, the table and the
// plots the inputs hold data for, as inline SVG.
std::string ReportHtml(const Report& report, std::string_view programVersion,
                       std::string_view date);

// Helpers the three outputs share.
// 4 significant digits, more when the interval [lo, hi] needs them to tell its ends apart.
std::string FigureNumber(double value, std::optional<double> lo = {},
                         std::optional<double> hi = {});
std::string LimitNumber(double value);             // as given, up to 6 digits
std::string FigureInterval(const Figure& figure);  // "lo .. hi", or empty
// The reason a figure has no value, or its upper limit for a noise term not detected.
std::string FigureReason(const ReportInput& input, const Figure& figure);

}  // namespace velk::characterise
