#include "sim/SimSensor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/ChipConstants.h"
#include "support/ManualClock.h"
#include "support/TempDir.h"

namespace velk {
namespace {

constexpr uint16_t kNewData = 0x8000;

// Drives the sensor frame by frame the way the register protocol does.
struct Chip {
  explicit Chip(double settle = 1.0) { clock.Advance(settle); }
  uint16_t Read(int address) {
    sensor.Transfer(static_cast<uint16_t>(address << 8));
    return sensor.Transfer(0);
  }
  void WriteByte(int address, int value) {
    sensor.Transfer(static_cast<uint16_t>(0x8000 | address << 8 | (value & 0xFF)));
  }
  void Write(int address, int value) {  // high byte first, as for every register but the key
    WriteByte(address + 1, value >> 8);
    WriteByte(address, value);
  }
  int GyroCode() { return ((Read(0x04) & 0x3FFF) ^ 0x2000) - 0x2000; }
  bool ErrorFlag() { return (Read(0x04) & 0x4000) != 0; }
  void Exact(double rate) {  // the output rate, bias included
    sensor.SetNoise(false);
    sensor.SetFixedRate(rate - sensor.Bias());
  }

  test::ManualClock clock;
  SimSensor sensor{clock};
};

TEST(SimSensor, AnswersInTheNextFrameRefusesReadOnlyWritesAndWantsTheKey) {
  Chip c;
  EXPECT_EQ(c.sensor.Transfer(0x3600), 0);       // Smpl_Prd asked for
  EXPECT_EQ(c.sensor.Transfer(0xBE00), 0x0001);  // ... answered now; a write frame ...
  EXPECT_EQ(c.sensor.Transfer(0x0000), 0);       // ... latches 0
  EXPECT_EQ(c.Read(0x37), 0x0200);               // odd address: byte 0x37, then byte 0x38

  for (int address : {0x00, 0x3C, 0x56, 0x7C}) c.Write(address, 0x1234);
  EXPECT_EQ(c.Read(0x00), 37);
  EXPECT_EQ(c.sensor.Word(0x56), 47120);
  EXPECT_EQ(c.sensor.Word(0x7C), 0);
  EXPECT_EQ(c.Read(0x3C), 0x004);  // control write flag

  // Identification unlocks only with the key written low byte first.
  c.Write(0x50, kKeyCode);  // high byte first: the chip checks before the low byte arrives
  EXPECT_EQ(c.Read(0x52), 0);
  c.WriteByte(0x50, kKeyCode & 0xFF);
  c.WriteByte(0x51, kKeyCode >> 8);
  EXPECT_EQ(c.Read(0x56), 47120);
  c.sensor.PowerCycle();
  EXPECT_EQ(c.Read(0x56), 0);
}

TEST(SimSensor, StatusLatchesOverrangeSupplyAlarmsAndSelfTestUntilRead) {
  Chip c;
  c.Exact(1000.0);
  EXPECT_EQ(c.GyroCode(), 8191);
  c.Exact(50.0);               // code 682
  EXPECT_TRUE(c.ErrorFlag());  // the overrange is still latched
  EXPECT_EQ(c.Read(0x3C), 0x010);
  EXPECT_FALSE(c.ErrorFlag());
  c.sensor.SetSupply(4.5);
  EXPECT_EQ(c.Read(0x3C), 0x001);
  c.sensor.SetSupply(5.0);

  c.Write(0x20, 0x8000 | 0x3FFF);  // alarm 1: gyro above -1 (14-bit two's complement)
  c.Write(0x22, 683);              // alarm 2: gyro below 683
  c.Write(0x28, 0x2200);
  EXPECT_EQ(c.Read(0x3C), 0x300);
  c.Write(0x20, 0x8000);  // alarm 1: gyro change above 0, none at a steady rate
  c.Write(0x22, 682);     // alarm 2: not strictly below
  c.Write(0x28, 0x2A00);  // alarm 1 on the change, alarm 2 on the level
  EXPECT_EQ(c.Read(0x3C), 0);

  c.sensor.SetSelfTestFails(true);
  c.Write(0x34, 0x0400);
  EXPECT_EQ(c.Read(0x3C), 0);  // still running
  c.clock.Advance(0.05);
  EXPECT_EQ(c.Read(0x3C), 0x020);
  EXPECT_EQ(c.Read(0x34), 0);  // the start bit is not kept
}

TEST(SimSensor, NewDataFlagIsKeptPerRegister) {
  Chip c;
  EXPECT_NE(c.Read(0x04) & kNewData, 0);
  EXPECT_EQ(c.Read(0x04) & kNewData, 0);
  const uint16_t supply = c.Read(0x02);  // Supply_Out has not shown this sample yet
  EXPECT_NE(supply & kNewData, 0);
  EXPECT_NEAR(supply & 0x0FFF, 2730, 3);  // 5.0 V
  c.clock.Advance(0.004);                 // the power-on period is 3.906 ms
  EXPECT_NE(c.Read(0x04) & kNewData, 0);
  c.Write(0x36, 0x80);  // a new period restarts the grid with a fresh sample
  EXPECT_NE(c.Read(0x04) & kNewData, 0);
  c.clock.Advance(0.05);
  EXPECT_EQ(c.Read(0x04) & kNewData, 0);
}

TEST(SimSensor, ErrorFlagHeldAfterPowerUpResetAndWake) {
  Chip c(0.0);
  EXPECT_TRUE(c.ErrorFlag());
  c.clock.Advance(0.21);
  EXPECT_FALSE(c.ErrorFlag());
  c.WriteByte(0x3E, 0x80);  // software reset
  EXPECT_TRUE(c.ErrorFlag());

  c.Write(0x3A, 2);  // asleep for one second: zeros, writes ignored
  EXPECT_EQ(c.Read(0x38), 0);
  c.Write(0x36, 9);
  c.clock.Advance(1.0);
  EXPECT_EQ(c.Read(0x36), 1);
  EXPECT_TRUE(c.ErrorFlag());
  c.clock.Advance(0.21);
  EXPECT_FALSE(c.ErrorFlag());
}

TEST(SimSensor, CalibrationCommandsAndFlash) {
  Chip c;
  c.Exact(c.sensor.Bias());
  EXPECT_EQ(c.GyroCode(), 8);  // the bias shows
  c.WriteByte(0x3E, 0x01);     // auto null
  EXPECT_EQ(c.GyroCode(), 0);
  c.Write(0x16, 0x123);
  c.Write(0x30, 0x0ABC);
  EXPECT_EQ(c.Read(0x0A) & 0x0FFF, 0);  // the DAC value is not latched yet
  c.WriteByte(0x3E, 0x06);              // restore calibration, latch the DAC
  EXPECT_EQ(c.Read(0x14), 0);
  EXPECT_EQ(c.Read(0x16), 0x800);
  EXPECT_EQ(c.Read(0x0A) & 0x0FFF, 0x0ABC);

  c.Write(0x36, 7);
  c.WriteByte(0x3E, 0x88);  // flash update, then reset: the setting survives both
  c.Write(0x36, 9);
  c.WriteByte(0x3E, 0x80);  // a reset, like a power cycle, restores the flash copy
  EXPECT_EQ(c.Read(0x36), 7);
  EXPECT_EQ(c.Read(0x00), 38);

  c.Exact(50.0);
  c.Write(0x38, 2);  // no range bits: the widest range
  EXPECT_EQ(c.GyroCode(), 682);
  c.Exact(-50.0);
  c.Write(0x16, 0x400);  // half gain, and an offset of -100 * 0.01832 deg/s
  c.Write(0x14, -100 & 0xFFF);
  EXPECT_EQ(c.GyroCode(), -366);
}

TEST(SimSensor, TraceAppendsEveryFrame) {
  test::TempDir dir;
  test::ManualClock clock;
  std::ofstream(dir / "trace.txt") << "0000 0000\n";  // from an earlier run: kept
  setenv("VELK47120_SPI_TRACE", (dir / "trace.txt").c_str(), 1);
  SimSensor sensor(clock);
  unsetenv("VELK47120_SPI_TRACE");
  sensor.Transfer(0x3600);
  sensor.Transfer(0x3800);
  sensor.SetNoAnswer(true);
  sensor.Transfer(0xB609);
  EXPECT_EQ(sensor.Word(0x36), 1);  // no answer: nothing stored, 0 answered

  std::stringstream text;
  text << std::ifstream(dir / "trace.txt").rdbuf();
  EXPECT_EQ(text.str(), "0000 0000\n3600 0000\n3800 0001\nB609 0000\n");
}

}  // namespace
}  // namespace velk
