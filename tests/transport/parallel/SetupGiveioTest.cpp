#include "transport/parallel/SetupGiveio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/MessageRecorder.h"
#include "transport/parallel/FakePortOs.h"
#include "transport/parallel/LinuxPortIo.h"

namespace velk {
namespace {

using test::FakePortOs;
using Log = std::vector<std::string>;

const std::string kDriverMessage = "The required I/O drivers could not be installed.\n\n";

// The parallel-port part of a session, on a kernel answered by the fake or on this machine's.
struct Bench {
  explicit Bench(bool thisMachine = false) : io(thisMachine ? real : static_cast<PortOs&>(os)) {
    config.InterfaceType = 1;
    config.OsName = "Linux";
  }
  FakePortOs os;
  LinuxPortOs real;
  LinuxPortIo io;
  test::MessageRecorder messages;
  Analyzer config;
  ParallelSpi spi{config, io};
  SetupGiveio giveio{io, messages};
};

TEST(SetupGiveio, AccessIsSoughtOncePerRunWhereTheSystemNeedsIt) {
  for (const char* os : {"Win95", "Win98", "Linux"}) {
    Bench b;
    b.config.OsName = os;
    b.config.InterfaceType = os == std::string("Linux") ? 2 : 1;
    EXPECT_FALSE(b.giveio.PreparePort(b.config, b.spi)) << os;
    EXPECT_EQ(b.giveio.PortDriverReady, 0);
    EXPECT_TRUE(b.os.log.empty());
  }
  for (const char* os : {"Linux", "WinNT", "WinXP"}) {
    Bench b;
    b.config.OsName = os;
    EXPECT_TRUE(b.giveio.PreparePort(b.config, b.spi)) << os;
    EXPECT_FALSE(b.giveio.PreparePort(b.config, b.spi));
    EXPECT_EQ(b.giveio.PortDriverReady, -1);
    // Access first, then the lines go idle; once.
    EXPECT_EQ(b.os.log, (Log{"ioperm 378 on", "outb 379 40", "outb 378 0"}));
  }

  // Access is per port, so a changed address is sought afresh, as its 16-bit pattern.
  Bench b;
  b.giveio.PreparePort(b.config, b.spi);
  b.config.PortAddress = static_cast<int16_t>(0xBC00);
  EXPECT_TRUE(b.giveio.PreparePort(b.config, b.spi));
  EXPECT_EQ(b.os.Count("ioperm BC00 on"), 1);
  EXPECT_EQ(b.os.log.back(), "outb BC00 0");
  EXPECT_TRUE(b.messages.shown.empty());

  // Marked ready by someone else before any port was tried: nothing to do.
  Bench other;
  other.giveio.PortDriverReady = -1;
  EXPECT_FALSE(other.giveio.PreparePort(other.config, other.spi));
  EXPECT_TRUE(other.os.log.empty());
}

TEST(SetupGiveio, RefusedAccessIsReportedOnceAndNoPortIsWritten) {
  Bench b;
  b.os.iopermError = EPERM;
  EXPECT_TRUE(b.giveio.PreparePort(b.config, b.spi));
  EXPECT_FALSE(b.giveio.PreparePort(b.config, b.spi));  // not retried in this run
  b.spi.ParallelReadWord(4);
  ASSERT_EQ(b.messages.shown.size(), 1u);
  EXPECT_EQ(b.messages.shown[0].title, "Error");
  EXPECT_TRUE(b.messages.shown[0].text.starts_with(kDriverMessage + "No parallel port device"));
  EXPECT_EQ(b.giveio.PortDriverReady, -1);
  EXPECT_EQ(b.os.log, Log{"ioperm 378 on"});
}

TEST(SetupGiveio, RealMachineWithoutAPortReportsAndCarriesOn) {
  Bench b(true);
  std::string advice;
  if (LinuxPortIo(b.real).ObtainAccess(0x378, advice)) GTEST_SKIP() << "0x378 is accessible";
  EXPECT_TRUE(b.giveio.PreparePort(b.config, b.spi));
  ASSERT_EQ(b.messages.shown.size(), 1u);
  EXPECT_EQ(b.messages.shown[0].text, kDriverMessage + advice);
  EXPECT_EQ(b.spi.ParallelReadWord(4), 0);  // all lines high read as zeros
}

}  // namespace
}  // namespace velk
