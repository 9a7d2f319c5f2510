// The commands not yet built say so rather than pretend.
#include "cli/Characterise.h"
#include "cli/Cli.h"
#include "cli/CommandTable.h"

namespace velk {

namespace {
ExitStatus NotYet(CliContext& context, const char* name) {
  context.err << "velk47120-cli: characterise " << name << " is not built yet\n";
  return ExitStatus::kUsage;
}
}  // namespace

ExitStatus CharacteriseApply(const CommandCall& call) {
  return NotYet(call.context, "apply");
}
ExitStatus CharacteriseReport(const CliOptions&, const Plan&, CliContext& context) {
  return NotYet(context, "report");
}

}  // namespace velk
