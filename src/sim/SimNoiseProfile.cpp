#include "sim/SimNoiseProfile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <vector>

#include "core/EchoText.h"
#include "sim/SimScales.h"
#include "sim/SimSignals.h"
#include "sim/SplitMix.h"

namespace velk {

namespace {

// The Gauss-Markov processes' correlation times, and the share of B each one's spread takes
// so that together they give the flat Allan floor of bias instability (0.664 B) over the
// decades they cover.
constexpr std::array<double, 6> kMarkovTime = {0.1, 1.0, 10.0, 100.0, 1000.0, 10000.0};
constexpr std::array<double, 6> kMarkovShare = {0.9419, 0.8430, 0.8594, 0.8560, 0.8519, 0.9178};

// Draw streams: one per process, so no two share a number.
constexpr unsigned kWhiteStream = 0;
constexpr unsigned kMarkovStream = 1;  // 1..6
constexpr unsigned kWalkStream = 7;
constexpr unsigned kStartStream = 8;  // 8..13, the Markov processes' starting values

struct Named {
  const char* name;
  NoiseTerms terms;
};
constexpr Named kProfiles[] = {
    {"white", {0.6, 0.0, 0.0}},
    {"allan-a", {0.6, 10.0, 40.0}},
    {"allan-b", {0.6, 40.0, 600.0}},
    {"quant", {0.05, 0.0, 0.0}},
};

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::optional<double> Term(const std::string& text) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
      value < 0.0)
    return std::nullopt;
  return value;
}

std::optional<uint64_t> SeedNumber(const std::string& text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string Shortest(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace

SimNoiseProfile::SimNoiseProfile(NoiseTerms terms, uint64_t seed, std::string name)
    : terms_(terms), seed_(seed), name_(std::move(name)), key_(simmix::SplitMix(seed)) {
  SetPeriod(SimSamplePeriod(1));
  Start();
  startSlow_ = slow_[0];
}

NoiseChoice SimNoiseProfile::Parse(std::string_view text) {
  if (Trimmed(text).empty()) return std::nullopt;
  const auto refuse = [&] {
    return Unexpected("VELK47120_SIM_NOISE=\"" + Escaped(text) +
                      "\" is not a noise profile (white, allan-a, allan-b, quant, or "
                      "arw=..,bi=..,rrw=..[,seed=S]); the simulator runs without one.");
  };

  std::vector<std::string> items;
  for (size_t from = 0;;) {
    const size_t comma = text.find(',', from);
    items.push_back(Lower(Trimmed(text.substr(from, comma - from))));
    if (comma == std::string_view::npos) break;
    from = comma + 1;
  }

  std::optional<Named> named;
  std::array<std::optional<double>, 3> given;  // arw, bi, rrw
  std::optional<uint64_t> seed;
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string& item = items[i];
    const auto profile = std::find_if(std::begin(kProfiles), std::end(kProfiles),
                                      [&](const Named& p) { return item == p.name; });
    if (i == 0 && profile != std::end(kProfiles)) {
      named = *profile;
      continue;
    }
    const size_t equals = item.find('=');
    if (equals == std::string::npos) return refuse();
    const std::string key = Trimmed(item.substr(0, equals));
    const std::string value = Trimmed(item.substr(equals + 1));
    if (key == "seed") {
      if (seed || !(seed = SeedNumber(value))) return refuse();
      continue;
    }
    const char* const keys[] = {"arw", "bi", "rrw"};
    const auto k = std::find(std::begin(keys), std::end(keys), key) - std::begin(keys);
    if (named || k == 3 || given[k] || !(given[k] = Term(value))) return refuse();
  }
  if (!named && !given[0] && !given[1] && !given[2]) return refuse();

  if (named) return SimNoiseProfile(named->terms, seed.value_or(1), named->name);
  std::string name;
  const char* const keys[] = {"arw=", "bi=", "rrw="};
  for (int k = 0; k < 3; ++k) {
    if (!given[k]) continue;
    // In steps: a literal prepended to a temporary string trips g++ 12's -Wrestrict at -O3.
    if (!name.empty()) name += ',';
    name += keys[k];
    name += Shortest(*given[k]);
  }
  NoiseTerms terms{given[0].value_or(0.0), given[1].value_or(0.0), given[2].value_or(0.0)};
  return SimNoiseProfile(terms, seed.value_or(1), name);
}

void SimNoiseProfile::SetPeriod(double seconds) {
  if (seconds == period_) return;
  period_ = seconds;
  white_ = terms_.arw / 60.0 / std::sqrt(seconds);
  for (int i = 0; i < kMarkovCount; ++i) {
    decay_[i] = std::exp(-seconds / kMarkovTime[i]);
    drive_[i] = kMarkovShare[i] * terms_.bi / 3600.0 * std::sqrt(1.0 - decay_[i] * decay_[i]);
  }
  walkStep_ = terms_.rrw / 216000.0 * std::sqrt(seconds);
}

uint64_t SimNoiseProfile::SampleKey(int64_t serial) const {
  return simmix::SplitMix(key_ ^ static_cast<uint64_t>(serial));
}

double SimNoiseProfile::Draw(uint64_t sampleKey, unsigned stream) {
  return simmix::UnitNoise(simmix::SplitMix(sampleKey + stream * 0x9E3779B97F4A7C15ull));
}

void SimNoiseProfile::Start() {
  const uint64_t key = SampleKey(0);
  double slow = 0.0;
  for (int i = 0; i < kMarkovCount; ++i) {
    markov_[i] = kMarkovShare[i] * terms_.bi / 3600.0 * Draw(key, kStartStream + i);
    slow += markov_[i];
  }
  walk_ = 0.0;
  at_ = 0;
  slow_[0] = slow;
}

void SimNoiseProfile::Step(int64_t serial) {
  const uint64_t key = SampleKey(serial);
  double slow = 0.0;
  for (int i = 0; i < kMarkovCount; ++i) {
    markov_[i] = decay_[i] * markov_[i] + drive_[i] * Draw(key, kMarkovStream + i);
    slow += markov_[i];
  }
  walk_ += walkStep_ * Draw(key, kWalkStream);
  slow_[serial % kKept] = slow + walk_;
  at_ = serial;
}

double SimNoiseProfile::Rate(int64_t serial) {
  double slow = startSlow_;
  if (serial > 0) {
    if (serial <= at_ - kKept) Start();  // older than the samples kept: replayed from the start
    while (at_ < serial) Step(at_ + 1);
    slow = slow_[serial % kKept];
  }
  return white_ * Draw(SampleKey(serial), kWhiteStream) + slow;
}

double SimNoiseProfile::MeanRate(int64_t last, int count) {
  double sum = 0.0;
  for (int64_t s = last - count + 1; s <= last; ++s) sum += Rate(s);
  return sum / count;
}

int SimNoiseProfile::Code(int64_t serial, int smplPrd, int sensAvg, int product) {
  SetPeriod(SimSamplePeriod(smplPrd));
  const double rate = kSimBias + MeanRate(serial, 1 << (sensAvg & 7));
  const double code = std::nearbyint(rate / SimGyroFactor(sensAvg & 0x0700, product));
  return static_cast<int>(std::clamp(code, -8192.0, 8191.0));
}

}  // namespace velk
