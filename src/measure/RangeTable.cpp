#include "measure/RangeTable.h"

#include "registers/Reg47120.h"

namespace velk {

const RangeRow& ApplyRange(Reg47120& table, int position, int32_t model) {
  const RangeRow& row = RangeAt(position);
  table.RegScale[slot::Gyro_Out] = static_cast<float>(GyroLsb(row.bits, model));
  return row;
}

}  // namespace velk
