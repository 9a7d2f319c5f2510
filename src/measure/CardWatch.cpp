#include "measure/CardWatch.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "core/GyroRange.h"
#include "core/NumberText.h"
#include "measure/RangeTable.h"
#include "registers/Session.h"

namespace velk {

namespace {

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

Result<std::optional<ChipBack>, std::string> LookForCard(Session& session, const CardAndChip& was,
                                                         std::string_view ends) {
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
  if (found == boards.end()) return std::optional<ChipBack>();
  const std::string where = was.place.empty() ? "as " + was.card.DeviceName : "at " + was.place;
  if (!SameCard(*found, was.card))
    return Unexpected("another card came back " + where + ": " + CardText(*found) + ", not the " +
                      CardText(was.card) + std::string(ends));

  UsbSpiDrivers& usb = session.usb;
  usb.SelectedUsbBoard = *found;
  usb.UsbDeviceIndex = static_cast<int16_t>(found - boards.begin());
  usb.SetSpiBits(usb.SpiStaticBits);
  usb.SetupSpi(usb.SpiWordDelay);
  Spi47120& spi = session.spi;
  session.reg.IdentifyProduct(spi);
  const int32_t product = spi.RegData;
  if (!usb.CardReady() || product == 0) return std::optional<ChipBack>();
  const CardAndChip back = IdentityOf(session);
  if (!SameChip(back, was))
    return Unexpected("the USB card " + found->DeviceName + " came back with another chip: " +
                      ChipText(back) + ", not " + ChipText(was) + std::string(ends));

  ChipBack chip;
  chip.model = product;
  spi.ReadRegister(slot::Sens_Avg);
  chip.sensAvg = spi.RegData;
  if (!usb.CardReady()) return std::optional<ChipBack>();
  ApplyRange(session.reg, RangePosition(chip.sensAvg), chip.model);
  return std::optional<ChipBack>(chip);
}

}  // namespace velk
