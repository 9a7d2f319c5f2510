#include "sim/SimRateProfile.h"

#include <algorithm>
#include <cmath>

namespace velk {

namespace {

bool Constant(const SimRateProfile::Piece& p) {
  return p.c[1] == 0.0 && p.c[2] == 0.0 && p.c[3] == 0.0 && p.c[4] == 0.0;
}

}  // namespace

double SimRateProfile::Piece::At(double t) const {
  const double u = t - start;
  return c[0] + u * (c[1] + u * (c[2] + u * (c[3] + u * c[4])));
}

double SimRateProfile::Piece::Integral(double from, double to) const {
  const auto antiderivative = [this](double u) {
    return u * (c[0] + u * (c[1] / 2 + u * (c[2] / 3 + u * (c[3] / 4 + u * c[4] / 5))));
  };
  return antiderivative(to - start) - antiderivative(from - start);
}

const SimRateProfile::Piece* SimRateProfile::PieceAt(double t) const {
  if (pieces_.empty() || t < pieces_.front().start) return nullptr;
  auto after = std::upper_bound(pieces_.begin(), pieces_.end(), t,
                                [](double x, const Piece& p) { return x < p.start; });
  return &*(after - 1);
}

double SimRateProfile::Rate(double t) const {
  const Piece* p = PieceAt(t);
  if (p == nullptr) return hold_;
  return t < p->end ? p->At(t) : tail_;
}

namespace {

// Visits [t0, t1) span by span: a piece's stretch, or a held rate (piece null). The pieces
// lie end to end.
template <class F>
void ForSpans(const std::vector<SimRateProfile::Piece>& pieces, double hold, double tail, double t0,
              double t1, F visit) {
  double at = t0;
  if (pieces.empty() || at < pieces.front().start) {
    const double b = pieces.empty() ? t1 : std::min(t1, pieces.front().start);
    if (b > at) visit(at, b, nullptr, hold);
    at = b;
  }
  auto i = std::partition_point(pieces.begin(), pieces.end(),
                                [at](const SimRateProfile::Piece& p) { return p.end <= at; });
  for (; at < t1 && i != pieces.end(); ++i) {
    const double b = std::min(t1, i->end);
    if (b > at) visit(at, b, &*i, 0.0);
    at = b;
  }
  if (at < t1) visit(at, t1, nullptr, tail);
}

}  // namespace

double SimRateProfile::Integral(double t0, double t1) const {
  if (t1 < t0) return -Integral(t1, t0);
  double sum = 0.0;
  ForSpans(pieces_, hold_, tail_, t0, t1, [&](double a, double b, const Piece* p, double held) {
    sum += p != nullptr ? p->Integral(a, b) : held * (b - a);
  });
  return sum;
}

double SimRateProfile::ElementIntegral(const SimCharacter& c, double fullScale, double t0,
                                       double t1) const {
  if (t1 < t0) return -ElementIntegral(c, fullScale, t1, t0);
  const double clip = SimCharacter::kClip * fullScale;
  double sum = 0.0;
  ForSpans(pieces_, hold_, tail_, t0, t1, [&](double a, double b, const Piece* p, double held) {
    if (p == nullptr || Constant(*p)) {
      sum += c.Element(p != nullptr ? p->c[0] : held, fullScale) * (b - a);
      return;
    }
    const auto sensed = [&](double t) { return c.Element(p->At(t), fullScale); };
    // Between the rate's sign changes and the element's clip edges the sensed rate is a
    // polynomial of degree 12 at most, which Gauss7 integrates exactly.
    const auto state = [&](double t) {
      const double s = sensed(t);
      return (p->At(t) > 0.0 ? 1 : 0) | (s >= clip ? 2 : 0) | (s <= -clip ? 4 : 0);
    };
    const bool straight = p->c[2] == 0.0 && p->c[3] == 0.0 && p->c[4] == 0.0;
    const int steps = straight ? 1 : 64;  // a stroke rises and falls: look inside it
    double from = a, left = a;
    for (int k = 1; k <= steps; ++k) {
      const double to = k == steps ? b : a + (b - a) * k / steps;
      for (int edges = 0; edges < 6 && state(left) != state(to); ++edges) {
        double lo = left, hi = to;
        const int s = state(lo);
        for (int i = 0; i < 200; ++i) {
          const double mid = (lo + hi) / 2.0;
          if (mid <= lo || mid >= hi) break;
          (state(mid) == s ? lo : hi) = mid;
        }
        sum += Gauss7(sensed, from, hi);
        from = left = hi;
      }
      left = to;
    }
    sum += Gauss7(sensed, from, b);
  });
  return sum;
}

bool SimRateProfile::Steady(double t0, double t1) const {
  bool steady = true;
  const double value = Rate(t0);
  ForSpans(pieces_, hold_, tail_, t0, t1, [&](double, double, const Piece* p, double held) {
    steady = steady && (p != nullptr ? Constant(*p) && p->c[0] == value : held == value);
  });
  return steady;
}

void SimRateProfile::Cut(double t) {
  const double value = Rate(t);
  while (!pieces_.empty() && pieces_.back().start >= t) pieces_.pop_back();
  if (pieces_.empty())
    hold_ = value;
  else
    pieces_.back().end = std::min(pieces_.back().end, t);
  tail_ = value;
}

double SimRateProfile::Append(double from, double seconds, std::array<double, 5> c, double end) {
  const double start = std::max(from, End());
  if (!pieces_.empty() && start > End()) pieces_.push_back(Piece{End(), start, {tail_}});
  if (pieces_.empty()) hold_ = tail_;
  if (seconds > 0.0) pieces_.push_back(Piece{start, start + seconds, c});
  tail_ = end;
  return start + seconds;
}

double SimRateProfile::RampTo(double from, double rate, double acceleration) {
  const double seconds = std::fabs(rate - tail_) / acceleration;
  return Append(from, seconds, {tail_, rate > tail_ ? acceleration : -acceleration}, rate);
}

double SimRateProfile::Hold(double from, double seconds) {
  return Append(from, seconds, {tail_}, tail_);
}

double SimRateProfile::Stroke(double from, double angle, double seconds) {
  const double t = seconds, t3 = t * t * t;
  return Append(
      from, seconds,
      {tail_, 0.0, 30.0 * angle / t3, -60.0 * angle / (t3 * t), 30.0 * angle / (t3 * t * t)},
      tail_);
}

}  // namespace velk
