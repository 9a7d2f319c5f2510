#include "characterise/ScaleDraw.h"

#include <cmath>
#include <numbers>
#include <optional>

#include "sim/SimNoiseProfile.h"
#include "sim/SimSignals.h"
#include "sim/SplitMix.h"

namespace velk::characterise {

namespace {

// The table's rate at time t: from the last rate towards the one commanded at the start of
// the dwell, at the acceleration limit.
double TableRate(const TableDraw& plan, double t) {
  const auto i = static_cast<size_t>(std::floor(t / plan.dwell));
  if (i >= plan.rates.size()) return plan.rates.back();
  const double from = i == 0 ? 0.0 : plan.rates[i - 1];
  const double to = plan.rates[i];
  const double moved = plan.acceleration * (t - static_cast<double>(i) * plan.dwell);
  return to > from ? std::min(to, from + moved) : std::max(to, from - moved);
}

}  // namespace

ScaleInput DrawTable(const SimCharacter& c, const TableDraw& plan, const std::string& noise,
                     uint64_t noiseSeed, double white) {
  std::optional<SimNoiseProfile> profile;
  if (!noise.empty()) {
    profile = SimNoiseProfile::Parse(noise + ",seed=" + std::to_string(noiseSeed)).value();
    profile->SetPeriod(plan.tau0);
  }
  ScaleInput in;
  const auto n = static_cast<int64_t>(
      std::llround(static_cast<double>(plan.rates.size()) * plan.dwell / plan.tau0));
  in.time.reserve(static_cast<size_t>(n));
  in.rate.reserve(static_cast<size_t>(n));
  for (int64_t s = 0; s < n; ++s) {
    const double t = static_cast<double>(s) * plan.tau0;
    double out = kSimBias + c.Element(TableRate(plan, t), plan.fullScale);
    if (profile) out = std::nearbyint((out + profile->Rate(s)) / plan.lsb) * plan.lsb;
    in.time.push_back(t);
    in.rate.push_back(out);
  }
  in.commanded = plan.rates;
  for (size_t i = 0; i < plan.rates.size(); ++i)
    in.windows.push_back({static_cast<double>(i) * plan.dwell, plan.dwell});
  in.fullScale = plan.fullScale;
  in.lsb = plan.lsb;
  in.nominal = 1.0 / plan.lsb;
  in.white = white;
  return in;
}

std::vector<ScalePlateau> DrawMeans(const SimCharacter& c, const std::vector<double>& rates,
                                    double fullScale, double seconds, double white, uint64_t seed) {
  std::vector<ScalePlateau> plateaus;
  const double se = white / std::sqrt(seconds);
  uint64_t key = simmix::SplitMix(seed);
  for (double w : rates) {
    ScalePlateau p;
    p.commanded = w;
    p.start = static_cast<double>(plateaus.size()) * (seconds + 1.0);
    p.end = p.start + seconds;
    p.mean = kSimBias + c.Element(w, fullScale);
    if (seed != 0) {
      const uint64_t a = simmix::SplitMix(key += 0x9E3779B97F4A7C15ull);
      const uint64_t b = simmix::SplitMix(key += 0x9E3779B97F4A7C15ull);
      const double u1 = (static_cast<double>(a >> 11) + 0.5) * 0x1.0p-53;
      const double u2 = static_cast<double>(b >> 11) * 0x1.0p-53;
      p.mean += se * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    }
    p.se = se;
    p.samples = 1000;
    p.used = true;
    plateaus.push_back(p);
  }
  return plateaus;
}

}  // namespace velk::characterise
