#include "sim/SimSensor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/ChipConstants.h"
#include "support/ManualClock.h"
#include "support/TempDir.h"

namespace velk {
namespace {

constexpr uint16_t kNewData = 0x8000;
constexpr uint16_t kErrorAlarm = 0x4000;

// Drives the sensor frame by frame the way the register protocol does.
struct Chip {
  explicit Chip(int product = 47120, double settle = 1.0) : sensor(clock, product) {
    clock.Advance(settle);
  }
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
  int GyroCode() {
    int field = Read(0x04) & 0x3FFF;
    return field >= 0x2000 ? field - 0x4000 : field;
  }
  bool ErrorFlag() { return (Read(0x04) & kErrorAlarm) != 0; }
  void Exact(double rate) {  // the output rate, bias included
    sensor.SetNoise(false);
    sensor.SetFixedRate(rate - sensor.Bias());
  }

  test::ManualClock clock;
  SimSensor sensor;
};

TEST(SimSensor, ReadIsAnsweredInTheFollowingFrame) {
  Chip c;
  EXPECT_EQ(c.sensor.Transfer(0x3600), 0);       // Smpl_Prd asked for
  EXPECT_EQ(c.sensor.Transfer(0x3800), 0x0001);  // ... answered now, Sens_Avg asked for
  EXPECT_EQ(c.sensor.Transfer(0xB000), 0x0402);  // a write frame ...
  EXPECT_EQ(c.sensor.Transfer(0x0000), 0);       // ... latches 0
  EXPECT_EQ(c.Read(0x37), 0x0200);               // odd address: byte 0x37, then byte 0x38
  c.WriteByte(0x3F, 0x12);
  EXPECT_EQ(c.Read(0x3E), 0);  // Command never reads back
  c.WriteByte(0x7F, 0x5A);
  EXPECT_EQ(c.Read(0x7F), 0x005A);  // nothing beyond the map
}

TEST(SimSensor, ReadOnlyAddressesIgnoreWritesAndFlagTheAttempt) {
  Chip c;
  c.Read(0x3C);
  c.Write(0x00, 0x1234);
  c.Write(0x56, 0x1234);
  c.Write(0x7C, 0x1234);
  EXPECT_EQ(c.Read(0x00), 37);
  EXPECT_EQ(c.sensor.Word(0x56), 47120);
  EXPECT_EQ(c.sensor.Word(0x7C), 0);
  EXPECT_EQ(c.Read(0x3C), 0x004);  // control write flag
  c.Write(0x54, 0x0799);           // Mon_Year is writable
  EXPECT_EQ(c.sensor.Word(0x54), 0x0799);
  c.Write(0x34, 0x0705);  // Msc_Ctrl: the self-test start bit is not kept
  EXPECT_EQ(c.Read(0x34), 0x0305);
}

TEST(SimSensor, IdentificationUnlocksOnlyWithKeyLowByteFirst) {
  Chip c(47121);
  EXPECT_EQ(c.Read(0x56), 0);
  c.Write(0x50, kKeyCode);  // high byte first: the chip checks before the low byte arrives
  EXPECT_EQ(c.Read(0x52), 0);

  c.sensor.PowerCycle();
  c.WriteByte(0x50, kKeyCode & 0xFF);
  c.WriteByte(0x51, kKeyCode >> 8);
  EXPECT_EQ(c.Read(0x56), 47121);
  EXPECT_EQ(c.Read(0x52), 0x1412);
  EXPECT_EQ(c.Read(0x54), 0x2606);

  c.sensor.PowerCycle();
  EXPECT_EQ(c.Read(0x56), 0);
}

TEST(SimSensor, StatusLatchesUntilRead) {
  Chip c;
  c.Exact(1000.0);
  EXPECT_EQ(c.GyroCode(), 8191);
  c.Exact(-1000.0);
  EXPECT_EQ(c.GyroCode(), -8192);
  c.Exact(0.0);
  EXPECT_TRUE(c.ErrorFlag());  // the overrange is still latched
  EXPECT_EQ(c.Read(0x3C), 0x010);
  EXPECT_EQ(c.Read(0x3C), 0);
  EXPECT_FALSE(c.ErrorFlag());
  c.sensor.SetSupply(4.5);
  EXPECT_EQ(c.Read(0x3C), 0x001);
}

TEST(SimSensor, NewDataFlagIsKeptPerRegister) {
  Chip c;
  EXPECT_NE(c.Read(0x04) & kNewData, 0);
  EXPECT_EQ(c.Read(0x04) & kNewData, 0);
  EXPECT_NE(c.Read(0x02) & kNewData, 0);  // Supply_Out has not shown this sample yet
  c.clock.Advance(0.004);                 // the power-on period is 3.906 ms
  EXPECT_NE(c.Read(0x04) & kNewData, 0);
  c.Write(0x36, 0x80);  // a new period restarts the grid with a fresh sample
  EXPECT_NE(c.Read(0x04) & kNewData, 0);
  c.clock.Advance(0.05);
  EXPECT_EQ(c.Read(0x04) & kNewData, 0);
}

TEST(SimSensor, ErrorFlagHeldAfterPowerUpResetAndWake) {
  Chip c(47120, 0.0);
  EXPECT_TRUE(c.ErrorFlag());
  c.clock.Advance(0.21);
  EXPECT_FALSE(c.ErrorFlag());
  c.WriteByte(0x3E, 0x80);  // software reset
  EXPECT_TRUE(c.ErrorFlag());
  c.clock.Advance(0.21);
  EXPECT_FALSE(c.ErrorFlag());

  c.Write(0x3A, 2);  // asleep for one second: zeros, writes ignored
  EXPECT_TRUE(c.sensor.Asleep());
  EXPECT_EQ(c.Read(0x38), 0);
  c.Write(0x36, 9);
  c.clock.Advance(1.0);
  EXPECT_EQ(c.Read(0x36), 1);
  EXPECT_TRUE(c.ErrorFlag());
  c.clock.Advance(0.21);
  EXPECT_FALSE(c.ErrorFlag());

  c.sensor.Transfer(0x3800);
  c.sensor.Sleep(0.5);  // an answer latched before the sleep is lost
  c.clock.Advance(0.5);
  EXPECT_EQ(c.sensor.Transfer(0), 0);

  c.sensor.SetNoAnswer(true);
  c.Write(0x36, 9);
  EXPECT_EQ(c.Read(0x38), 0);
  c.sensor.SetNoAnswer(false);
  EXPECT_EQ(c.Read(0x36), 1);
}

TEST(SimSensor, CommandActions) {
  Chip c;
  c.Exact(c.sensor.Bias());
  EXPECT_EQ(c.GyroCode(), 8);  // the bias shows
  c.Write(0x3E, 0x01);
  EXPECT_EQ(c.GyroCode(), 0);

  c.Write(0x16, 0x123);
  c.Write(0x3E, 0x02);
  EXPECT_EQ(c.Read(0x14), 0);
  EXPECT_EQ(c.Read(0x16), 0x800);

  c.Write(0x30, 0x0ABC);
  EXPECT_EQ(c.Read(0x0A) & 0x0FFF, 0);  // not latched yet
  c.Write(0x3E, 0x04);
  EXPECT_EQ(c.Read(0x0A) & 0x0FFF, 0x0ABC);

  c.Write(0x36, 7);
  c.Write(0x3E, 0x08);  // flash update: the setting survives reset and power cycle
  c.Write(0x36, 9);
  c.Write(0x3E, 0x80);
  EXPECT_EQ(c.Read(0x36), 7);
  EXPECT_EQ(c.Read(0x00), 38);
  c.Write(0x36, 9);
  c.sensor.PowerCycle();
  EXPECT_EQ(c.Read(0x36), 7);

  c.Write(0x36, 3);
  c.Write(0x3E, 0x88);  // flash, then reset
  EXPECT_EQ(c.Read(0x36), 3);
  EXPECT_EQ(c.Read(0x00), 39);
}

TEST(SimSensor, SelfTests) {
  Chip c;
  c.sensor.SetSelfTestFails(true);
  c.Read(0x3C);
  c.Write(0x34, 0x0400);
  EXPECT_EQ(c.Read(0x3C), 0);  // still running
  c.clock.Advance(0.05);
  EXPECT_EQ(c.Read(0x3C), 0x020);
  c.sensor.SetSelfTestFails(false);
  c.Write(0x34, 0x0400);
  c.clock.Advance(0.05);
  EXPECT_EQ(c.Read(0x3C), 0);

  c.Exact(0.0);
  c.Write(0x34, 0x0100);
  int positive = c.GyroCode();
  c.Write(0x34, 0x0200);
  EXPECT_GT(positive, 300);  // about 10 % of the 320 deg/s range
  EXPECT_EQ(c.GyroCode(), -positive);
}

TEST(SimSensor, GyroOutAtEachRangeAndModel) {
  Chip c;
  c.Exact(50.0);
  const int range[] = {0x100, 0x200, 0x400, 0x000};
  const int expected[] = {2729, 1365, 682, 682};
  for (int i = 0; i < 4; ++i) {
    c.Write(0x38, range[i] | 2);
    EXPECT_EQ(c.GyroCode(), expected[i]) << std::hex << range[i];
  }
  c.Exact(-50.0);
  EXPECT_EQ(c.Read(0x04) & 0x3FFF, 0x4000 - 682);
  c.Write(0x16, 0x400);  // half gain, and an offset of -100 * 0.01832 deg/s
  c.Write(0x14, -100 & 0xFFF);
  EXPECT_EQ(c.GyroCode(), -366);

  Chip small(47121);
  small.Exact(10.0);
  EXPECT_EQ(small.GyroCode(), 546);
  small.Write(0x38, 0x102);
  EXPECT_EQ(small.GyroCode(), 2184);
  small.Exact(40.0);
  EXPECT_EQ(small.GyroCode(), 8191);
  EXPECT_EQ(small.Read(0x3C), 0x010);
}

TEST(SimSensor, SupplyTemperatureAndAngle) {
  Chip c;
  c.Exact(10.0);
  EXPECT_EQ(c.Read(0x02) & 0x0FFF, 2730);  // 5.0 V
  int temp = c.Read(0x0C) & 0x0FFF;
  EXPECT_LT(temp >= 0x800 ? 0x1000 - temp : temp, 12);  // within 1.5 degC of 25

  // The angle integrates the calibrated rate across rate changes, wrapped into 0..360.
  int start = c.Read(0x0E) & 0x3FFF;
  c.clock.Advance(2.0);
  c.Exact(-5.0);
  c.clock.Advance(2.0);
  EXPECT_NEAR((c.Read(0x0E) & 0x3FFF) - start, 273, 2);  // 10 degrees
  c.Exact(100.0);
  c.clock.Advance(4.0);
  c.Exact(0.0);  // at rest, so the age of the last sample does not matter
  c.clock.Advance(0.1);
  EXPECT_NEAR((c.Read(0x0E) & 0x3FFF) - start, 1365, 2);  // 410 wraps to 50 degrees
}

TEST(SimSensor, AveragingNarrowsTheNoise) {
  Chip c;
  c.sensor.SetFixedRate(0.0);
  auto spread = [&](int sensAvg) {
    c.Write(0x38, sensAvg);
    double sum = 0, squares = 0;
    for (int i = 0; i < 400; ++i) {
      c.clock.Advance(0.5);
      double code = c.GyroCode();
      sum += code;
      squares += code * code;
    }
    return std::sqrt(squares / 400 - (sum / 400) * (sum / 400));
  };
  double single = spread(0x100);
  EXPECT_NEAR(single, 8.2, 2.0);  // 0.15 deg/s rms at 0.0183 deg/s per count
  EXPECT_NEAR(single / spread(0x104), 4.0, 1.0);
}

TEST(SimSensor, Alarms) {
  Chip c;
  c.Exact(50.0);  // code 682
  c.Read(0x3C);
  c.Write(0x20, 0x8000 | 600);  // alarm 1: gyro above 600
  c.Write(0x22, 683);           // alarm 2: gyro below 683
  c.Write(0x28, 0x2200);
  EXPECT_EQ(c.Read(0x3C), 0x300);
  c.Write(0x20, 0x8000 | 700);
  c.Write(0x22, 682);
  EXPECT_EQ(c.Read(0x3C), 0);
  c.Write(0x22, 0x3FFF);  // below -1, read as two's complement
  c.Exact(-0.5);
  EXPECT_EQ(c.Read(0x3C), 0x200);

  // Rate of change over four samples: a steady rate changes by nothing.
  c.Write(0x24, 4);
  c.Write(0x20, 0x8000 | 0x3FFF);  // change above -1
  c.Write(0x28, 0x0A00);
  EXPECT_EQ(c.Read(0x3C), 0x100);
  c.Write(0x20, 0x8000);  // change above 0
  EXPECT_EQ(c.Read(0x3C), 0);
}

TEST(SimSensor, TraceAppendsEveryFrame) {
  test::TempDir dir;
  test::ManualClock clock;
  setenv("VELK47120_SPI_TRACE", (dir / "env.txt").c_str(), 1);
  SimSensor sensor(clock);
  unsetenv("VELK47120_SPI_TRACE");
  sensor.Transfer(0x3600);
  sensor.TraceTo(dir / "trace.txt");
  sensor.Transfer(0xBE00);
  sensor.SetNoAnswer(true);
  sensor.Transfer(0x3800);

  auto text = [&](const char* name) {
    std::stringstream s;
    s << std::ifstream(dir / name).rdbuf();
    return s.str();
  };
  EXPECT_EQ(text("env.txt"), "3600 0000\n");
  EXPECT_EQ(text("trace.txt"), "BE00 0001\n3800 0000\n");
}

}  // namespace
}  // namespace velk
