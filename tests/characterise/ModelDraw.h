#pragma once

#include <optional>
#include <string>
#include <vector>

#include "characterise/Repeatability.h"
#include "characterise/Tempco.h"
#include "sim/SimCharacter.h"
#include "sim/SimTempPath.h"

namespace velk::characterise {

// Records drawn straight from the simulator's model (not through SPI): the character's bias
// plus a noise profile's rate noise ("" for none: the noise-free output along the same path).
struct RepeatPlan {
  int cycles = 12;
  double tau0 = 0.05;
  double offS = 30.0;
  double settleS = 10.0;
  double averageS = 60.0;
  bool selfTest = false;
};

struct RepeatDraw {
  RepeatabilityInput input;
  std::vector<double> offsets;  // the wake offsets drawn, deg/s
};

RepeatDraw DrawRepeatability(const SimCharacter& character, const SimTempPath& path,
                             const std::string& noise, uint64_t noiseSeed, const RepeatPlan& plan);

// The rate every tau0 and Temp_Out every second along the path.
TempcoInput DrawTempco(const SimCharacter& character, const SimTempPath& path,
                       const std::string& noise, uint64_t noiseSeed, double tau0);

// A figure's value, interval ends and whether it has one.
struct Span {
  bool valued = false;
  double value = 0.0, lo = 0.0, hi = 0.0;
};
Span Of(const Characterisation& doc, const std::string& name);

}  // namespace velk::characterise
