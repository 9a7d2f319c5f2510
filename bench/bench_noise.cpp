// The Allan deviation of a whole record on the octave grid (phase from rate, then every
// octave), with none missing and with 1 % missing, and the incremental form's cost per sample,
// with its memory held and while it grows: the growth is dominated by first-touch page faults,
// which vary widely by machine. The live engine: a chip-clocked reading fed, and the window's
// refresh (a snapshot taken and analysed) on a record of an hour at the default sample period,
// and on a full one.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "noise/Allan.h"
#include "noise/LiveNoise.h"

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

// The same with 1 % of the samples missing at random: each window's mean from the samples it
// holds, over the grid of present and missing ones.
void BM_AllanOctaveGaps(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<double> grid = Record(n);
  std::vector<double> rates;
  std::vector<velk::noise::MissingRun> missing;
  uint64_t key = 99;
  for (size_t i = 0; i < n; ++i) {
    key = key * 6364136223846793005ull + 1442695040888963407ull;
    if (i == 0 || i + 1 == n || (key >> 33) % 100 != 0) {
      rates.push_back(grid[i]);
    } else if (!missing.empty() && missing.back().at == rates.size()) {
      ++missing.back().count;
    } else {
      missing.push_back({rates.size(), 1});
    }
  }
  const std::vector<size_t> starts = {0};
  const std::vector<int64_t> factors = velk::noise::GridFactors({}, static_cast<int64_t>(n));
  std::vector<double> work(rates.size());
  for (auto _ : state) {
    state.PauseTiming();
    work = rates;
    state.ResumeTiming();
    velk::noise::RateToPhase(work, starts, 0.5, 0.001);
    benchmark::DoNotOptimize(velk::noise::GapAllanDeviation(work, starts, missing, 0.001, factors,
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

constexpr double kPeriod = 0.003906;

velk::noise::ChipSettings LiveChip() {
  return {.rangeDps = 80.0,
          .lsbDps = 0.01,
          .samplePeriodS = kPeriod,
          .taps = 4,
          .windowS = 4 * kPeriod};
}

// Readings at half the sample period, each with a new sample and every 64th with a
// temperature: white noise of some 10 LSB RMS.
void FeedLive(velk::noise::LiveNoise& live, size_t readings) {
  uint64_t state = 12345;
  for (size_t i = 0; i < readings; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const auto code = static_cast<int32_t>((state >> 33) % 64) - 32;
    live.Feed({.time = static_cast<double>(i) * kPeriod / 2,
               .value = code * 0.01,
               .code = code,
               .newData = true,
               .temp = i % 64 == 0 ? std::optional(25.0) : std::nullopt});
  }
}

// A run as it grows, first-touch page faults included.
void BM_LiveFeed(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  velk::noise::LiveNoise live;
  for (auto _ : state) {
    state.PauseTiming();
    live.Restart(LiveChip(), "bench");
    state.ResumeTiming();
    FeedLive(live, n);
    benchmark::DoNotOptimize(live.Samples());
  }
  CountPerSample(state);
}

void BM_LiveTake(benchmark::State& state) {
  velk::noise::LiveNoise live;
  live.Restart(LiveChip(), "bench");
  FeedLive(live, static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(live.Take());
  state.counters["samples"] = static_cast<double>(live.Samples());
}

void BM_LiveRefresh(benchmark::State& state) {
  velk::noise::LiveNoise live;
  live.Restart(LiveChip(), "bench");
  FeedLive(live, static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(velk::noise::AnalyzeLive(live.Take(), {}));
  state.counters["samples"] = static_cast<double>(live.Samples());
}

BENCHMARK(BM_AllanOctave)->Arg(216000)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllanOctaveGaps)->Arg(216000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IncrementalAdd)->Arg(1 << 20)->Arg(1 << 23)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IncrementalGrow)->Arg(1 << 20)->Arg(1 << 23)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveFeed)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveTake)->Arg(921600)->Arg(1 << 25)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveRefresh)->Arg(921600)->Arg(1 << 25)->Unit(benchmark::kMicrosecond);

}  // namespace
