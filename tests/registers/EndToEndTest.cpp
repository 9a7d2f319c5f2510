#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ChipConstants.h"
#include "support/SimRig.h"

namespace velk {
namespace {

using Texts = std::vector<std::string>;

// Every writable register written through the session reads back; Command and Pwr_Mde act
// instead of storing. (The frames of a one-byte write are the register protocol test's.)
TEST(SimEndToEnd, WritableRegistersReadBackWhatWasWritten) {
  test::SimRig rig;
  auto& reg = rig.session.reg;
  auto& spi = rig.session.spi;
  reg.IdentifyProduct(spi);  // Mon_Year reads 0 while the chip is locked
  for (int16_t s = 1; s <= 62; ++s) {
    if (reg.RegWritable[s] == 0 || s == slot::Command || s == slot::Pwr_Mde) continue;
    const int32_t value = s == slot::KeyCode ? kKeyCode : (0x5A3C + s * 0x1357) & 0xFFFF;
    spi.WriteRegister(s, value);
    spi.ReadRegister(s);
    const int32_t mask = reg.RegBytes[s] == 1 ? 0xFF : (1 << reg.RegBits[s]) - 1;
    EXPECT_EQ(spi.RegData & mask, value & mask) << reg.RegName[s] << " (slot " << s << ")";
  }
}

TEST(UsbEndToEnd, ARegisterAccessIsOneCommandToTheSensorsChannel) {
  test::UsbSimRig rig;
  ASSERT_TRUE(rig.usb.CardReady());
  auto& spi = rig.session.spi;
  // Whatever channel was used last, register traffic goes to the sensor's.
  rig.usb.SpiChannel = 4;
  spi.WriteRegister(slot::Smpl_Prd, 0x1234);
  rig.usb.SpiChannel = 4;
  spi.WriteRegister(slot::ADC_Slct, 0x0055);
  rig.usb.SpiChannel = 4;
  spi.ReadRegister(slot::Sens_Avg);
  EXPECT_EQ(spi.RegData, 0x0402);
  // Each access: the command on pipe 0, then its answer on pipe 1. A read's second frame reads
  // address 0, so it cannot take a sample's new-data flag.
  EXPECT_EQ(rig.Wire(), (Texts{"out 0d 01 02 b7 12 b6 34", "in 4", "out 0d 01 01 fe 55", "in 2",
                               "out 0d 01 02 38 00 00 00", "in 4"}));
  EXPECT_TRUE(rig.messages.shown.empty());
}

}  // namespace
}  // namespace velk
