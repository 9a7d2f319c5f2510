#include "characterise/ModelDraw.h"

#include <algorithm>
#include <cmath>

#include "sim/SimFixture.h"
#include "sim/SimNoiseProfile.h"
#include "sim/SimRateProfile.h"
#include "sim/SimSignals.h"

namespace velk::characterise {

namespace {

std::optional<SimNoiseProfile> Profile(const std::string& noise, uint64_t seed, double tau0) {
  if (noise.empty()) return std::nullopt;
  auto profile = SimNoiseProfile::Parse(noise + ",seed=" + std::to_string(seed)).value();
  profile->SetPeriod(tau0);
  return profile;
}

// What the sensor reports along a path, every tau0 for `seconds`.
ModelRecord DrawPath(const SimCharacter& c, const SimRateProfile& motion, const SimFixture& fixture,
                     double seconds, double fullScale, const std::string& noise, uint64_t seed,
                     double tau0, double count) {
  std::optional<SimNoiseProfile> profile = Profile(noise, seed, tau0);
  ModelRecord r;
  const auto n = static_cast<int64_t>(seconds / tau0);
  r.time.reserve(static_cast<size_t>(n));
  r.rate.reserve(static_cast<size_t>(n));
  for (int64_t s = 0; s < n; ++s) {
    const double t = static_cast<double>(s) * tau0;
    double rate = c.Element(motion.Rate(t), fullScale) + fixture.Term(c, t) + kSimBias +
                  (profile ? profile->Rate(s) : 0.0);
    if (count > 0.0) rate = count * std::nearbyint(rate / count);
    r.time.push_back(t);
    r.rate.push_back(rate);
  }
  return r;
}

}  // namespace

RepeatDraw DrawRepeatability(const SimCharacter& c, const SimTempPath& path,
                             const std::string& noise, uint64_t noiseSeed, const RepeatPlan& plan) {
  std::optional<SimNoiseProfile> profile = Profile(noise, noiseSeed, plan.tau0);
  auto rate = [&](double bias, int64_t serial) {
    return bias + (profile ? profile->Rate(serial) : 0.0);
  };
  RepeatDraw d;
  RepeatabilityInput& in = d.input;
  in.tau0 = plan.tau0;
  in.averageS = plan.averageS;
  in.offS = plan.offS;
  const auto perWindow = static_cast<int64_t>(std::llround(plan.averageS / plan.tau0));
  const double cycle = plan.offS + 0.2 + plan.settleS + plan.averageS;
  for (int k = 0; k < plan.cycles; ++k) {
    const double start = k * cycle + plan.offS + 0.2 + plan.settleS;
    const double offset = c.WakeOffset(static_cast<uint64_t>(k) + 1);
    d.offsets.push_back(offset);
    RepeatCycle rc;
    const auto first = static_cast<int64_t>(std::llround(start / plan.tau0));
    for (int64_t s = first; s < first + perWindow; ++s) {
      const double t = static_cast<double>(s) * plan.tau0;
      rc.samples.push_back(
          rate(kSimBias + offset + c.TempBias(path.Ambient(t), path.Direction(t)), s));
    }
    rc.temperature = c.Reading(path.Die(start + plan.averageS / 2, c.lag));
    rc.words = ChipWords{0, 0x8000};
    in.cycles.push_back(std::move(rc));
  }
  if (plan.selfTest) {
    // After the last cycle: a window with the self-test bit, then one without.
    SelfTestWindows st;
    const auto first = static_cast<int64_t>(std::llround(plan.cycles * cycle / plan.tau0));
    const double bias = kSimBias + d.offsets.back();
    for (int64_t s = first; s < first + perWindow; ++s) st.on.push_back(rate(bias + c.st, s));
    for (int64_t s = first + perWindow; s < first + 2 * perWindow; ++s)
      st.off.push_back(rate(bias, s));
    in.selfTest = std::move(st);
  }
  return d;
}

TempcoInput DrawTempco(const SimCharacter& c, const SimTempPath& path, const std::string& noise,
                       uint64_t noiseSeed, double tau0) {
  std::optional<SimNoiseProfile> profile = Profile(noise, noiseSeed, tau0);
  TempcoInput in;
  const auto n = static_cast<int64_t>(path.Duration() / tau0);
  in.time.reserve(static_cast<size_t>(n));
  in.rate.reserve(static_cast<size_t>(n));
  for (int64_t s = 0; s < n; ++s) {
    const double t = static_cast<double>(s) * tau0;
    in.time.push_back(t);
    in.rate.push_back(kSimBias + c.TempBias(path.Ambient(t), path.Direction(t)) +
                      (profile ? profile->Rate(s) : 0.0));
  }
  for (double t = 0.0; t < path.Duration(); t += 1.0) {
    in.tempTime.push_back(t);
    in.degrees.push_back(c.Reading(path.Die(t, c.lag)));
  }
  return in;
}

ScaleDraw DrawScale(const SimCharacter& c, const std::vector<double>& rates, double dwell,
                    double fullScale, const std::string& noise, uint64_t noiseSeed, double tau0,
                    double count) {
  SimTableScript steps;
  for (double rate : rates) steps.push_back({rate, dwell});
  SimRateProfile motion;
  std::vector<SimHeld> held;
  const double end = PlayTable(motion, 0.0, steps, &held);
  ScaleDraw d;
  d.record = DrawPath(c, motion, SimFixture(), end + 1.0, fullScale, noise, noiseSeed, tau0, count);
  for (size_t k = 0; k < rates.size(); ++k)
    d.plateaus.push_back({rates[k], held[k].from, held[k].to});
  return d;
}

ModelRecord DrawTurn(const SimCharacter& c, const SimTurn& turn, double after, double fullScale,
                     const std::string& noise, uint64_t noiseSeed, double tau0, double count) {
  SimRateProfile motion;
  const double end = PlayTurn(motion, 0.0, turn);
  return DrawPath(c, motion, SimFixture(), end + after, fullScale, noise, noiseSeed, tau0, count);
}

std::vector<TumbleWindow> DrawTumble(const SimCharacter& c, const std::vector<int>& positions,
                                     double settleS, double averageS, const std::string& noise,
                                     uint64_t noiseSeed, double tau0) {
  SimFixture fixture;
  SimRateProfile motion;
  std::vector<TumbleWindow> windows;
  double at = 0.0;
  for (int position : positions) {
    TumbleWindow w;
    w.position = position;
    w.from = MoveFixture(fixture, motion, at, position) + settleS;
    w.truth = kSimBias + StillTerm(c, SimFixture::Up(position));
    at = w.from + averageS;
    windows.push_back(std::move(w));
  }
  const ModelRecord r = DrawPath(c, motion, fixture, at + tau0, 80.0, noise, noiseSeed, tau0, 0.0);
  for (TumbleWindow& w : windows) {
    const auto first = static_cast<size_t>(std::ceil(w.from / tau0 - 1e-9));
    const auto n = static_cast<size_t>(std::llround(averageS / tau0));
    w.samples.assign(
        r.rate.begin() + static_cast<std::ptrdiff_t>(first),
        r.rate.begin() + static_cast<std::ptrdiff_t>(std::min(first + n, r.rate.size())));
    double sum = 0.0;
    for (double x : w.samples) sum += x;
    w.mean = sum / static_cast<double>(w.samples.size());
  }
  return windows;
}

Span Of(const Characterisation& doc, const std::string& name) {
  const Figure* f = doc.Find(name);
  if (f == nullptr || !f->value) return {};
  return {true, *f->value, *f->lo, *f->hi};
}

}  // namespace velk::characterise
