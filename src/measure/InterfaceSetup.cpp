#include "measure/InterfaceSetup.h"

#include <cstddef>

#include "core/OsName.h"
#include "registers/Session.h"

namespace velk {

PreparedInterface PrepareInterface(Session& session, int card) {
  Analyzer& config = session.analyzer;
  if (config.InterfaceType == interface_type::kParallelPort) {
    if (!PortAccessRequired(config.OsName)) return PreparedInterface::PortAsIs;
    session.giveio.PreparePort(config, session.parallel);
    return PreparedInterface::Port;
  }
  if (config.InterfaceType != interface_type::kUsbCard) {
    config.InterfaceType = interface_type::kNone;
    return PreparedInterface::None;
  }
  if (config.OsName == "Win95") {
    config.InterfaceType = interface_type::kNone;
    return PreparedInterface::NoUsb;
  }
  UsbSpiDrivers& usb = session.usb;
  usb.FindUsbBuffers();
  if (card >= 0 && usb.UsbDeviceIndex != card)
    return SelectCard(session, card) ? PreparedInterface::Card : PreparedInterface::NoCard;
  if (!usb.CardReady()) return PreparedInterface::NoCard;
  usb.SetSpiBits(usb.SpiStaticBits);
  usb.SetupSpi(usb.SpiWordDelay);
  return PreparedInterface::Card;
}

bool SelectCard(Session& session, int index) {
  UsbSpiDrivers& usb = session.usb;
  const auto& boards = session.ezUsb.UsbBoards;
  if (index < 0 || static_cast<size_t>(index) >= boards.size() ||
      boards[static_cast<size_t>(index)].Present != -1) {
    usb.SelectedUsbBoard.Present = 0;
    return false;
  }
  usb.SelectedUsbBoard = boards[static_cast<size_t>(index)];
  usb.UsbDeviceIndex = static_cast<int16_t>(index);
  usb.SetupSpi(usb.SpiWordDelay);
  usb.SetSpiBits(usb.SpiStaticBits);
  return usb.CardReady();
}

bool InterfaceUsable(const Session& session) {
  const Analyzer& config = session.analyzer;
  if (config.InterfaceType == interface_type::kParallelPort) return config.PortAddress != 0;
  if (config.InterfaceType == interface_type::kUsbCard) return session.usb.CardReady();
  return config.InterfaceType != interface_type::kNone;
}

bool CheckInterface(Session& session) {
  if (!InterfaceUsable(session)) session.analyzer.InterfaceType = interface_type::kNone;
  return session.analyzer.InterfaceType != interface_type::kNone;
}

}  // namespace velk
