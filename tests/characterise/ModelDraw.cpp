#include "characterise/ModelDraw.h"

#include <cmath>

#include "sim/SimNoiseProfile.h"
#include "sim/SimSignals.h"

namespace velk::characterise {

namespace {

std::optional<SimNoiseProfile> Profile(const std::string& noise, uint64_t seed, double tau0) {
  if (noise.empty()) return std::nullopt;
  auto profile = SimNoiseProfile::Parse(noise + ",seed=" + std::to_string(seed)).value();
  profile->SetPeriod(tau0);
  return profile;
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

Span Of(const Characterisation& doc, const std::string& name) {
  const Figure* f = doc.Find(name);
  if (f == nullptr || !f->value) return {};
  return {true, *f->value, *f->lo, *f->hi};
}

}  // namespace velk::characterise
