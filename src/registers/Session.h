#pragma once

#include <filesystem>

#include "core/Analyzer.h"
#include "core/Messages.h"
#include "registers/ChipSleep.h"
#include "registers/Reg47120.h"
#include "registers/Spi47120.h"
#include "transport/parallel/ParallelSpi.h"
#include "transport/parallel/PortIo.h"
#include "transport/parallel/SetupGiveio.h"
#include "transport/usb/EzUsb.h"
#include "transport/usb/EzUsbDriver.h"
#include "transport/usb/UsbSpiDrivers.h"

namespace velk {

// The process-wide state of one run: one instance of each module, handed by reference to
// every window. The hardware seams and the message boxes are supplied by whoever builds it
// (real or simulated hardware; Qt message boxes or a test's recorder).
class Session {
 public:
  Session(PortIo& portIo, EzUsbDriver& usbDriver, MessageSink& messages)
      : messages(messages),
        ezUsb(usbDriver, messages),
        parallel(analyzer, portIo),
        giveio(portIo, messages) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  MessageSink& messages;
  // The seams lead to the built-in simulated sensor: the windows say so wherever they name
  // the chip.
  bool Simulated = false;
  Analyzer analyzer;
  // Read at start and written at the end (see ResolveFilePlaces).
  std::filesystem::path configFile = kConfigFileName;
  Reg47120 reg;
  EzUsb ezUsb;
  UsbSpiDrivers usb{ezUsb, messages};
  ParallelSpi parallel;
  SetupGiveio giveio;
  // A power-down started by a window: until it ends the window reads nothing and no write is
  // sent.
  ChipSleep sleep;
  Spi47120 spi{analyzer, reg, parallel, usb, &sleep};
};

}  // namespace velk
