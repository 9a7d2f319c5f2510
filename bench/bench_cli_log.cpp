// "velk47120-cli log --interval 0" over each simulated transport in real time, against the
// floor its register reads allow: six reads a row (the five outputs, then Status), each with
// the pauses of its protocol (0.3 ms over the parallel adapter, 0.1 ms over the USB card).
// The window's loop waits 1 ms a cycle besides; the tool does not.
// "velk47120-cli noise --duration" at the default period, also in real time: the processor
// the acquisition takes (the simulator's share included), at most 0.15 of a core.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>

#include "ProcessCpu.h"
#include "cli/Cli.h"
#include "sim/SimNoiseProfile.h"
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
    const velk::ExitStatus status =
        velk::RunCli({"--interface", usb ? "usb" : "parallel", "log", "--interval", "0", "--count",
                      rows, "--out", "/dev/null"},
                     context);
    wall += Now() - t0;
    cpu += CpuNow() - cpu0;
    // The tool's own summary times the rows alone, without finding the chip.
    if (status != velk::ExitStatus::kDone ||
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

// Argument: 1 parallel adapter, 2 USB card. The sleeps are the tool's own, nanosleep(2).
void BM_CliNoiseAcquisition(benchmark::State& state) {
  const bool usb = state.range(0) == 2;
  velk::SteadyClock clock;
  velk::SimSensor sensor(clock);
  sensor.SetNoiseProfile(velk::SimNoiseProfile::Parse("white").value());
  velk::SimParallelAdapter adapter(sensor);
  velk::SimUsbCard card(&sensor);
  std::ostringstream out;
  std::ostringstream err;
  velk::CliContext context{out, err, adapter, card, clock};
  context.sleep = [](double seconds) {
    const auto ns = static_cast<long>(seconds * 1e9);
    const timespec wait{static_cast<time_t>(ns / 1'000'000'000), ns % 1'000'000'000};
    nanosleep(&wait, nullptr);
  };
  context.wallClock = [] { return std::chrono::system_clock::now(); };
  context.simulated = 47120;
  context.configFile = "/nonexistent/Velk47120.cfg";
  double wall = 0, cpu = 0;
  long long samples = 0, lost = 0;
  for (auto _ : state) {
    err.str({});
    const double t0 = Now();
    const double cpu0 = ProcessCpuSeconds();
    const velk::ExitStatus status = velk::RunCli(
        {"--interface", usb ? "usb" : "parallel", "noise", "--duration", "4", "--out", "/dev/null"},
        context);
    const double spent = ProcessCpuSeconds() - cpu0;
    const double took = Now() - t0;
    double seconds = 0;
    const size_t at = err.str().find("velk47120-cli: ");
    if (status != velk::ExitStatus::kDone || at == std::string::npos ||
        std::sscanf(err.str().c_str() + at, "velk47120-cli: %lld samples in %lf s, %lld lost",
                    &samples, &seconds, &lost) != 3) {
      state.SkipWithError(("the acquisition failed: " + err.str()).c_str());
      return;
    }
    wall += took;
    cpu += spent;
    state.SetIterationTime(took);
  }
  state.counters["cores"] = cpu / wall;
  state.counters["samples"] = static_cast<double>(samples);
  state.counters["lost"] = static_cast<double>(lost);
}

BENCHMARK(BM_CliNoiseAcquisition)
    ->ArgName("interface")
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseManualTime()
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
