#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "characterise/Characterisation.h"
#include "core/Result.h"

namespace velk::characterise {

// Angle_Out as read while the board was still, at a host time.
struct AngleReading {
  double time = 0.0;     // s, on the samples' host clock
  double degrees = 0.0;  // as the register shows it, wrapping at kAngleWrap
};

// One hand turn between hard stops: every sample the acquisition took, by its number.
struct TurnRecord {
  std::vector<int64_t> number;  // the chip's sample numbers, ascending; a gap is lost samples
  std::vector<double> time;     // s, when the host read each
  std::vector<double> rate;     // deg/s
  std::optional<AngleReading> angleBefore, angleAfter;
};

struct TurnInput {
  std::vector<TurnRecord> turns;  // one, or a clockwise and a counter-clockwise turn
  int turnsN = 1;                 // full turns between the stops
  double lsb = 0.0;               // deg/s per Gyro_Out count
  // Where the output stops following the rate, deg/s: the lower of the code limit and the
  // element's headroom over the nominal full scale.
  double limit = 0.0;
  double nominalPeriod = 0.0;  // s, the chip's nominal sample period
  double stopError = 0.3;      // deg, rms of where the board comes to rest against a stop
  std::optional<double> arw;   // deg/sqrt(s); measured on the still windows when not given
};

inline constexpr double kAngleWrap = 360.0;
inline constexpr double kAngleLsb = 0.03663;  // deg per Angle_Out count
// The still windows each side of the turn, at least (s), and the guard left between each and
// the motion so a slow start stays out of the bias.
inline constexpr double kStillLeast = 3.0;
inline constexpr double kStillGuard = 0.5;
// A sample within this share of the limit may be clipped.
inline constexpr double kClipShare = 0.98;

// What one turn gave, for the document and the tests.
struct TurnResult {
  double angle = 0.0;                          // deg, bias removed
  double span = 0.0;                           // s integrated over
  double period = 0.0;                         // s, from the host times
  double biasBefore = 0.0, biasAfter = 0.0;    // deg/s
  double stillBefore = 0.0, stillAfter = 0.0;  // s
  double arw = 0.0;                            // deg/sqrt(s)
  int64_t lost = 0;
  // The budget, each a standard deviation of the angle (deg).
  double white = 0.0, bias = 0.0, stop = 0.0, periodTerm = 0.0, quantisation = 0.0;
  double Se() const;
  std::optional<double> angleOut;  // deg, Angle_Out's turn, when both readings were given
  double angleSpan = 0.0;          // s between the readings
};

struct Turn {
  Characterisation doc;
  std::vector<TurnResult> turns;
};

// relative_scale_factor = |angle| / (N x 360) with its 95 % interval from the budget; both
// directions averaged when both are given. Refused, with the line saying why and the fix, for
// a clipped sample, still windows shorter than kStillLeast, no turn or a turn of the wrong
// count.
Result<Turn, std::string> AnalyseTurn(const TurnInput& input);

}  // namespace velk::characterise
