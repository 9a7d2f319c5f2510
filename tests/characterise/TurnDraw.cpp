#include "characterise/TurnDraw.h"

#include <cmath>
#include <numbers>
#include <optional>
#include <random>

#include "sim/SimNoiseProfile.h"
#include "sim/SimSignals.h"
#include "sim/SplitMix.h"

namespace velk::characterise {

namespace {

std::optional<SimNoiseProfile> Profile(const std::string& noise, uint64_t seed, double tau0) {
  if (noise.empty()) return std::nullopt;
  auto profile = SimNoiseProfile::Parse(noise + ",seed=" + std::to_string(seed)).value();
  profile->SetPeriod(tau0);
  return profile;
}

double Uniform(uint64_t key) {
  return static_cast<double>(simmix::SplitMix(key) >> 11) * 0x1.0p-53;
}

}  // namespace

TurnRecord DrawHandTurn(const SimCharacter& c, const TurnPlan& plan, const std::string& noise,
                        uint64_t seed) {
  const double period = plan.tau0 * plan.clockShare;
  std::optional<SimNoiseProfile> profile = Profile(noise, seed, period);
  std::mt19937_64 stops(seed * 7919u + 17u);
  std::normal_distribution<double> stop(0.0, plan.stopError);
  const double start = plan.stopError > 0 ? stop(stops) : 0.0;
  const double end = plan.stopError > 0 ? stop(stops) : 0.0;
  const double angle = plan.direction * (plan.turns * 360.0) + end - start;
  const double peak = angle / plan.turnS;  // half the peak of the raised cosine
  const double still = kSimBias + c.Gravity(0, 0, 1) +
                       SimCharacter::kEarthRate * std::sin(c.lat * std::numbers::pi / 180.0);
  const auto total = static_cast<int64_t>((2 * plan.stillS + plan.turnS) / period);
  TurnRecord r;
  double angleOut = 0.0;
  for (int64_t s = 0; s < total; ++s) {
    const double t = static_cast<double>(s) * period - plan.stillS;
    const double w = t > 0 && t < plan.turnS
                         ? peak * (1.0 - std::cos(2.0 * std::numbers::pi * t / plan.turnS))
                         : 0.0;
    const double rate = still + c.Element(w, plan.fullScale) + (profile ? profile->Rate(s) : 0.0);
    angleOut += rate * period;
    if (plan.lostEvery > 0 && s % plan.lostEvery == plan.lostEvery / 2) continue;
    r.number.push_back(s);
    r.time.push_back(static_cast<double>(s) * period +
                     plan.latency * Uniform(seed ^ (static_cast<uint64_t>(s) << 20)));
    r.rate.push_back(rate);
    if (s == total / 20) r.angleBefore = AngleReading{r.time.back(), std::fmod(angleOut, 360.0)};
  }
  r.angleAfter = AngleReading{r.time.back(), std::fmod(angleOut + plan.angleOffset + 720.0, 360.0)};
  return r;
}

TumbleInput DrawTumbleInput(const SimCharacter& c, const TumblePlan& plan, const std::string& noise,
                            uint64_t seed) {
  std::optional<SimNoiseProfile> profile = Profile(noise, seed, plan.tau0);
  const double lat = c.lat * std::numbers::pi / 180.0;
  const double horizontal =
      SimCharacter::kEarthRate * std::cos(lat) * std::cos(plan.heading * std::numbers::pi / 180.0);
  TumbleInput in;
  in.tau0 = plan.tau0;
  in.latitude = c.lat;
  const auto settle = static_cast<int64_t>(std::llround(plan.settleS / plan.tau0));
  const auto average = static_cast<int64_t>(std::llround(plan.averageS / plan.tau0));
  int64_t s = 0;
  for (int i = 0; i < (plan.reverse ? 12 : 6); ++i) {
    const int p = kTumbleSequence[i];
    double up[3] = {0, 0, 0};
    up[p / 2] = p % 2 == 0 ? 1.0 : -1.0;
    const double earth = p >= 4 ? SimCharacter::kEarthRate * std::sin(lat) * up[2] : horizontal;
    const double still = kSimBias + c.Gravity(up[0], up[1], up[2]) + earth;
    s += settle;
    PositionWindow w{p, {}};
    for (int64_t k = 0; k < average; ++k, ++s)
      w.samples.push_back(
          still + plan.drift * static_cast<double>(s) * plan.tau0 +
          (i == plan.moving && static_cast<double>(k) * plan.tau0 < 2.0 ? 5.0 : 0.0) +
          (profile ? profile->Rate(s) : 0.0));
    if (p != plan.skip) in.windows.push_back(std::move(w));
  }
  return in;
}

}  // namespace velk::characterise
