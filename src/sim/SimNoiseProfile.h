#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace velk {

// The Allan terms a noise profile puts on the rate, in the units the analysis reports.
struct NoiseTerms {
  double arw = 0.0;  // angle random walk N, deg/sqrt(h)
  double bi = 0.0;   // bias instability B, deg/h
  double rrw = 0.0;  // rate random walk K, deg/h/sqrt(h)
};

class SimNoiseProfile;

// What a VELK47120_SIM_NOISE value asks for: a profile, none when the value is blank, or the
// line saying the value names no profile.
using NoiseChoice = Result<std::optional<SimNoiseProfile>, std::string>;

// Gyro rate noise with known Allan terms, so the noise analysis can be checked against a
// truth: white noise, bias instability from six Gauss-Markov processes spread over the
// decades 0.1 s to 10^4 s, and a rate random walk. Each sample's draws come from its serial
// number and the seed alone; the slow processes keep state and are stepped sample by sample
// from serial 0 (before it they hold their starting values), so a read of serial s costs the
// steps since the last one read.
class SimNoiseProfile {
 public:
  SimNoiseProfile(NoiseTerms terms, uint64_t seed, std::string name);

  // "white", "allan-a", "allan-b" or "quant", or any of "arw=X", "bi=Y", "rrw=Z" joined by
  // commas; either may add ",seed=S" (default 1). Names and keys ignore case.
  static NoiseChoice Parse(std::string_view text);

  const NoiseTerms& Terms() const { return terms_; }
  uint64_t Seed() const { return seed_; }
  // The profile's name, or the terms as "arw=..,bi=..,rrw=..", without the seed.
  const std::string& Name() const { return name_; }

  // The period the processes step with from now on, in seconds.
  void SetPeriod(double seconds);
  // The rate noise of one sample, deg/s.
  double Rate(int64_t serial);
  // Mean rate noise of the `count` samples that end with serial `last`.
  double MeanRate(int64_t last, int count);
  // Gyro_Out's 14-bit code for sample `serial` of a still chip with this noise at unity
  // scale and no offset: exactly what the simulated sensor puts there.
  int Code(int64_t serial, int smplPrd, int sensAvg, int product);

 private:
  static constexpr int kMarkovCount = 6;
  static constexpr int64_t kKept = 1024;  // > deepest averaging plus the alarm's longest look back

  uint64_t SampleKey(int64_t serial) const;
  static double Draw(uint64_t sampleKey, unsigned stream);
  void Start();
  void Step(int64_t serial);

  NoiseTerms terms_;
  uint64_t seed_;
  std::string name_;
  uint64_t key_;  // the seed, mixed

  double period_ = 0.0;
  double white_ = 0.0;  // rms of one sample's white noise
  std::array<double, kMarkovCount> decay_{};
  std::array<double, kMarkovCount> drive_{};
  double walkStep_ = 0.0;

  // State at serial `at_` (-1: not started), and the slow part of the last kKept samples.
  int64_t at_ = -1;
  std::array<double, kMarkovCount> markov_{};
  double walk_ = 0.0;
  double startSlow_ = 0.0;
  std::array<double, kKept> slow_{};
};

}  // namespace velk
