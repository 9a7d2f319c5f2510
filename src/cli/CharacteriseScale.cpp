// characterise scale: the output on a rate table's plateaus, run by a table command or found in
// a record, fitted by a line.
#include <cmath>
#include <cstdio>

#include "characterise/Scale.h"
#include "characterise/Sha256.h"
#include "cli/Characterise.h"
#include "cli/CharacteriseRun.h"
#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "cli/PowerCommand.h"
#include "core/EchoText.h"
#include "core/NumberText.h"
#include "measure/PowerCycles.h"
#include "noise/read/RunHeader.h"
#include "registers/Session.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

namespace {

// Gyro_Out's 14-bit field.
constexpr double kCodeLimit = 8191.0;

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

std::string RatesText(const std::vector<double>& rates) {
  std::string text;
  for (double r : rates) text += (text.empty() ? "" : " ") + RecordNumber(r);
  return text;
}

std::optional<std::vector<double>> RatesOf(const std::string& text) {
  std::vector<double> rates;
  for (size_t from = 0; from < text.size();) {
    const size_t space = std::min(text.find(' ', from), text.size());
    const std::optional<double> r = ExactNumber(text.substr(from, space - from));
    if (!r) return std::nullopt;
    rates.push_back(*r);
    from = space + 1;
  }
  return rates;
}

// Every sample a row, its elapsed time from the run's start.
class ScaleRows final : public AcquisitionSink {
 public:
  ScaleRows(RecordOutput& output, CliContext& context) : output_(output), context_(context) {}
  void Start(double offset, std::string label) {
    offset_ = offset;
    label_ = std::move(label);
  }
  bool Take(const AcquiredSample& s) override {
    if (output_.Failed()) return false;
    const double elapsed = offset_ + s.elapsed;
    output_.Lines(RecordRow(output_.Utc(elapsed), elapsed, FormatGeneral(s.rate), s.temp, label_));
    if (s.temp) output_.Hand();
    return true;
  }
  void Progress(const AcquisitionProgress& p) override {
    if (!context_.errIsTerminal) return;
    char text[120];
    std::snprintf(text, sizeof text, "\r%s%lld samples, %lld lost  ",
                  label_.empty() ? "" : ("plateau " + label_ + ": ").c_str(),
                  static_cast<long long>(p.taken), static_cast<long long>(p.lost));
    context_.err << text << std::flush;
  }
  void Silence(double seconds) override { SayNoNewSample(context_, seconds); }

 private:
  RecordOutput& output_;
  CliContext& context_;
  double offset_ = 0.0;
  std::string label_;
};

void PrintPlateaus(std::ostream& out, const characterise::Scale& s) {
  out << characterise::PlateauTable(s.plateaus, "deg/s");
  out << "residual (deg/s) of each plateau used:";
  for (const characterise::ScalePlateau& p : s.plateaus)
    if (p.used) out << ' ' << FormatGeneral(static_cast<float>(p.residual));
  out << '\n';
}

ExitStatus Report(const CliOptions& options, const Plan& plan, CliContext& context,
                  const CharacteriseRecord& record, const std::string& name,
                  std::optional<characterise::Source> source) {
  const CharacteriseRequest& r = options.characterise;
  if (record.test == "repeatability" || record.test == "tempco")
    return CharacteriseRefuse(context, name + " is a " + record.test +
                                           " record, not a rate-table run: give it to "
                                           "characterise " +
                                           record.test + " --from");
  const noise::ChipSettings& chip = *record.chip;
  characterise::ScaleInput in;
  in.time = record.time;
  in.rate = record.rate;
  in.fullScale = chip.rangeDps;
  in.lsb = chip.lsbDps;
  in.nominal = 1.0 / chip.lsbDps;
  in.codeLimit = kCodeLimit;
  in.options.meanSigmas = r.plateauSigmas;
  in.options.spreadRatio = r.plateauSpread;
  in.options.minRun = r.plateauMin;
  std::string how = "found in the record";
  if (!record.table.empty()) {
    how = "after each table command";
    for (const RecordTableRate& t : record.table) {
      in.commanded.push_back(t.rate);
      in.windows.push_back({t.time, t.dwell});
    }
  } else if (r.rates) {
    in.commanded = *r.rates;
  } else if (const auto found = record.conditions.find("rates"); found != record.conditions.end()) {
    const std::optional<std::vector<double>> rates = RatesOf(found->second);
    if (!rates)
      return CharacteriseRefuse(context, name + "'s rates=\"" + Escaped(found->second) +
                                             "\" are not numbers: give --rates");
    in.commanded = *rates;
  } else {
    in.commanded = characterise::DefaultRates(chip.rangeDps);
  }
  in.white = characterise::RobustWhite(in.time, in.rate, in.options.window);
  if (!(in.white > 0.0))
    return CharacteriseRefuse(context, name +
                                           " holds too few samples to read its noise from: "
                                           "a scale run needs plateaus of several seconds");
  Result<characterise::Scale, std::string> scale = characterise::AnalyseScale(in);
  if (!scale) return CharacteriseRefuse(context, name + ": " + scale.error());
  characterise::Characterisation& doc = scale->doc;
  doc.programVersion = VELK_VERSION;
  if (source) doc.sources.insert(doc.sources.begin(), *source);
  if (record.words)
    doc.words = characterise::ChipWords{static_cast<uint16_t>(record.words->gyroOfst),
                                        static_cast<uint16_t>(record.words->gyroScale)};
  doc.conditions.push_back({"plateaus_from", how});
  if (!record.temp.empty()) {
    double sum = 0.0;
    for (double t : record.temp) sum += t;
    doc.conditions.push_back({"temperature_degc", sum / static_cast<double>(record.temp.size())});
  }
  doc.conditions.push_back({"white_noise_dps_rt_s", in.white});
  doc.conditions.push_back({"chip", record.comment});
  doc.warnings.insert(doc.warnings.end(), record.notes.begin(), record.notes.end());
  if (!options.json) PrintPlateaus(context.out, *scale);
  return Deliver(options, plan, context, doc);
}

}  // namespace

ExitStatus CharacteriseScaleFrom(const CliOptions& options, const Plan& plan, CliContext& context) {
  return ReportFrom(options, plan, context, Report);
}

ExitStatus CharacteriseScale(const CommandCall& call) {
  Session& session = call.session;
  CliContext& context = call.context;
  const CliOptions& options = call.options;
  const CharacteriseRequest& r = options.characterise;
  if (r.tableCommand == "sim" && !context.simulatedTable) {
    context.err << "velk47120-cli: --table-command sim drives the simulated rate table, which "
                   "this chip has not: on hardware give the command that sets the table's "
                   "rate; nothing was written\n";
    return ExitStatus::kNoInterface;
  }

  int32_t smplPrd = 0;
  const std::string comment = LogComment(session, call.chip, smplPrd);
  const noise::ChipSettings chip =
      noise::ChipFromWords(smplPrd, call.chip.sensAvg, call.chip.model);
  const std::vector<double> rates = r.rates ? *r.rates : characterise::DefaultRates(chip.rangeDps);
  const std::string table = !r.tableCommand ? "none" : *r.tableCommand == "sim" ? "sim" : "command";
  std::string header =
      comment +
      RecordConditionLines(
          "scale",
          {{"rates", RatesText(rates)}, {"dwell_s", RecordNumber(r.dwellS)}, {"table", table}},
          ReadRecordWords(session.spi),
          "every Gyro_Out sample, known by its new-data flag, Temp_Out once a "
          "second and the plateau a table command started; Supply, ADC In, "
          "Angle, Error and Status are not read");
  if (r.tableCommand && *r.tableCommand != "sim")
    header += "# table command: " + *r.tableCommand + "\n";
  header += RecordColumns("Plateau");

  AppendLog* const file = call.file;
  std::optional<RecordOutput::RowWriter> writer;
  RowsTo(writer, file);
  RecordOutput output(writer ? &*writer : nullptr, context.wallClock());
  output.Lines(header);
  output.Hand();

  const AcquisitionTime time{context.clock, context.sleep, [&] { return Stopped(context); }};
  const Clock& clock = context.clock;
  const double start = clock.Seconds();
  ScaleRows sink(output, context);
  AcquisitionPlan plan;
  plan.period = chip.samplePeriodS;
  int64_t taken = 0, lost = 0;
  AcquisitionEnd end = AcquisitionEnd::kDone;
  std::optional<std::string> tableFailed;
  const auto command = [&](double rate) -> Result<void, std::string> {
    if (*r.tableCommand == "sim") {
      context.simulatedTable(rate);
      return {};
    }
    return RunPowerCommand(*r.tableCommand, RecordNumber(rate).c_str(), "table command");
  };
  if (r.tableCommand) {
    context.chipWritten = true;
    for (size_t i = 0; i < rates.size() && end == AcquisitionEnd::kDone; ++i) {
      if (Stopped(context)) {
        end = AcquisitionEnd::kStopped;
        break;
      }
      if (auto ran = command(rates[i]); !ran) {
        tableFailed = ran.error();
        break;
      }
      const double at = clock.Seconds() - start;
      output.Lines(TableLine({at, rates[i], r.dwellS}));
      sink.Start(at, std::to_string(i + 1));
      plan.duration = r.dwellS;
      const AcquisitionOutcome outcome =
          AcquireOnOwnThread(session, plan, time, sink, context.realtime);
      output.Hand();
      taken += outcome.taken;
      lost += outcome.lost;
      end = outcome.end;
    }
    // The table is left at rest whatever ended the run.
    if (rates.empty() || rates.back() != 0.0 || end != AcquisitionEnd::kDone || tableFailed)
      if (auto stopped = command(0.0); !stopped && !tableFailed) tableFailed = stopped.error();
  } else {
    plan.duration = *options.duration;
    const AcquisitionOutcome outcome =
        AcquireOnOwnThread(session, plan, time, sink, context.realtime);
    taken = outcome.taken;
    lost = outcome.lost;
    end = outcome.end;
  }
  output.Hand();
  if (writer) {
    if (const auto error = writer->Finish())
      return OutputFailed(context, Escaped(*options.out), error->error);
  }
  char summary[160];
  std::snprintf(summary, sizeof summary, "%svelk47120-cli: %lld samples in %.1f s, %lld lost%s\n",
                context.errIsTerminal ? "\n" : "", static_cast<long long>(taken),
                clock.Seconds() - start, static_cast<long long>(lost),
                end == AcquisitionEnd::kStopped ? ", stopped" : "");
  context.err << summary;
  ExitStatus ended = ExitStatus::kDone;
  if (end == AcquisitionEnd::kCardLost) {
    context.err << "velk47120-cli: the USB card went away; the run ends\n";
    ended = ExitStatus::kNoInterface;
  }
  if (tableFailed) {
    context.err << "velk47120-cli: " << *tableFailed << "; the run ends\n";
    ended = ExitStatus::kNoInterface;
  }
  context.err << std::flush;
  Result<WrittenRecord, ExitStatus> written =
      WrittenBack(output, options, context, file != nullptr);
  if (!written) return written.error();
  if (tableFailed && written->record.table.empty()) return ended;  // nothing was measured
  const ExitStatus reported =
      Report(options, call.plan, context, written->record, "the run", written->source);
  return ended != ExitStatus::kDone ? ended : reported;
}

}  // namespace velk
