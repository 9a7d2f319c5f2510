#pragma once

#include <cstdint>
#include <optional>

#include "core/Analyzer.h"
#include "core/Messages.h"
#include "transport/parallel/ParallelSpi.h"
#include "transport/parallel/PortIo.h"

namespace velk {

// Port access for the parallel-port SPI: what a port driver installation is elsewhere, here
// the right to use the port's registers, obtained once per run.
class SetupGiveio {
 public:
  SetupGiveio(PortIo& io, MessageSink& messages) : io_(io), messages_(messages) {}

  // -1 once access has been sought in this run (whether or not it was granted), 0 before.
  int16_t PortDriverReady = 0;

  // Asks for access to the port at base; a refusal is reported with what the user can do.
  void InstallGiveio(uint16_t base);

  // The step shared by start-up and the port dialog: with the parallel interface selected on a
  // system that needs port access, and access not yet sought in this run, seek it, set
  // PortDriverReady and put the lines into their idle state. Access is per port here, so a
  // port address changed since then is sought afresh. Returns whether the step ran.
  bool PreparePort(const Analyzer& config, ParallelSpi& spi);

 private:
  PortIo& io_;
  MessageSink& messages_;
  std::optional<uint16_t> soughtBase_;
};

}  // namespace velk
