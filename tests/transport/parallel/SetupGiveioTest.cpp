#include "transport/parallel/SetupGiveio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registers/WiredSession.h"

namespace velk {
namespace {

using test::RecordingPortIo;

TEST(SetupGiveio, AccessIsSoughtOncePerPortWhereTheSystemNeedsItAndARefusalSaysWhy) {
  for (const char* os : {"Win95", "Win98", "Linux"}) {
    test::WiredSession b;
    b.config.OsName = os;
    b.config.InterfaceType =
        os == std::string("Linux") ? interface_type::kUsbCard : interface_type::kParallelPort;
    EXPECT_FALSE(b.giveio.PreparePort(b.config, b.parallel)) << os;
    EXPECT_EQ(b.giveio.PortDriverReady, 0);
    EXPECT_TRUE(b.io.sought.empty() && b.io.log.empty());
  }
  test::WiredSession b;
  b.config.OsName = "Linux";
  EXPECT_TRUE(b.giveio.PreparePort(b.config, b.parallel));
  EXPECT_FALSE(b.giveio.PreparePort(b.config, b.parallel));
  EXPECT_EQ(b.giveio.PortDriverReady, -1);
  // Access first, then the lines go idle; once.
  EXPECT_EQ(b.io.log,
            (std::vector<RecordingPortIo::Access>{{true, 0x379, 0x40}, {true, 0x378, 0}}));
  // A changed address is sought afresh, as its 16-bit pattern.
  b.config.PortAddress = static_cast<int16_t>(0xBC00);
  EXPECT_TRUE(b.giveio.PreparePort(b.config, b.parallel));
  EXPECT_EQ(b.io.sought, (std::vector<uint16_t>{0x378, 0xBC00}));
  EXPECT_TRUE(b.messages.shown.empty());

  // Refused access is reported once, and not retried in this run.
  b.io.refusal = "add your user to the lp group";
  b.config.PortAddress = 0x278;
  EXPECT_TRUE(b.giveio.PreparePort(b.config, b.parallel));
  EXPECT_FALSE(b.giveio.PreparePort(b.config, b.parallel));
  ASSERT_EQ(b.messages.shown.size(), 1u);
  EXPECT_EQ(b.messages.shown[0].title, "Error");
  EXPECT_EQ(b.messages.shown[0].text,
            "The required I/O drivers could not be installed.\n\nadd your user to the lp group");
}

}  // namespace
}  // namespace velk
