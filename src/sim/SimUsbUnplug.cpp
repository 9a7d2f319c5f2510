#include "sim/SimUsbUnplug.h"

#include <cmath>

#include "core/EchoText.h"
#include "sim/SimNumber.h"

namespace velk {

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<double> Seconds(std::string_view text) {
  const std::optional<double> value = SimNumber(text);
  if (!value || *value < 0 || *value > 1e9) return std::nullopt;
  return value;
}

}  // namespace

Result<std::optional<UnplugWindow>, std::string> ParseUnplugWindow(std::string_view text) {
  if (Trimmed(text).empty()) return std::optional<UnplugWindow>{};
  const auto refuse = [&](const char* why) {
    return Unexpected("VELK47120_SIM_USB_UNPLUG=\"" + Escaped(text) + "\" " + why +
                      "; the simulated card stays plugged in.");
  };
  const size_t comma = text.find(',');
  const auto gone = Seconds(text.substr(0, comma));
  if (!gone) return refuse("is not T1[,T2], seconds from the start up to 1e9 (such as 3,6)");
  UnplugWindow window{*gone, std::nullopt};
  if (comma != std::string_view::npos) {
    const auto back = Seconds(text.substr(comma + 1));
    if (!back) return refuse("is not T1[,T2], seconds from the start up to 1e9 (such as 3,6)");
    if (*back <= *gone) return refuse("comes back before it goes: T2 must be after T1");
    window.backAt = *back;
  }
  return std::optional<UnplugWindow>{window};
}

}  // namespace velk
