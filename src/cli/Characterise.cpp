#include "cli/Characterise.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "core/EchoText.h"
#include "core/NumberText.h"

namespace velk {

namespace {

struct Option {
  const char* name;
  bool takesValue;
};

constexpr Option kOptions[] = {
    {"--cycles", true},
    {"--off", true},
    {"--settle", true},
    {"--average", true},
    {"--power-command", true},
    {"--tempco", true},
    {"--from", true},
    {"--limits", true},
    {"--html", true},
    {"--yes", false},
    {"--flash", false},
    {"--undo-file", true},
    {"--undo", true},
    {"--rates", true},
    {"--table-command", true},
    {"--dwell", true},
    {"--plateau-sigmas", true},
    {"--plateau-spread", true},
    {"--plateau-min", true},
    {"--latitude", true},
    {"--fixture-command", true},
    {"--turns", true},
    {"--stop-error", true},
};

constexpr std::string_view kLimitPrefix = "--limit-";

std::string Not(const std::string& value) {
  return ", not \"" + Escaped(value) + "\"";
}

// The figure a --limit-NAME option names: its words joined by '-' for the figure's '_'.
std::optional<std::string> LimitFigure(const std::string& option) {
  if (option.compare(0, kLimitPrefix.size(), kLimitPrefix) != 0) return std::nullopt;
  std::string name = option.substr(kLimitPrefix.size());
  for (char& c : name)
    if (c == '-') c = '_';
  for (const std::string& known : CharacteriseFigureNames())
    if (known == name) return name;
  return std::nullopt;
}

std::optional<double> Limit(const std::string& text) {
  const std::optional<double> value = ExactNumber(text);
  if (!value || !std::isfinite(*value) || *value < 0) return std::nullopt;
  return value;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

const std::vector<std::string>& CharacteriseFigureNames() {
  static const std::vector<std::string> names = {"bias",
                                                 "wake_repeatability",
                                                 "turn_on_repeatability",
                                                 "bias_tempco",
                                                 "bias_tempco_quadratic",
                                                 "bias_excursion",
                                                 "hysteresis",
                                                 "sensor_lag",
                                                 "self_test_response",
                                                 "arw",
                                                 "bias_instability",
                                                 "rate_random_walk",
                                                 "scale_factor",
                                                 "scale_factor_error",
                                                 "nonlinearity",
                                                 "asymmetry",
                                                 "relative_scale_factor",
                                                 "g_sensitivity_x",
                                                 "g_sensitivity_y",
                                                 "g_sensitivity_z"};
  return names;
}

std::vector<std::string_view> CharacteriseLimitOptions() {
  static const std::vector<std::string> options = [] {
    std::vector<std::string> list;
    for (std::string name : CharacteriseFigureNames()) {
      for (char& c : name)
        if (c == '_') c = '-';
      list.push_back(std::string(kLimitPrefix) + name);
    }
    return list;
  }();
  return {options.begin(), options.end()};
}

Result<std::string, std::string> ReadSmallText(const std::string& file) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  if (error) return Unexpected("cannot read " + Escaped(file) + ": " + error.message());
  if (size > kLargestSmallText)
    return Unexpected(Escaped(file) + " is larger than a characterisation file can be");
  std::ifstream in(file, std::ios::binary);
  std::string text(static_cast<size_t>(size), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(text.size())))
    return Unexpected("cannot read " + Escaped(file));
  return text;
}

std::optional<bool> CharacteriseOptionTakesValue(const std::string& name) {
  for (const Option& o : kOptions)
    if (name == o.name) return o.takesValue;
  if (LimitFigure(name)) return true;
  return std::nullopt;
}

Result<void, std::string> ApplyCharacteriseOption(CharacteriseRequest& r, const std::string& name,
                                                  const std::string& value) {
  const std::optional<double> number = ExactNumber(value);
  const auto seconds = [&](double lowest, double highest) {
    return number && std::isfinite(*number) && *number >= lowest && *number <= highest;
  };
  const auto file = [&](std::optional<std::string>& into) -> Result<void, std::string> {
    if (value.empty()) return Unexpected(name + " takes a file name");
    into = value;
    return {};
  };
  if (name == "--cycles") {
    if (!number || *number != std::floor(*number) || *number < 2 || *number > 1000)
      return Unexpected("--cycles takes a whole number from 2 to 1000" + Not(value));
    r.cycles = static_cast<int>(*number);
  } else if (name == "--off") {
    // Pwr_Mde counts half seconds, 1 to 255.
    if (!seconds(0.5, 127.5) || std::fmod(*number * 2.0, 1.0) != 0.0)
      return Unexpected("--off takes seconds from 0.5 to 127.5 in steps of 0.5" + Not(value));
    r.offS = *number;
  } else if (name == "--settle") {
    if (!seconds(0, 86400))
      return Unexpected("--settle takes seconds from 0 to 86400" + Not(value));
    r.settleS = *number;
  } else if (name == "--average") {
    if (!seconds(0.5, 86400))
      return Unexpected("--average takes seconds from 0.5 to 86400" + Not(value));
    r.averageS = *number;
  } else if (name == "--power-command") {
    if (value.empty()) return Unexpected("--power-command takes a command, or sim");
    r.powerCommand = value;
  } else if (name == "--latitude") {
    if (!seconds(-90, 90))
      return Unexpected("--latitude takes degrees from -90 to 90" + Not(value));
    r.latitude = *number;
  } else if (name == "--fixture-command") {
    if (value.empty()) return Unexpected("--fixture-command takes a command, or sim");
    r.fixtureCommand = value;
  } else if (name == "--turns") {
    if (!number || *number != std::floor(*number) || *number < 1 || *number > 100)
      return Unexpected("--turns takes a whole number from 1 to 100" + Not(value));
    r.turns = static_cast<int>(*number);
  } else if (name == "--stop-error") {
    if (!seconds(0, 90)) return Unexpected("--stop-error takes degrees from 0 to 90" + Not(value));
    r.stopError = *number;
  } else if (name == "--tempco") {
    return file(r.tempco);
  } else if (name == "--from") {
    return file(r.from);
  } else if (name == "--limits") {
    return file(r.limitsFile);
  } else if (name == "--html") {
    return file(r.html);
  } else if (name == "--undo-file") {
    return file(r.undoFile);
  } else if (name == "--undo") {
    return file(r.undo);
  } else if (name == "--rates") {
    std::vector<double> rates;
    for (size_t from = 0; from <= value.size();) {
      const size_t comma = std::min(value.find(',', from), value.size());
      const std::optional<double> rate =
          ExactNumber(std::string(Trimmed(std::string_view(value).substr(from, comma - from))));
      if (!rate || !std::isfinite(*rate) || std::abs(*rate) > 10000.0)
        return Unexpected("--rates takes deg/s separated by commas, such as 0,40,-40" + Not(value));
      rates.push_back(*rate);
      from = comma + 1;
    }
    if (rates.size() < 3)
      return Unexpected("--rates takes at least 3 rates, two of them apart" + Not(value));
    r.rates = std::move(rates);
  } else if (name == "--table-command") {
    if (value.empty()) return Unexpected("--table-command takes a command, or sim");
    r.tableCommand = value;
  } else if (name == "--dwell") {
    if (!seconds(4, 86400)) return Unexpected("--dwell takes seconds from 4 to 86400" + Not(value));
    r.dwellS = *number;
  } else if (name == "--plateau-sigmas") {
    if (!seconds(1, 1000))
      return Unexpected("--plateau-sigmas takes a number from 1 to 1000" + Not(value));
    r.plateauSigmas = *number;
  } else if (name == "--plateau-spread") {
    if (!seconds(1, 1000))
      return Unexpected("--plateau-spread takes a number from 1 to 1000" + Not(value));
    r.plateauSpread = *number;
  } else if (name == "--plateau-min") {
    if (!seconds(1, 3600))
      return Unexpected("--plateau-min takes seconds from 1 to 3600" + Not(value));
    r.plateauMin = *number;
  } else if (name == "--yes") {
    r.yes = true;
  } else if (name == "--flash") {
    r.flash = true;
  } else if (const std::optional<std::string> figure = LimitFigure(name)) {
    const std::optional<double> limit = Limit(value);
    if (!limit)
      return Unexpected(name + " takes a limit of 0 or more in the figure's unit" + Not(value));
    r.limits[*figure] = *limit;
  }
  return {};
}

Result<std::map<std::string, double>, std::string> ParseLimits(std::string_view text,
                                                               const std::string& fileName) {
  std::map<std::string, double> limits;
  int number = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++number;
    if (const size_t hash = line.find('#'); hash != std::string_view::npos)
      line = line.substr(0, hash);
    line = Trimmed(line);
    if (line.empty()) continue;
    const std::string where = fileName + " line " + std::to_string(number) + ": ";
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
      return Unexpected(where + "write \"name = value\", such as \"bias_tempco = 0.02\"");
    const std::string name(Trimmed(line.substr(0, eq)));
    const std::string value(Trimmed(line.substr(eq + 1)));
    const auto& known = CharacteriseFigureNames();
    if (std::find(known.begin(), known.end(), name) == known.end())
      return Unexpected(where + "no figure is called \"" + Escaped(name) + "\"");
    if (limits.count(name) != 0) return Unexpected(where + name + " is given twice");
    const std::optional<double> limit = Limit(value);
    if (!limit)
      return Unexpected(where + name + " takes a limit of 0 or more in the figure's unit" +
                        Not(value));
    limits[name] = *limit;
  }
  return limits;
}

ExitStatus JudgeFigures(characterise::Characterisation& doc,
                        const std::map<std::string, double>& limits) {
  std::vector<noise::Judged> judged;
  for (characterise::Figure& figure : doc.figures) {
    const auto limit = limits.find(figure.name);
    if (limit == limits.end()) continue;
    judged.push_back(characterise::Judge(figure, limit->second));
  }
  switch (noise::Overall(judged)) {
    case noise::Verdict::Fail:
      return ExitStatus::kFail;
    case noise::Verdict::Inconclusive:
      return ExitStatus::kInconclusive;
    default:
      return ExitStatus::kDone;
  }
}

Result<void, std::string> CheckCharacterise(const CliOptions& o, const Reg47120&, Plan& plan) {
  const CharacteriseRequest& r = o.characterise;
  if (r.from && o.out)
    return Unexpected(*r.from == *o.out
                          ? "--from reads the record that --out would write: give one of them"
                          : "--out keeps the record of a live run; --from reads one without "
                            "measuring: give one of them");
  if (o.out && *o.out == "-")
    return Unexpected(
        "--out - is refused: the figures go to standard output; name a file for the record");
  if (r.from && o.duration)
    return Unexpected("--duration measures, --from reads a record: give one");
  if (plan.command->subcommand == "tempco" && !r.from && !o.duration)
    return Unexpected(
        "characterise tempco needs --duration S to measure while a chamber ramps, or --from "
        "FILE to read a record");
  if (plan.command->subcommand == "scale" && !r.from) {
    if (r.tableCommand && o.duration)
      return Unexpected(
          "--table-command runs the table, --duration records while someone else "
          "runs it: give one");
    if (!r.tableCommand && !o.duration)
      return Unexpected(
          "characterise scale needs --table-command CMD (or sim) to run the "
          "table, --duration S to record while someone runs it, or --from FILE");
  }
  if (r.tempco) {
    // Read before the chip is touched, so a wrong file writes nothing.
    const Result<std::string, std::string> text = ReadSmallText(*r.tempco);
    if (!text) return Unexpected(text.error());
    const auto doc = characterise::ReadCharacteriseJson(*text);
    if (!doc) return Unexpected("--tempco " + Escaped(*r.tempco) + " " + doc.error());
    if (doc->test != "tempco" || !doc->curve)
      return Unexpected("--tempco " + Escaped(*r.tempco) +
                        " holds no tempco curve: give the JSON of characterise tempco --json");
  }
  if (r.limitsFile) {
    const Result<std::string, std::string> text = ReadSmallText(*r.limitsFile);
    if (!text) return Unexpected(text.error());
    auto limits = ParseLimits(*text, Escaped(*r.limitsFile));
    if (!limits) return Unexpected(std::move(limits).error());
    plan.limits = std::move(*limits);
  }
  // A limit on the command line overrides the file's.
  for (const auto& [name, limit] : r.limits) plan.limits[name] = limit;
  return {};
}

}  // namespace velk
