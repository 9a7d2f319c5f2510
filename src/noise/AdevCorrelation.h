#pragma once

#include <cstdint>

namespace velk::noise {

// The correlation between the Allan variance estimates at two octave factors of one record,
// for power-law noise alpha (+2 white phase, 0 white rate, -1 flicker rate, -2 random-walk
// rate; -2 stands in for the rate ramp too). mSmall < mLarge, both powers of two; `samples` is
// the segment's length in samples. Tabulated once by simulation (scripts/adev_correlation);
// 1 when mSmall == mLarge.
double OctaveCorrelation(int alpha, int64_t mSmall, int64_t mLarge, int64_t samples,
                         bool overlapping);

}  // namespace velk::noise
