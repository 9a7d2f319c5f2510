#include "cli/Cli.h"

#include <cstring>

#include "cli/CommandTable.h"
#include "cli/Connection.h"
#include "cli/HelpText.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "core/AppendLog.h"
#include "core/SmallFile.h"
#include "registers/Session.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

namespace {

ExitStatus Usage(CliContext& context, const std::string& message) {
  context.err << "velk47120-cli: " << message << "\nTry \"velk47120-cli --help\".\n";
  return ExitStatus::kUsage;
}

ExitStatus Refuse(CliContext& context, const std::string& message) {
  context.err << "velk47120-cli: " << message << "\n";
  return ExitStatus::kUsage;
}

int StopSignal(const CliContext& context) {
  return context.stop != nullptr ? static_cast<int>(*context.stop) : 0;
}

// A stop before the chip was written to: nothing is left half done, so the tool ends as the
// signal asked, with the shell's status for it.
ExitStatus Stopped(CliContext& context) {
  context.err << "velk47120-cli: stopped; nothing was written to the chip\n";
  return StoppedBy(StopSignal(context));
}

// The configuration as read, or what keeps it from being used; a device or FIFO in its place
// was never opened, so it cannot hang the tool.
Result<void, std::string> ConfigUsable(const Result<ConfigFileRead, SmallFileError>& config,
                                       const std::filesystem::path& file, bool named) {
  if (config) return {};
  const std::string name = Escaped(file.string());
  switch (config.error().status) {
    case SmallFileError::Status::Missing:
      if (!named) return {};
      return Unexpected("--config names no readable file: " + name);
    case SmallFileError::Status::Folder:
    case SmallFileError::Status::NotRegular:
      return Unexpected(name + " is not a regular file");
    case SmallFileError::Status::TooLarge:
      return Unexpected(name + " is larger than 1 MiB");
    case SmallFileError::Status::Failed:
      break;
  }
  // One the user did not name is skipped, as the window skips it.
  if (!named) return {};
  return Unexpected("cannot read " + name + ": " + std::strerror(config.error().error));
}

// Opened before the chip is touched: a file that cannot take the log is bad usage.
ExitStatus OpenLog(const std::string& file, AppendLog& log, CliContext& context) {
  const auto opened = log.Open(file, "\n");
  if (opened) return ExitStatus::kDone;
  if (opened.error().busy)
    return Refuse(context,
                  Escaped(file) + " is being written by another program; nothing was written");
  return Refuse(context, "cannot open " + Escaped(file) +
                             " for writing: " + std::strerror(opened.error().error));
}

ExitStatus Run(const std::vector<std::string>& args, CliContext& context) {
  const Result<CliOptions, std::string> parsed = ParseOptions(args);
  if (!parsed) return Usage(context, parsed.error());
  const CliOptions& o = *parsed;
  if (o.version) {
    context.out << "velk47120-cli " << VELK_VERSION << "\n";
    return ExitStatus::kDone;
  }
  if (o.words.empty()) {
    if (o.help) {
      context.out << HelpText({});
      return ExitStatus::kDone;
    }
    return Usage(context, "no command given");
  }
  if (o.help) {
    const std::string text = HelpText(o.words[0]);
    if (text.empty()) return Usage(context, "unknown command \"" + Escaped(o.words[0]) + "\"");
    context.out << text;
    return ExitStatus::kDone;
  }

  if (o.config) context.configFile = *o.config;
  CliMessages messages(context.err);
  Session session(context.portIo, context.usbDriver, messages);
  session.reg.BuildRegisterTable();
  const Result<Plan, std::string> planned = MakePlan(o, session.reg);
  if (!planned) return Usage(context, planned.error());
  const Plan& plan = *planned;
  if (plan.command->Offline(plan.operands.size(), o.given))
    return plan.command->runOffline(o, plan, context);
  const auto config = session.analyzer.LoadConfig(context.configFile);
  if (const auto usable = ConfigUsable(config, context.configFile, o.config.has_value()); !usable)
    return Refuse(context, usable.error());
  AppendLog log;
  // The commands that take --out write rows to it; "-" is standard output.
  const bool toFile = o.out && *o.out != "-";
  if (toFile) {
    if (const ExitStatus status = OpenLog(*o.out, log, context); status != ExitStatus::kDone)
      return status;
  }
  if (StopSignal(context) != 0) return Stopped(context);

  Chip chip;
  if (const ExitStatus status = Connect(session, o, context, messages, chip);
      status != ExitStatus::kDone)
    return status;
  if (StopSignal(context) != 0 && !plan.command->endsOnStop) return Stopped(context);
  return plan.command->run({session, chip, o, plan, toFile ? &log : nullptr, context});
}

}  // namespace

ExitStatus OutputFailed(CliContext& context, const std::string& where, int error) {
  context.err << "velk47120-cli: cannot write to " << where << ": "
              << (error != 0 ? std::strerror(error) : "the output failed")
              << (context.chipWritten ? " (the chip was written)" : "") << "\n"
              << std::flush;
  return ExitStatus::kOutputFailed;
}

ExitStatus RunCli(const std::vector<std::string>& args, CliContext& context) {
  const ExitStatus status = Run(args, context);
  context.out.flush();
  if (!context.out)
    return OutputFailed(context, "standard output",
                        context.outError != nullptr ? *context.outError : 0);
  return status;
}

}  // namespace velk
