// noise --duration: every sample of Gyro_Out, told apart by the chip's own new-data flag.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/Noise.h"
#include "cli/Options.h"
#include "core/AppendLog.h"
#include "core/EchoText.h"
#include "measure/Acquisition.h"
#include "measure/AcquisitionRecord.h"
#include "noise/read/RunHeader.h"
#include "registers/Session.h"

namespace velk {

namespace {

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

// The record and the file's rows, with the progress and the silence on standard error.
class ToolSink final : public AcquisitionRecord {
 public:
  ToolSink(const noise::RunSettings& settings, const noise::ReadOptions& read, int64_t expected,
           RowWriter* writer, CliContext& context, double duration)
      : AcquisitionRecord(settings, read, expected, writer),
        context_(context),
        duration_(duration) {}

  void Progress(const AcquisitionProgress& p) override {
    if (!context_.errIsTerminal) return;
    char progress[96];
    std::snprintf(progress, sizeof progress, "\r%lld samples  %lld lost  %.1f s of %.1f s  ",
                  static_cast<long long>(p.taken), static_cast<long long>(p.lost), p.seconds,
                  duration_);
    context_.err << progress << std::flush;
  }

  void Silence(double seconds) override {
    context_.err << "velk47120-cli: no new gyro sample for " << seconds
                 << " s (is the chip asleep, or another program reading it?); waiting\n"
                 << std::flush;
  }

 private:
  CliContext& context_;
  double duration_;
};

}  // namespace

ExitStatus NoiseAcquire(const CommandCall& call) {
  Session& session = call.session;
  const CliOptions& options = call.options;
  CliContext& context = call.context;
  AppendLog* const file = call.file;

  int32_t smplPrd = 0;
  const std::string comment = LogComment(session, call.chip, smplPrd);
  noise::RunSettings settings;
  settings.comment = comment.substr(2, comment.size() - 3);  // as a reader of the file keeps it
  settings.chip = noise::ChipFromWords(smplPrd, call.chip.sensAvg, call.chip.model);
  settings.statedRangeDps = settings.chip->rangeDps;
  AcquisitionPlan plan;
  plan.period = settings.chip->samplePeriodS;
  plan.duration = *options.duration;
  const auto wanted = static_cast<int64_t>(std::ceil(plan.duration / plan.period - 1e-9));
  const auto failed = [&](const AppendLog::WriteError& why) {
    return OutputFailed(context, Escaped(*options.out), why.error);
  };
  std::optional<AcquisitionRecord::RowWriter> writer;
  if (file != nullptr) {
    if (const auto written = file->Write(comment + std::string(kAcquisitionHeader) + "\n");
        !written)
      return failed(written.error());
    writer.emplace([file](std::string_view rows) -> std::optional<AppendLog::WriteError> {
      if (auto written = file->Write(rows); !written) return written.error();
      return std::nullopt;
    });
  }

  ToolSink sink(settings, options.noise.read, wanted, writer ? &*writer : nullptr, context,
                plan.duration);
  const AcquisitionTime time{context.clock, context.sleep, [&] { return Stopped(context); }};
  const AcquisitionOutcome outcome =
      AcquireOnOwnThread(session, plan, time, sink, context.realtime);
  sink.Hand();
  if (writer) {
    if (const auto error = writer->Finish()) return failed(*error);
  }
  if (outcome.end == AcquisitionEnd::kCardLost) {
    context.err << "velk47120-cli: the USB card stopped answering; the acquisition ends\n";
    return ExitStatus::kNoInterface;
  }
  char summary[160];
  std::snprintf(summary, sizeof summary, "%svelk47120-cli: %lld samples in %.3f s, %lld lost%s\n",
                context.errIsTerminal && outcome.taken > 0 ? "\n" : "",
                static_cast<long long>(outcome.taken), outcome.seconds,
                static_cast<long long>(outcome.lost), Stopped(context) ? ", stopped" : "");
  context.err << summary << std::flush;

  if (outcome.taken < 2) {
    context.err << "velk47120-cli: the analysis needs at least two samples\n";
    return ExitStatus::kUsage;
  }
  noise::ReadResult result = sink.Finish(outcome);
  if (!result) {
    context.err << "velk47120-cli: " << result.error().message << "\n";
    return ExitStatus::kUsage;
  }
  result->file = call.chip.interfaceText;
  return NoiseReport(options, *std::move(result), context);
}

}  // namespace velk
