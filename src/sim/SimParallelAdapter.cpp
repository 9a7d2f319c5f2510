#include "sim/SimParallelAdapter.h"

namespace velk {

namespace {

constexpr uint8_t kSelect = 0x01;
constexpr uint8_t kClock = 0x02;
constexpr uint8_t kDataInverted = 0x04;
constexpr uint16_t kAnswerInverted = 0x40;  // status bit 6

}  // namespace

void SimParallelAdapter::vbOut(uint16_t port, uint16_t value) {
  if (port != base_) return;
  uint8_t before = data_;
  data_ = static_cast<uint8_t>(value & 0xFF);
  bool selectRose = !(before & kSelect) && (data_ & kSelect);
  bool selectFell = (before & kSelect) && !(data_ & kSelect);
  bool clockFell = (before & kClock) && !(data_ & kClock);

  if (selectRose) {
    inFrame_ = true;
    bits_ = 0;
    in_ = 0;
    out_ = sensor_.OutputWord();
    return;
  }
  if (!inFrame_) return;
  if (selectFell) {
    inFrame_ = false;
    if (bits_ == 16)
      sensor_.Receive(in_);
    else
      sensor_.AbortedFrame();
    return;
  }
  if (clockFell) {
    uint16_t bit = (data_ & kDataInverted) ? 0 : 1;
    in_ = static_cast<uint16_t>(in_ << 1 | bit);
    ++bits_;
  }
}

uint16_t SimParallelAdapter::vbInp(uint16_t port) {
  if (port == base_) return data_;
  if (port != base_ + 1) return 0xFF;
  // The answer bit on show: bit 15 first, the next one after each falling clock edge.
  bool one = inFrame_ && bits_ < 16 && ((out_ >> (15 - bits_)) & 1);
  return one ? 0xFF & ~kAnswerInverted : 0xFF;
}

}  // namespace velk
