#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Result.h"
#include "transport/usb/UsbBoardInfo.h"

namespace velk {

class Session;

// What a USB card and its chip are, so a card that comes back is taken only when it is the
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

// Taken while the card and chip answer.
CardAndChip IdentityOf(Session& session);

// "14:02:11" in local time.
std::string LocalClockText(std::chrono::system_clock::time_point t);

// The chip on a card that came back, set up and identified again.
struct ChipBack {
  int32_t model = 0;
  int32_t sensAvg = 0;  // as read, with the range applied to the register table
};

// One look for the card `was` on its place. When it is there, selects it, sets its SPI up as a
// start does and identifies the chip: the chip, or nothing yet (not there, gone again, or a
// chip not yet awake). The error is the line saying what came instead of the card or chip,
// ending in `ends` ("; the log ends").
Result<std::optional<ChipBack>, std::string> LookForCard(Session& session, const CardAndChip& was,
                                                         std::string_view ends);

}  // namespace velk
