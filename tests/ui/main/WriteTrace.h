#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "sim/SimSensor.h"

namespace velk::test {

using ByteWrite = std::pair<int, int>;  // address, data byte

// The frames a simulated sensor receives, read back from its SPI trace.
class WriteTrace {
 public:
  WriteTrace(SimSensor& sensor, std::filesystem::path file) : file_(std::move(file)) {
    if (const auto traced = sensor.TraceTo(file_); !traced) ADD_FAILURE() << traced.error();
  }

  // The writes since the last call, in the order they arrived.
  std::vector<ByteWrite> Take() {
    std::vector<ByteWrite> writes;
    const std::vector<unsigned long> frames = Frames();
    for (size_t n = seen_; n < frames.size(); ++n)
      if ((frames[n] & 0x8000) != 0) writes.emplace_back((frames[n] >> 8) & 0x7F, frames[n] & 0xFF);
    seen_ = frames.size();
    return writes;
  }
  // Read commands for one address since the trace began.
  long Reads(int address) const {
    const std::vector<unsigned long> frames = Frames();
    return std::count_if(frames.begin(), frames.end(), [&](unsigned long f) {
      return (f & 0xFF00) == static_cast<unsigned long>(address) << 8;
    });
  }

 private:
  std::vector<unsigned long> Frames() const {
    std::ifstream in(file_);
    std::vector<unsigned long> frames;
    for (std::string sent, answered; in >> sent >> answered;)
      frames.push_back(std::stoul(sent, nullptr, 16));
    return frames;
  }

  std::filesystem::path file_;
  std::size_t seen_ = 0;
};

// Register writes, address and value, one after the other, each high byte first.
inline std::vector<ByteWrite> WordWrites(std::initializer_list<std::pair<int, int>> words) {
  std::vector<ByteWrite> all;
  for (auto [address, value] : words) {
    all.emplace_back(address + 1, (value >> 8) & 0xFF);
    all.emplace_back(address, value & 0xFF);
  }
  return all;
}

}  // namespace velk::test
