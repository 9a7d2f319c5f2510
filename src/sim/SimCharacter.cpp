#include "sim/SimCharacter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/EchoText.h"
#include "sim/SimNumber.h"
#include "sim/SplitMix.h"

namespace velk {

namespace {

constexpr std::string_view kVariable = "VELK47120_SIM_CHARACTER";

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Built by appending: g++ 12 at -O3 takes "\"" + string for an overlapping copy (-Wrestrict).
std::string Quoted(std::string_view text) {
  std::string quoted(1, '"');
  quoted += Escaped(text);
  quoted += '"';
  return quoted;
}

}  // namespace

Result<std::optional<SimCharacter>, std::string> SimCharacter::Parse(std::string_view text) {
  if (Trimmed(text).empty()) return std::optional<SimCharacter>();
  const auto refuse = [&](const std::string& why) {
    return Unexpected(std::string(kVariable) + "=\"" + Escaped(text) + "\": " + why +
                      "; the simulator runs without it. Give key=value pairs of wake, b1, b2, "
                      "hyst, lag, temp_lsb, st, sf, k3, asym, gx, gy, gz, lat and seed, e.g. "
                      "wake=0.05,b1=0.01.");
  };
  SimCharacter c;
  std::vector<std::string_view> seen;
  for (size_t from = 0;;) {
    const size_t comma = text.find(',', from);
    const std::string_view item = Trimmed(text.substr(from, comma - from));
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) return refuse(Quoted(item) + " is not key=value");
    const std::string_view key = Trimmed(item.substr(0, equals));
    const std::string_view value = Trimmed(item.substr(equals + 1));
    for (std::string_view s : seen)
      if (s == key) return refuse(Quoted(key) + " is given twice");
    seen.push_back(key);
    if (key == "seed") {
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), c.seed);
      if (value.empty() || error != std::errc() || end != value.data() + value.size())
        return refuse("seed needs a whole number of 0 or more");
    } else {
      struct Key {
        std::string_view name;
        double* field;
        double least;  // the smallest value allowed
        bool above;    // strictly above it
      };
      const Key keys[] = {{"wake", &c.wake, 0.0, false},   {"b1", &c.b1, -HUGE_VAL, false},
                          {"b2", &c.b2, -HUGE_VAL, false}, {"hyst", &c.hyst, -HUGE_VAL, false},
                          {"lag", &c.lag, 0.0, false},     {"temp_lsb", &c.tempLsb, 0.0, true},
                          {"st", &c.st, -HUGE_VAL, false}, {"sf", &c.sf, -0.5, false},
                          {"k3", &c.k3, -HUGE_VAL, false}, {"asym", &c.asym, -1.0, false},
                          {"gx", &c.gx, -HUGE_VAL, false}, {"gy", &c.gy, -HUGE_VAL, false},
                          {"gz", &c.gz, -HUGE_VAL, false}, {"lat", &c.lat, -90.0, false}};
      const Key* k = nullptr;
      for (const Key& candidate : keys)
        if (candidate.name == key) k = &candidate;
      if (k == nullptr) return refuse(Quoted(key) + " is not a key");
      const std::optional<double> v = SimNumber(value);
      if (!v || *v < k->least || (k->above && *v == k->least) || (key == "lat" && *v > 90.0))
        return refuse(std::string(key) + " needs a number" +
                      (k->least == 0.0 ? (k->above ? " above 0" : " of 0 or more")
                       : key == "lat"  ? " from -90 to 90"
                       : key == "sf"   ? " of -0.5 or more"
                       : key == "asym" ? " of -1 or more"
                                       : ""));
      *k->field = *v;
    }
    if (comma == std::string_view::npos) break;
    from = comma + 1;
  }
  return std::optional<SimCharacter>(c);
}

double SimCharacter::WakeOffset(uint64_t wakeNumber) const {
  // Box-Muller from two hashes of the seed and the wake: a normal draw, unlike UnitNoise's
  // uniform one, so a spread's chi-square interval holds.
  const uint64_t key = simmix::SplitMix(simmix::SplitMix(seed) ^ (wakeNumber * 2 + 1));
  const double u1 = (static_cast<double>(key >> 11) + 0.5) * 0x1.0p-53;
  const double u2 = static_cast<double>(simmix::SplitMix(key) >> 11) * 0x1.0p-53;
  return wake * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

double SimCharacter::TempBias(double degrees, int direction) const {
  const double dt = degrees - 25.0;
  return b1 * dt + b2 * dt * dt + (direction > 0 ? hyst : direction < 0 ? -hyst : 0.0) / 2.0;
}

double SimCharacter::Reading(double degrees) const {
  return 25.0 + std::nearbyint((degrees - 25.0) / tempLsb) * tempLsb;
}

double SimCharacter::Element(double w, double fullScale) const {
  const double x = w / fullScale;
  const double sensed =
      (1.0 + sf) * (1.0 + (w > 0 ? asym : -asym) / 2.0) * w + k3 * fullScale * x * x * x;
  return std::clamp(sensed, -kClip * fullScale, kClip * fullScale);
}

double SimCharacter::Gravity(double upX, double upY, double upZ) const {
  return gx * upX + gy * upY + gz * upZ;
}

}  // namespace velk
