#pragma once

#include <cstdint>
#include <vector>

#include "registers/Session.h"
#include "support/MessageRecorder.h"
#include "support/RecordingPortIo.h"
#include "support/SpiFrames.h"
#include "transport/usb/AbsentEzUsbDriver.h"

namespace velk::test {

// A session on a recording parallel port at 0x378 with the register table built.
struct WiredSession {
  WiredSession() {
    config.InterfaceType = interface_type::kParallelPort;
    session.reg.BuildRegisterTable();
  }
  std::vector<uint16_t> Frames() const { return FramesSent(io, 0x378); }
  // The sensor's answers to the next reads, one word per read.
  void Answer(std::vector<uint16_t> words) { AnswerWith(io, 0x378, std::move(words)); }

  RecordingPortIo io;
  AbsentEzUsbDriver noUsb;
  MessageRecorder messages;
  Session session{io, noUsb, messages};
  Analyzer& config = session.analyzer;
  ParallelSpi& parallel = session.parallel;
  SetupGiveio& giveio = session.giveio;
  Spi47120& spi = session.spi;
};

}  // namespace velk::test
