#include "cli/Plan.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

#include "cli/CommandTable.h"
#include "cli/Options.h"
#include "core/Analyzer.h"

namespace velk {

namespace {

constexpr std::string_view kCommonOptions[] = {"--interface", "--port", "--card",
                                               "--config",    "--help", "--version"};

bool Takes(const CliCommand& command, const std::string& option) {
  const auto in = [&](const auto& list) {
    return std::find(std::begin(list), std::end(list), option) != std::end(list);
  };
  return in(kCommonOptions) || in(command.options);
}

std::string SeeHelp(const std::string& word) {
  return " (see \"velk47120-cli " + word + " --help\")";
}

}  // namespace

Result<Plan, std::string> MakePlan(const CliOptions& o, const Reg47120& table) {
  const std::vector<std::string>& w = o.words;
  const std::string& first = w[0];
  const auto ofWord = [&](const CliCommand& c) { return c.word == first; };
  auto command = std::find_if(kCliCommands.begin(), kCliCommands.end(), ofWord);
  if (command == kCliCommands.end())
    return Unexpected("unknown command \"" + Escaped(first) + "\"");
  size_t words = 1;
  if (!command->subcommand.empty()) {
    if (w.size() < 2) return Unexpected(first + " needs a subcommand" + SeeHelp(first));
    command = std::find_if(kCliCommands.begin(), kCliCommands.end(),
                           [&](const CliCommand& c) { return ofWord(c) && c.subcommand == w[1]; });
    if (command == kCliCommands.end())
      return Unexpected("unknown subcommand \"" + Escaped(w[1]) + "\" of " + first);
    words = 2;
  }
  Plan plan;
  plan.command = &*command;
  const std::string name = command->Name();
  const size_t most = words + command->operandCount;
  const size_t fewest = most - std::min(command->optionalOperands, command->operandCount);
  if (w.size() < fewest || w.size() > most)
    return Unexpected(name + (w.size() < fewest ? " needs more" : " takes fewer") + " arguments" +
                      SeeHelp(first));
  plan.operands.assign(w.begin() + static_cast<std::ptrdiff_t>(words), w.end());

  for (const std::string& option : o.given)
    if (!Takes(*command, option)) return Unexpected(option + " does not apply to " + name);
  if (o.port && o.interfaceType == interface_type::kUsbCard)
    return Unexpected("--port is for the parallel interface, not usb");
  if (o.card && o.interfaceType == interface_type::kParallelPort)
    return Unexpected("--card is for the usb interface, not parallel");
  if (o.port && o.card) return Unexpected("--port and --card name two different interfaces");
  if (command->check != nullptr) {
    if (auto checked = command->check(o, table, plan); !checked)
      return Unexpected(std::move(checked).error());
  }
  return plan;
}

}  // namespace velk
