#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "sim/SimFixture.h"
#include "sim/SimMap.h"
#include "sim/SimScales.h"
#include "sim/SimSensor.h"
#include "support/ManualClock.h"

namespace velk {
namespace {

using namespace simmap;

constexpr double kOrigin = 1000.0;  // the manual clock's start: the sensor's time 0
const double kCount = SimGyroFactor(0x100, 47120);

SimCharacter Character(const char* text) {
  return SimCharacter::Parse(text).value().value();
}

// What a still board, +Z up, reads beyond its bias under a character: gravity and the Earth.
double Still(const SimCharacter& c) {
  return StillTerm(c, {0, 0, 1});
}

int Code(double rate) {
  return static_cast<int>(std::nearbyint(rate / kCount));
}
int Signed(uint16_t word, int bits) {
  const int sign = 1 << (bits - 1);
  return ((word & ((1 << bits) - 1)) ^ sign) - sign;
}

// A still, noise-free chip at range 80 without averaging, so Gyro_Out is the bias's count.
struct Chip {
  Chip() {
    sensor.SetFixedRate(0.0);
    sensor.SetNoise(false);
    WriteByte(kSensAvg + 1, 0x01);  // range 80
    WriteByte(kSensAvg, 0x00);      // no averaging
  }
  uint16_t Read(int address) {
    sensor.Transfer(static_cast<uint16_t>(address << 8));
    return sensor.Transfer(0);
  }
  void WriteByte(int address, int value) {
    sensor.Transfer(static_cast<uint16_t>(0x8000 | address << 8 | (value & 0xFF)));
  }
  void At(double t) { clock.Advance(kOrigin + t - clock.Seconds()); }
  int Gyro() { return Signed(Read(0x04), 14); }
  double Angle() { return (Read(0x0E) & 0x3FFF) * 0.03663; }
  int GyroAfterWake() {  // a second's power-down, then settled
    WriteByte(kPwrMde, 2);
    clock.Advance(1.5);
    return Gyro();
  }

  test::ManualClock clock;
  SimSensor sensor{clock};
};

TEST(SimCharacterWire, EachWakeDrawsTheNumberedOffsetAndARerunRepeatsThem) {
  setenv("VELK47120_SIM_CHARACTER", "wake=2,seed=7", 1);
  Chip a;
  setenv("VELK47120_SIM_CHARACTER", "wake=2,seed=8", 1);
  Chip other;
  setenv("VELK47120_SIM_CHARACTER", "wake=fast", 1);
  testing::internal::CaptureStderr();
  Chip refused;
  unsetenv("VELK47120_SIM_CHARACTER");
  EXPECT_TRUE(testing::internal::GetCapturedStderr().starts_with("VELK47120_SIM_CHARACTER="));

  const SimCharacter c = Character("wake=2,seed=7");
  EXPECT_EQ(a.Gyro(), Code(kSimBias + Still(c)));  // power-up: the plain bias
  bool differs = false;
  double turned = 0.0;  // each bias held 1.5 s, from its power-down write
  for (uint64_t n = 1; n <= 4; ++n) {
    const int code = a.GyroAfterWake();
    EXPECT_EQ(code, Code(kSimBias + c.WakeOffset(n) + Still(c))) << n;
    turned += (kSimBias + c.WakeOffset(n) + Still(c)) * 1.5;
    differs |= other.GyroAfterWake() != code;
    // Without a character, as the chip always did: a wake keeps the bias.
    EXPECT_EQ(refused.GyroAfterWake(), Code(kSimBias)) << n;
  }
  EXPECT_TRUE(differs);
  EXPECT_NEAR(a.Angle(), std::fmod(turned + 360.0, 360.0), 0.05);
}

// Temp_Out reads the lagging die to the count while the rate follows the ambient, with the
// hysteresis by the last ramp's side.
TEST(SimCharacterWire, RampMovesTempOutWithTheDieAndTheRateWithTheAmbient) {
  const SimCharacter c = Character("wake=0,b1=0.02,b2=0.0005,hyst=0.1,lag=90,temp_lsb=0.2");
  setenv("VELK47120_SIM_TEMP", "ramp:-10..60@2,soak=100", 1);
  Chip chip;
  unsetenv("VELK47120_SIM_TEMP");
  chip.sensor.SetCharacter(c);
  const SimTempPath path = SimTempPath::Parse("ramp:-10..60@2,soak=100").value().value();

  const double period = SimSamplePeriod(1);
  for (double t : {50.0, 1000.0, 2250.0, 3000.0, 4450.0, 6000.0}) {
    chip.At(t);
    const double sample = kOrigin + std::floor(t / period) * period - kOrigin;
    const double die = c.Reading(path.Die(sample, c.lag));
    EXPECT_EQ(Signed(chip.Read(0x0C), 12), std::lround((die - 25.0) / c.tempLsb)) << t;
    const double tempco = c.TempBias(path.Ambient(sample), path.Direction(sample));
    EXPECT_EQ(chip.Gyro(), Code(kSimBias + tempco + Still(c))) << t;
  }

  // The angle integrates the tempco too.
  double turned = 0.0;
  for (double x = 0.0; x < 6000.0; x += 0.5)
    turned +=
        0.5 * (c.TempBias(path.Ambient(x + 0.25), path.Direction(x + 0.25)) + kSimBias + Still(c));
  EXPECT_NEAR(chip.Angle(), std::fmod(turned, 360.0), 0.05);

  // With the character alone the die rests at 25 degC and the rate holds the bias.
  chip.sensor.SetTemperaturePath(std::nullopt);
  EXPECT_EQ(Signed(chip.Read(0x0C), 12), 0);
  EXPECT_EQ(chip.Gyro(), Code(kSimBias + Still(c)));
}

TEST(SimCharacterWire, SelfTestShiftsByTheCharacterResponse) {
  struct Row {
    const char* name;
    std::optional<SimCharacter> character;
    int bits;
    double shift;
  };
  const Row rows[] = {
      {"st up", Character("st=5"), 0x01, 5.0},
      {"st down", Character("st=5"), 0x02, -5.0},
      {"no character: a tenth of 80 deg/s", std::nullopt, 0x01, 8.0},
  };
  for (const Row& r : rows) {
    Chip chip;
    chip.sensor.SetCharacter(r.character);
    chip.WriteByte(kMscCtrl + 1, r.bits);
    chip.clock.Advance(0.01);
    const double still = r.character ? Still(*r.character) : 0.0;
    EXPECT_EQ(chip.Gyro(), Code(kSimBias + r.shift + still)) << r.name;
  }
}

TEST(SimCharacterWire, PowerOffAnswersNothingAndPowerOnStartsAfresh) {
  const SimCharacter c = Character("wake=2,seed=3");
  Chip chip, twin;
  for (Chip* x : {&chip, &twin}) x->sensor.SetCharacter(c);
  chip.WriteByte(kSmplPrd, 5);
  chip.sensor.PowerOff();
  EXPECT_EQ(chip.Read(kSmplPrd), 0);
  chip.WriteByte(kSmplPrd, 9);
  EXPECT_EQ(chip.sensor.Byte(kSmplPrd), 5);  // ignored

  chip.sensor.PowerOn();
  EXPECT_EQ(chip.Read(kSmplPrd), 1);            // the flash value
  EXPECT_NE(chip.Read(0x04) & kErrorAlarm, 0);  // settling
  const double drawn = chip.sensor.Bias();
  EXPECT_NE(drawn, kSimBias);
  EXPECT_NE(drawn, kSimBias + c.WakeOffset(1));  // power-ups draw apart from wakes
  chip.sensor.PowerOn();                         // already on: nothing
  EXPECT_EQ(chip.sensor.Bias(), drawn);

  twin.sensor.PowerCycle();
  EXPECT_EQ(twin.sensor.Bias(), drawn);  // the same draw on a rerun
  twin.sensor.PowerCycle();
  EXPECT_NE(twin.sensor.Bias(), drawn);
}

}  // namespace
}  // namespace velk
