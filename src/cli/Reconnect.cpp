#include "cli/Reconnect.h"

#include <algorithm>

#include "cli/Cli.h"
#include "core/NumberText.h"
#include "registers/Session.h"
#include "transport/usb/UsbArrival.h"

namespace velk {

namespace {

// How often a gone card is looked for: a card takes about this long to enumerate anyway.
// Where the platform tells of arrivals the look comes at once on one, and still once a
// step, since a card plugged in may answer only a moment later.
constexpr double kPollSeconds = 1.0;

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

}  // namespace

Result<Chip, std::string> AwaitCardBack(Session& session, CliContext& context,
                                        const CardAndChip& was, double seconds, double logEnd,
                                        std::string_view what) {
  const std::string ends = "; the " + std::string(what) + " ends";
  const Clock& clock = context.clock;
  const double deadline = std::min(clock.Seconds() + seconds, logEnd);
  for (;;) {
    if (Stopped(context)) return Unexpected(std::string("stopped while waiting for the USB card"));
    const double now = clock.Seconds();
    if (now >= deadline && deadline == logEnd)
      return Unexpected("the USB card " + was.card.DeviceName + " was not back when the " +
                        std::string(what) + "'s duration ran out");
    if (now >= deadline)
      return Unexpected("the USB card " + was.card.DeviceName + " was not back within " +
                        FormatGeneral(static_cast<float>(seconds)) + " s" + ends);
    const double step = std::min(kPollSeconds, deadline - now);
    if (session.ezUsb.AwaitBoardArrival(step) == UsbArrival::Unsupported) context.sleep(step);
    if (Stopped(context)) continue;

    const auto look = LookForCard(session, was, ends);
    if (!look) return Unexpected(look.error());
    if (!*look) continue;
    Chip chip;
    chip.model = (*look)->model;
    chip.sensAvg = (*look)->sensAvg;
    chip.interfaceText = InterfaceText(session);
    return chip;
  }
}

}  // namespace velk
