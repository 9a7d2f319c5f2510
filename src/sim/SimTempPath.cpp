#include "sim/SimTempPath.h"

#include <algorithm>
#include <cmath>

#include "core/EchoText.h"
#include "sim/SimNumber.h"

namespace velk {

namespace {

constexpr double kDefaultSoak = 600.0;

}  // namespace

SimTempPath::SimTempPath(double degrees) : knots_{{0.0, degrees}} {}

Result<std::optional<SimTempPath>, std::string> SimTempPath::Parse(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::optional<SimTempPath>();
  const auto refuse = [&](const std::string& why) {
    return Unexpected("VELK47120_SIM_TEMP=\"" + Escaped(text) + "\": " + why +
                      "; the temperature drifts as without it. Give ramp:FROM..TO@RATE[,soak=S] "
                      "in degC, degC/min and s, e.g. ramp:-10..60@1,soak=900.");
  };
  std::string_view rest = text.substr(first);
  if (rest.substr(0, 5) != "ramp:") return refuse("it does not start with ramp:");
  rest.remove_prefix(5);
  std::optional<double> soak = kDefaultSoak;
  if (const size_t comma = rest.find(','); comma != std::string_view::npos) {
    std::string_view option = rest.substr(comma + 1);
    rest = rest.substr(0, comma);
    while (!option.empty() && option.front() == ' ') option.remove_prefix(1);
    if (option.substr(0, 5) != "soak=") return refuse("only soak=S may follow the rate");
    soak = SimNumber(option.substr(5));
    if (!soak || *soak < 0) return refuse("soak needs seconds of 0 or more");
  }
  const size_t dots = rest.find("..", 1);  // from 1: FROM may be negative
  const size_t at = rest.find('@');
  if (dots == std::string_view::npos || at == std::string_view::npos || at < dots)
    return refuse("the ramp needs FROM..TO@RATE");
  const std::optional<double> from = SimNumber(rest.substr(0, dots));
  const std::optional<double> to = SimNumber(rest.substr(dots + 2, at - dots - 2));
  const std::optional<double> rate = SimNumber(rest.substr(at + 1));
  if (!from || !to) return refuse("FROM and TO need temperatures in degC");
  if (*from == *to) return refuse("FROM and TO are the same temperature");
  if (!rate || *rate <= 0) return refuse("RATE needs degC/min above 0");
  SimTempPath path(*from);
  path.Soak(*soak).RampTo(*to, *rate).Soak(*soak).RampTo(*from, *rate).Soak(*soak);
  return std::optional<SimTempPath>(path);
}

SimTempPath& SimTempPath::Soak(double seconds) {
  knots_.push_back({knots_.back().t + seconds, knots_.back().degrees});
  return *this;
}

SimTempPath& SimTempPath::RampTo(double degrees, double ratePerMinute) {
  const double seconds = std::abs(degrees - knots_.back().degrees) / ratePerMinute * 60.0;
  knots_.push_back({knots_.back().t + seconds, degrees});
  return *this;
}

std::vector<double> SimTempPath::KnotTimes() const {
  std::vector<double> times;
  times.reserve(knots_.size());
  for (const Knot& k : knots_) times.push_back(k.t);
  return times;
}

size_t SimTempPath::Piece(double t) const {
  const auto after = std::upper_bound(knots_.begin(), knots_.end(), t,
                                      [](double v, const Knot& k) { return v < k.t; });
  return after == knots_.begin() ? 0 : static_cast<size_t>(after - knots_.begin() - 1);
}

double SimTempPath::Ambient(double t) const {
  const size_t i = Piece(t);
  if (i + 1 >= knots_.size()) return knots_.back().degrees;
  const Knot& a = knots_[i];
  const Knot& b = knots_[i + 1];
  if (t <= a.t || b.t <= a.t) return a.degrees;
  return a.degrees + (b.degrees - a.degrees) * (t - a.t) / (b.t - a.t);
}

int SimTempPath::Direction(double t) const {
  for (size_t i = std::min(Piece(t), knots_.size() - 1) + 1; i-- > 0;) {
    if (i + 1 >= knots_.size() || knots_[i].t >= t) continue;
    const double change = knots_[i + 1].degrees - knots_[i].degrees;
    if (change != 0.0) return change > 0 ? 1 : -1;
  }
  return 0;
}

double SimTempPath::Die(double t, double lag) const {
  if (!(lag > 0.0)) return Ambient(t);
  // d' = (a - d) / lag over each straight piece of slope r:
  // d(t) = a(t) - r lag + (d0 - a0 + r lag) exp(-(t - t0) / lag).
  double die = knots_.front().degrees;
  for (size_t i = 0; i + 1 < knots_.size() && knots_[i].t < t; ++i) {
    const Knot& a = knots_[i];
    const Knot& b = knots_[i + 1];
    const double span = b.t - a.t;
    const double r = span > 0 ? (b.degrees - a.degrees) / span : 0.0;
    const double end = std::min(t, b.t);
    die = Ambient(end) - r * lag + (die - a.degrees + r * lag) * std::exp(-(end - a.t) / lag);
  }
  if (t > knots_.back().t)
    die = knots_.back().degrees +
          (die - knots_.back().degrees) * std::exp(-(t - std::max(knots_.back().t, 0.0)) / lag);
  return die;
}

}  // namespace velk
