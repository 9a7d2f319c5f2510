#include "measure/OutputCycle.h"

#include "core/NumberText.h"
#include "registers/Spi47120.h"

namespace velk {

const std::array<OutputRegister, kOutputCount> kOutputRegisters = {{
    {slot::Supply_Out, "Supply", "V", 3},
    {slot::Gyro_Out, "Gyro", "Dgr/S", 2},
    {slot::Aux_Adc, "ADC In", "V", 3},
    {slot::Temp_Out, "Temp", "dgrC", 2},
    {slot::Angle_Out, "Angle", "dgr", 2},
}};

OutputScale DescribeOutput(const Reg47120& table, int output) {
  const OutputRegister& r = kOutputRegisters[output];
  return {&r, table.RegScale[r.slot], table.RegOffset[r.slot]};
}

std::string ShownText(const OutputValue& v) {
  return FormatFixed(v.value, v.decimals);
}

int32_t RawWord(const Spi47120& spi) {
  return (spi.RegHighByte & 0xFF) << 8 | (spi.RegLowByte & 0xFF);
}

OutputCycle ReadOutputs(Spi47120& spi) {
  OutputCycle cycle;
  for (int i = 0; i < kOutputCount; ++i) {
    const OutputRegister& what = kOutputRegisters[i];
    const RegisterReading r = spi.ReadRegister(what.slot);
    OutputValue& out = cycle.outputs[i];
    out.word = r.word;
    out.code = r.field;
    out.value = r.value;
    out.lsb = r.scale;
    out.offset = r.offset;
    out.unit = what.unit;
    out.decimals = what.decimals;
    out.newData = r.newData;
    out.errorAlarm = r.errorAlarm;
    cycle.newSeen = cycle.newSeen || out.newData;
    cycle.alarmSeen = cycle.alarmSeen || out.errorAlarm;
  }
  cycle.rowNew = cycle.outputs[output::Angle].newData;
  cycle.rowError = cycle.outputs[output::Angle].errorAlarm;
  return cycle;
}

int32_t ReadStatus(Spi47120& spi) {
  return spi.ReadRegister(slot::Status).field;
}

}  // namespace velk
