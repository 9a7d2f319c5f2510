#include "sim/SimFixture.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sim/SimRateProfile.h"

namespace velk {

namespace {

constexpr double kRadian = std::numbers::pi / 180.0;

SimVector Cross(const SimVector& a, const SimVector& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The minimum-jerk angle turned at fraction x of a move.
double Turned(double angle, double x) {
  x = std::clamp(x, 0.0, 1.0);
  return angle * x * x * x * (10.0 + x * (-15.0 + 6.0 * x));
}

// Up in the board's axes after the board turned `degrees` about `axis`: up turns back.
SimVector Turn(const SimVector& up, const SimVector& axis, double degrees) {
  const double c = std::cos(-degrees * kRadian), s = std::sin(-degrees * kRadian);
  const SimVector k = Cross(axis, up);
  const double along = axis[0] * up[0] + axis[1] * up[1] + axis[2] * up[2];
  SimVector v{};
  for (int i = 0; i < 3; ++i) v[i] = up[i] * c + k[i] * s + axis[i] * along * (1.0 - c);
  return v;
}

}  // namespace

double StillTerm(const SimCharacter& c, const SimVector& up) {
  const double lat = c.lat * kRadian;
  const double horizontal = std::sqrt(std::max(0.0, 1.0 - up[2] * up[2]));
  return c.Gravity(up[0], up[1], up[2]) +
         SimCharacter::kEarthRate * (std::sin(lat) * up[2] + std::cos(lat) * horizontal);
}

SimVector SimFixture::Up(int position) {
  SimVector up{};
  up[std::clamp(position, 0, 5) / 2] = position % 2 == 0 ? 1.0 : -1.0;
  return up;
}

SimVector SimFixture::UpAt(double t) const {
  auto after = std::upper_bound(moves_.begin(), moves_.end(), t,
                                [](double x, const Move& m) { return x < m.start; });
  if (after == moves_.begin()) return Up(4);
  const Move& m = *(after - 1);
  return Turn(m.from, m.axis, Turned(m.angle, (t - m.start) / m.seconds));
}

std::optional<SimFixture::Move> SimFixture::MoveTo(double now, int position) {
  if (position == position_) return std::nullopt;
  const SimVector from = Up(position_), to = Up(position);
  Move m;
  m.start = moves_.empty() ? now : std::max(now, moves_.back().start + moves_.back().seconds);
  m.from = from;
  if (position / 2 == position_ / 2) {
    m.axis = position / 2 == 2 ? SimVector{1, 0, 0} : SimVector{0, 0, 1};
    m.angle = 180.0;
  } else {
    m.axis = Cross(to, from);
    m.angle = 90.0;
  }
  m.seconds = StrokeSeconds(m.angle, kFixtureRate);
  moves_.push_back(m);
  position_ = position;
  return m;
}

bool SimFixture::Moving(double t0, double t1) const {
  for (const Move& m : moves_)
    if (m.start < t1 && m.start + m.seconds > t0) return true;
  return false;
}

double SimFixture::Term(const SimCharacter& c, double t) const {
  return StillTerm(c, UpAt(t));
}

double SimFixture::TermIntegral(const SimCharacter& c, double t0, double t1) const {
  if (t1 < t0) return -TermIntegral(c, t1, t0);
  // Still stretches are exact; a move's turn is smooth, and quarter-second Gauss steps hold
  // it far below a count.
  double sum = 0.0, at = t0;
  const auto term = [&](double t) { return Term(c, t); };
  for (const Move& m : moves_) {
    const double end = m.start + m.seconds;
    if (end <= at || m.start >= t1) continue;
    if (m.start > at) {
      sum += Term(c, at) * (m.start - at);
      at = m.start;
    }
    const double stop = std::min(end, t1);
    const int steps = std::max(1, static_cast<int>(std::ceil((stop - at) / 0.25)));
    for (int k = 0; k < steps; ++k)
      sum += Gauss7(term, at + (stop - at) * k / steps, at + (stop - at) * (k + 1) / steps);
    at = stop;
  }
  if (at < t1) sum += Term(c, at) * (t1 - at);
  return sum;
}

}  // namespace velk
