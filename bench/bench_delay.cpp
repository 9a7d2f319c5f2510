// How long DelayMs really waits after calibration, as a ratio to what was asked.
#include <benchmark/benchmark.h>

#include <chrono>

#include "core/Delay.h"

namespace {

void BM_DelayMs(benchmark::State& state) {
  const float requested = static_cast<float>(state.range(0));
  double actual = 0.0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    velk::DelayMs(static_cast<float>(requested));
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - t0;
    state.SetIterationTime(elapsed.count());
    actual += elapsed.count();
  }
  state.counters["actual/requested"] =
      actual / (static_cast<double>(state.iterations()) * requested / 1000.0);
}

BENCHMARK(BM_DelayMs)
    ->Arg(1)
    ->Iterations(200)
    ->Repetitions(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_DelayMs)
    ->Arg(10)
    ->Iterations(40)
    ->Repetitions(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_DelayMs)
    ->Arg(100)
    ->Iterations(8)
    ->Repetitions(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_DelayMs)
    ->Arg(1000)
    ->Iterations(2)
    ->Repetitions(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ReportAggregatesOnly(true);

}  // namespace
