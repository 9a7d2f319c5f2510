#include "characterise/TempBins.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace velk::characterise {

namespace {

constexpr double kLeastRampSpan = 2.0;  // degC: a shorter run is a wobble, not a ramp's rate
constexpr double kLeastDegrees = -100.0, kMostDegrees = 300.0;

enum class Kind { Soak, Up, Down };

Kind Classify(double slope) {
  if (std::abs(slope) < kSoakRate) return Kind::Soak;
  return slope > 0 ? Kind::Up : Kind::Down;
}

bool Ascending(const std::vector<double>& t) {
  return std::is_sorted(t.begin(), t.end());
}

}  // namespace

void LowPass(const std::vector<double>& time, const std::vector<double>& degrees,
             std::vector<double>& mean, std::vector<double>& slope) {
  const size_t n = time.size();
  mean.assign(n, 0.0);
  slope.assign(n, 0.0);
  if (n == 0) return;
  // Sums over the window [lo, hi), times taken from the first so their squares stay exact.
  const double t0 = time.front();
  double st = 0, sy = 0, stt = 0, sty = 0;
  size_t lo = 0, hi = 0;
  for (size_t i = 0; i < n; ++i) {
    while (hi < n && time[hi] <= time[i] + kLowPassS / 2) {
      const double t = time[hi] - t0;
      st += t, sy += degrees[hi], stt += t * t, sty += t * degrees[hi];
      ++hi;
    }
    while (time[lo] < time[i] - kLowPassS / 2) {
      const double t = time[lo] - t0;
      st -= t, sy -= degrees[lo], stt -= t * t, sty -= t * degrees[lo];
      ++lo;
    }
    const auto count = static_cast<double>(hi - lo);
    mean[i] = sy / count;
    const double d = count * stt - st * st;
    slope[i] = d > 1e-9 * count * count ? (count * sty - st * sy) / d : 0.0;
  }
}

Binned BinRamps(const TempcoInput& record) {
  Binned out;
  if (record.time.size() != record.rate.size() || record.tempTime.size() != record.degrees.size()) {
    out.refused = "the record's columns differ in length";
    return out;
  }
  // A temperature no die reaches (a misread word, a blank field) is left out rather than
  // smeared over the minute around it.
  TempcoInput in;
  in.time = record.time;
  in.rate = record.rate;
  for (size_t i = 0; i < record.degrees.size(); ++i)
    if (std::isfinite(record.tempTime[i]) && record.degrees[i] > kLeastDegrees &&
        record.degrees[i] < kMostDegrees) {
      in.tempTime.push_back(record.tempTime[i]);
      in.degrees.push_back(record.degrees[i]);
    }
  if (in.time.size() < 2 || in.tempTime.size() < 2) {
    out.refused = "the record holds fewer than 2 rate samples or temperature readings";
    return out;
  }
  if (!Ascending(in.time) || !Ascending(in.tempTime)) {
    out.refused = "the record's times go backwards: give one run, in the order it was taken";
    return out;
  }
  std::vector<double> mean, slope;
  LowPass(in.tempTime, in.degrees, mean, slope);

  // Ramps: runs of one direction outside the dead band. Within half the low-pass window of a
  // ramp's start or end the centred mean straddles the corner and runs ahead of or behind the
  // chamber, so those readings are left out.
  const size_t readings = in.tempTime.size();
  std::vector<Kind> kinds(readings, Kind::Soak);
  for (size_t i = 0; i < readings;) {
    const Kind kind = Classify(slope[i]);
    size_t j = i;
    while (j + 1 < readings && Classify(slope[j + 1]) == kind) ++j;
    const double seconds = in.tempTime[j] - in.tempTime[i];
    if (kind != Kind::Soak && seconds > 0 && std::abs(mean[j] - mean[i]) >= kLeastRampSpan)
      out.rampRates.push_back(std::abs(mean[j] - mean[i]) / seconds);
    for (size_t k = i; k <= j && kind != Kind::Soak; ++k)
      if (in.tempTime[k] - in.tempTime[i] >= kLowPassS / 2 &&
          in.tempTime[j] - in.tempTime[k] >= kLowPassS / 2)
        kinds[k] = kind;
    i = j + 1;
  }

  struct Sums {
    double n = 0, rate = 0, rate2 = 0, degrees = 0, slope = 0, time = 0;
  };
  // Keyed by direction then bin, so up bins come first, each by temperature.
  std::map<std::pair<int, long>, Sums> sums;
  double first = in.rate.empty() ? 0.0 : in.rate.front();  // keeps the squares small
  size_t j = 0;
  for (size_t i = 0; i < in.time.size(); ++i) {
    const double t = in.time[i];
    while (j + 2 < readings && in.tempTime[j + 1] <= t) ++j;
    // Between readings j and j + 1, clamped at the record's ends.
    const double span = in.tempTime[j + 1] - in.tempTime[j];
    const double f = span > 0 ? std::clamp((t - in.tempTime[j]) / span, 0.0, 1.0) : 0.0;
    const double degrees = mean[j] + f * (mean[j + 1] - mean[j]);
    const double rate = slope[j] + f * (slope[j + 1] - slope[j]);
    const Kind kind = kinds[f < 0.5 ? j : j + 1];
    if (kind == Kind::Soak || !std::isfinite(in.rate[i]) || !std::isfinite(degrees)) continue;
    Sums& s = sums[{kind == Kind::Up ? 0 : 1, static_cast<long>(std::floor(degrees))}];
    const double y = in.rate[i] - first;
    s.n += 1, s.rate += y, s.rate2 += y * y, s.degrees += degrees, s.slope += rate;
    s.time += t - in.time.front();
  }
  const double period =
      (in.time.back() - in.time.front()) / static_cast<double>(in.time.size() - 1);
  // One scatter pooled over the bins: a bin's own few samples say little about it, and a bin
  // whose samples happen to agree must not outweigh the rest.
  double pooled = 0.0, dof = 0.0;
  for (const auto& [key, s] : sums) {
    if (s.n < 2) continue;
    const double m = s.rate / s.n;
    pooled += std::max(0.0, s.rate2 - s.n * m * m);
    dof += s.n - 1;
  }
  pooled = dof > 0 && pooled > 0 ? pooled / dof : 1.0;
  for (const auto& [key, s] : sums) {
    if (s.n < 2) continue;
    TempBin b;
    b.ramp = key.first == 0 ? Ramp::Up : Ramp::Down;
    b.temperature = s.degrees / s.n;
    b.bias = s.rate / s.n + first;
    b.se = std::sqrt(pooled / s.n);
    b.seconds = s.n * period;
    b.rate = s.slope / s.n;
    b.time = s.time / s.n;
    out.bins.push_back(b);
  }
  return out;
}

}  // namespace velk::characterise
