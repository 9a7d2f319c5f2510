// characterise repeatability: power-down cycles measured live, or read back from their record.
#include "cli/CharacteriseRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numeric>

#include "characterise/LeastSquares.h"
#include "characterise/Repeatability.h"
#include "characterise/Sha256.h"
#include "cli/Characterise.h"
#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "cli/PowerCommand.h"
#include "core/EchoText.h"
#include "measure/PowerCycles.h"
#include "noise/read/RunHeader.h"
#include "registers/Session.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

namespace {

using characterise::Characterisation;
using characterise::Figure;

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

std::string Num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", v);
  return text;
}

std::string Fixed(double v, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

double Mean(const std::vector<double>& v) {
  return v.empty() ? std::nan("")
                   : std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

// A value and its interval's ends with as many decimals as show the interval's half width to
// two figures, so the three never print alike.
std::string Shown(double v, double lo, double hi) {
  const double half = (hi - lo) / 2;
  if (!(half > 0) || std::abs(v) >= 1e7 || std::abs(v) < 1e-6) return Num(v);
  const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(half))) + 1, 0, 9);
  return Fixed(v, decimals);
}

void PrintFigures(std::ostream& out, const Characterisation& doc) {
  char line[200];
  std::snprintf(line, sizeof line, "%-22s %11s  %-25s %-11s %s\n", "figure", "value",
                "95 % interval", "unit", "verdict");
  out << '\n' << line;
  for (const Figure& f : doc.figures) {
    if (f.value) {
      const std::string interval = Shown(*f.lo, *f.lo, *f.hi) + " to " + Shown(*f.hi, *f.lo, *f.hi);
      std::string verdict;
      if (f.limit)
        verdict = std::string(noise::VerdictName(f.verdict)) + " (limit " + Num(*f.limit) + ")";
      std::snprintf(line, sizeof line, "%-22s %11s  %-25s %-11s %s", f.name.c_str(),
                    Shown(*f.value, *f.lo, *f.hi).c_str(), interval.c_str(), f.unit.c_str(),
                    verdict.c_str());
    } else {
      std::snprintf(line, sizeof line, "%-22s %11s  %s%s", f.name.c_str(), "-", f.reason.c_str(),
                    f.limit ? (" (limit " + Num(*f.limit) + ": inconclusive)").c_str() : "");
    }
    std::string text = line;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
    if (!f.conditions.empty()) out << std::string(23, ' ') << f.conditions << '\n';
  }
  for (const std::string& w : doc.warnings) out << "warning: " << w << '\n';
}

void PrintCycles(std::ostream& out, const Characterisation& doc) {
  out << "cycle  bias (deg/s)  temp (degC)  Gyro_Ofst  Gyro_Scale\n";
  char line[120];
  int k = 0;
  for (const characterise::CycleBias& c : doc.cycles) {
    std::snprintf(line, sizeof line, "%5d  %12.6f  %11.2f", ++k, c.bias, c.temperature);
    out << line;
    if (c.words) {
      std::snprintf(line, sizeof line, "     0x%04X      0x%04X", c.words->gyroOfst,
                    c.words->gyroScale);
      out << line;
    }
    out << '\n';
  }
}

void PrintBins(std::ostream& out, const Characterisation& doc) {
  if (doc.bins.empty()) return;
  out << "ramp  temp (degC)  bias (deg/s)    se (deg/s)  seconds  degC/min\n";
  char line[120];
  for (const characterise::TempBin& b : doc.bins) {
    std::snprintf(line, sizeof line, "%-4s  %11.2f  %12.6f  %12.6f  %7.0f  %8.3f\n",
                  b.ramp == characterise::Ramp::Up ? "up" : "down", b.temperature, b.bias, b.se,
                  b.seconds, b.rate * 60.0);
    out << line;
  }
}

// The bias the cycles agree on: their mean with its t interval over K - 1.
Figure BiasFigure(const characterise::Repeatability& r, double temperature, bool corrected) {
  const size_t k = r.biases.size();
  const std::string where = corrected ? "each corrected to 25 degC by the tempco given"
                                      : "at " + Fixed(temperature, 1) + " degC (Temp_Out)";
  const std::string conditions = "mean of " + std::to_string(k) + " cycles, " + where;
  if (k < 2)
    return characterise::Null("bias", "deg/s", "not estimated: needs at least 2 cycles",
                              conditions);
  const double mean = Mean(r.biases);
  const double se = r.s / std::sqrt(static_cast<double>(k));
  const double t = characterise::StudentT(0.95, static_cast<double>(k - 1));
  return characterise::Valued("bias", "deg/s", mean, mean - t * se, mean + t * se, conditions);
}

bool IsCycle(const std::string& label) {
  return !label.empty() && label.find_first_not_of("0123456789") == std::string::npos;
}

// The repeatability document of a record, or why the record cannot give one.
Result<Characterisation, std::string> Analyse(const CharacteriseRecord& record,
                                              const std::string& name,
                                              const std::optional<TempcoCorrection>& tempco) {
  if (record.test != "repeatability")
    return Unexpected(
        name + " is " +
        (record.test == "log" ? std::string("a log") : "a " + record.test + " record") +
        ", not a repeatability record: give the file characterise repeatability "
        "--out wrote");
  const std::optional<double> average = record.Number("average_s");
  const std::optional<double> off = record.Number("off_s");
  if (!average || !off || !(*average > 0))
    return Unexpected(name +
                      "'s \"# characterise repeatability:\" line lacks average_s or off_s: give "
                      "the file as characterise --out wrote it");
  characterise::RepeatabilityInput in;
  in.tau0 = record.chip->samplePeriodS;
  in.averageS = *average;
  in.offS = *off;
  const auto power = record.conditions.find("power");
  in.turnOn = power != record.conditions.end() && power->second != "Pwr_Mde";
  if (tempco) in.tempco = tempco->curve;
  std::vector<std::string> notes = record.notes;
  std::vector<double> temperatures;
  const RecordWindow* on = nullptr;
  const RecordWindow* off_ = nullptr;
  for (const RecordWindow& w : record.windows) {
    const bool cycle = IsCycle(w.label);
    if (!w.whole) {
      notes.push_back((cycle ? "cycle " + w.label : "the " + w.label + " window") +
                      " was cut short (stopped or silent) and is left out");
      continue;
    }
    if (w.label == kSelfTestOn) on = &w;
    if (w.label == kSelfTestOff) off_ = &w;
    if (!cycle) continue;
    characterise::RepeatCycle c;
    c.samples = w.rates;
    c.temperature = Mean(w.temps);
    if (w.words)
      c.words = characterise::ChipWords{static_cast<uint16_t>(w.words->gyroOfst),
                                        static_cast<uint16_t>(w.words->gyroScale)};
    temperatures.push_back(c.temperature);
    in.cycles.push_back(std::move(c));
  }
  if (on != nullptr && off_ != nullptr) in.selfTest = {on->rates, off_->rates};
  characterise::Repeatability r = characterise::AnalyseRepeatability(in);
  Characterisation doc = std::move(r.doc);
  const double temperature = Mean(temperatures);
  doc.figures.insert(doc.figures.begin(), BiasFigure(r, temperature, tempco.has_value()));
  doc.programVersion = VELK_VERSION;
  doc.conditions.push_back({"settle_s", record.Number("settle_s").value_or(std::nan(""))});
  doc.conditions.push_back(
      {"power", power != record.conditions.end() ? power->second : std::string("Pwr_Mde")});
  doc.conditions.push_back({"temperature_degc", temperature});
  doc.conditions.push_back({"chip", record.comment});
  if (tempco) doc.sources.push_back(tempco->source);
  doc.warnings.insert(doc.warnings.end(), notes.begin(), notes.end());
  return doc;
}

// The document of a record with the record's own source first, delivered.
ExitStatus Report(const CliOptions& options, const Plan& plan, CliContext& context,
                  const CharacteriseRecord& record, const std::string& name,
                  std::optional<characterise::Source> source) {
  std::optional<TempcoCorrection> tempco;
  if (options.characterise.tempco) {
    auto loaded = LoadTempco(*options.characterise.tempco);
    if (!loaded) return CharacteriseRefuse(context, loaded.error());
    tempco = *loaded;
  }
  Result<Characterisation, std::string> doc = Analyse(record, name, tempco);
  if (!doc) return CharacteriseRefuse(context, doc.error());
  if (source) doc->sources.insert(doc->sources.begin(), *source);
  if (!options.json) PrintCycles(context.out, *doc);
  return Deliver(options, plan, context, *doc);
}

std::string PowerName(const CharacteriseRequest& r) {
  if (!r.powerCommand) return "Pwr_Mde";
  return *r.powerCommand == "sim" ? "sim" : "command";
}

// The progress of a live run and its silences, on standard error.
class ToolCycles final : public CycleRecorder {
 public:
  ToolCycles(RecordOutput& output, CliContext& context, double start, int cycles)
      : CycleRecorder(output, context.clock, start), context_(context), cycles_(cycles) {}

  void Begin(const std::string& label, const RecordWords& words) override {
    label_ = label;
    CycleRecorder::Begin(label, words);
  }
  void Progress(const AcquisitionProgress& p) override {
    if (!context_.errIsTerminal) return;
    char text[120];
    const std::string of = label_.starts_with("cycle ") ? " of " + std::to_string(cycles_) : "";
    std::snprintf(text, sizeof text, "\r%s%s: %lld samples, %lld lost  ", label_.c_str(),
                  of.c_str(), static_cast<long long>(p.taken), static_cast<long long>(p.lost));
    context_.err << text << std::flush;
  }
  void Silence(double seconds) override {
    context_.err << (context_.errIsTerminal ? "\n" : "") << "velk47120-cli: no new gyro sample for "
                 << seconds << " s in " << label_ << " (is the chip awake?); waiting\n"
                 << std::flush;
  }

 private:
  CliContext& context_;
  int cycles_;
  std::string label_;
};

}  // namespace

ExitStatus CharacteriseRefuse(CliContext& context, const std::string& message) {
  context.err << "velk47120-cli: " << message << "\n";
  return ExitStatus::kUsage;
}

ExitStatus ReportFrom(const CliOptions& options, const Plan& plan, CliContext& context,
                      RecordReport report) {
  const std::string& file = *options.characterise.from;
  Result<ReadRecordFile, std::string> read = ReadRecord(file);
  if (!read) return CharacteriseRefuse(context, read.error());
  return report(options, plan, context, read->record, Escaped(file), read->source);
}

void RowsTo(std::optional<RecordOutput::RowWriter>& writer, AppendLog* file) {
  if (file == nullptr) return;
  writer.emplace([file](std::string_view rows) -> std::optional<AppendLog::WriteError> {
    if (auto written = file->Write(rows); !written) return written.error();
    return std::nullopt;
  });
}

void SayNoNewSample(CliContext& context, double seconds) {
  context.err << (context.errIsTerminal ? "\n" : "") << "velk47120-cli: no new gyro sample for "
              << seconds << " s (is the chip asleep, or another program reading it?); waiting\n"
              << std::flush;
}

Result<WrittenRecord, ExitStatus> WrittenBack(RecordOutput& output, const CliOptions& options,
                                              CliContext& context, bool toFile) {
  if (output.Refused())
    return Unexpected(CharacteriseRefuse(
        context, "the record written cannot be read back: " + *output.Refused()));
  Result<CharacteriseRecord, std::string> record = output.parser().Finish("the run");
  if (!record) return Unexpected(CharacteriseRefuse(context, record.error()));
  WrittenRecord written{std::move(*record), std::nullopt};
  if (toFile) {
    if (auto sha = characterise::Sha256OfFile(*options.out); sha)
      written.source = characterise::Source{*options.out, *sha};
  }
  return written;
}

Result<ReadRecordFile, std::string> ReadRecord(const std::string& file) {
  const std::string name = Escaped(file);
  std::ifstream in(file, std::ios::binary);
  if (!in) return Unexpected("cannot read " + name + ": " + std::strerror(errno));
  RecordParser parser;
  for (std::string line; std::getline(in, line);)
    if (auto taken = parser.Line(line); !taken) return Unexpected(name + " " + taken.error());
  if (in.bad()) return Unexpected("cannot read " + name + ": " + std::strerror(errno));
  Result<CharacteriseRecord, std::string> record = parser.Finish(name);
  if (!record) return Unexpected(record.error());
  Result<std::string, std::string> sha = characterise::Sha256OfFile(file);
  if (!sha) return Unexpected(sha.error());
  return ReadRecordFile{*std::move(record), {file, *sha}};
}

Result<TempcoCorrection, std::string> LoadTempco(const std::string& file) {
  const std::string name = Escaped(file);
  const Result<std::string, std::string> text = ReadSmallText(file);
  if (!text) return Unexpected(text.error());
  const auto doc = characterise::ReadCharacteriseJson(*text);
  if (!doc) return Unexpected("--tempco " + name + " " + doc.error());
  if (doc->test != "tempco" || !doc->curve)
    return Unexpected("--tempco " + name +
                      " holds no tempco curve: give the JSON of characterise tempco --json");
  return TempcoCorrection{*doc->curve, {file, characterise::Sha256(*text)}};
}

ExitStatus Deliver(const CliOptions& options, const Plan& plan, CliContext& context,
                   Characterisation& doc) {
  const ExitStatus status = JudgeFigures(doc, plan.limits);
  if (options.json) {
    context.out << characterise::CharacteriseJson(doc);
  } else {
    PrintBins(context.out, doc);
    PrintFigures(context.out, doc);
  }
  context.out << std::flush;
  return status;
}

ExitStatus CharacteriseRepeatabilityFrom(const CliOptions& options, const Plan& plan,
                                         CliContext& context) {
  return ReportFrom(options, plan, context, Report);
}

ExitStatus CharacteriseRepeatability(const CommandCall& call) {
  Session& session = call.session;
  CliContext& context = call.context;
  const CliOptions& options = call.options;
  const CharacteriseRequest& r = options.characterise;
  // Known only once the chip is found: a switch that is not there is missing hardware.
  if (r.powerCommand == "sim" && !context.simulatedSupply) {
    context.err << "velk47120-cli: --power-command sim switches the simulated chip's supply, "
                   "which this chip has not: on hardware give the command that switches its "
                   "supply; nothing was written\n";
    return ExitStatus::kNoInterface;
  }

  int32_t smplPrd = 0;
  const std::string comment = LogComment(session, call.chip, smplPrd);
  const noise::ChipSettings chip =
      noise::ChipFromWords(smplPrd, call.chip.sensAvg, call.chip.model);
  const RecordWords words = ReadRecordWords(session.spi);
  PowerCyclePlan plan;
  plan.cycles = r.cycles;
  plan.offS = r.offS;
  plan.settleS = r.settleS;
  plan.averageS = r.averageS;
  plan.period = chip.samplePeriodS;
  plan.windowS = chip.windowS;
  std::string header =
      comment +
      RecordConditionLines("repeatability",
                           {{"cycles", std::to_string(r.cycles)},
                            {"off_s", RecordNumber(r.offS)},
                            {"settle_s", RecordNumber(r.settleS)},
                            {"average_s", RecordNumber(r.averageS)},
                            {"power", PowerName(r)}},
                           words,
                           "every Gyro_Out sample of each averaging window, known by its "
                           "new-data flag, and Temp_Out once a second; Supply, ADC In, Angle, "
                           "Error and Status are not read");
  if (r.powerCommand && *r.powerCommand != "sim")
    header += "# power command: " + *r.powerCommand + "\n";
  header += RecordColumns("Cycle");

  AppendLog* const file = call.file;
  std::optional<RecordOutput::RowWriter> writer;
  RowsTo(writer, file);
  RecordOutput output(writer ? &*writer : nullptr, context.wallClock());
  output.Lines(header);
  output.Hand();

  const AcquisitionTime time{context.clock, context.sleep, [&] { return Stopped(context); }};
  std::unique_ptr<PowerDown> power;
  if (!r.powerCommand) {
    power = std::make_unique<RegisterPowerDown>(session, time);
  } else {
    SwitchedPowerDown::Switch supply;
    if (*r.powerCommand == "sim")
      supply = [&context](bool on) -> Result<void, std::string> {
        context.simulatedSupply(on);
        return {};
      };
    else
      supply = [command = *r.powerCommand](bool on) {
        return RunPowerCommand(command, on ? "on" : "off");
      };
    power = std::make_unique<SwitchedPowerDown>(session, time, std::move(supply), call.chip.model,
                                                ReadChipSetup(session, call.chip.model, nullptr));
  }
  const Clock& clock = context.clock;
  const double start = clock.Seconds();
  ToolCycles sink(output, context, start, r.cycles);
  context.chipWritten = true;
  const CyclesOutcome outcome = RunPowerCycles(session, plan, time, *power, sink, context.realtime);
  output.Hand();
  if (writer) {
    if (const auto error = writer->Finish())
      return OutputFailed(context, Escaped(*options.out), error->error);
  }
  char summary[200];
  std::snprintf(summary, sizeof summary,
                "%svelk47120-cli: %d cycles of %d in %.1f s, %lld samples, %lld lost%s\n",
                context.errIsTerminal ? "\n" : "", outcome.cycles, r.cycles,
                clock.Seconds() - start, static_cast<long long>(outcome.taken),
                static_cast<long long>(outcome.lost),
                outcome.end == CyclesEnd::kStopped ? ", stopped" : "");
  context.err << summary;
  ExitStatus ended = ExitStatus::kDone;
  switch (outcome.end) {
    case CyclesEnd::kCardLost:
      context.err << "velk47120-cli: the USB card went away; the run ends\n";
      ended = ExitStatus::kNoInterface;
      break;
    case CyclesEnd::kPowerFailed:
      context.err << "velk47120-cli: " << outcome.why << "; the run ends\n";
      ended = ExitStatus::kNoInterface;
      break;
    case CyclesEnd::kSilent:
      context.err << "velk47120-cli: " << outcome.why << "; the run ends\n";
      ended = ExitStatus::kNoChip;
      break;
    default:
      break;
  }
  context.err << std::flush;
  Result<WrittenRecord, ExitStatus> written =
      WrittenBack(output, options, context, file != nullptr);
  if (!written) return written.error();
  const ExitStatus reported =
      Report(options, call.plan, context, written->record, "the run", written->source);
  return ended != ExitStatus::kDone ? ended : reported;
}

}  // namespace velk
