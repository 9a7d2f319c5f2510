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
#include "core/NumberText.h"
#include "core/QueuedWriter.h"
#include "measure/Acquisition.h"
#include "noise/SampleNumbering.h"
#include "noise/read/RecordBuilder.h"
#include "noise/read/RunHeader.h"
#include "registers/Session.h"

namespace velk {

namespace {

// The acquisition layout the noise reader takes, as the simulator's profile tool writes it.
constexpr std::string_view kHeader = "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)";
// The memory reserved up front, in samples; a longer run grows as it goes.
constexpr size_t kMostReserved = size_t{1} << 22;

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

using RowWriter = QueuedWriter<AppendLog::WriteError>;

// On the acquisition's thread: the record as the samples come, the file's rows handed to the
// writer a second at a time (so a crash loses at most the last second), the progress and the
// silence on standard error.
class ToolSink final : public AcquisitionSink {
 public:
  ToolSink(noise::RecordBuilder& builder, RowWriter* writer, CliContext& context, double duration)
      : builder_(builder), writer_(writer), context_(context), duration_(duration) {}

  bool Take(const AcquiredSample& s) override {
    if (writer_ != nullptr && writer_->Failed()) return false;
    noise::RowValues row;
    row.sample = s.number;
    row.elapsed = s.elapsed;
    row.code = s.code;
    row.rate = s.rate;
    row.hasTemp = s.temp.has_value();
    if (s.temp) row.temp = *s.temp;
    (void)builder_.Add(row);  // the numbers only rise: a row always follows
    if (writer_ == nullptr) return true;
    rows_ += std::to_string(s.number);
    rows_ += ',';
    rows_ += FormatFixed(s.elapsed, 6);  // as the log writes its elapsed column
    rows_ += ',';
    rows_ += FormatGeneral(s.rate);
    rows_ += ',';
    rows_ += std::to_string(s.code);
    rows_ += ',';
    if (s.temp) rows_ += FormatGeneral(*s.temp);
    rows_ += '\n';
    if (s.temp) Hand();
    return true;
  }

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

  // The rows since the last second's.
  void Hand() {
    if (writer_ != nullptr) writer_->Push(std::move(rows_));
    rows_.clear();
  }

 private:
  noise::RecordBuilder& builder_;
  RowWriter* writer_;
  CliContext& context_;
  double duration_;
  std::string rows_;
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
  noise::RecordBuilder builder;
  builder.Start(*noise::ParseHeaderLine(kHeader), settings, options.noise.read);
  builder.Reserve(std::min(static_cast<size_t>(wanted), kMostReserved));

  const auto failed = [&](const AppendLog::WriteError& why) {
    return OutputFailed(context, Escaped(*options.out), why.error);
  };
  std::optional<RowWriter> writer;
  if (file != nullptr) {
    if (const auto written = file->Write(comment + std::string(kHeader) + "\n"); !written)
      return failed(written.error());
    writer.emplace([file](std::string_view rows) -> std::optional<AppendLog::WriteError> {
      if (auto written = file->Write(rows); !written) return written.error();
      return std::nullopt;
    });
  }

  ToolSink sink(builder, writer ? &*writer : nullptr, context, plan.duration);
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
  noise::ReadResult result = builder.Finish("the acquisition");
  if (!result) {
    context.err << "velk47120-cli: " << result.error().message << "\n";
    return ExitStatus::kUsage;
  }
  result->file = call.chip.interfaceText;
  result->priority = outcome.priority;
  return NoiseReport(options, *std::move(result), context);
}

}  // namespace velk
