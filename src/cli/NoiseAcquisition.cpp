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
#include "cli/Reconnect.h"
#include "core/AppendLog.h"
#include "core/EchoText.h"
#include "core/NumberText.h"
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

  bool Take(const AcquiredSample& sample) override {
    last_ = sample.number;
    return AcquisitionRecord::Take(sample);
  }

  void Progress(const AcquisitionProgress& p) override {
    if (!context_.errIsTerminal) return;
    char progress[96];
    std::snprintf(progress, sizeof progress, "\r%lld samples  %lld lost  %.1f s of %.1f s  ",
                  static_cast<long long>(before_.taken + p.taken),
                  static_cast<long long>(before_.lost + p.lost), before_.seconds + p.seconds,
                  duration_);
    context_.err << progress << std::flush;
  }

  void Silence(double seconds) override {
    context_.err << "velk47120-cli: no new gyro sample for " << seconds
                 << " s (is the chip asleep, or another program reading it?); waiting\n"
                 << std::flush;
  }

  // The number of the last sample taken, -1 before the first.
  int64_t Last() const { return last_; }
  // What the segments before the next one took, for its progress.
  void Before(const AcquisitionProgress& before) { before_ = before; }

 private:
  CliContext& context_;
  double duration_;
  int64_t last_ = -1;
  AcquisitionProgress before_;
};

// The chip back after a replug may have its power-on settings: a record with another period
// or range cannot go on.
std::optional<std::string> SettingsChanged(Session& session, const Chip& chip, int32_t smplPrd,
                                           int32_t sensAvg) {
  Spi47120& spi = session.spi;
  spi.ReadRegister(slot::Smpl_Prd);
  const int32_t now = spi.RegData;
  if (now == smplPrd && chip.sensAvg == sensAvg) return std::nullopt;
  char text[200];
  std::snprintf(text, sizeof text,
                "the chip came back with Smpl_Prd=0x%02X, Sens_Avg=0x%04X where the "
                "acquisition had 0x%02X, 0x%04X (its power-on settings?); the acquisition ends",
                static_cast<unsigned>(now & 0xFFFF), static_cast<unsigned>(chip.sensAvg & 0xFFFF),
                static_cast<unsigned>(smplPrd & 0xFFFF), static_cast<unsigned>(sensAvg & 0xFFFF));
  return std::string(text);
}

// After the line that says when the card went: waits for it as --reconnect-wait allows and
// says how that ended. True: the same card and chip, set as they were, are back.
bool CardBack(const CommandCall& call, const CardAndChip& identity, double end, int32_t smplPrd) {
  CliContext& context = call.context;
  const double wait = call.options.reconnectWait.value_or(0);
  if (wait <= 0) {
    context.err << "; the acquisition ends\n";
    return false;
  }
  context.err << "; waiting up to " << FormatGeneral(static_cast<float>(wait))
              << " s for it to come back\n"
              << std::flush;
  const Result<Chip, std::string> back =
      AwaitCardBack(call.session, context, identity, wait, end, "acquisition");
  if (!back) {
    if (!Stopped(context)) context.err << "velk47120-cli: " << back.error() << '\n';
    return false;
  }
  if (const auto changed = SettingsChanged(call.session, *back, smplPrd, call.chip.sensAvg)) {
    context.err << "velk47120-cli: " << *changed << '\n';
    return false;
  }
  context.err << "velk47120-cli: the USB card is back at " << LocalClockText(context.wallClock())
              << "; the acquisition goes on\n"
              << std::flush;
  return true;
}

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
  const bool overUsb = session.analyzer.InterfaceType == interface_type::kUsbCard;
  const CardAndChip identity = overUsb ? IdentityOf(session) : CardAndChip{};
  const Clock& clock = context.clock;
  const double start = clock.Seconds();
  // The segments' sums: one replug after another is one run.
  AcquisitionOutcome outcome;
  bool cardGone = false;
  for (bool first = true;; first = false) {
    sink.Before({outcome.taken, outcome.lost, clock.Seconds() - start});
    const AcquisitionOutcome part = AcquireOnOwnThread(session, plan, time, sink, context.realtime);
    outcome.end = part.end;
    outcome.taken += part.taken;
    outcome.lost += part.lost;
    if (first) outcome.priority = part.priority;
    if (part.end != AcquisitionEnd::kCardLost) break;

    // Every sample taken so far goes to the file before the wait.
    sink.Hand();
    const std::string goneAt = LocalClockText(context.wallClock());
    context.err << (context.errIsTerminal && outcome.taken > 0 ? "\n" : "")
                << "velk47120-cli: the USB card went away at " << goneAt;
    if (!CardBack(call, identity, start + plan.duration, smplPrd)) {
      cardGone = !Stopped(context);
      break;
    }
    // The replugged chip's samples start afresh: a new segment, numbered on from the time
    // since the start so the elapsed column stays the run's.
    sink.Gap("the USB card went away at " + goneAt);
    plan.firstNumber =
        std::max(sink.Last() + 1,
                 static_cast<int64_t>(std::ceil((clock.Seconds() - start) / plan.period - 1e-9)));
  }
  outcome.seconds = clock.Seconds() - start;
  sink.Hand();
  if (writer) {
    if (const auto error = writer->Finish()) return failed(*error);
  }
  char summary[160];
  std::snprintf(summary, sizeof summary, "%svelk47120-cli: %lld samples in %.3f s, %lld lost%s\n",
                context.errIsTerminal && outcome.taken > 0 ? "\n" : "",
                static_cast<long long>(outcome.taken), outcome.seconds,
                static_cast<long long>(outcome.lost), Stopped(context) ? ", stopped" : "");
  context.err << summary << std::flush;

  // A card that did not come back ends with its own status, after what it gave is analysed.
  const ExitStatus noAnalysis = cardGone ? ExitStatus::kNoInterface : ExitStatus::kUsage;
  if (outcome.taken < 2) {
    context.err << "velk47120-cli: the analysis needs at least two samples\n";
    return noAnalysis;
  }
  noise::ReadResult result = sink.Finish(outcome);
  if (!result) {
    context.err << "velk47120-cli: " << result.error().message << "\n";
    return noAnalysis;
  }
  result->file = call.chip.interfaceText;
  const ExitStatus reported = NoiseReport(options, *std::move(result), context);
  return cardGone ? ExitStatus::kNoInterface : reported;
}

}  // namespace velk
