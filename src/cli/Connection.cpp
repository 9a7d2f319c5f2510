#include "cli/Connection.h"

#include <cstdio>

#include "cli/Cli.h"
#include "cli/Options.h"
#include "core/OsName.h"
#include "measure/InterfaceSetup.h"
#include "measure/RangeTable.h"
#include "registers/Session.h"

namespace velk {

void CliMessages::Show(const std::string& text, const std::string&) {
  ++count_;
  std::string line;
  for (char c : text) line += c == '\n' ? ' ' : c;
  // Paragraph breaks of a message box read as one line here.
  for (size_t at; (at = line.find("  ")) != std::string::npos;) line.erase(at, 1);
  err_ << "velk47120-cli: " << line << '\n' << std::flush;
}

bool CliMessages::Ask(const std::string& text, const std::string& title) {
  Show(text, title);
  return false;
}

ExitStatus Connect(Session& session, const CliOptions& options, CliContext& context,
                   CliMessages& messages, Chip& chip) {
  Analyzer& config = session.analyzer;
  if (options.interfaceType) {
    config.InterfaceType = *options.interfaceType;
  } else if (options.port) {
    config.InterfaceType = interface_type::kParallelPort;
  } else if (options.card) {
    config.InterfaceType = interface_type::kUsbCard;
  } else if (context.simulated != 0 && config.InterfaceType != interface_type::kParallelPort &&
             config.InterfaceType != interface_type::kUsbCard) {
    // The simulated sensor is always wired: without a choice, take the parallel adapter.
    config.InterfaceType = interface_type::kParallelPort;
    config.PortAddress = 0x378;
  }
  if (options.port) config.PortAddress = static_cast<int16_t>(*options.port);
  config.OsName = DetectOsName();

  const int before = messages.count();
  switch (PrepareInterface(session, options.card.value_or(-1))) {
    case PreparedInterface::None:
      messages.Show(
          "No interface is selected: give --interface parallel or --interface usb, "
          "or choose one in the window.");
      return ExitStatus::kNoInterface;
    case PreparedInterface::NoCard:
      if (options.card && messages.count() == before)
        messages.Show("There is no usable USB card Ezusb-" + std::to_string(*options.card) + ".");
      return ExitStatus::kNoInterface;
    case PreparedInterface::NoUsb:
      messages.Show("USB is not available on this system.");
      return ExitStatus::kNoInterface;
    case PreparedInterface::Port:
    case PreparedInterface::PortAsIs:
    case PreparedInterface::Card:
      break;
  }
  // Refused port access, a card that failed its first settings: already reported.
  if (messages.count() != before) return ExitStatus::kNoInterface;
  if (!CheckInterface(session)) {
    messages.Show("The parallel port address is 0: give --port.");
    return ExitStatus::kNoInterface;
  }

  Spi47120& spi = session.spi;
  session.reg.IdentifyProduct(spi);
  const int32_t product = spi.RegData;
  if (messages.count() != before) return ExitStatus::kNoInterface;
  chip.interfaceText = InterfaceText(session);
  if (product != 47120 && product != 47121) {
    messages.Show("No chip answers on the " + chip.interfaceText + ": Product reads " +
                  std::to_string(product) + ", not 47120 or 47121.");
    return ExitStatus::kNoChip;
  }
  chip.model = product;
  spi.ReadRegister(slot::Sens_Avg);
  chip.sensAvg = spi.RegData;
  ApplyRange(session.reg, RangePosition(chip.sensAvg), chip.model);
  return ExitStatus::kDone;
}

}  // namespace velk
