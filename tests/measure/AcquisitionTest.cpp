#include "measure/Acquisition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "noise/read/RunHeader.h"
#include "sim/SimNoiseProfile.h"
#include "support/SimRig.h"

namespace velk::test {
namespace {

constexpr int kSmplPrd = 1;
constexpr int kSensAvg = 0x0100;

struct Taken final : AcquisitionSink {
  bool Take(const AcquiredSample& s) override {
    samples.push_back(s);
    return true;
  }
  void Silence(double) override { ++silences; }
  std::vector<AcquiredSample> samples;
  int silences = 0;
};

// A still chip with the white profile, one tap, Smpl_Prd 1.
struct EngineRig {
  explicit EngineRig(int16_t interface) : sim(interface) {
    sim.sensor.SetNoiseProfile(SimNoiseProfile::Parse("white").value());
    sim.session.spi.WriteRegister(slot::Smpl_Prd, kSmplPrd);
    sim.session.spi.WriteRegister(slot::Sens_Avg, kSensAvg);
    plan.period = noise::ChipFromWords(kSmplPrd, kSensAvg, 47120).samplePeriodS;
  }
  AcquisitionTime Time() {
    return {sim.clock, [this](double s) { wake(s); }, [this] { return stop; }};
  }
  SimRig sim;
  AcquisitionPlan plan;
  std::function<void(double)> wake = [this](double s) { sim.clock.Advance(s); };
  bool stop = false;
};

// Whether each sample's code is the profile's draw for its number, from the serial the first
// codes fit (the sensor's serial of sample 0 is unknown).
bool EachHasItsOwnNumber(const std::vector<AcquiredSample>& samples) {
  SimNoiseProfile truth = SimNoiseProfile::Parse("white").value().value();
  const int64_t span = samples.back().number + 200;
  std::vector<int> drawn;
  for (int64_t s = 0; s < span + 400; ++s)
    drawn.push_back(truth.Code(s, kSmplPrd, kSensAvg, 47120));
  const auto fits = [&](size_t first, size_t rows) {
    for (size_t i = 0; i < rows; ++i)
      if (samples[i].code != drawn[first + static_cast<size_t>(samples[i].number)]) return false;
    return true;
  };
  for (size_t first = 0; first < 400; ++first)
    if (fits(first, 32)) return fits(first, samples.size());
  return false;
}

// Wake-ups late by most of a period lose nothing; later ones lose the samples they slept
// through, and every sample taken still carries its own number. Over both adapters.
TEST(Acquisition, LateWakeUpsKeepEachSamplesNumber) {
  const struct {
    const char* name;
    int16_t interface;
    double lateBy;  // periods, every 97th wake-up
    bool loses;
  } cases[] = {
      {"on time, parallel", interface_type::kParallelPort, 0.0, false},
      {"on time, usb", interface_type::kUsbCard, 0.0, false},
      {"most of a period late", interface_type::kParallelPort, 0.7, false},
      {"two periods late", interface_type::kUsbCard, 2.2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EngineRig rig(c.interface);
    rig.plan.duration = 20.0;
    int wakes = 0;
    rig.wake = [&](double s) {
      if (++wakes % 97 == 0) s += c.lateBy * rig.plan.period;
      rig.sim.clock.Advance(s);
    };
    Taken sink;
    const AcquisitionOutcome out = Acquire(rig.sim.session, rig.plan, rig.Time(), sink);
    EXPECT_EQ(out.end, AcquisitionEnd::kDone);
    ASSERT_EQ(static_cast<int64_t>(sink.samples.size()), out.taken);
    const int64_t wanted = static_cast<int64_t>(std::ceil(20.0 / rig.plan.period));
    EXPECT_EQ(sink.samples.back().number + 1, wanted);
    EXPECT_EQ(out.taken + out.lost, wanted);
    EXPECT_EQ(out.lost > 0, c.loses);
    EXPECT_TRUE(EachHasItsOwnNumber(sink.samples));
    int temps = 0;
    for (const AcquiredSample& s : sink.samples) temps += s.temp ? 1 : 0;
    EXPECT_EQ(temps, 20);  // one a second
  }
}

// A stop ends the acquisition at once, and every sample found before it reached the sink; a
// chip that gives nothing is told once, and its run ends at the duration.
TEST(Acquisition, StopAndSilenceEndItWithWhatWasTaken) {
  EngineRig rig(interface_type::kParallelPort);
  rig.plan.duration = 60.0;
  const double stopAt = rig.sim.clock.Seconds() + 3.0;
  rig.wake = [&](double s) {
    rig.sim.clock.Advance(s);
    rig.stop = rig.sim.clock.Seconds() >= stopAt;
  };
  Taken sink;
  const AcquisitionOutcome out = Acquire(rig.sim.session, rig.plan, rig.Time(), sink);
  EXPECT_EQ(out.end, AcquisitionEnd::kStopped);
  EXPECT_NEAR(out.seconds, 3.0, 0.01);
  ASSERT_EQ(static_cast<int64_t>(sink.samples.size()), out.taken);
  EXPECT_EQ(out.lost, 0);
  EXPECT_EQ(sink.samples.back().number + 1, out.taken);
  EXPECT_NEAR(static_cast<double>(out.taken), 3.0 / rig.plan.period, 2.0);

  EngineRig silent(interface_type::kParallelPort);
  silent.sim.sensor.SetNoAnswer(true);
  silent.plan.duration = 5.0;
  Taken none;
  const AcquisitionOutcome quiet = Acquire(silent.sim.session, silent.plan, silent.Time(), none);
  EXPECT_EQ(quiet.end, AcquisitionEnd::kDone);
  EXPECT_EQ(quiet.taken, 0);
  EXPECT_EQ(none.silences, 1);
}

// Raises and lowers the thread that asked, as the system would, or refuses.
struct FakeRealtime final : RealtimeRequest {
  explicit FakeRealtime(bool allow) : allow(allow) {}
  RealtimeGrant Raise(int priority) override {
    raisedOn = std::this_thread::get_id();
    if (!allow) return {false, 0, false, "Operation not permitted"};
    return {true, priority, false, {}};
  }
  void Lower() override { loweredOn = std::this_thread::get_id(); }
  bool allow;
  std::thread::id raisedOn, loweredOn;
};

// The engine runs on a thread of its own, raised there and lowered there; refused, it runs on
// at normal priority and says how to grant it.
TEST(Acquisition, OwnThreadAsksForRealtimeAndRunsOnWithout) {
  for (bool allow : {true, false}) {
    SCOPED_TRACE(allow ? "granted" : "refused");
    EngineRig rig(interface_type::kParallelPort);
    rig.plan.duration = 1.0;
    FakeRealtime realtime(allow);
    Taken sink;
    const AcquisitionOutcome out =
        AcquireOnOwnThread(rig.sim.session, rig.plan, rig.Time(), sink, &realtime);
    EXPECT_EQ(out.end, AcquisitionEnd::kDone);
    EXPECT_EQ(out.taken, static_cast<int64_t>(std::ceil(1.0 / rig.plan.period)));
    EXPECT_NE(realtime.raisedOn, std::this_thread::get_id());
    EXPECT_EQ(out.priority.granted, allow);
    if (allow) {
      EXPECT_EQ(realtime.loweredOn, realtime.raisedOn);
      EXPECT_EQ(RealtimeText(out.priority), "real-time (SCHED_FIFO 10)");
    } else {
      EXPECT_EQ(realtime.loweredOn, std::thread::id{});
      EXPECT_EQ(RealtimeText(out.priority),
                "normal (real-time refused: Operation not permitted; grant it with "
                "`@plugdev - rtprio 20` in /etc/security/limits.d/)");
    }
  }
}

}  // namespace
}  // namespace velk::test
