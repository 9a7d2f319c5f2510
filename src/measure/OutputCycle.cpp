#include "measure/OutputCycle.h"

#include "registers/Spi47120.h"

namespace velk {

const std::array<OutputRegister, kOutputCount> kOutputRegisters = {{
    {slot::Supply_Out, "Supply", "V"},
    {slot::Gyro_Out, "Gyro", "Dgr/S"},
    {slot::Aux_Adc, "ADC In", "V"},
    {slot::Temp_Out, "Temp", "dgrC"},
    {slot::Angle_Out, "Angle", "dgr"},
}};

int32_t RawWord(const Spi47120& spi) {
  return (spi.RegHighByte & 0xFF) << 8 | (spi.RegLowByte & 0xFF);
}

OutputCycle ReadOutputs(Spi47120& spi) {
  OutputCycle cycle;
  for (int i = 0; i < kOutputCount; ++i) {
    spi.ReadRegister(kOutputRegisters[i].slot);
    OutputValue& out = cycle.outputs[i];
    out.value = spi.RegValue;
    out.word = RawWord(spi);
    out.newData = spi.NewDataBit > 0;
    out.errorAlarm = spi.ErrorAlarmBit > 0;
    cycle.newSeen = cycle.newSeen || out.newData;
    cycle.alarmSeen = cycle.alarmSeen || out.errorAlarm;
  }
  cycle.rowNew = spi.NewDataBit > 0;
  cycle.rowError = spi.ErrorAlarmBit > 0;
  return cycle;
}

int32_t ReadStatus(Spi47120& spi) {
  spi.ReadRegister(slot::Status);
  return spi.RegData;
}

}  // namespace velk
