#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace velk {

// The bias behaviour the characterisation tests measure, with known values: a bias drawn
// afresh at each wake, a tempco with hysteresis by ramp direction, the die's lag behind the
// ambient, the temperature's count and the self-test response.
struct SimCharacter {
  double wake = 0.05;       // deg/s, rms of the bias drawn at each wake
  double b1 = 0.01;         // deg/s/degC
  double b2 = 0.0;          // deg/s/degC^2
  double hyst = 0.02;       // deg/s, the bias after warming less after cooling
  double lag = 60.0;        // s, the die (which Temp_Out reads) behind the ambient
  double tempLsb = 0.1453;  // degC per Temp_Out count
  double st = 32.0;         // deg/s, the self-test response
  uint64_t seed = 1;

  // Comma-separated key=value pairs of the keys above ("temp_lsb" for tempLsb), each optional;
  // nothing for a blank value, else the line saying what is wrong and the fix.
  static Result<std::optional<SimCharacter>, std::string> Parse(std::string_view text);
  // What --help lists.
  static constexpr std::string_view kHelp =
      "VELK47120_SIM_CHARACTER=key=value,... with wake (deg/s rms per wake, 0.05), b1 "
      "(deg/s/degC, 0.01), b2 (deg/s/degC^2, 0), hyst (deg/s, 0.02), lag (s, 60), temp_lsb "
      "(degC, 0.1453), st (deg/s, 32), seed (1)";

  // The bias offset drawn at wake number `wake` (0 at power-up): normal, rms `wake`, from the
  // seed and the number alone.
  double WakeOffset(uint64_t wakeNumber) const;
  // The bias at ambient `degrees` with the last ramp's direction (+1 up, -1 down, 0 none):
  // b1 dT + b2 dT^2 +- hyst / 2, dT from 25 degC. The rate element follows the ambient; the
  // die's sensor runs `lag` behind, so a ramp shows the lag as an offset.
  double TempBias(double degrees, int direction) const;
  // The temperature Temp_Out shows: to the count.
  double Reading(double degrees) const;
};

}  // namespace velk
