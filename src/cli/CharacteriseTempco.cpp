// characterise tempco: the bias over a temperature ramp, measured live or read from a record.
#include <cstdio>

#include "characterise/Sha256.h"
#include "characterise/Tempco.h"
#include "cli/Characterise.h"
#include "cli/CharacteriseRun.h"
#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "core/EchoText.h"
#include "measure/PowerCycles.h"
#include "measure/SecondMeans.h"
#include "noise/read/RunHeader.h"
#include "registers/Session.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

namespace {

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

// The progress of a ramp and its silences, on standard error.
class ToolSeconds final : public SecondMeans {
 public:
  ToolSeconds(RecordOutput& output, CliContext& context, double duration)
      : SecondMeans(output), context_(context), duration_(duration) {}

  void Progress(const AcquisitionProgress& p) override {
    if (!context_.errIsTerminal) return;
    char text[120];
    std::snprintf(text, sizeof text, "\r%lld samples  %lld lost  %.0f s of %.0f s  ",
                  static_cast<long long>(p.taken), static_cast<long long>(p.lost), p.seconds,
                  duration_);
    context_.err << text << std::flush;
  }
  void Silence(double seconds) override { SayNoNewSample(context_, seconds); }

 private:
  CliContext& context_;
  double duration_;
};

ExitStatus Report(const CliOptions& options, const Plan& plan, CliContext& context,
                  const CharacteriseRecord& record, const std::string& name,
                  std::optional<characterise::Source> source) {
  if (record.test == "repeatability")
    return CharacteriseRefuse(context, name +
                                           " is a repeatability record, not a temperature run: "
                                           "give it to characterise repeatability --from");
  if (record.time.size() < 2 || record.temp.empty())
    return CharacteriseRefuse(context,
                              name + " holds " + std::to_string(record.time.size()) + " rows and " +
                                  std::to_string(record.temp.size()) +
                                  " temperatures: a tempco needs a run over a temperature ramp");
  characterise::TempcoInput in;
  in.time = record.time;
  in.rate = record.rate;
  in.tempTime = record.tempTime;
  in.degrees = record.temp;
  characterise::Tempco tempco = characterise::AnalyseTempco(in);
  characterise::Characterisation& doc = tempco.doc;
  doc.programVersion = VELK_VERSION;
  if (source) doc.sources.insert(doc.sources.begin(), *source);
  doc.conditions.push_back({"record", record.test});
  doc.conditions.push_back({"chip", record.comment});
  doc.warnings.insert(doc.warnings.end(), record.notes.begin(), record.notes.end());
  return Deliver(options, plan, context, doc);
}

}  // namespace

ExitStatus CharacteriseTempcoFrom(const CliOptions& options, const Plan& plan,
                                  CliContext& context) {
  return ReportFrom(options, plan, context, Report);
}

ExitStatus CharacteriseTempco(const CommandCall& call) {
  Session& session = call.session;
  CliContext& context = call.context;
  const CliOptions& options = call.options;

  int32_t smplPrd = 0;
  const std::string comment = LogComment(session, call.chip, smplPrd);
  const noise::ChipSettings chip =
      noise::ChipFromWords(smplPrd, call.chip.sensAvg, call.chip.model);
  const std::string header =
      comment +
      RecordConditionLines("tempco", {{"duration_s", RecordNumber(*options.duration)}},
                           ReadRecordWords(session.spi),
                           "one a second: Gyro the mean of the second's Samples Gyro_Out "
                           "samples (each known by its new-data flag) at their mean time, Temp the "
                           "Temp_Out read at the second's start; Supply, ADC In, Angle, Error "
                           "and Status are not read") +
      RecordColumns("Samples");

  AppendLog* const file = call.file;
  std::optional<RecordOutput::RowWriter> writer;
  RowsTo(writer, file);
  RecordOutput output(writer ? &*writer : nullptr, context.wallClock());
  output.Lines(header);
  output.Hand();

  AcquisitionPlan plan;
  plan.period = chip.samplePeriodS;
  plan.duration = *options.duration;
  const AcquisitionTime time{context.clock, context.sleep, [&] { return Stopped(context); }};
  ToolSeconds sink(output, context, plan.duration);
  const AcquisitionOutcome outcome =
      AcquireOnOwnThread(session, plan, time, sink, context.realtime);
  sink.Flush();
  output.Hand();
  if (writer) {
    if (const auto error = writer->Finish())
      return OutputFailed(context, Escaped(*options.out), error->error);
  }
  char summary[160];
  std::snprintf(summary, sizeof summary, "%svelk47120-cli: %lld samples in %.1f s, %lld lost%s\n",
                context.errIsTerminal ? "\n" : "", static_cast<long long>(outcome.taken),
                outcome.seconds, static_cast<long long>(outcome.lost),
                outcome.end == AcquisitionEnd::kStopped ? ", stopped" : "");
  context.err << summary;
  const bool cardLost = outcome.end == AcquisitionEnd::kCardLost;
  if (cardLost) context.err << "velk47120-cli: the USB card went away; the run ends\n";
  context.err << std::flush;
  Result<WrittenRecord, ExitStatus> written =
      WrittenBack(output, options, context, file != nullptr);
  if (!written) return written.error();
  const ExitStatus reported =
      Report(options, call.plan, context, written->record, "the run", written->source);
  return cardLost ? ExitStatus::kNoInterface : reported;
}

}  // namespace velk
