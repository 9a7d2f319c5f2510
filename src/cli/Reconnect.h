#pragma once

#include <string>
#include <string_view>

#include "cli/Connection.h"
#include "core/Result.h"
#include "measure/CardWatch.h"

namespace velk {

class Session;
struct CliContext;

// Looks once a second, and at once when the driver tells of a card plugged in, for up to `seconds`
// but not past `logEnd` on the context's clock, for the card `was` on its place; when it is back,
// sets it up as the tool's start does and identifies the chip again. Gives the chip as now read, or
// the line saying why not (not back in time, another card or chip came, a stop), `what` naming the
// run that ends.
Result<Chip, std::string> AwaitCardBack(Session& session, CliContext& context,
                                        const CardAndChip& was, double seconds, double logEnd,
                                        std::string_view what = "log");

}  // namespace velk
