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
  // The sensing element: the rate it senses is (1 + sf)(1 +- asym/2) w + k3 FS (w/FS)^3 (+
  // for w > 0), clipped at 1.1 FS, FS the range's nominal full scale.
  double sf = 0.002;    // 1, the scale-factor error
  double k3 = 0.001;    // 1, the cubic term at full scale, of full scale
  double asym = 0.001;  // 1, (K+ - K-) / K
  double gx = 0.01;     // deg/s/g along the board's X, Y and Z (Z the sensitive axis)
  double gy = -0.02;
  double gz = 0.005;
  double lat = 52.0;  // deg, the bench's latitude, for the Earth's rate
  uint64_t seed = 1;

  // Comma-separated key=value pairs of the keys above ("temp_lsb" for tempLsb), each optional;
  // nothing for a blank value, else the line saying what is wrong and the fix.
  static Result<std::optional<SimCharacter>, std::string> Parse(std::string_view text);
  // What --help lists.
  static constexpr std::string_view kHelp =
      "VELK47120_SIM_CHARACTER=key=value,... with wake (deg/s rms per wake, 0.05), b1 "
      "(deg/s/degC, 0.01), b2 (deg/s/degC^2, 0), hyst (deg/s, 0.02), lag (s, 60), temp_lsb "
      "(degC, 0.1453), st (deg/s, 32), sf (0.002), k3 (0.001), asym (0.001), gx (deg/s/g, "
      "0.01), gy (-0.02), gz (0.005), lat (deg, 52), seed (1)";

  // The element clips here, of the nominal full scale.
  static constexpr double kClip = 1.1;
  // The Earth's rate, deg/s.
  static constexpr double kEarthRate = 15.041067 / 3600.0;

  // The bias offset drawn at wake number `wake` (0 at power-up): normal, rms `wake`, from the
  // seed and the number alone.
  double WakeOffset(uint64_t wakeNumber) const;
  // The bias at ambient `degrees` with the last ramp's direction (+1 up, -1 down, 0 none):
  // b1 dT + b2 dT^2 +- hyst / 2, dT from 25 degC. The rate element follows the ambient; the
  // die's sensor runs `lag` behind, so a ramp shows the lag as an offset.
  double TempBias(double degrees, int direction) const;
  // The temperature Temp_Out shows: to the count.
  double Reading(double degrees) const;
  // The rate the element senses of a true rate `w` on a range of nominal full scale
  // `fullScale`, before bias: the scale-factor error, asymmetry and cubic term, clipped.
  double Element(double w, double fullScale) const;
  // The rate gravity adds, `up` the unit vector of "up" in the board's axes (in g).
  double Gravity(double upX, double upY, double upZ) const;
};

}  // namespace velk
