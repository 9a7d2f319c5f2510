#pragma once

#include <array>
#include <optional>
#include <vector>

#include "sim/SimCharacter.h"

namespace velk {

using SimVector = std::array<double, 3>;

// The tumble fixture: which of the board's axes points up, as a pure function of time.
// Positions 0..5 put +X, -X, +Y, -Y, +Z, -Z up. A move turns the board about one of its
// axes by a minimum-jerk profile peaking at kFixtureRate: to the opposite position 180
// degrees about Z (X and Y) or about X (Z); else 90 degrees about the axis the two share
// a right angle with. So moves among the X and Y positions turn about the sensitive axis,
// and it sees them, while the Z axis keeps its heading.
//
// The Earth's rate: the fixture holds the Z axis's horizontal part pointing north, so the
// sensitive axis sees kEarthRate (sin(lat) up_z + cos(lat) sqrt(1 - up_z^2)): with Z
// horizontal, the same in the four X and Y positions, which cancels in their differences;
// with Z vertical, +- sin(lat), counter-clockwise seen from above being positive.
class SimFixture {
 public:
  static constexpr double kFixtureRate = 60.0;  // deg/s, a move's peak

  struct Move {
    double start = 0.0;
    double seconds = 0.0;
    double angle = 0.0;  // degrees about `axis`, positive counter-clockwise
    SimVector axis{};    // a board axis
    SimVector from{};    // up before the move
  };

  // The unit vector of a position's up, in the board's axes.
  static SimVector Up(int position);

  // Up at time t (+Z before any move).
  SimVector UpAt(double t) const;
  // The move to `position` once the one under way ends (or from `now`); nullopt when the
  // board is already there or will be.
  std::optional<Move> MoveTo(double now, int position);
  // When the last move ends.
  double Settled() const {
    return moves_.empty() ? -1e300 : moves_.back().start + moves_.back().seconds;
  }
  // Whether up changes between t0 and t1.
  bool Moving(double t0, double t1) const;
  // What gravity and the Earth's rate add to the sensitive axis at t, and its integral.
  double Term(const SimCharacter& c, double t) const;
  double TermIntegral(const SimCharacter& c, double t0, double t1) const;

 private:
  std::vector<Move> moves_;
  int position_ = 4;  // where the last move leaves the board
};

// The sensitive axis's share of gravity and the Earth's rate with `up` pointing up.
double StillTerm(const SimCharacter& c, const SimVector& up);

}  // namespace velk
