#include "cli/Commands.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

#include <nlohmann/json.hpp>

#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Connection.h"
#include "cli/Json.h"
#include "cli/Options.h"
#include "cli/Reconnect.h"
#include "cli/Registers.h"
#include "core/AppendLog.h"
#include "core/NumberText.h"
#include "core/Realtime.h"
#include "measure/OutputCycle.h"
#include "measure/RangeTable.h"
#include "measure/RunComment.h"
#include "registers/Session.h"

namespace velk {

namespace {

// How long a log waits for a chip that answers nothing before it gives up.
constexpr int kSilenceLimit = 128;

const char* const kJsonKeys[kOutputCount] = {"supply", "gyro", "adc_in", "temp", "angle"};

// ISO 8601 in UTC with milliseconds.
std::string UtcText(std::chrono::system_clock::time_point t) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms.count() % 1000));
  return text;
}

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

}  // namespace

std::string LogComment(Session& session, const Chip& chip, int32_t& smplPrd) {
  session.spi.ReadRegister(slot::Smpl_Prd);
  smplPrd = session.spi.RegData;
  return RunComment(session, chip.interfaceText, smplPrd, chip.sensAvg, chip.model);
}

std::string RegisterLine(const Reg47120& table, int16_t s, int32_t word) {
  char text[64];
  std::snprintf(text, sizeof text, "%s 0x%02X 0x%04X", RegisterName(table, s).c_str(),
                static_cast<unsigned>(table.RegAddr[s]), static_cast<unsigned>(word & 0xFFFF));
  return text;
}

ExitStatus Identify(const CommandCall& call) {
  const Reg47120& reg = call.session.reg;
  std::ostream& out = call.context.out;
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", reg.RevisionYear, reg.RevisionMonth,
                reg.RevisionDay);
  const std::string firmware = FormatFixed(reg.FirmwareRevision, 1);
  if (call.options.json) {
    out << JsonLine({{"product", reg.ProductName},
                     {"model", call.chip.model},
                     {"firmware", firmware},
                     {"revision_date", date},
                     {"flash_cycles", reg.FlashCount},
                     {"interface", call.chip.interfaceText}});
  } else {
    out << "Product        " << reg.ProductName << "\nFirmware       " << firmware
        << "\nRevision date  " << date << "\nFlash cycles   " << reg.FlashCount
        << "\nInterface      " << call.chip.interfaceText << '\n';
  }
  out << std::flush;
  return ExitStatus::kDone;
}

ExitStatus Read(const CommandCall& call) {
  const OutputCycle cycle = ReadOutputs(call.session.spi);
  const int32_t status = ReadStatus(call.session.spi);
  std::ostream& out = call.context.out;
  if (call.options.json) {
    nlohmann::ordered_json reading;
    for (int i = 0; i < kOutputCount; ++i) {
      const OutputValue& v = cycle[i];
      reading[kJsonKeys[i]] = {{"value", JsonNumber(v.value)},
                               {"unit", v.unit},
                               {"new", v.newData ? 1 : 0},
                               {"error", v.errorAlarm ? 1 : 0}};
    }
    reading["status"] = status;
    out << JsonLine(reading) << std::flush;
    return ExitStatus::kDone;
  }
  for (int i = 0; i < kOutputCount; ++i) {
    const OutputValue& v = cycle[i];
    char line[128];
    std::snprintf(line, sizeof line, "%-8s %12s %-6s new %d  error %d\n",
                  kOutputRegisters[i].caption, FormatGeneral(v.value).c_str(), v.unit, v.newData,
                  v.errorAlarm);
    out << line;
  }
  char line[64];
  std::snprintf(line, sizeof line, "Status   %12d (0x%04X)\n", status,
                static_cast<unsigned>(status));
  out << line << std::flush;
  return ExitStatus::kDone;
}

ExitStatus Log(const CommandCall& call) {
  Session& session = call.session;
  Chip chip = call.chip;  // as identified again when the USB card comes back
  const CliOptions& options = call.options;
  CliContext& context = call.context;
  AppendLog* const file = call.file;
  // Each piece goes out whole or the log ends; a failed standard output is reported once the
  // command returns.
  const auto put = [&](const std::string& text) -> Result<void, AppendLog::WriteError> {
    if (file != nullptr) return file->Write(text);
    context.out << text << std::flush;
    if (!context.out) return Unexpected(AppendLog::WriteError{});
    return {};
  };
  const auto failed = [&](const AppendLog::WriteError& why) {
    return file != nullptr ? OutputFailed(context, Escaped(*options.out), why.error)
                           : ExitStatus::kOutputFailed;
  };
  const char sep = options.separator;
  int32_t smplPrd = 0;
  std::string header = LogComment(session, chip, smplPrd);
  header += std::string("time (UTC)") + sep + "elapsed (s)" + sep;
  // The outputs' columns in the order a reading gives them.
  for (const OutputRegister& r : kOutputRegisters)
    header += std::string(r.caption) + " (" + r.unit + ")" + sep;
  header += std::string("New") + sep + "Error" + sep + "Status\n";
  if (const auto written = put(header); !written) return failed(written.error());
  const bool overUsb = session.analyzer.InterfaceType == interface_type::kUsbCard;
  const CardAndChip identity = IdentityOf(session);

  // The rows keep their pace on a loaded machine; lowered again when the log ends.
  const RealtimeScope raised(context.realtime, kAcquisitionPriority);
  const Clock& clock = context.clock;
  const double interval = options.intervalMs / 1000.0;
  const double start = clock.Seconds();
  const double end =
      options.duration ? start + *options.duration - 1e-9 : std::numeric_limits<double>::infinity();
  double base = start;
  int64_t k = 0;
  int64_t rows = 0;
  double shown = start;
  double lastAnswer = start;
  bool silent = false;
  ExitStatus status = ExitStatus::kDone;
  for (;;) {
    if (Stopped(context) || (options.count && rows >= *options.count)) break;
    const double planned = base + static_cast<double>(k) * interval;
    double now = clock.Seconds();
    while (now < planned && now < end && !Stopped(context)) {
      context.sleep(std::min(planned, end) - now);
      now = clock.Seconds();
    }
    if (Stopped(context) || now >= end) break;

    const std::string stamp = UtcText(context.wallClock());
    const OutputCycle cycle = ReadOutputs(session.spi);
    const int32_t statusWord = ReadStatus(session.spi);
    if (overUsb && !session.usb.CardReady()) {
      // This cycle's reading is lost with the card; every row before it is in the file.
      context.err << (context.errIsTerminal && rows > 0 ? "\n" : "")
                  << "velk47120-cli: the USB card went away at "
                  << LocalClockText(context.wallClock());
      if (options.reconnectWait.value_or(0) <= 0) {
        context.err << "; the log ends\n";
        status = ExitStatus::kNoInterface;
        break;
      }
      context.err << "; waiting up to " << FormatGeneral(static_cast<float>(*options.reconnectWait))
                  << " s for it to come back\n"
                  << std::flush;
      const Result<Chip, std::string> back =
          AwaitCardBack(session, context, identity, *options.reconnectWait, end);
      if (!back) {
        if (Stopped(context)) break;
        context.err << "velk47120-cli: " << back.error() << '\n';
        status = ExitStatus::kNoInterface;
        break;
      }
      chip = *back;
      context.err << "velk47120-cli: the USB card is back at "
                  << LocalClockText(context.wallClock()) << "; the log goes on\n"
                  << std::flush;
      if (const auto written = put(LogComment(session, chip, smplPrd)); !written) {
        status = failed(written.error());
        break;
      }
      base = clock.Seconds();
      k = 0;
      lastAnswer = base;
      silent = false;
      continue;
    }
    // A sleeping chip answers every word with 0x0000: no reading, so no row.
    const bool answered =
        statusWord != 0 || std::any_of(cycle.outputs.begin(), cycle.outputs.end(),
                                       [](const OutputValue& v) { return v.word != 0; });
    if (!answered) {
      if (!silent)
        context.err << "velk47120-cli: the chip does not answer (asleep after a power-down?); "
                       "waiting\n"
                    << std::flush;
      silent = true;
      if (now - lastAnswer >= kSilenceLimit) {
        context.err << "velk47120-cli: no answer for " << kSilenceLimit << " s; the log ends\n";
        status = ExitStatus::kNoChip;
        break;
      }
    } else {
      silent = false;
      lastAnswer = now;
      std::string row = stamp + sep + FormatFixed(now - start, 6);
      for (const OutputValue& v : cycle.outputs) row += sep + FormatGeneral(v.value);
      row += sep + std::to_string(cycle.rowNew ? 1 : 0) + sep +
             std::to_string(cycle.rowError ? 1 : 0) + sep + std::to_string(statusWord) + '\n';
      if (const auto written = put(row); !written) {
        status = failed(written.error());
        break;
      }
      ++rows;
    }

    // Paced from the first row's start; a cycle that overran starts the next at once.
    ++k;
    now = clock.Seconds();
    if (base + static_cast<double>(k) * interval < now) {
      base = now;
      k = 0;
    }
    if (context.errIsTerminal && now - shown >= 0.5) {
      shown = now;
      char progress[96];
      std::snprintf(progress, sizeof progress, "\r%lld rows  %.1f rows/s  %.1f s elapsed  ",
                    static_cast<long long>(rows), static_cast<double>(rows) / (now - start),
                    now - start);
      context.err << progress << std::flush;
    }
  }
  const double elapsed = clock.Seconds() - start;
  char summary[160];
  std::snprintf(summary, sizeof summary, "%svelk47120-cli: %lld rows in %.3f s (%.1f rows/s)%s\n",
                context.errIsTerminal && rows > 0 ? "\n" : "", static_cast<long long>(rows),
                elapsed, elapsed > 0 ? static_cast<double>(rows) / elapsed : 0.0,
                Stopped(context) ? ", stopped" : "");
  context.err << summary << std::flush;
  return status;
}

}  // namespace velk
