#pragma once

#include <cstdint>

#include "core/GyroRange.h"

namespace velk {

class Reg47120;

// Stores the Gyro_Out factor of the range and model in the register table, so every later
// read of the rate converts with it.
const RangeRow& ApplyRange(Reg47120& table, int position, int32_t model);

}  // namespace velk
