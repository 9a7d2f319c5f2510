#include "cli/Cli.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/HelpText.h"
#include "cli/Options.h"
#include "cli/Registers.h"
#include "cli/Setup.h"
#include "core/AppendLog.h"
#include "core/SmallFile.h"
#include "registers/Session.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

namespace {

// What the command line asks for, checked against the register table before any frame.
struct Plan {
  std::string command;  // "identify", "read", "log", "reg get", "reg set", "reg dump",
                        // "setup save", "setup load"
  int16_t slot = 0;
  int32_t value = 0;
  std::string file;
  SetupFile setup;
};

const std::set<std::string> kCommonOptions = {"--interface", "--port", "--card",
                                              "--config",    "--help", "--version"};

std::set<std::string> OptionsOf(const std::string& command) {
  if (command == "identify" || command == "read") return {"--json"};
  if (command == "log") return {"--count", "--duration", "--interval", "--out", "--format"};
  if (command == "reg get" || command == "reg set") return {"--factory"};
  if (command == "reg dump") return {"--json", "--factory"};
  return {};
}

int Usage(CliContext& context, const std::string& message) {
  context.err << "velk47120-cli: " << message << "\nTry \"velk47120-cli --help\".\n";
  return exitcode::kUsage;
}

int Refuse(CliContext& context, const std::string& message) {
  context.err << "velk47120-cli: " << message << "\n";
  return exitcode::kUsage;
}

int StopSignal(const CliContext& context) {
  return context.stop != nullptr ? static_cast<int>(*context.stop) : 0;
}

// A stop before the chip was written to: nothing is left half done, so the tool ends as the
// signal asked, with the shell's status for it.
int Stopped(CliContext& context) {
  context.err << "velk47120-cli: stopped; nothing was written to the chip\n";
  return 128 + StopSignal(context);
}

// What keeps the configuration from being read; a device or FIFO in its place was never
// opened, so it cannot hang the tool.
std::string ConfigProblem(const SmallFile& config, const std::filesystem::path& file, bool named) {
  const std::string name = Escaped(file.string());
  switch (config.status) {
    case SmallFile::Status::Read:
      return {};
    case SmallFile::Status::Missing:
      return named ? "--config names no readable file: " + name : std::string();
    case SmallFile::Status::Folder:
    case SmallFile::Status::NotRegular:
      return name + " is not a regular file";
    case SmallFile::Status::TooLarge:
      return name + " is larger than 1 MiB";
    case SmallFile::Status::Failed:
      break;
  }
  // One the user did not name is skipped, as the window skips it.
  return named ? "cannot read " + name + ": " + std::strerror(config.error) : std::string();
}

// What `setup save` can tell without the chip: a target it must not replace.
std::string SaveTargetProblem(const std::filesystem::path& file) {
  std::error_code error;
  const auto status = std::filesystem::status(file, error);
  const std::string name = Escaped(file.string());
  // Anything it cannot tell is left to the save, which says why.
  if (error || status.type() == std::filesystem::file_type::not_found) return {};
  if (status.type() == std::filesystem::file_type::directory) return name + " is a folder";
  if (status.type() != std::filesystem::file_type::regular) return name + " is not a regular file";
  if (access(file.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS))
    return name + " is read-only";
  return {};
}

// The command and its operands; the error is set when they do not fit.
std::string MakePlan(const CliOptions& o, const Reg47120& table, Plan& plan) {
  const std::vector<std::string>& w = o.words;
  const std::string& first = w[0];
  size_t operands = 0;
  if (first == "identify" || first == "read" || first == "log") {
    plan.command = first;
  } else if (first == "reg" || first == "setup") {
    if (w.size() < 2)
      return first + " needs a subcommand (see \"velk47120-cli " + first + " --help\")";
    plan.command = first + " " + w[1];
    if (plan.command == "reg get") {
      operands = 1;
    } else if (plan.command == "reg set") {
      operands = 2;
    } else if (plan.command == "setup save" || plan.command == "setup load") {
      operands = 1;
    } else if (plan.command != "reg dump") {
      return "unknown subcommand \"" + Escaped(w[1]) + "\" of " + first;
    }
    operands += 1;  // the subcommand itself
  } else {
    return "unknown command \"" + Escaped(first) + "\"";
  }
  if (w.size() != operands + 1) {
    return plan.command + (w.size() < operands + 1 ? " needs more" : " takes fewer") +
           " arguments (see \"velk47120-cli " + first + " --help\")";
  }
  const std::set<std::string> allowed = OptionsOf(plan.command);
  for (const std::string& name : o.given)
    if (!kCommonOptions.count(name) && !allowed.count(name))
      return name + " does not apply to " + plan.command;
  if (o.port && o.interfaceType == interface_type::kUsbCard)
    return "--port is for the parallel interface, not usb";
  if (o.card && o.interfaceType == interface_type::kParallelPort)
    return "--card is for the usb interface, not parallel";
  if (o.port && o.card) return "--port and --card name two different interfaces";

  if (plan.command == "reg get" || plan.command == "reg set") {
    const RegisterChoice choice = FindRegister(table, w[2], o.factory);
    if (!choice.error.empty()) return choice.error;
    plan.slot = choice.slot;
    const std::string name = RegisterName(table, plan.slot);
    if (plan.command == "reg get" && table.RegReadable[plan.slot] == 0)
      return name + " cannot be read";
    if (plan.command == "reg set") {
      if (table.RegWritable[plan.slot] == 0) return name + " is read-only";
      const int64_t top = table.RegBytes[plan.slot] == 1 ? 0xFF : 0xFFFF;
      const auto value = ParseValue(w[3]);
      if (!value || *value > top) {
        return "value \"" + Escaped(w[3]) + "\" for " + name + " must be 0 to " +
               (top == 0xFF ? "0xFF" : "0xFFFF") + " (0x hex or decimal)";
      }
      plan.value = static_cast<int32_t>(*value);
    }
  }
  if (plan.command == "setup save" || plan.command == "setup load") plan.file = w[2];
  if (plan.command == "setup save") {
    const std::string problem = SaveTargetProblem(plan.file);
    if (!problem.empty()) return problem + "; nothing was saved";
  }
  if (plan.command == "setup load") {
    plan.setup = ReadSetupFile(plan.file, table);
    if (!plan.setup.error.empty()) return plan.setup.error + "; nothing was written";
  }
  return {};
}

int Execute(Session& session, const Plan& plan, const Chip& chip, const CliOptions& o,
            AppendLog* log, CliContext& context) {
  const std::string& c = plan.command;
  if (c == "identify") return Identify(session, chip, o, context);
  if (c == "read") return Read(session, o, context);
  if (c == "log") return Log(session, chip, o, log, context);
  if (c == "reg get") return RegGet(session, plan.slot, context);
  if (c == "reg set") return RegSet(session, plan.slot, plan.value, context);
  if (c == "reg dump") return RegDump(session, o.factory, o.json, context);
  if (c == "setup save") return SetupSave(session, chip.model, plan.file, context);
  return SetupLoad(session, chip.model, plan.setup, context);
}

// Opened before the chip is touched: a file that cannot take the log is bad usage.
int OpenLog(const std::string& file, AppendLog& log, CliContext& context) {
  switch (log.Open(file, "\n")) {
    case AppendLog::OpenStatus::Opened:
      return exitcode::kDone;
    case AppendLog::OpenStatus::Busy:
      return Refuse(context,
                    Escaped(file) + " is being written by another program; nothing was written");
    case AppendLog::OpenStatus::Failed:
      break;
  }
  return Refuse(context,
                "cannot open " + Escaped(file) + " for writing: " + std::strerror(log.Error()));
}

int Run(const std::vector<std::string>& args, CliContext& context) {
  const ParsedOptions parsed = ParseOptions(args);
  if (!parsed.error.empty()) return Usage(context, parsed.error);
  const CliOptions& o = parsed.options;
  if (o.version) {
    context.out << "velk47120-cli " << VELK_VERSION << "\n";
    return exitcode::kDone;
  }
  if (o.words.empty()) {
    if (o.help) {
      context.out << HelpText({});
      return exitcode::kDone;
    }
    return Usage(context, "no command given");
  }
  if (o.help) {
    const std::string text = HelpText(o.words[0]);
    if (text.empty()) return Usage(context, "unknown command \"" + Escaped(o.words[0]) + "\"");
    context.out << text;
    return exitcode::kDone;
  }

  if (o.config) context.configFile = *o.config;
  CliMessages messages(context.err);
  Session session(context.portIo, context.usbDriver, messages);
  session.reg.BuildRegisterTable();
  Plan plan;
  if (const std::string error = MakePlan(o, session.reg, plan); !error.empty())
    return Usage(context, error);
  const SmallFile config = session.analyzer.LoadConfig(context.configFile);
  if (const std::string problem = ConfigProblem(config, context.configFile, o.config.has_value());
      !problem.empty())
    return Refuse(context, problem);
  AppendLog log;
  const bool toFile = plan.command == "log" && o.out && *o.out != "-";
  if (toFile) {
    if (const int status = OpenLog(*o.out, log, context); status != exitcode::kDone) return status;
  }
  if (StopSignal(context) != 0) return Stopped(context);

  Chip chip;
  if (const int status = Connect(session, o, context, messages, chip); status != exitcode::kDone)
    return status;
  // A log ends on a stop by itself, with its summary.
  if (StopSignal(context) != 0 && plan.command != "log") return Stopped(context);
  return Execute(session, plan, chip, o, toFile ? &log : nullptr, context);
}

}  // namespace

int OutputFailed(CliContext& context, const std::string& where, int error) {
  context.err << "velk47120-cli: cannot write to " << where << ": "
              << (error != 0 ? std::strerror(error) : "the output failed")
              << (context.chipWritten ? " (the chip was written)" : "") << "\n"
              << std::flush;
  return exitcode::kUsage;
}

int RunCli(const std::vector<std::string>& args, CliContext& context) {
  const int status = Run(args, context);
  context.out.flush();
  if (!context.out)
    return OutputFailed(context, "standard output",
                        context.outError != nullptr ? *context.outError : 0);
  return status;
}

}  // namespace velk
