#include "transport/parallel/ParallelSpi.h"

#include <gtest/gtest.h>

#include <vector>

#include "registers/WiredSession.h"

namespace velk {
namespace {

using test::RecordingPortIo;

TEST(ParallelSpi, WordsAreClockedMsbFirstAndReadWhileTheClockIsHigh) {
  test::WiredSession p;
  p.parallel.ParallelWriteWord(0x8000);
  std::vector<uint16_t> expected = {4, 5, 7, 3, 1, 5};
  for (int i = 0; i < 15; ++i) expected.insert(expected.end(), {7, 7, 5, 5});
  expected.push_back(0);
  EXPECT_EQ(p.io.WritesTo(0x378), expected);
  EXPECT_EQ(p.io.log.size(), expected.size());  // the data register only, no reads

  // A read sends the command, then samples the status while the clock is high.
  p.io.log.clear();
  p.io.input = [](uint16_t) -> uint16_t { return 0x00; };
  EXPECT_EQ(p.parallel.ParallelReadWord(4), 0xFFFF);
  // The command frame, then an answer frame that sends zeros.
  EXPECT_EQ(test::FramesSent(p.io, 0x378), (std::vector<uint16_t>{0x0400, 0x0000}));

  // Every status read comes from base + 1, right after the clock rises and before it falls.
  int reads = 0;
  for (size_t i = 0; i < p.io.log.size(); ++i) {
    if (p.io.log[i].write) continue;
    ++reads;
    EXPECT_EQ(p.io.log[i].port, 0x379);
    EXPECT_EQ(p.io.log[i - 1], (RecordingPortIo::Access{true, 0x378, 7}));
    EXPECT_EQ(p.io.log[i + 1], (RecordingPortIo::Access{true, 0x378, 5}));
  }
  EXPECT_EQ(reads, 16);
  EXPECT_EQ(p.io.log.back(), (RecordingPortIo::Access{true, 0x378, 0}));

  // Only bit 6 carries data; the address is cut to 7 bits.
  p.io.log.clear();
  test::AnswerWith(p.io, 0x378, {0xA5C3});
  EXPECT_EQ(p.parallel.ParallelReadWord(0x84), 0xA5C3);
  EXPECT_EQ(test::FramesSent(p.io, 0x378).front(), 0x0400);
}

TEST(ParallelSpi, PortNumbersAndInterfaceGate) {
  // (What the port init writes, the port-access test shows.) An address above 0x7FFF is
  // stored negative but names the same port.
  test::WiredSession p;
  p.config.PortAddress = static_cast<int16_t>(0xBC00);
  p.parallel.ParallelReadWord(4);
  for (const auto& a : p.io.log) EXPECT_EQ(a.port, a.write ? 0xBC00 : 0xBC01);

  for (int16_t other : {0, 2}) {
    p.io.log.clear();
    p.config.InterfaceType = other;
    p.io.input = [](uint16_t) -> uint16_t { return 0x00; };
    p.parallel.ParallelPortInit();
    p.parallel.ParallelWriteWord(0x8000);
    EXPECT_EQ(p.parallel.ParallelReadWord(4), 0);
    EXPECT_TRUE(p.io.log.empty()) << "InterfaceType " << other;
  }
}

}  // namespace
}  // namespace velk
