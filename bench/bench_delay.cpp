// How long DelayMs really waits after calibration, as a ratio to what was asked, and how
// much processor time the program spends per wall-clock second while it waits. Beside it,
// how late a bare absolute sleep on the monotonic clock wakes, with the default timer slack
// and with it lowered: the figure the pause's spin margin is chosen from.
#include <benchmark/benchmark.h>
#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "ProcessCpu.h"
#include "core/Delay.h"
#include "core/Realtime.h"

namespace {

void BM_DelayMs(benchmark::State& state) {
  const float requested = static_cast<float>(state.range(0));
  double actual = 0.0;
  const double cpu0 = ProcessCpuSeconds();
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    velk::DelayMs(static_cast<float>(requested));
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - t0;
    state.SetIterationTime(elapsed.count());
    actual += elapsed.count();
  }
  state.counters["actual/requested"] =
      actual / (static_cast<double>(state.iterations()) * requested / 1000.0);
  state.counters["cpu_per_s"] = (ProcessCpuSeconds() - cpu0) / actual;
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

int64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Arguments: the timer slack in ns during the run (50000 is the kernel's default), and 1 to
// run at the acquisition's real-time priority (skipped where refused). Sleeps of 5 ms, each to
// an absolute deadline; the counters are the lateness of the wake-ups in us.
void BM_SleepLateness(benchmark::State& state) {
  velk::RealtimeScope raised(state.range(1) != 0 ? &velk::SystemRealtime() : nullptr,
                             velk::kAcquisitionPriority);
  if (state.range(1) != 0 && !raised.grant().granted) {
    state.SkipWithError(("real-time refused: " + raised.grant().refused).c_str());
    return;
  }
  const unsigned long before = static_cast<unsigned long>(prctl(PR_GET_TIMERSLACK));
  prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(state.range(0)));
  std::vector<int64_t> late;
  for (auto _ : state) {
    const int64_t deadline = NowNs() + 5'000'000;
    const timespec t{static_cast<time_t>(deadline / 1'000'000'000),
                     static_cast<long>(deadline % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) != 0) {
    }
    late.push_back(NowNs() - deadline);
  }
  prctl(PR_SET_TIMERSLACK, before);
  std::sort(late.begin(), late.end());
  const auto at = [&](double q) {
    return 1e-3 * static_cast<double>(late[static_cast<size_t>(q * (late.size() - 1))]);
  };
  state.counters["p50_us"] = at(0.5);
  state.counters["p99_us"] = at(0.99);
  state.counters["max_us"] = at(1.0);
}

BENCHMARK(BM_SleepLateness)
    ->ArgNames({"slack_ns", "realtime"})
    ->Args({50000, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(1000)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace
