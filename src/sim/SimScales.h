#pragma once

namespace velk {

// The sample period the chip runs at for a Smpl_Prd value, in seconds.
inline double SimSamplePeriod(int smplPrd) {
  return ((smplPrd & 0x7F) + 1) * (smplPrd < 128 ? 1.953e-3 : 60.54e-3);
}

// Degrees per second per Gyro_Out count for Sens_Avg's range bits (0x100, 0x200, else the
// widest) and the model: the chip's own values, finer than the program's single precision.
inline double SimGyroFactor(int rangeBits, int product) {
  double factor = rangeBits == 0x100   ? 0.018318814697265626
                  : rangeBits == 0x200 ? 0.03663762939453125
                                       : 0.0732752587890625;
  return product == 47121 ? factor / 4.0 : factor;
}

}  // namespace velk
