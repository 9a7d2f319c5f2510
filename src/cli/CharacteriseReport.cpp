// characterise report: the figures of characterise and noise JSON files in one table, judged
// against the limits, and a one-page HTML report. No chip.
#include <chrono>
#include <ctime>
#include <filesystem>

#include "characterise/Report.h"
#include "cli/Characterise.h"
#include "cli/Cli.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "cli/Setup.h"
#include "core/EchoText.h"
#include "core/SafeSave.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

namespace {

ExitStatus Refused(CliContext& context, const std::string& message) {
  context.err << "velk47120-cli: " << message << "\n";
  return ExitStatus::kUsage;
}

std::string DateText(std::chrono::system_clock::time_point t) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
  return text;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return a == b || std::filesystem::equivalent(a, b, error);
}

}  // namespace

ExitStatus CharacteriseReport(const CliOptions& options, const Plan& plan, CliContext& context) {
  const std::optional<std::string>& html = options.characterise.html;
  characterise::Report report;
  for (const std::string& file : plan.operands) {
    if (html && *html != "-" && SameFile(file, *html))
      return Refused(context, "--html " + Escaped(*html) +
                                  " would write over an input: name another file for the page");
    const Result<std::string, std::string> text = ReadSmallText(file);
    if (!text) return Refused(context, text.error());
    auto input = characterise::ReadReportInput(file, *text);
    if (!input) return Refused(context, Escaped(file) + " " + input.error());
    report.inputs.push_back(std::move(*input));
  }
  const noise::Verdict overall = characterise::JudgeReport(report, plan.limits);
  const std::string date =
      DateText(context.wallClock ? context.wallClock() : std::chrono::system_clock::now());
  // A page asked for as "-" has standard output to itself; the table moves to stderr.
  std::ostream& table = html && *html == "-" ? context.err : context.out;
  table << (options.json ? characterise::ReportJson(report, VELK_VERSION, date)
                         : characterise::ReportTable(report))
        << std::flush;
  if (html) {
    const std::string page = characterise::ReportHtml(report, VELK_VERSION, date);
    if (*html == "-") {
      context.out << page << std::flush;
    } else if (const auto saved = SaveFileSafely(*html, page); !saved) {
      SaveFailed(context, Escaped(*html), saved.error());
      return ExitStatus::kOutputFailed;
    }
  }
  switch (overall) {
    case noise::Verdict::Fail:
      return ExitStatus::kFail;
    case noise::Verdict::Inconclusive:
      return ExitStatus::kInconclusive;
    default:
      return ExitStatus::kDone;
  }
}

}  // namespace velk
