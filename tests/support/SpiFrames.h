#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "support/RecordingPortIo.h"

namespace velk::test {

// The words clocked out on the data register at base, as the sensor sees them: a frame runs
// while bit 0 is set, and each falling clock edge (bit 1) takes the inverted data line (bit 2).
// Only complete 16-bit frames are returned.
inline std::vector<uint16_t> FramesSent(const RecordingPortIo& io, uint16_t base) {
  std::vector<uint16_t> frames;
  uint16_t prev = 0;
  uint16_t word = 0;
  int bits = 0;
  for (const auto& a : io.log) {
    if (!a.write || a.port != base) continue;
    const uint16_t v = a.value;
    if ((v & 1) != 0 && (prev & 1) == 0) {
      word = 0;
      bits = 0;
    }
    if ((v & 1) != 0 && (prev & 2) != 0 && (v & 2) == 0) {
      word = static_cast<uint16_t>(word << 1 | ((v & 4) != 0 ? 0 : 1));
      ++bits;
    }
    if ((v & 1) == 0 && (prev & 1) != 0 && bits == 16) frames.push_back(word);
    prev = v;
  }
  return frames;
}

// Makes the status register at base + 1 answer the given words, one per 16 reads, most
// significant bit first, carried inverted on bit 6. Once the words run out it answers zeros.
inline void AnswerWith(RecordingPortIo& io, uint16_t base, std::vector<uint16_t> words) {
  io.input = [status = static_cast<uint16_t>(base + 1), words = std::move(words),
              n = std::size_t{0}](uint16_t port) mutable -> uint16_t {
    if (port != status) return 0xFF;
    const std::size_t w = n / 16;
    const int bit = 15 - static_cast<int>(n % 16);
    ++n;
    const bool one = w < words.size() && ((words[w] >> bit) & 1) != 0;
    return one ? 0xBF : 0xFF;
  };
}

}  // namespace velk::test
