#include "registers/Spi47120.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "registers/WiredSession.h"

namespace velk {
namespace {

using Words = std::vector<uint16_t>;

// A refused slot (unreadable, or outside the table) sends nothing and leaves the last reading
// as it was. (What a read decodes is checked with the values shown, row by row.)
TEST(ReadRegister, RefusedSlotsSendNothingAndKeepTheLastReading) {
  test::WiredSession w;
  auto& spi = w.spi;
  w.Answer({0x3FFF});
  spi.ReadRegister(slot::Angle_Out);
  w.io.log.clear();
  for (int16_t s : {slot::Command, int16_t{-1}, int16_t{66}, int16_t{32767}}) {
    spi.ReadRegister(s);
    if (s != slot::Command) spi.WriteRegister(s, 0x1234);
  }
  EXPECT_TRUE(w.io.log.empty());
  EXPECT_EQ(std::pair(spi.RegData, spi.RegLowByte), (std::pair<int32_t, int16_t>(16383, 0xFF)));
}

TEST(WriteRegister, SendsOneWriteFramePerByteInOrder) {
  const auto framesOf = [](int16_t s, int32_t value) {
    test::WiredSession w;
    w.spi.WriteRegister(s, value);
    return w.Frames();
  };
  // (Two-byte writes, the key code's low byte first, are in the window's frames at start-up.)
  EXPECT_EQ(framesOf(slot::Product, 0x0102), (Words{0xD701, 0xD602}));  // read-only: still sent
  // One-byte registers take one frame to their own address, never to a neighbour or to 0.
  EXPECT_EQ(framesOf(slot::ADC_Slct, 0x1234), (Words{0xFE34}));
  EXPECT_EQ(framesOf(slot::Test_Cnfg, 0xABCD), (Words{0xFFCD}));
}

TEST(Spi47120, NoInterfaceReadsZerosAndUsbLeavesThePortAlone) {
  test::WiredSession w;
  auto& spi = w.spi;
  w.session.analyzer.InterfaceType = interface_type::kNone;
  spi.NewDataBit = 32768;
  spi.ReadRegister(slot::Temp_Out);
  EXPECT_EQ(std::pair(spi.RegData, spi.NewDataBit), std::pair(0, 0));
  EXPECT_EQ(spi.RegValue, 25.0f);
  spi.WriteRegister(slot::Smpl_Prd, 0x1234);
  w.session.analyzer.InterfaceType = interface_type::kUsbCard;
  spi.WriteRegister(slot::Smpl_Prd, 0x1234);
  spi.WriteRegister(slot::Test_Cnfg, 0x0055);
  spi.ReadRegister(slot::Gyro_Out);
  EXPECT_TRUE(w.io.log.empty());
}

}  // namespace
}  // namespace velk
