#pragma once

#include <cstdint>
#include <numbers>

namespace velk::simmix {

// One SplitMix64 output for the state x: cheap, and every input bit reaches every output bit.
inline uint64_t SplitMix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// A uniform spread of +-sqrt(3) from 53 bits of a hash: zero mean, unit rms.
inline double UnitNoise(uint64_t hash) {
  double uniform = static_cast<double>(hash >> 11) * 0x1.0p-53 * 2.0 - 1.0;
  return uniform * std::numbers::sqrt3;
}

}  // namespace velk::simmix
