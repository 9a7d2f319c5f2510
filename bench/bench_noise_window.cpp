// The Noise window's refresh for an hour of live record at the chip's default period (Smpl_Prd
// 1, 3.906 ms: 921 600 samples), read chip-clocked twice a period. The refresh is two parts:
// the analysis on the worker, and what the GUI thread does with it (the snapshot, then the
// labels, the table and the repaint of the window), which is what holds up the read loop.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QThreadPool>

#include "WindowRig.h"
#include "noise/read/RunHeader.h"
#include "ui/noise/frmNoise.h"

namespace {

using bench::App;
using bench::Now;

constexpr int64_t kSamples = 921600;

velk::noise::LiveNoise& HourRecord() {
  static velk::noise::LiveNoise* live = [] {
    auto* l = new velk::noise::LiveNoise;
    const velk::noise::ChipSettings chip = velk::noise::ChipFromWords(1, 0x0402, 47120);
    l->Restart(chip, "the read loop started");
    uint64_t x = 1;
    for (int64_t s = 0; s < kSamples; ++s) {
      x = x * 6364136223846793005ull + 1442695040888963407ull;
      const auto code = static_cast<int32_t>(x >> 59) - 16;  // +-16 counts of white noise
      for (int half = 0; half < 2; ++half)
        l->Feed({.time = (s + 0.5 * half) * chip.samplePeriodS,
                 .value = code * chip.lsbDps,
                 .code = half == 0 ? code : 0,
                 .newData = half == 0,
                 .temp = 25.0});
    }
    return l;
  }();
  return *live;
}

void BM_NoiseLiveAnalysis(benchmark::State& state) {
  velk::noise::LiveNoise& live = HourRecord();
  for (auto _ : state)
    benchmark::DoNotOptimize(velk::noise::AnalyzeLive(live.Take(), velk::noise::AnalysisOptions{}));
  state.counters["samples"] = static_cast<double>(live.Samples());
}

// The loop's stop asks for a refresh; the worker's part is waited out untimed, then the
// events that show the result are pumped until the window has repainted.
void BM_NoiseWindowRefresh(benchmark::State& state) {
  App();
  velk::noise::LiveNoise& live = HourRecord();
  bench::NoModal modal;
  bench::CountedMessages messages;
  velk::frmNoise window(live, {}, modal, messages);
  window.show();
  QThreadPool::globalInstance()->waitForDone();
  QCoreApplication::processEvents();
  long rows = 0;
  for (auto _ : state) {
    const double t0 = Now();
    window.LoopStopped();
    double gui = Now() - t0;
    QThreadPool::globalInstance()->waitForDone();
    const double t1 = Now();
    for (int i = 0; i < 100 && window.Working(); ++i) QCoreApplication::processEvents();
    const long paints = App().paints;
    for (int i = 0; i < 100 && App().paints == paints; ++i) QCoreApplication::processEvents();
    gui += Now() - t1;
    state.SetIterationTime(gui);
    rows = window.grdTaus->rowCount();
    if (window.Working() || App().paints == paints) {
      state.SkipWithError("the refresh did not show");
      return;
    }
  }
  state.counters["tau_rows"] = static_cast<double>(rows);
}

BENCHMARK(BM_NoiseLiveAnalysis)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoiseWindowRefresh)
    ->UseManualTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace
