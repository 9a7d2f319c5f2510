#include "sim/SimSignals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sim/SplitMix.h"

namespace velk {

namespace {

constexpr double kSwingAmplitude = 30.0;  // degrees per second
constexpr double kSwingPeriod = 8.0;      // seconds
constexpr double kSwingOmega = 2.0 * std::numbers::pi / kSwingPeriod;
constexpr double kRateNoiseRms = 0.15;
constexpr double kSupplyNoiseRms = 0.002;
constexpr double kTempNoiseRms = 0.05;
constexpr double kTempDrift = 1.5;      // degrees Celsius either side of 25
constexpr double kTempPeriod = 1200.0;  // a full drift cycle takes 20 minutes
constexpr double kTempLsb = 0.1453;     // degrees Celsius per Temp_Out count
constexpr SimCharacter kDefaultCharacter{};
constexpr double kDieAtRest = 25.0;  // with a character but no path

}  // namespace

void SimSignals::SetFixedRate(double degreesPerSecond) {
  fixed_ = true;
  motion_ = SimRateProfile(degreesPerSecond);
}

SimRateProfile& SimSignals::Motion() {
  if (!fixed_) SetFixedRate(0.0);
  return motion_;
}

double SimSignals::MotionRate(double t) const {
  return fixed_ ? motion_.Rate(t) : kSwingAmplitude * std::sin(kSwingOmega * (t - origin_));
}

void SimSignals::SetSwing() {
  fixed_ = false;
}

void SimSignals::SetNoiseProfile(std::optional<SimNoiseProfile> profile) {
  profile_ = std::move(profile);
}

void SimSignals::SetTemperaturePath(std::optional<SimTempPath> path) {
  path_ = std::move(path);
  knotTimes_ = path_ ? path_->KnotTimes() : std::vector<double>();
}

const SimCharacter* SimSignals::Character() const {
  if (character_) return &*character_;
  return path_ ? &kDefaultCharacter : nullptr;
}

double SimSignals::TempLsb() const {
  const SimCharacter* c = Character();
  return c != nullptr ? c->tempLsb : kTempLsb;
}

double SimSignals::TempBias(double t) const {
  const SimCharacter* c = Character();
  if (c == nullptr || !path_) return 0.0;  // at rest: 25 degC, no direction
  return c->TempBias(path_->Ambient(t - origin_), path_->Direction(t - origin_));
}

double SimSignals::TempBiasIntegral(double t0, double t1) const {
  const SimCharacter* c = Character();
  if (c == nullptr || !path_ || t0 == t1) return 0.0;
  if (t1 < t0) return -TempBiasIntegral(t1, t0);
  // Between knots the ambient is straight and the direction fixed, so the tempco is a
  // quadratic in time there and Simpson's rule is exact.
  double sum = 0.0;
  const auto piece = [&](double from, double to) {
    const double mid = (from + to) / 2.0;
    const int direction = path_->Direction(mid);
    const auto at = [&](double x) { return c->TempBias(path_->Ambient(x), direction); };
    sum += (to - from) / 6.0 * (at(from) + 4.0 * at(mid) + at(to));
  };
  double from = t0 - origin_;
  const double end = t1 - origin_;
  for (double knot : knotTimes_) {
    if (knot <= from) continue;
    if (knot >= end) break;
    piece(from, knot);
    from = knot;
  }
  piece(from, end);
  return sum;
}

double SimSignals::Noise(int64_t serial, unsigned stream, double rms) const {
  return simmix::UnitNoise(simmix::SplitMix(static_cast<uint64_t>(serial) * 4u + stream)) * rms;
}

double SimSignals::MeanRate(double first, double period, int count, double fullScale) const {
  // The tempco moves far slower than any averaging window: its value mid-window is the mean.
  const double last = first + (count - 1) * period;
  const double tempco = TempBias((first + last) / 2.0);
  const bool steady = fixed_ && motion_.Steady(first, last);
  if (const SimCharacter* c = Character()) {
    const auto sensed = [&](double t) {
      return c->Element(MotionRate(t), fullScale) + fixture_.Term(*c, t);
    };
    if (steady && !fixture_.Moving(first, last)) return sensed(first) + bias_ + tempco;
    double sum = 0.0;
    for (int j = 0; j < count; ++j) sum += sensed(first + j * period);
    return sum / count + bias_ + tempco;
  }
  if (steady) return motion_.Rate(first) + bias_ + tempco;
  if (fixed_) {
    double sum = 0.0;
    for (int j = 0; j < count; ++j) sum += motion_.Rate(first + j * period);
    return sum / count + bias_ + tempco;
  }
  // Closed-form sum of sines on an evenly spaced grid, so deep averaging stays cheap.
  double a = kSwingOmega * (first - origin_);
  double d = kSwingOmega * period;
  double half = std::sin(d / 2.0);
  double sum = 0.0;
  if (std::fabs(half) < 1e-9) {
    for (int j = 0; j < count; ++j) sum += std::sin(a + j * d);
  } else {
    sum = std::sin(count * d / 2.0) / half * std::sin(a + (count - 1) * d / 2.0);
  }
  return kSwingAmplitude * sum / count + bias_ + tempco;
}

double SimSignals::MeanRateNoise(int64_t last, int count, double period) const {
  if (!noise_) return 0.0;
  if (profile_) {
    profile_->SetPeriod(period);
    return profile_->MeanRate(last, count);
  }
  double sum = 0.0;
  for (int64_t s = last - count + 1; s <= last; ++s) sum += Noise(s, 1, kRateNoiseRms);
  return sum / count;
}

double SimSignals::SwingElementIntegral(const SimCharacter& c, double fullScale, double t0,
                                        double t1) const {
  // Split where the swing changes sign (the element's asymmetry bends there) and at least
  // every half second; the pieces are smooth, and Gauss7 holds each far below a count.
  const double half = kSwingPeriod / 2.0;
  const auto sensed = [&](double t) { return c.Element(MotionRate(t), fullScale); };
  double sum = 0.0;
  for (double at = t0; at < t1;) {
    const double crossing = origin_ + (std::floor((at - origin_) / half) + 1.0) * half;
    const double to = std::min({t1, crossing, at + 0.5});
    sum += Gauss7(sensed, at, to);
    at = to;
  }
  return sum;
}

double SimSignals::RateIntegral(double t0, double t1, double fullScale) const {
  double integral = bias_ * (t1 - t0) + TempBiasIntegral(t0, t1);
  if (const SimCharacter* c = Character()) {
    return integral + fixture_.TermIntegral(*c, t0, t1) +
           (fixed_ ? motion_.ElementIntegral(*c, fullScale, t0, t1)
                   : SwingElementIntegral(*c, fullScale, t0, t1));
  }
  if (fixed_) return integral + motion_.Integral(t0, t1);
  return integral +
         kSwingAmplitude / kSwingOmega *
             (std::cos(kSwingOmega * (t0 - origin_)) - std::cos(kSwingOmega * (t1 - origin_)));
}

bool SimSignals::Clipped(double t, double fullScale) const {
  const SimCharacter* c = Character();
  return c != nullptr &&
         std::fabs(c->Element(MotionRate(t), fullScale)) >= SimCharacter::kClip * fullScale;
}

double SimSignals::Supply(int64_t serial) const {
  return supply_ + (noise_ ? Noise(serial, 2, kSupplyNoiseRms) : 0.0);
}

double SimSignals::Temperature(double t, int64_t serial) const {
  if (const SimCharacter* c = Character())
    return c->Reading(path_ ? path_->Die(t - origin_, c->lag) : kDieAtRest);
  double drift =
      profile_ ? 0.0 : kTempDrift * std::sin(2.0 * std::numbers::pi * (t - origin_) / kTempPeriod);
  return 25.0 + drift + (noise_ ? Noise(serial, 3, kTempNoiseRms) : 0.0);
}

}  // namespace velk
