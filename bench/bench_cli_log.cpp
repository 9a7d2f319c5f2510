// "velk47120-cli log --interval 0" over each simulated transport in real time, against the
// floor its register reads allow: six reads a row (the five outputs, then Status), each with
// the pauses of its protocol (0.3 ms over the parallel adapter, 0.1 ms over the USB card).
// The window's loop waits 1 ms a cycle besides; the tool does not.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "cli/Cli.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"

namespace {

constexpr int kReadsPerRow = 6;
constexpr long kRows = 2000;

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
  for (auto _ : state) {
    err.str({});
    const int status = velk::RunCli({"--interface", usb ? "usb" : "parallel", "log", "--interval",
                                     "0", "--count", rows, "--out", "/dev/null"},
                                    context);
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
