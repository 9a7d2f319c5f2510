#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/Connection.h"
#include "core/Result.h"
#include "transport/usb/UsbBoardInfo.h"

namespace velk {

class Session;
struct CliContext;

// What a log's USB card and chip are, so a card that comes back is taken only when it is the
// same card on the same place with the same chip on it.
struct CardAndChip {
  UsbBoardInfo card;
  std::string place;  // on the bus, where the driver can tell: then the name may change
  std::string product;
  float firmware = 0.0f;
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
};

// Taken while the card and chip answer (after Connect).
CardAndChip IdentityOf(Session& session);

// "14:02:11" in local time.
std::string LocalClockText(std::chrono::system_clock::time_point t);

// Looks once a second, for up to `seconds` but not past `logEnd` on the context's clock, for
// the card `was` on its place; when it is back, sets it up as the tool's start does and
// identifies the chip again. Gives the chip as now read, or the line saying why not (not back
// in time, another card or chip came, a stop), `what` naming the run that ends.
Result<Chip, std::string> AwaitCardBack(Session& session, CliContext& context,
                                        const CardAndChip& was, double seconds, double logEnd,
                                        std::string_view what = "log");

}  // namespace velk
