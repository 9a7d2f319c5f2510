#include "measure/CalibrationSteps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "measure/Acquisition.h"
#include "noise/read/RunHeader.h"
#include "sim/SimScales.h"
#include "support/SimRig.h"

namespace velk::test {
namespace {

// A still chip with the simulator's default noise, its words set as given.
struct StepsRig {
  StepsRig(int32_t ofst, int32_t scale, int32_t msc) {
    sim.sensor.SetFixedRate(0.0);
    sim.session.spi.WriteRegister(slot::Gyro_Ofst, ofst & 0xFFFF);
    sim.session.spi.WriteRegister(slot::Gyro_Scale, scale);
    sim.session.spi.WriteRegister(slot::Msc_Ctrl, msc);
    sim.session.reg.RegScale[slot::Gyro_Out] =
        static_cast<float>(SimGyroFactor(sim.sensor.Word(0x38) & 0x700, 47120));
  }
  Result<CountMeaning, StepError> Measure() {
    const noise::ChipSettings chip =
        noise::ChipFromWords(sim.sensor.Word(0x36) & 0xFF, sim.sensor.Word(0x38), 47120);
    const AcquisitionTime time{sim.clock, [this](double s) { wake(s); }, [this] { return stop; }};
    return MeasureCountMeaning(sim.session, chip, time);
  }
  CalibrationWords Words() { return ReadCalibrationWords(sim.session.spi); }

  SimRig sim;
  std::function<void(double)> wake = [this](double s) { sim.clock.Advance(s); };
  bool stop = false;
};

TEST(CalibrationSteps, MeasuresTheSimulatorsCounts) {
  const struct {
    const char* name;
    int32_t ofst, scale;
    int32_t low, high, other;  // the words stepped to
  } cases[] = {
      {"middle", -33, 0x800, -133, 67, 0x8CD},
      // At the register's ends the two Gyro_Ofst words move in, Gyro_Scale goes the other way.
      {"top ends", 2040, 4000, 1847, 2047, 3600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StepsRig rig(c.ofst, c.scale, msc_ctrl::kReadyEnable);
    const auto m = rig.Measure();
    ASSERT_TRUE(m) << m.error().message;
    EXPECT_EQ(m->ofstLow, c.low);
    EXPECT_EQ(m->ofstHigh, c.high);
    EXPECT_EQ(m->scaleOther, c.other);
    // The simulator: Gyro_Ofst in counts of the finest range's factor, the gain Gyro_Scale / 2048.
    EXPECT_NEAR(m->ofstStep, SimGyroFactor(0x100, 47120), 4 * m->ofstStepSe);
    ASSERT_TRUE(m->gainPerCount);
    EXPECT_NEAR(*m->gainPerCount, 1.0 / c.scale, 4 * *m->gainPerCountSe);
    EXPECT_LT(m->ofstStepSe, 0.01 * m->ofstStep);
    EXPECT_EQ(rig.Words(), (CalibrationWords{c.ofst, c.scale, msc_ctrl::kReadyEnable}));
  }
}

// Whatever ends the measurement, the old words go back, self-test bits and all.
TEST(CalibrationSteps, EveryEndPutsTheWordsBack) {
  using Kind = StepError::Kind;
  constexpr int32_t kMsc = msc_ctrl::kReadyEnable | msc_ctrl::kNegativeSelfTest;
  const struct {
    const char* name;
    std::function<void(StepsRig&)> arrange;
    std::optional<Kind> kind;  // none: a throw
  } cases[] = {
      {"stop at the second Gyro_Scale word",
       [](StepsRig& r) {
         r.wake = [&r](double s) {
           r.sim.clock.Advance(s);
           r.stop = (r.sim.sensor.Word(0x16) & 0xFFF) != 0x700;
         };
       },
       Kind::kStopped},
      {"a throw from the wait",
       [](StepsRig& r) {
         r.wake = [&r](double s) {
           r.sim.clock.Advance(s);
           if (r.sim.sensor.Byte(0x35) == 0x01) throw std::runtime_error("gone");
         };
       },
       std::nullopt},
      {"clipped under the self-test", [](StepsRig& r) { r.sim.sensor.SetFixedRate(660.0); },
       Kind::kSaturated},
      {"a still chip's noise far too large",
       [](StepsRig& r) {
         r.wake = [&r](double s) {
           r.sim.clock.Advance(s);
           // The rate jumps by far more than a step within every half.
           r.sim.sensor.SetFixedRate(std::fmod(r.sim.clock.Seconds(), 0.6) < 0.3 ? 40 : 0);
         };
       },
       Kind::kTooNoisy},
      // Then the words cannot be put back: the failure says which.
      {"a chip gone silent",
       [](StepsRig& r) {
         r.wake = [&r](double s) {
           r.sim.clock.Advance(s);
           r.sim.sensor.SetNoAnswer(true);
         };
       },
       Kind::kNotRestored},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StepsRig rig(-5, 0x700, kMsc);
    c.arrange(rig);
    if (!c.kind) {
      EXPECT_THROW((void)rig.Measure(), std::runtime_error);
    } else {
      const auto m = rig.Measure();
      ASSERT_FALSE(m);
      EXPECT_EQ(m.error().kind, *c.kind) << m.error().message;
      if (*c.kind == Kind::kNotRestored) {
        EXPECT_NE(m.error().message.find("Gyro_Ofst reads 0x0000 after its old word 0xFFFB"),
                  std::string::npos);
        continue;
      }
    }
    EXPECT_EQ(rig.Words(), (CalibrationWords{-5, 0x700, kMsc}));
  }
}

}  // namespace
}  // namespace velk::test
