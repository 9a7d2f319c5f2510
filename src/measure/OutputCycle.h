#pragma once

#include <array>
#include <cstdint>

namespace velk {

class Spi47120;

// One of the five output registers, in the order a cycle reads them.
struct OutputRegister {
  int16_t slot;
  const char* caption;
  const char* unit;
};

inline constexpr int kOutputCount = 5;
extern const std::array<OutputRegister, kOutputCount> kOutputRegisters;

struct OutputValue {
  float value = 0.0f;  // engineering units
  int32_t word = 0;    // the raw 16-bit word it came from
  bool newData = false;
  bool errorAlarm = false;
};

// One reading of the five outputs: Supply_Out, Gyro_Out, Aux_Adc, Temp_Out, Angle_Out.
struct OutputCycle {
  std::array<OutputValue, kOutputCount> outputs{};
  bool newSeen = false;    // any output flagged new data
  bool alarmSeen = false;  // any output flagged an error or alarm
  // The flags a datalog row records: those of the last flagged read, Angle_Out.
  bool rowNew = false;
  bool rowError = false;
};

// The raw 16-bit word of the last read.
int32_t RawWord(const Spi47120& spi);
// Reads the five outputs once, each through the register protocol.
OutputCycle ReadOutputs(Spi47120& spi);
// Reads Status; reading it clears the chip's latched flags.
int32_t ReadStatus(Spi47120& spi);

}  // namespace velk
