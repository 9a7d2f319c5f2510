// The Allan deviation of a whole record on the octave grid (phase from rate, then every
// octave), and the incremental form's cost per sample, with its memory held and while it
// grows: the growth is dominated by first-touch page faults, which vary widely by machine.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "noise/Allan.h"

namespace {

// White rate noise, uniform in [0, 1): a bias of 0.5.
std::vector<double> Record(size_t n) {
  std::vector<double> y(n);
  uint64_t state = 12345;
  for (double& v : y) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    v = static_cast<double>(state >> 11) * 0x1.0p-53;
  }
  return y;
}

void BM_AllanOctave(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<double> rates = Record(n);
  const std::vector<size_t> starts = {0};
  const std::vector<int64_t> factors = velk::noise::GridFactors({}, static_cast<int64_t>(n));
  std::vector<double> work(n);
  for (auto _ : state) {
    state.PauseTiming();
    work = rates;
    state.ResumeTiming();
    velk::noise::RateToPhase(work, starts, 0.5, 0.001);
    benchmark::DoNotOptimize(velk::noise::AllanDeviation(work, starts, 0.001, factors,
                                                         velk::noise::Estimator::Overlapping));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void CountPerSample(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["per_sample"] = benchmark::Counter(
      static_cast<double>(state.iterations() * state.range(0)),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}

// Updates into memory the record already holds: a record cleared and taken again.
void BM_IncrementalAdd(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<double> rates = Record(n);
  velk::noise::IncrementalAllan live(0.001, n);
  for (const double y : rates) live.Add(y);
  for (auto _ : state) {
    state.PauseTiming();
    live.Clear();
    state.ResumeTiming();
    for (const double y : rates) live.Add(y);
    benchmark::DoNotOptimize(live.Samples());
  }
  CountPerSample(state);
}

// A first record: the phase's memory grows (and is first touched) as it comes.
void BM_IncrementalGrow(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<double> rates = Record(n);
  for (auto _ : state) {
    state.PauseTiming();
    auto live = std::make_unique<velk::noise::IncrementalAllan>(0.001, n);
    state.ResumeTiming();
    for (const double y : rates) live->Add(y);
    benchmark::DoNotOptimize(live->Samples());
    state.PauseTiming();
    live.reset();
    state.ResumeTiming();
  }
  CountPerSample(state);
}

BENCHMARK(BM_AllanOctave)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IncrementalAdd)->Arg(1 << 20)->Arg(1 << 23)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IncrementalGrow)->Arg(1 << 20)->Arg(1 << 23)->Unit(benchmark::kMillisecond);

}  // namespace
