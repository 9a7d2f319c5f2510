#include "transport/parallel/ParallelSpi.h"

#include "core/Delay.h"

namespace velk {

namespace {

// Data register bits: frame select, clock, and the data line (inverted: 0 sends a 1).
constexpr int kSelect = 1;
constexpr int kClock = 2;
constexpr int kDataIdle = 4;
// Status bit carrying the sensor's data, inverted.
constexpr uint16_t kStatusData = 0x40;

}  // namespace

void ParallelSpi::Write(int value) {
  io_.vbOut(static_cast<uint16_t>(config_.PortAddress), static_cast<uint16_t>(value));
  DelayMs(0);
}

void ParallelSpi::ParallelWriteWord(int32_t word) {
  if (config_.InterfaceType != interface_type::kParallelPort) return;
  Write(kDataIdle);
  Write(kDataIdle | kSelect);
  for (int i = 15; i >= 0; --i) {
    const int d = ((word >> i) & 1) != 0 ? 0 : kDataIdle;
    Write(kDataIdle | kClock | kSelect);
    Write(d | kClock | kSelect);
    Write(d | kSelect);
    Write(kDataIdle | kSelect);
  }
  io_.vbOut(static_cast<uint16_t>(config_.PortAddress), 0);
  DelayMs(0.1f);
}

int32_t ParallelSpi::ParallelReadWord(int16_t address) {
  if (config_.InterfaceType != interface_type::kParallelPort) return 0;
  address &= 0x7F;
  ParallelWriteWord(address * 256);

  const auto status = static_cast<uint16_t>(static_cast<uint16_t>(config_.PortAddress) + 1);
  Write(kDataIdle);
  Write(kDataIdle | kSelect);
  int32_t acc = 0;
  for (int i = 15; i >= 0; --i) {
    // The data line stays idle, so the sensor is sent zeros while it answers.
    Write(kDataIdle | kClock | kSelect);
    if ((io_.vbInp(status) & kStatusData) == 0) acc += 1 << i;
    Write(kDataIdle | kSelect);
  }
  io_.vbOut(static_cast<uint16_t>(config_.PortAddress), 0);
  DelayMs(0.1f);
  return acc;
}

void ParallelSpi::ParallelPortInit() {
  if (config_.InterfaceType != interface_type::kParallelPort) return;
  const auto base = static_cast<uint16_t>(config_.PortAddress);
  io_.vbOut(static_cast<uint16_t>(base + 1), 0x40);
  DelayMs(0.1f);
  io_.vbOut(base, 0);
}

}  // namespace velk
