#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "core/ChipConstants.h"
#include "registers/Session.h"
#include "sim/SimSensor.h"

namespace velk::test {

// Writes every writable register through the session and reads it back, over whichever
// interface the session has selected. Command and Pwr_Mde act instead of storing.
inline void ExpectWritableRegistersReadBack(Session& session, const SimSensor& sensor) {
  auto& reg = session.reg;
  auto& spi = session.spi;
  reg.IdentifyProduct(spi);  // Mon_Year reads 0 while the chip is locked

  for (int16_t s = 1; s <= 62; ++s) {
    if (reg.RegWritable[s] == 0 || s == slot::Command || s == slot::Pwr_Mde) continue;
    const int32_t value = s == slot::KeyCode ? kKeyCode : (0x5A3C + s * 0x1357) & 0xFFFF;
    spi.WriteRegister(s, value);
    spi.ReadRegister(s);
    const int32_t mask = reg.RegBytes[s] == 1 ? 0xFF : (1 << reg.RegBits[s]) - 1;
    EXPECT_EQ(spi.RegData & mask, value & mask) << reg.RegName[s] << " (slot " << s << ")";
  }

  // A one-byte write leaves its neighbour alone.
  const uint8_t testConfig = sensor.Byte(0x7F);
  spi.WriteRegister(slot::ADC_Slct, 0xEE11);
  EXPECT_EQ(sensor.Byte(0x7E), 0x11);
  EXPECT_EQ(sensor.Byte(0x7F), testConfig);
}

}  // namespace velk::test
