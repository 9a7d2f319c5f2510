#include "cli/Noise.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "cli/Cli.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "cli/Setup.h"
#include "core/EchoText.h"
#include "core/NumberText.h"
#include "core/SafeSave.h"
#include "noise/Results.h"
#include "noise/read/Reader.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

namespace {

struct NoiseOption {
  const char* name;
  bool takesValue;
};

constexpr NoiseOption kNoiseOptions[] = {
    {"--run", true},       {"--tau0", true},
    {"--skip", true},      {"--non-overlapping", false},
    {"--tau", true},       {"--terms", true},
    {"--fit-from", true},  {"--confidence", true},
    {"--limit-arw", true}, {"--limit-bi", true},
    {"--limit-rrw", true}, {"--bi-convention", true},
    {"--table", true},     {"--kalibr", true},
};

// The whole value as a number; core limits one beyond a double's range to it, which is no
// number the user meant.
std::optional<double> Number(const std::string& text) {
  const std::optional<double> value = ExactNumber(text);
  if (!value || std::abs(*value) >= std::numeric_limits<double>::max()) return std::nullopt;
  return value;
}

std::optional<int> Whole(const std::string& text, int lowest, int highest) {
  const std::optional<double> value = ExactNumber(text);
  if (!value || *value != std::floor(*value) || *value < lowest || *value > highest)
    return std::nullopt;
  return static_cast<int>(*value);
}

std::string Not(const std::string& value) {
  return ", not \"" + Escaped(value) + "\"";
}

// The reader's own bound, in the words of the options' messages.
static_assert(noise::kLargestReadSeconds == 1e12);
constexpr const char* kLargestReadText = "1e12";

std::optional<struct stat> Status(const std::string& file) {
  struct stat info {};
  const int got = file == "-" ? ::fstat(STDIN_FILENO, &info) : ::stat(file.c_str(), &info);
  return got == 0 ? std::optional(info) : std::nullopt;
}

// Two names of one file: the same device and inode, or, for files not made yet, one path.
bool SameFile(const std::string& a, const std::string& b) {
  const std::optional<struct stat> sa = Status(a), sb = Status(b);
  if (sa && sb) return sa->st_dev == sb->st_dev && sa->st_ino == sb->st_ino;
  if (sa || sb || a == "-" || b == "-") return false;
  std::error_code ea, eb;
  const std::filesystem::path pa = std::filesystem::weakly_canonical(a, ea);
  const std::filesystem::path pb = std::filesystem::weakly_canonical(b, eb);
  return !ea && !eb && pa == pb;
}

// --table or --kalibr on a file the run reads or writes would lose it; "-" is standard output.
Result<void, std::string> OutputsApart(const CliOptions& o, const Plan& plan) {
  const NoiseRequest& r = o.noise;
  if (r.table == "-" && r.kalibr == "-")
    return Unexpected(
        "--table - and --kalibr - both ask for standard output; name a file for one of them");
  const auto shown = [](const std::string& file) {
    return file == "-" ? std::string("standard input") : Escaped(file);
  };
  for (const auto& [name, file] : {std::pair{"--table", r.table}, {"--kalibr", r.kalibr}}) {
    if (!file || *file == "-") continue;
    const std::string said = std::string(name) + " " + Escaped(*file);
    if (!plan.operands.empty() && SameFile(*file, plan.operands[0]))
      return Unexpected(said + " is the record read (" + shown(plan.operands[0]) +
                        "): name another file; nothing was written");
    if (o.out && SameFile(*file, *o.out))
      return Unexpected(said + " is the file --out " + Escaped(*o.out) +
                        " takes the samples: name another file; nothing was written");
  }
  if (r.table && r.kalibr && *r.table != "-" && SameFile(*r.table, *r.kalibr))
    return Unexpected("--table " + Escaped(*r.table) + " and --kalibr " + Escaped(*r.kalibr) +
                      " are one file: name two; nothing was written");
  return {};
}

}  // namespace

std::optional<bool> NoiseOptionTakesValue(const std::string& name) {
  for (const NoiseOption& o : kNoiseOptions)
    if (name == o.name) return o.takesValue;
  return std::nullopt;
}

Result<void, std::string> ApplyNoiseOption(NoiseRequest& r, const std::string& name,
                                           const std::string& value) {
  noise::AnalysisOptions& a = r.analysis;
  const auto positive = [&](std::optional<double>& into,
                            const char* what) -> Result<void, std::string> {
    const auto v = Number(value);
    if (!v || *v <= 0) return Unexpected(name + " takes " + what + " above 0" + Not(value));
    into = v;
    return {};
  };
  if (name == "--run") {
    const auto run = Whole(value, 1, 1000000);
    if (!run) return Unexpected("--run takes a run number from 1 to 1000000" + Not(value));
    r.read.run = run;
  } else if (name == "--tau0") {
    const auto v = Number(value);
    if (!v || *v <= 0 || *v > noise::kLargestReadSeconds)
      return Unexpected(std::string("--tau0 takes seconds above 0, up to ") + kLargestReadText +
                        Not(value));
    r.read.tau0 = v;
  } else if (name == "--skip") {
    const auto v = Number(value);
    if (!v || *v < 0 || *v > noise::kLargestReadSeconds)
      return Unexpected(std::string("--skip takes seconds from 0 to ") + kLargestReadText +
                        Not(value));
    r.read.skipS = *v;
  } else if (name == "--non-overlapping") {
    a.estimator = noise::Estimator::NonOverlapping;
  } else if (name == "--tau") {
    if (value == "octave") {
      a.grid = {};
    } else if (value == "decade") {
      a.grid.kind = noise::TauGrid::Kind::Decade;
    } else if (const auto n = Whole(value, 1, 100)) {
      a.grid = {noise::TauGrid::Kind::PerDecade, *n};
    } else {
      return Unexpected("--tau takes octave, decade or a number of points a decade from 1 to 100" +
                        Not(value));
    }
  } else if (name == "--terms") {
    if (value == "auto") {
      a.terms = noise::kTermsAuto;
    } else if (value == "nbk") {
      a.terms = noise::kTermsNbk;
    } else if (value == "qnbkr") {
      a.terms = noise::kTermsAll;
    } else {
      return Unexpected("--terms takes auto, nbk or qnbkr" + Not(value));
    }
  } else if (name == "--fit-from") {
    return positive(a.fitFrom, "a tau in seconds");
  } else if (name == "--confidence") {
    if (value == "68.3") {
      a.confidence = noise::kOneSigma;
    } else if (value == "95") {
      a.confidence = 0.95;
    } else {
      return Unexpected("--confidence takes 68.3 or 95" + Not(value));
    }
  } else if (name == "--limit-arw") {
    return positive(a.limits.arw, "a limit in deg/sqrt(h)");
  } else if (name == "--limit-bi") {
    return positive(a.limits.bi, "a limit in deg/h");
  } else if (name == "--limit-rrw") {
    return positive(a.limits.rrw, "a limit in deg/h/sqrt(h)");
  } else if (name == "--bi-convention") {
    if (value != "ieee" && value != "min")
      return Unexpected("--bi-convention takes ieee or min" + Not(value));
    a.limits.biFromMinimum = value == "min";
  } else if (name == "--table" || name == "--kalibr") {
    if (value.empty()) return Unexpected(name + " takes a file name");
    (name == "--table" ? r.table : r.kalibr) = value;
  }
  return {};
}

Result<void, std::string> CheckNoise(const CliOptions& o, const Reg47120& /*table*/, Plan& plan) {
  if (!plan.operands.empty()) {
    if (o.duration)
      return Unexpected(
          "noise FILE reads a saved record; --duration acquires one from the chip, without "
          "FILE");
    if (o.out)
      return Unexpected(
          "--out saves the samples of an acquisition: it goes with --duration, not FILE");
    if (o.reconnectWait)
      return Unexpected(
          "--reconnect-wait waits for the USB card of an acquisition: it goes with --duration, "
          "not FILE");
    return OutputsApart(o, plan);
  }
  if (!o.duration)
    return Unexpected(
        "noise needs a FILE to read or --duration SECONDS to acquire from the chip (see "
        "\"velk47120-cli noise --help\")");
  if (o.out && *o.out == "-")
    return Unexpected(
        "--out - is refused: the report goes to standard output; name a file for the samples");
  if (o.noise.read.run) return Unexpected("--run picks a run of a FILE; an acquisition is one run");
  if (o.noise.read.tau0)
    return Unexpected("--tau0 is for a FILE; an acquisition is timed by the chip's sample period");
  return OutputsApart(o, plan);
}

ExitStatus NoiseReport(const CliOptions& options, noise::Record record, CliContext& context) {
  const NoiseRequest& request = options.noise;
  const noise::Analysis analysis = noise::Analyze(record, request.analysis);
  record = {};  // the samples are no longer needed
  // A file asked for as "-" has standard output to itself; the report moves to stderr.
  const bool outTaken = request.table == "-" || request.kalibr == "-";
  (outTaken ? context.err : context.out)
      << (options.json ? noise::ResultJson(analysis, VELK_VERSION) : noise::ReportText(analysis))
      << std::flush;
  const auto save = [&](const std::optional<std::string>& file, const std::string& content) {
    if (!file) return true;
    if (*file == "-") {
      context.out << content << std::flush;
      return static_cast<bool>(context.out);
    }
    const auto saved = SaveFileSafely(*file, content);
    if (!saved) SaveFailed(context, Escaped(*file), saved.error());
    return saved.has_value();
  };
  if (!save(request.table, noise::TableCsv(analysis)) ||
      !save(request.kalibr, noise::KalibrYaml(analysis)))
    return ExitStatus::kOutputFailed;
  switch (analysis.overall) {
    case noise::Verdict::Fail:
      return ExitStatus::kFail;
    case noise::Verdict::Inconclusive:
      return ExitStatus::kInconclusive;
    default:
      return ExitStatus::kDone;
  }
}

ExitStatus NoiseFile(const CliOptions& options, const Plan& plan, CliContext& context) {
  noise::ReadOptions how = options.noise.read;
  how.stop = context.stop;
  noise::ReadResult read = noise::ReadRecord(plan.operands[0], how);
  const int signal = context.stop != nullptr ? static_cast<int>(*context.stop) : 0;
  if (signal != 0) {
    context.err << "velk47120-cli: stopped while reading "
                << (plan.operands[0] == "-" ? "standard input" : Escaped(plan.operands[0]))
                << "; nothing was analysed\n";
    return StoppedBy(signal);
  }
  if (!read) {
    context.err << "velk47120-cli: " << read.error().message << "\n";
    return ExitStatus::kUsage;
  }
  return NoiseReport(options, *std::move(read), context);
}

}  // namespace velk
