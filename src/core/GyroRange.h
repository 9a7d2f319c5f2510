#pragma once

#include <cstdint>

namespace velk {

// One measurement range, selected by bits 10..8 of Sens_Avg. The factor, full scale and
// label step are the 47120's; the 47121 divides each by 4.
struct RangeRow {
  int32_t bits;
  double factor;  // degrees per second per Gyro_Out count
  int32_t fullScale;
  int32_t step;
  int32_t maxAvgCnt;  // the deepest averaging the range allows
};

// Positions 0 and 1 are the two finer ranges; every other position is the widest.
const RangeRow& RangeAt(int position);
// The position of the range bits as read from the chip; no range set counts as the widest.
int RangePosition(int32_t rangeBits);
// 4 for the 47121, else 1.
int32_t ModelDivisor(int32_t model);
// The value of one Gyro_Out count in degrees per second, as the conversion makes it: the
// register table keeps the factor in single precision.
double GyroLsb(int32_t sensAvg, int32_t model);

}  // namespace velk
