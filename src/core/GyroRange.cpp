#include "core/GyroRange.h"

namespace velk {

namespace {

constexpr RangeRow kRanges[] = {
    {0x100, 0.018318814697265626, 80, 20, 4},
    {0x200, 0.03663762939453125, 160, 40, 2},
    {0x400, 0.0732752587890625, 320, 80, 0},
};

}  // namespace

const RangeRow& RangeAt(int position) {
  return position == 0 || position == 1 ? kRanges[position] : kRanges[2];
}

int RangePosition(int32_t rangeBits) {
  const int32_t bits = rangeBits & 0x700;
  return bits == 0x100 ? 0 : bits == 0x200 ? 1 : 2;
}

int32_t ModelDivisor(int32_t model) {
  return model == 47121 ? 4 : 1;
}

double GyroLsb(int32_t sensAvg, int32_t model) {
  return static_cast<float>(RangeAt(RangePosition(sensAvg)).factor / ModelDivisor(model));
}

}  // namespace velk
