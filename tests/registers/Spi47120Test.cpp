#include "registers/Spi47120.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "registers/WiredSession.h"

namespace velk {
namespace {

using Words = std::vector<uint16_t>;

TEST(ReadRegister, DecodesFieldFlagsBytesAndValueWhereTheSlotSaysSo) {
  test::WiredSession w;
  auto& spi = w.spi;
  w.Answer({0xBFFF, 0xC123, 0x0123, 0x0800, 0x3FFF});

  // The new-data and alarm flags, then the raw word's high and low bytes.
  const auto flags = [&] { return std::pair(spi.NewDataBit, spi.ErrorAlarmBit); };
  spi.ReadRegister(slot::Gyro_Out);
  EXPECT_EQ(w.Frames(), (Words{0x0400, 0x0000}));
  EXPECT_EQ(flags(), std::pair(32768, 0));
  EXPECT_EQ(spi.RegData, -1);
  EXPECT_EQ(spi.RegValue, -0.07326f);
  EXPECT_EQ(std::pair(spi.RegHighByte, spi.RegLowByte), (std::pair<int16_t, int16_t>(191, 255)));

  spi.ReadRegister(slot::Supply_Out);
  EXPECT_EQ(spi.RegData, 0x123);
  EXPECT_EQ(flags(), std::pair(32768, 16384));
  spi.ReadRegister(slot::Status);  // no flags in this register: the last ones stay
  EXPECT_EQ(flags(), std::pair(32768, 16384));

  spi.ReadRegister(slot::Temp_Out);  // 12-bit signed (its offset shows with no interface)
  EXPECT_EQ(spi.RegData, -2048);

  spi.ReadRegister(slot::Angle_Out);  // 14-bit unsigned
  EXPECT_EQ(spi.RegData, 16383);

  // Unreadable and out-of-table slots: nothing sent, nothing changed.
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
  EXPECT_EQ(framesOf(slot::Smpl_Prd, 0x1234), (Words{0xB712, 0xB634}));
  EXPECT_EQ(framesOf(slot::KeyCode, 0xA5C3), (Words{0xD0C3, 0xD1A5}));  // low byte first
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
