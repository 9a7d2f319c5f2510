// "velk47120-cli log --interval 0" over each simulated transport in real time, against the
// floor its register reads allow: six reads a row (the five outputs, then Status), each with
// the pauses of its protocol (0.3 ms over the parallel adapter, 0.1 ms over the USB card).
// The window's loop waits 1 ms a cycle besides; the tool does not.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>

#include "cli/Cli.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"

namespace {

constexpr int kReadsPerRow = 6;
constexpr long kRows = 2000;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Time this thread ran: on a busy machine a busy wait also loses the time others had the
// processor, so the ratio only means something when this stays near 100 %.
double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Argument: 1 parallel adapter, 2 USB card.
void BM_CliLog(benchmark::State& state) {
  const bool usb = state.range(0) == 2;
  const double floorSeconds = kReadsPerRow * (usb ? 0.0001 : 0.0003);
  velk::SteadyClock clock;
  velk::SimSensor sensor(clock);
  velk::SimParallelAdapter adapter(sensor);
  velk::SimUsbCard card(&sensor);
  std::ostringstream out;
  std::ostringstream err;
  velk::CliContext context{out, err, adapter, card, clock};
  context.sleep = [](double) {};
  context.wallClock = [] { return std::chrono::system_clock::now(); };
  context.simulated = 47120;
  context.configFile = "/nonexistent/Velk47120.cfg";
  const std::string rows = std::to_string(kRows);
  long long done = 0;
  double seconds = 0;
  double wall = 0;
  double cpu = 0;
  for (auto _ : state) {
    err.str({});
    const double t0 = Now();
    const double cpu0 = CpuNow();
    const int status = velk::RunCli({"--interface", usb ? "usb" : "parallel", "log", "--interval",
                                     "0", "--count", rows, "--out", "/dev/null"},
                                    context);
    wall += Now() - t0;
    cpu += CpuNow() - cpu0;
    // The tool's own summary times the rows alone, without finding the chip.
    if (status != 0 ||
        std::sscanf(err.str().c_str(), "velk47120-cli: %lld rows in %lf s", &done, &seconds) != 2) {
      state.SkipWithError(("the log failed: " + err.str()).c_str());
      return;
    }
    state.SetIterationTime(seconds / static_cast<double>(done));
  }
  state.counters["rows/s"] = static_cast<double>(done) / seconds;
  state.counters["ratio_to_floor"] = static_cast<double>(done) * floorSeconds / seconds;
  state.counters["ran_%"] = 100.0 * cpu / wall;
}

BENCHMARK(BM_CliLog)
    ->ArgName("interface")
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseManualTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
