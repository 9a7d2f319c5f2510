#include "sim/SimParallelAdapter.h"

#include <gtest/gtest.h>

#include "support/ManualClock.h"

namespace velk {
namespace {

// The port sequences the program's bit-banged SPI produces.
void WriteFrame(PortIo& io, uint16_t base, uint16_t word) {
  io.vbOut(base, 4);
  io.vbOut(base, 5);
  for (int i = 15; i >= 0; --i) {
    uint16_t d = (word >> i) & 1 ? 0 : 4;
    io.vbOut(base, 7);
    io.vbOut(base, d + 3);
    io.vbOut(base, d + 1);
    io.vbOut(base, 5);
  }
  io.vbOut(base, 0);
}

uint16_t ReadFrame(PortIo& io, uint16_t base) {
  io.vbOut(base, 4);
  io.vbOut(base, 5);
  uint16_t word = 0;
  for (int i = 15; i >= 0; --i) {
    io.vbOut(base, 7);
    if ((io.vbInp(base + 1) & 0x40) == 0) word |= 1 << i;
    io.vbOut(base, 5);
  }
  io.vbOut(base, 0);
  return word;
}

uint16_t ReadRegister(PortIo& io, uint16_t base, int address) {
  WriteFrame(io, base, static_cast<uint16_t>(address << 8));
  return ReadFrame(io, base);
}

void WriteRegister(PortIo& io, uint16_t base, int address, uint16_t value) {
  WriteFrame(io, base, static_cast<uint16_t>(0x8000 | (address + 1) << 8 | value >> 8));
  WriteFrame(io, base, static_cast<uint16_t>(0x8000 | address << 8 | (value & 0xFF)));
}

struct Bench {
  Bench() { clock.Advance(1.0); }
  test::ManualClock clock;
  SimSensor sensor{clock};
  SimParallelAdapter adapter{sensor, 0x378};
};

TEST(SimParallelAdapter, CarriesFramesBitByBit) {
  Bench b;
  b.adapter.vbOut(0x379, 0x40);  // the idle setup writes the status port: ignored
  EXPECT_EQ(ReadRegister(b.adapter, 0x378, 0x38), 0x0402);
  WriteRegister(b.adapter, 0x378, 0x20, 0xA55A);  // both bit values in every position
  EXPECT_EQ(b.sensor.Word(0x20), 0xA55A);
  EXPECT_EQ(ReadRegister(b.adapter, 0x378, 0x20), 0xA55A);
  EXPECT_EQ(b.sensor.FrameCount(), 6);
  // The answer frame sends zeros: a read of address 0, answered next time.
  EXPECT_EQ(b.sensor.Transfer(0), 37);

  EXPECT_EQ(b.adapter.vbInp(0x378), 0);  // the last data byte written
  EXPECT_EQ(b.adapter.vbInp(0x379), 0xFF);
  EXPECT_EQ(b.adapter.vbInp(0x37A), 0xFF);
}

TEST(SimParallelAdapter, WrongAddressOrBrokenFrameReachesNothing) {
  Bench b;
  EXPECT_EQ(ReadRegister(b.adapter, 0x278, 0x38), 0);
  WriteRegister(b.adapter, 0x278, 0x36, 9);
  EXPECT_EQ(b.sensor.FrameCount(), 0);
  EXPECT_EQ(b.adapter.vbInp(0x278), 0xFF);

  // A frame cut short after eight bits is dropped, and the chip notes it.
  ReadRegister(b.adapter, 0x378, 0x3C);
  b.adapter.vbOut(0x378, 4);
  b.adapter.vbOut(0x378, 5);
  for (int i = 0; i < 8; ++i) {
    b.adapter.vbOut(0x378, 7);
    b.adapter.vbOut(0x378, 3);
    b.adapter.vbOut(0x378, 1);
    b.adapter.vbOut(0x378, 5);
  }
  b.adapter.vbOut(0x378, 0);
  EXPECT_EQ(b.sensor.FrameCount(), 2);
  EXPECT_EQ(ReadRegister(b.adapter, 0x378, 0x3C), 0x008);
}

}  // namespace
}  // namespace velk
