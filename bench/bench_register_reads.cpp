// Register reads over the simulated adapters, against the floor the protocol's pauses allow:
// 0.3 ms per read over the parallel port (two frames with 0.1 ms each, and 0.1 ms after the
// access), 0.1 ms over the USB card (one command, then the 0.1 ms after the access).
#include <benchmark/benchmark.h>

#include "core/Clock.h"
#include "registers/Session.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"
#include "transport/parallel/AbsentPortIo.h"
#include "transport/usb/AbsentEzUsbDriver.h"

namespace {

constexpr double kPauseFloorSeconds = 0.0003;
constexpr double kUsbPauseFloorSeconds = 0.0001;

class NoMessages final : public velk::MessageSink {
 public:
  void Show(const std::string&, const std::string&) override {}
  bool Ask(const std::string&, const std::string&) override { return false; }
};

// Reads the slot named by the benchmark's argument for as long as the benchmark runs.
void ReadRepeatedly(benchmark::State& state, velk::Session& session, double floorSeconds) {
  const auto slot = static_cast<int16_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(session.spi.ReadRegister(slot));
  }
  state.counters["reads/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  // Time the pauses alone would take over the elapsed time: 1.0 is the floor.
  state.counters["ratio_to_floor"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * floorSeconds, benchmark::Counter::kIsRate);
}

void BM_RegisterRead(benchmark::State& state) {
  velk::SteadyClock clock;
  velk::SimSensor sensor(clock);
  velk::SimParallelAdapter adapter(sensor);
  velk::AbsentEzUsbDriver noUsb;
  NoMessages messages;
  velk::Session session(adapter, noUsb, messages);
  session.analyzer.InterfaceType = velk::interface_type::kParallelPort;
  session.reg.BuildRegisterTable();
  ReadRepeatedly(state, session, kPauseFloorSeconds);
}

BENCHMARK(BM_RegisterRead)
    ->Arg(velk::slot::Gyro_Out)
    ->MinTime(2.0)
    ->UseRealTime()  // the pauses are wall-clock time; rates divide by it
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// Every read opens the card, sends one command, collects the answer and closes it again.
void BM_RegisterReadUsb(benchmark::State& state) {
  velk::SteadyClock clock;
  velk::SimSensor sensor(clock);
  velk::SimUsbCard card(&sensor);
  velk::AbsentPortIo noPort;
  NoMessages messages;
  velk::Session session(noPort, card, messages);
  session.analyzer.InterfaceType = velk::interface_type::kUsbCard;
  session.reg.BuildRegisterTable();
  session.usb.FindUsbBuffers();
  if (!session.usb.CardReady()) {
    state.SkipWithError("the simulated card was not found");
    return;
  }
  ReadRepeatedly(state, session, kUsbPauseFloorSeconds);
}

BENCHMARK(BM_RegisterReadUsb)
    ->Arg(velk::slot::Gyro_Out)
    ->MinTime(2.0)
    ->UseRealTime()  // the pauses are wall-clock time; rates divide by it
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
