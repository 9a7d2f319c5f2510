#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace velk::noise::test {

struct ChipRead {
  double time = 0.0;   // s
  bool flag = false;   // a new sample since the read before
  int64_t sample = 0;  // the chip's latest, counted from the first the loop saw
};

// A chip with a sample every `period`, read from `time` on by a loop of the given cycles.
inline std::vector<ChipRead> LoopReads(double period, double time,
                                       const std::vector<double>& cycles) {
  std::vector<ChipRead> out;
  int64_t first = -1, last = -1;
  for (size_t i = 0; i <= cycles.size(); ++i) {
    const auto latest = static_cast<int64_t>(std::floor(time / period));
    if (first < 0) first = latest;
    out.push_back({time, latest > last, latest - first});
    last = latest;
    if (i < cycles.size()) time += cycles[i];
  }
  return out;
}

// A chip with a sample every `period`, read by a loop whose cycle is irregular: mostly 0.4..0.8
// periods (so the live engine takes it as chip-clocked), some reads up to 1.4 periods late
// and a few stalls of 1.6..3 periods, which lose samples.
inline std::vector<ChipRead> IrregularLoop(double period, uint32_t seed, int reads) {
  std::mt19937 rng(seed);
  const auto uniform = [&] { return rng() * 0x1p-32; };  // the same with every library
  const double start = 10.0 + uniform() * period;
  std::vector<double> cycles;
  for (int i = 1; i < reads; ++i) {
    const double r = uniform();
    const double u = uniform();
    cycles.push_back(period * (r < 0.8 ? 0.4 + 0.4 * u : r < 0.96 ? 0.8 + 0.6 * u : 1.6 + 1.4 * u));
  }
  return LoopReads(period, start, cycles);
}

}  // namespace velk::noise::test
