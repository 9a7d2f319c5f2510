#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "sim/SimSensor.h"

namespace velk::test {

using ByteWrite = std::pair<int, int>;  // address, data byte

// The write frames a simulated sensor receives, read back from its SPI trace.
class WriteTrace {
 public:
  WriteTrace(SimSensor& sensor, std::filesystem::path file) : file_(std::move(file)) {
    sensor.TraceTo(file_);
  }

  // The writes since the last call, in the order they arrived.
  std::vector<ByteWrite> Take() {
    std::ifstream in(file_);
    std::vector<ByteWrite> writes;
    std::string sent, answered;
    std::size_t line = 0;
    for (; in >> sent >> answered; ++line) {
      if (line < seen_) continue;
      const unsigned long frame = std::stoul(sent, nullptr, 16);
      if ((frame & 0x8000) != 0) writes.emplace_back((frame >> 8) & 0x7F, frame & 0xFF);
    }
    seen_ = line;
    return writes;
  }

 private:
  std::filesystem::path file_;
  std::size_t seen_ = 0;
};

// A two-byte register write as the sensor sees it: high byte first.
inline std::vector<ByteWrite> WordWrite(int address, int value) {
  return {{address + 1, (value >> 8) & 0xFF}, {address, value & 0xFF}};
}

// Register writes, address and value, one after the other.
inline std::vector<ByteWrite> WordWrites(std::initializer_list<std::pair<int, int>> words) {
  std::vector<ByteWrite> all;
  for (auto [address, value] : words)
    for (const ByteWrite& b : WordWrite(address, value)) all.push_back(b);
  return all;
}

}  // namespace velk::test
