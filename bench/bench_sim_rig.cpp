// What a sample's Gyro_Out and Angle_Out read costs the simulated chip with the rig in play:
// a still chip without a character (the floor), a table run and a hand turn under one, at
// the deepest averaging (128 taps, each passing the element while the rate moves).
#include <benchmark/benchmark.h>

#include "core/Clock.h"
#include "sim/SimMap.h"
#include "sim/SimScales.h"
#include "sim/SimSensor.h"

namespace {

class StepClock final : public velk::Clock {
 public:
  double Seconds() const override { return now_; }
  void Advance(double seconds) { now_ += seconds; }

 private:
  double now_ = 1000.0;
};

void BM_SimRigSample(benchmark::State& state) {
  StepClock clock;
  velk::SimSensor sensor(clock);
  sensor.SetNoise(false);
  sensor.SetFixedRate(0.0);
  const auto write = [&](int address, int value) {
    sensor.Transfer(static_cast<uint16_t>(0x8000 | address << 8 | (value & 0xFF)));
  };
  write(velk::simmap::kSensAvg + 1, 0x04);
  write(velk::simmap::kSensAvg, 0x07);
  const double period = velk::SimSamplePeriod(1);
  const auto start = [&] {
    if (state.range(0) == 0) return;
    sensor.SetCharacter(velk::SimCharacter{});
    if (state.range(0) == 1) {
      for (int k = 0; k < 60; ++k) sensor.CommandTableRate(k % 2 ? -250.0 : 250.0);
      sensor.CommandTableRate(250.0);  // reverses every 5 s below
    } else {
      velk::SimTurn turn;
      turn.turns = 1000.0;
      turn.start = 0.0;
      sensor.HandTurn(turn);
    }
  };
  start();
  int64_t n = 0;
  for (auto _ : state) {
    clock.Advance(period);
    if (state.range(0) == 1 && ++n % 2560 == 0) sensor.CommandTableRate(n % 5120 ? -250.0 : 250.0);
    sensor.Transfer(0x0400);
    sensor.Transfer(0x0E00);
    benchmark::DoNotOptimize(sensor.Transfer(0));
  }
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_SimRigSample)->ArgName("rig")->Arg(0)->Arg(1)->Arg(2)->MinTime(1.0);

}  // namespace
