#pragma once

#include <optional>
#include <string>
#include <vector>

#include "characterise/Repeatability.h"
#include "characterise/Tempco.h"
#include "sim/SimCharacter.h"
#include "sim/SimMotionScript.h"
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

// A record along a rig's path, drawn as the simulated sensor reports it with a character
// (+Z up unless the fixture moves it, power-up bias, 25 degC): the element's reading of the
// true rate, gravity, the Earth's rate, the bias and the noise. `rate` is in deg/s, on
// Gyro_Out's count when `count` (deg/s per count) is given.
struct ModelRecord {
  std::vector<double> time;  // s from the start, every tau0
  std::vector<double> rate;
};

// A rate table's plateau: the rate held from `from` to `to`, after its ramp.
struct TablePlateau {
  double rate = 0.0;
  double from = 0.0, to = 0.0;
};
struct ScaleDraw {
  ModelRecord record;
  std::vector<TablePlateau> plateaus;
};
// The table from rest: each rate reached at kTableAcceleration and held `dwell` seconds,
// then back to rest (as VELK47120_SIM_TABLE plays it).
ScaleDraw DrawScale(const SimCharacter& character, const std::vector<double>& rates, double dwell,
                    double fullScale, const std::string& noise, uint64_t noiseSeed, double tau0,
                    double count = 0.0);

// A hand turn (as VELK47120_SIM_TURN plays it from the start), then `after` seconds still.
ModelRecord DrawTurn(const SimCharacter& character, const SimTurn& turn, double after,
                     double fullScale, const std::string& noise, uint64_t noiseSeed, double tau0,
                     double count = 0.0);

// The tumble fixture from +Z up through `positions` (0..5: +X -X +Y -Y +Z -Z up), each held
// `settleS` after its move and then averaged `averageS`.
struct TumbleWindow {
  int position = 0;
  double from = 0.0;            // s, the window's start
  std::vector<double> samples;  // deg/s, every tau0
  double mean = 0.0;
  double truth = 0.0;  // the noise-free mean: bias + gravity + the Earth's rate
};
inline const std::vector<int> kTumbleOrder = {0, 1, 2, 3, 4, 5, 5, 4, 3, 2, 1, 0};
std::vector<TumbleWindow> DrawTumble(const SimCharacter& character,
                                     const std::vector<int>& positions, double settleS,
                                     double averageS, const std::string& noise, uint64_t noiseSeed,
                                     double tau0);

// A figure's value, interval ends and whether it has one.
struct Span {
  bool valued = false;
  double value = 0.0, lo = 0.0, hi = 0.0;
};
Span Of(const Characterisation& doc, const std::string& name);

}  // namespace velk::characterise
