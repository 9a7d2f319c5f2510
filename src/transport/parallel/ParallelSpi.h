#pragma once

#include <cstdint>

#include "core/Analyzer.h"
#include "transport/parallel/PortIo.h"

namespace velk {

// The parallel-port half of the SPI: 16-bit frames bit-banged on the data register at
// PortAddress, answers read from status bit 6 at PortAddress + 1. Acts only while the
// parallel interface is selected.
class ParallelSpi {
 public:
  ParallelSpi(const Analyzer& config, PortIo& io) : config_(config), io_(io) {}

  void ParallelWriteWord(int32_t word);
  // Sends the read command for address (7 bits), then clocks the answer in.
  int32_t ParallelReadWord(int16_t address);
  void ParallelPortInit();

 private:
  void Write(int value);

  const Analyzer& config_;
  PortIo& io_;
};

}  // namespace velk
