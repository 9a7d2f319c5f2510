#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velk {

class Reg47120;
class Spi47120;

// Positions of the five outputs in a reading, in the order a cycle reads them.
namespace output {
inline constexpr int Supply = 0;
inline constexpr int Gyro = 1;
inline constexpr int Adc = 2;
inline constexpr int Temp = 3;
inline constexpr int Angle = 4;
}  // namespace output

// One of the five output registers, as every screen and file names and shows it.
struct OutputRegister {
  int16_t slot;
  const char* caption;
  const char* unit;
  int decimals;  // the window's boxes: "0.000" for supply and ADC, else "0.00"
};

inline constexpr int kOutputCount = 5;
extern const std::array<OutputRegister, kOutputCount> kOutputRegisters;

// How an output's code becomes its value as the table stands now: the factor a range sets
// for the rate is its slot's scale.
struct OutputScale {
  const OutputRegister* what = nullptr;
  float lsb = 0.0f;  // the value of one count
  float offset = 0.0f;
  float Value(int32_t code) const { return static_cast<float>(code) * lsb + offset; }
};
OutputScale DescribeOutput(const Reg47120& table, int output);

// One output as read: the word, its code and what it means.
struct OutputValue {
  int32_t word = 0;    // the raw 16-bit word
  int32_t code = 0;    // the decoded field
  float value = 0.0f;  // engineering units: code x lsb + offset
  float lsb = 0.0f;    // the value of one count the value was made with
  float offset = 0.0f;
  const char* unit = "";
  int decimals = 2;
  bool newData = false;
  bool errorAlarm = false;
};

// The value as the window's box shows it.
std::string ShownText(const OutputValue& v);

// One reading of the five outputs: Supply_Out, Gyro_Out, Aux_Adc, Temp_Out, Angle_Out.
struct OutputCycle {
  std::array<OutputValue, kOutputCount> outputs{};
  bool newSeen = false;    // any output flagged new data
  bool alarmSeen = false;  // any output flagged an error or alarm
  // The flags a datalog row records: those of the last flagged read, Angle_Out.
  bool rowNew = false;
  bool rowError = false;

  const OutputValue& operator[](int output) const { return outputs[output]; }
  // The rate factor the reading was made with (slot 3's scale at the time).
  float GyroFactor() const { return outputs[output::Gyro].lsb; }
};

// The raw 16-bit word of the last read.
int32_t RawWord(const Spi47120& spi);
// Reads the five outputs once, each through the register protocol.
OutputCycle ReadOutputs(Spi47120& spi);
// Reads Status; reading it clears the chip's latched flags.
int32_t ReadStatus(Spi47120& spi);

}  // namespace velk
