#pragma once

#include <array>
#include <vector>

#include "sim/SimCharacter.h"

namespace velk {

// The rate table's acceleration limit, deg/s^2.
inline constexpr double kTableAcceleration = 100.0;

// A rate about the sensitive axis as a pure function of time: polynomial pieces (plateaus,
// constant-acceleration ramps, minimum-jerk strokes) end to end, the rate held before the
// first and after the last. Integrals are exact, so an angle built from them keeps every
// commanded turn to the last bit.
class SimRateProfile {
 public:
  struct Piece {
    double start = 0.0;
    double end = 0.0;
    std::array<double, 5> c{};  // the rate is c0 + c1 u + ... + c4 u^4, u = t - start
    double At(double t) const;
    double Integral(double from, double to) const;
  };

  explicit SimRateProfile(double hold = 0.0) : hold_(hold), tail_(hold) {}

  double Rate(double t) const;
  // The angle turned from t0 to t1, degrees.
  double Integral(double t0, double t1) const;
  // The integral of what the character's element senses of the rate on a range of nominal
  // full scale `fullScale`: exact too, split where the rate changes sign or the element clips.
  double ElementIntegral(const SimCharacter& c, double fullScale, double t0, double t1) const;
  // Whether the rate holds one value from t0 to t1.
  bool Steady(double t0, double t1) const;
  // When the last piece ends: the rate holds from then on.
  double End() const { return pieces_.empty() ? -1e300 : pieces_.back().end; }

  // Forgets what would follow t: from t on, the rate holds the value it had there.
  void Cut(double t);
  // From `from` (or the end of the last piece, if later) the rate moves to `rate` at
  // `acceleration`; the time it gets there.
  double RampTo(double from, double rate, double acceleration);
  // The rate held `seconds` more from the end of the last piece (or `from`, if later).
  double Hold(double from, double seconds);
  // A minimum-jerk stroke of `angle` degrees over `seconds` added to the rate held, from
  // `from` (or the end): zero rate and acceleration at both ends, the peak 1.875 angle /
  // seconds at the middle, the angle exact. Returns when it ends.
  double Stroke(double from, double angle, double seconds);

  const std::vector<Piece>& Pieces() const { return pieces_; }

 private:
  const Piece* PieceAt(double t) const;
  // A piece of `seconds` with coefficients `c` from `from` or the end, the gap held; `end`
  // the rate after it. Returns when it ends.
  double Append(double from, double seconds, std::array<double, 5> c, double end);

  std::vector<Piece> pieces_;
  double hold_;  // before the first piece
  double tail_;  // after the last
};

// A minimum-jerk stroke's duration for its angle and peak rate.
inline double StrokeSeconds(double angle, double peakRate) {
  return 1.875 * (angle < 0 ? -angle : angle) / peakRate;
}

// Seven-point Gauss-Legendre over [a, b]: exact for polynomials up to degree 13.
template <class F>
double Gauss7(F f, double a, double b) {
  static constexpr std::array<double, 4> x = {0.0, 0.4058451513773971669, 0.7415311855993944399,
                                              0.9491079123427585245};
  static constexpr std::array<double, 4> w = {0.4179591836734693878, 0.3818300505051189450,
                                              0.2797053914892766679, 0.1294849661688696933};
  const double mid = (a + b) / 2.0, half = (b - a) / 2.0;
  double sum = w[0] * f(mid);
  for (int i = 1; i < 4; ++i) sum += w[i] * (f(mid - half * x[i]) + f(mid + half * x[i]));
  return sum * half;
}

}  // namespace velk
