#include "sim/SimSensor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "core/ChipConstants.h"
#include "sim/SimNoiseProfile.h"
#include "support/ManualClock.h"
#include "support/TempDir.h"

namespace velk {
namespace {

// Drives the sensor frame by frame the way the register protocol does.
struct Chip {
  Chip() { clock.Advance(1.0); }
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

  EXPECT_EQ(test::ReadBytes(dir / "trace.txt"), "0000 0000\n3600 0000\n3800 0001\nB609 0000\n");

  // A trace that cannot be written: one line on standard error, and the sensor works on.
  setenv("VELK47120_SPI_TRACE", (dir / "gone" / "t.txt").c_str(), 1);
  testing::internal::CaptureStderr();
  SimSensor untraced(clock);
  unsetenv("VELK47120_SPI_TRACE");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "VELK47120_SPI_TRACE: cannot write " + (dir / "gone" / "t.txt").string() +
                ": the folder " + (dir / "gone").string() +
                " does not exist; running without the trace.\n");

  // One whose writes fail: the same line once, and no trace from then on.
  setenv("VELK47120_SPI_TRACE", "/dev/full", 1);
  testing::internal::CaptureStderr();
  SimSensor full(clock);
  unsetenv("VELK47120_SPI_TRACE");
  full.Transfer(0x3600);
  EXPECT_EQ(full.Transfer(0x3600), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "VELK47120_SPI_TRACE: cannot write /dev/full: No space left on device; running "
            "without the trace.\n");
}

// With VELK47120_SIM_NOISE the chip holds still and Gyro_Out carries exactly the profile's
// direct draw; a value that names no profile is said once and changes nothing.
TEST(SimSensor, NoiseProfileFromTheEnvironmentReachesGyroOut) {
  constexpr double kPeriod = 2 * 1.953e-3;  // samples since power-up at 1000 s, on the clock
  setenv("VELK47120_SIM_NOISE", "allan-b,seed=3", 1);
  Chip noisy;
  setenv("VELK47120_SIM_NOISE", "pink", 1);
  testing::internal::CaptureStderr();
  Chip refused;
  unsetenv("VELK47120_SIM_NOISE");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "VELK47120_SIM_NOISE=\"pink\" is not a noise profile (white, allan-a, allan-b, quant, "
            "or arw=..,bi=..,rrw=..[,seed=S]); the simulator runs without one.\n");
  Chip plain;

  SimNoiseProfile direct = SimNoiseProfile::Parse("allan-b,seed=3").value().value();
  for (Chip* c : {&noisy, &refused, &plain}) c->Write(0x38, 0x0100);
  for (int64_t k = 3000; k < 3006; ++k) {
    for (Chip* c : {&noisy, &refused, &plain})
      c->clock.Advance(1000.0 + (static_cast<double>(k) + 0.5) * kPeriod - c->clock.Seconds());
    const int code = ((noisy.Read(0x04) & 0x3FFF) ^ 0x2000) - 0x2000;
    EXPECT_EQ(code, direct.Code(k, 0x01, 0x0100, 47120)) << k;
    EXPECT_EQ(refused.Read(0x04), plain.Read(0x04)) << k;
  }
}

}  // namespace
}  // namespace velk
