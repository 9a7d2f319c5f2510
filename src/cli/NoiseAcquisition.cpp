// noise --duration: every sample of Gyro_Out, told apart by the chip's own new-data flag.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/Noise.h"
#include "cli/Options.h"
#include "core/AppendLog.h"
#include "core/EchoText.h"
#include "core/NumberText.h"
#include "noise/SampleNumbering.h"
#include "noise/read/RecordBuilder.h"
#include "noise/read/RunHeader.h"
#include "registers/Session.h"

namespace velk {

namespace {

// The acquisition layout the noise reader takes, as the simulator's profile tool writes it.
constexpr std::string_view kHeader = "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)";
// While the flag is clear, the reads come this often, in sample periods.
constexpr double kPoll = 0.25;
// A read that finds its sample at once aims the next this much earlier, in periods: wake-ups
// are late, never early, and without it the reads would drift later until one missed a sample.
// A read that comes too early finds the flag clear and the poll puts it behind the sample again.
constexpr double kWalkBack = 1.0 / 16;
// Without a new sample this long (s), the user is told why there may be none.
constexpr double kSilence = 1.0;
// The memory reserved up front, in samples; a longer run grows as it goes.
constexpr size_t kMostReserved = size_t{1} << 22;

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

}  // namespace

ExitStatus NoiseAcquire(const CommandCall& call) {
  Session& session = call.session;
  Spi47120& spi = session.spi;
  const CliOptions& options = call.options;
  CliContext& context = call.context;
  const Clock& clock = context.clock;
  AppendLog* const file = call.file;

  int32_t smplPrd = 0;
  const std::string comment = LogComment(session, call.chip, smplPrd);
  noise::RunSettings settings;
  settings.comment = comment.substr(2, comment.size() - 3);  // as a reader of the file keeps it
  settings.chip = noise::ChipFromWords(smplPrd, call.chip.sensAvg, call.chip.model);
  settings.statedRangeDps = settings.chip->rangeDps;
  const double period = settings.chip->samplePeriodS;
  const double duration = *options.duration;
  const auto wanted = static_cast<int64_t>(std::ceil(duration / period - 1e-9));
  noise::RecordBuilder builder;
  builder.Start(*noise::ParseHeaderLine(kHeader), settings, options.noise.read);
  builder.Reserve(std::min(static_cast<size_t>(wanted), kMostReserved));

  // Rows go to the file a second at a time, so a crash loses at most the last second.
  std::string rows;
  if (file != nullptr) rows = comment + std::string(kHeader) + "\n";
  const auto flush = [&] {
    Result<void, AppendLog::WriteError> written;
    if (file != nullptr && !rows.empty()) written = file->Write(rows);
    rows.clear();
    return written;
  };
  const auto failed = [&](const AppendLog::WriteError& why) {
    return OutputFailed(context, Escaped(*options.out), why.error);
  };
  if (const auto written = flush(); !written) return failed(written.error());

  const bool usb = session.analyzer.InterfaceType == interface_type::kUsbCard;
  const double start = clock.Seconds();
  const double deadline = start + duration + period;
  // Times are those of the reads' starts.
  noise::SampleNumbering numbering(period);
  double due = start;
  bool cleared = false;  // a read since the last sample found the flag clear
  int64_t number = -1;   // of the last sample
  int64_t taken = 0, lost = 0, second = -1;
  double lastNew = start, shown = start;
  bool silenceTold = false;
  for (;;) {
    if (Stopped(context)) break;
    double now = clock.Seconds();
    if (now >= deadline) break;
    if (now < due) {
      context.sleep(std::min(due, deadline) - now);
      continue;
    }
    const RegisterReading gyro = spi.ReadRegister(slot::Gyro_Out);
    if (usb && !session.usb.CardReady()) {
      context.err << "velk47120-cli: the USB card stopped answering; the acquisition ends\n";
      return ExitStatus::kNoInterface;
    }
    if (!gyro.newData) {
      due = now + kPoll * period;
      numbering.Clear(now);
      cleared = true;
      if (!silenceTold && now - lastNew >= kSilence) {
        context.err << "velk47120-cli: no new gyro sample for " << kSilence
                    << " s (is the chip asleep, or another program reading it?); waiting\n"
                    << std::flush;
        silenceTold = true;
      }
      continue;
    }
    const noise::SampleNumbering::Sample found = numbering.Found(now);
    if (found.number >= wanted) break;
    number = found.number;
    lost += found.missing;
    ++taken;
    due = now + period - (cleared ? 0.0 : kWalkBack * period);
    cleared = false;
    lastNew = now;
    silenceTold = false;

    noise::RowValues row;
    row.sample = number;
    row.elapsed = static_cast<double>(number) * period;
    row.code = gyro.field;
    row.rate = gyro.value;
    const auto whole = static_cast<int64_t>(std::floor(row.elapsed));
    if (whole != second) {
      second = whole;
      row.temp = spi.ReadRegister(slot::Temp_Out).value;
      row.hasTemp = true;
    }
    (void)builder.Add(row);  // the numbers only rise: a row always follows
    if (file != nullptr) {
      rows += std::to_string(number);
      rows += ',';
      rows += FormatFixed(row.elapsed, 6);  // as the log writes its elapsed column
      rows += ',';
      rows += FormatGeneral(gyro.value);
      rows += ',';
      rows += std::to_string(gyro.field);
      rows += ',';
      if (row.hasTemp) rows += FormatGeneral(static_cast<float>(row.temp));
      rows += '\n';
      if (row.hasTemp) {
        if (const auto written = flush(); !written) return failed(written.error());
      }
    }
    if (number + 1 >= wanted) break;
    if (context.errIsTerminal && now - shown >= 0.5) {
      shown = now;
      char progress[96];
      std::snprintf(progress, sizeof progress, "\r%lld samples  %lld lost  %.1f s of %.1f s  ",
                    static_cast<long long>(taken), static_cast<long long>(lost), now - start,
                    duration);
      context.err << progress << std::flush;
    }
  }
  if (const auto written = flush(); !written) return failed(written.error());
  char summary[160];
  std::snprintf(summary, sizeof summary, "%svelk47120-cli: %lld samples in %.3f s, %lld lost%s\n",
                context.errIsTerminal && taken > 0 ? "\n" : "", static_cast<long long>(taken),
                clock.Seconds() - start, static_cast<long long>(lost),
                Stopped(context) ? ", stopped" : "");
  context.err << summary << std::flush;

  if (taken < 2) {
    context.err << "velk47120-cli: the analysis needs at least two samples\n";
    return ExitStatus::kUsage;
  }
  noise::ReadResult result = builder.Finish("the acquisition");
  if (!result) {
    context.err << "velk47120-cli: " << result.error().message << "\n";
    return ExitStatus::kUsage;
  }
  result->file = call.chip.interfaceText;
  return NoiseReport(options, *std::move(result), context);
}

}  // namespace velk
