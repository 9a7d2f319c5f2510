#pragma once

#include <cstdint>
#include <string>

#include "characterise/Tumble.h"
#include "characterise/Turn.h"
#include "sim/SimCharacter.h"

namespace velk::characterise {

// Hand turns and tumbles drawn straight from the simulator's model (not through SPI): the
// element's output plus gravity, the Earth's rate and a noise profile ("" for none).
struct TurnPlan {
  double tau0 = 0.01;
  double stillS = 5.0;  // before and after the motion
  double turnS = 4.0;   // the motion: a raised-cosine rate, N turns
  int turns = 1;
  int direction = 1;  // +1 counter-clockwise seen from +Z
  double fullScale = 320.0;
  double latency = 0.5e-3;   // the host reads each sample up to this late (uniform), s
  double clockShare = 1.0;   // the chip's true period over tau0
  double stopError = 0.0;    // rms of each rest against its stop, deg
  int lostEvery = 0;         // every this many samples one is lost (0: none)
  double angleOffset = 0.0;  // deg added to the Angle_Out reading after the turn
};

TurnRecord DrawHandTurn(const SimCharacter& character, const TurnPlan& plan,
                        const std::string& noise, uint64_t seed);

struct TumblePlan {
  double tau0 = 0.05;
  double settleS = 10.0;
  double averageS = 60.0;
  bool reverse = true;
  double heading = 30.0;  // deg, Z's heading while horizontal
  double drift = 0.0;     // deg/s per s, a steady bias drift
  int skip = -1;          // a position left out
  int moving = -1;        // a window (0..11) whose first 2 s still turn at 5 deg/s
};

TumbleInput DrawTumbleInput(const SimCharacter& character, const TumblePlan& plan,
                            const std::string& noise, uint64_t seed);

}  // namespace velk::characterise
