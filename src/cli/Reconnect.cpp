#include "cli/Reconnect.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "cli/Cli.h"
#include "core/GyroRange.h"
#include "core/NumberText.h"
#include "measure/RangeTable.h"
#include "registers/Session.h"

namespace velk {

namespace {

// How often a gone card is looked for: a card takes about this long to enumerate anyway.
constexpr double kPollSeconds = 1.0;

std::string CardText(const UsbBoardInfo& card) {
  return card.BoardKind + " card \"" + card.Descriptor0 + "\" / \"" + card.Descriptor1 +
         "\", firmware " + FormatFixed(card.FirmwareRev, 1);
}

std::string ChipText(const CardAndChip& c) {
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", c.year, c.month, c.day);
  return c.product + ", firmware " + FormatFixed(c.firmware, 1) + " of " + date;
}

// Speed is left out: the same card on a slower hub port is still the same card.
bool SameCard(const UsbBoardInfo& a, const UsbBoardInfo& b) {
  return a.BoardKind == b.BoardKind && a.Descriptor0 == b.Descriptor0 &&
         a.Descriptor1 == b.Descriptor1 && a.FirmwareRev == b.FirmwareRev;
}

bool SameChip(const CardAndChip& a, const CardAndChip& b) {
  return a.product == b.product && a.firmware == b.firmware && a.year == b.year &&
         a.month == b.month && a.day == b.day;
}

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

}  // namespace

CardAndChip IdentityOf(Session& session) {
  const Reg47120& reg = session.reg;
  const UsbBoardInfo& card = session.usb.SelectedUsbBoard;
  return {card,
          card.DeviceName.empty() ? std::string() : session.ezUsb.DevicePlace(card.DeviceName),
          reg.ProductName,
          reg.FirmwareRevision,
          reg.RevisionYear,
          reg.RevisionMonth,
          reg.RevisionDay};
}

std::string LocalClockText(std::chrono::system_clock::time_point t) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

Result<Chip, std::string> AwaitCardBack(Session& session, CliContext& context,
                                        const CardAndChip& was, double seconds, double logEnd,
                                        std::string_view what) {
  const std::string ends = "; the " + std::string(what) + " ends";
  const Clock& clock = context.clock;
  const double deadline = std::min(clock.Seconds() + seconds, logEnd);
  UsbSpiDrivers& usb = session.usb;
  for (;;) {
    if (Stopped(context)) return Unexpected(std::string("stopped while waiting for the USB card"));
    const double now = clock.Seconds();
    if (now >= deadline && deadline == logEnd)
      return Unexpected("the USB card " + was.card.DeviceName + " was not back when the " +
                        std::string(what) + "'s duration ran out");
    if (now >= deadline)
      return Unexpected("the USB card " + was.card.DeviceName + " was not back within " +
                        FormatGeneral(static_cast<float>(seconds)) + " s" + ends);
    context.sleep(std::min(kPollSeconds, deadline - now));
    if (Stopped(context)) continue;

    // By its place on the bus where the driver tells it (cards are named in bus order, so a
    // name can pass to another card), else by its name.
    EzUsb& ezUsb = session.ezUsb;
    ezUsb.FindEzUsbBoards();
    const auto& boards = ezUsb.UsbBoards;
    const auto found = std::find_if(boards.begin(), boards.end(), [&](const UsbBoardInfo& b) {
      if (b.Present != -1) return false;
      return was.place.empty() ? b.DeviceName == was.card.DeviceName
                               : ezUsb.DevicePlace(b.DeviceName) == was.place;
    });
    if (found == boards.end()) continue;
    const std::string where = was.place.empty() ? "as " + was.card.DeviceName : "at " + was.place;
    if (!SameCard(*found, was.card))
      return Unexpected("another card came back " + where + ": " + CardText(*found) + ", not the " +
                        CardText(was.card) + ends);

    usb.SelectedUsbBoard = *found;
    usb.UsbDeviceIndex = static_cast<int16_t>(found - boards.begin());
    usb.SetSpiBits(usb.SpiStaticBits);
    usb.SetupSpi(usb.SpiWordDelay);
    Spi47120& spi = session.spi;
    session.reg.IdentifyProduct(spi);
    const int32_t product = spi.RegData;
    // Gone again, or a chip not yet awake: keep looking.
    if (!usb.CardReady() || product == 0) continue;
    const CardAndChip back = IdentityOf(session);
    if (!SameChip(back, was))
      return Unexpected("the USB card " + found->DeviceName + " came back with another chip: " +
                        ChipText(back) + ", not " + ChipText(was) + ends);

    Chip chip;
    chip.model = product;
    chip.interfaceText = InterfaceText(session);
    spi.ReadRegister(slot::Sens_Avg);
    chip.sensAvg = spi.RegData;
    if (!usb.CardReady()) continue;
    ApplyRange(session.reg, RangePosition(chip.sensAvg), chip.model);
    return chip;
  }
}

}  // namespace velk
