#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace velk {

// When the simulated card is away: from `goneAt` seconds after the simulated session starts
// until `backAt` (never back without it).
struct UnplugWindow {
  double goneAt = 0.0;
  std::optional<double> backAt;
};

// A VELK47120_SIM_USB_UNPLUG value, "T1" or "T1,T2" in seconds with 0 <= T1 < T2: the window,
// none for a blank value, or the line saying why the value is refused.
Result<std::optional<UnplugWindow>, std::string> ParseUnplugWindow(std::string_view text);

}  // namespace velk
