#include "noise/AdevCorrelation.h"

namespace velk::noise {

// Until the table is made, each octave is taken alone.
double OctaveCorrelation(int, int64_t mSmall, int64_t mLarge, int64_t, bool) {
  return mSmall == mLarge ? 1.0 : 0.0;
}

}  // namespace velk::noise
