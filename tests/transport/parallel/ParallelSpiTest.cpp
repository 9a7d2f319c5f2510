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
  std::vector<uint16_t> written;  // the data register only, no reads
  for (const auto& a : p.io.log) written.push_back(a.write && a.port == 0x378 ? a.value : 0xFFFF);
  EXPECT_EQ(written, expected);

  // A read sends the command, then samples the status while the clock is high.
  p.io.log.clear();
  p.io.input = [](uint16_t) -> uint16_t { return 0x00; };
  EXPECT_EQ(p.parallel.ParallelReadWord(4), 0xFFFF);

  // The answer frame (the frames sent are shown below): each of its 16 status reads comes from
  // base + 1, right after the clock rises and before it falls.
  std::vector<RecordingPortIo::Access> answer = {{true, 0x378, 4}, {true, 0x378, 5}};
  for (int i = 0; i < 16; ++i)
    answer.insert(answer.end(), {{true, 0x378, 7}, {false, 0x379, 0}, {true, 0x378, 5}});
  answer.push_back({true, 0x378, 0});
  EXPECT_EQ(std::vector(p.io.log.end() - std::ssize(answer), p.io.log.end()), answer);

  // Only bit 6 carries data; the address is cut to 7 bits; the answer frame sends zeros.
  p.io.log.clear();
  test::AnswerWith(p.io, 0x378, {0xA5C3});
  EXPECT_EQ(p.parallel.ParallelReadWord(0x84), 0xA5C3);
  EXPECT_EQ(test::FramesSent(p.io, 0x378), (std::vector<uint16_t>{0x0400, 0x0000}));
}

// (What the port init writes, the port-access test shows; the other interfaces are kept off
// the port by the register protocol and the port-access tests.)
TEST(ParallelSpi, AnAddressAbove7FFFIsStoredNegativeButNamesTheSamePort) {
  test::WiredSession p;
  p.config.PortAddress = static_cast<int16_t>(0xBC00);
  p.parallel.ParallelReadWord(4);
  for (const auto& a : p.io.log) EXPECT_EQ(a.port, a.write ? 0xBC00 : 0xBC01);
}

}  // namespace
}  // namespace velk
