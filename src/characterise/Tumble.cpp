#include "characterise/Tumble.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <numeric>

#include "characterise/LeastSquares.h"
#include "characterise/WhiteNoise.h"

namespace velk::characterise {

namespace {

constexpr double kZ95 = 1.959963985;
// Passes of one position further apart than this many deviations of their difference are
// taken for drift.
constexpr double kDriftSigmas = 3.0;
// A window whose 1 s means stray from their median by more than this many white deviations
// (or the floor, deg/s) held motion: the board was still turning into place.
constexpr double kMotionSigmas = 8.0;
constexpr double kMotionFloor = 0.02;
constexpr const char* kNames[kTumblePositions] = {"+X", "-X", "+Y", "-Y", "+Z", "-Z"};
constexpr const char* kKeys[kTumblePositions] = {"px", "nx", "py", "ny", "pz", "nz"};

std::string Number(double v) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2e", v);
  return text;
}

// The Allan variance at the windows' length T: measured at T/2 by the difference of each
// window's halves, and carried to T by the ratio the Allan variance fitted to the windows'
// shorter taus gives (1/2 for white noise, 1 for flicker, 2 for a walk). The fit's level
// alone, carried from T/4, wanders too far from record to record.
double AllanVarianceAt(const std::vector<std::vector<double>>& windows, double tau0, double t) {
  double halves = 0.0;
  int counted = 0;
  for (const std::vector<double>& w : windows) {
    const auto h = static_cast<std::ptrdiff_t>(w.size() / 2);
    if (h == 0) continue;
    ++counted;
    const double first = std::accumulate(w.begin(), w.begin() + h, 0.0);
    const double second = std::accumulate(w.begin() + h, w.begin() + 2 * h, 0.0);
    const double d = (second - first) / static_cast<double>(h);
    halves += d * d / 2.0;
  }
  if (counted == 0) return 0.0;
  halves /= counted;
  const WhiteNoise fit = PooledWhiteNoise(windows, tau0);
  const double half = fit.AllanVariance(t / 2.0);
  return half > 0.0 ? halves * fit.AllanVariance(t) / half : halves / 2.0;
}

bool Moving(const std::vector<double>& w, double tau0, double arw2) {
  const auto block = static_cast<size_t>(std::max(1.0, std::round(1.0 / tau0)));
  std::vector<double> means;
  for (size_t k = 0; k + block <= w.size(); k += block)
    means.push_back(std::accumulate(w.begin() + static_cast<std::ptrdiff_t>(k),
                                    w.begin() + static_cast<std::ptrdiff_t>(k + block), 0.0) /
                    static_cast<double>(block));
  if (means.size() < 2) return false;
  std::vector<double> sorted = means;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2),
                   sorted.end());
  const double median = sorted[sorted.size() / 2];
  const double limit =
      std::max(kMotionSigmas * std::sqrt(arw2 / (static_cast<double>(block) * tau0)), kMotionFloor);
  for (double m : means)
    if (std::abs(m - median) > limit) return true;
  return false;
}

}  // namespace

std::string_view TumblePositionName(int position) {
  return position >= 0 && position < kTumblePositions ? kNames[position] : "?";
}

Tumble AnalyseTumble(const TumbleInput& in) {
  Tumble r;
  Characterisation& doc = r.doc;
  doc.test = "tumble";

  std::vector<std::vector<double>> taken;
  for (const PositionWindow& w : in.windows) taken.push_back(w.samples);
  const double arw2 = PooledWhiteNoise(taken, in.tau0).arw2;

  std::vector<std::vector<double>> windows;
  std::vector<double> means[kTumblePositions];
  size_t shortest = 0;
  std::string moving;
  for (size_t i = 0; i < in.windows.size(); ++i) {
    const PositionWindow& w = in.windows[i];
    if (w.position < 0 || w.position >= kTumblePositions || w.samples.empty()) continue;
    if (Moving(w.samples, in.tau0, arw2)) {
      moving +=
          (moving.empty() ? "" : ", ") + std::to_string(i + 1) + " (" + kNames[w.position] + " up)";
      continue;
    }
    means[w.position].push_back(std::accumulate(w.samples.begin(), w.samples.end(), 0.0) /
                                static_cast<double>(w.samples.size()));
    windows.push_back(w.samples);
    shortest = shortest == 0 ? w.samples.size() : std::min(shortest, w.samples.size());
  }
  if (!moving.empty())
    doc.warnings.push_back("the board moved during window " + moving +
                           ", left out: let it settle longer (--settle) before each average");
  const double averageS = static_cast<double>(shortest) * in.tau0;
  // A window mean deviates from the next window's as the Allan variance at its length says.
  r.sigma = in.adev ? *in.adev : std::sqrt(AllanVarianceAt(windows, in.tau0, averageS));

  std::vector<std::string> drifted;
  for (int p = 0; p < kTumblePositions; ++p) {
    TumblePosition& pos = r.positions[p];
    const std::vector<double>& m = means[p];
    pos.windows = static_cast<int>(m.size());
    if (m.empty()) continue;
    pos.mean = std::accumulate(m.begin(), m.end(), 0.0) / static_cast<double>(m.size());
    pos.se = r.sigma / std::sqrt(static_cast<double>(m.size()));
    const auto [lo, hi] = std::minmax_element(m.begin(), m.end());
    if (*hi - *lo > kDriftSigmas * std::sqrt(2.0) * r.sigma)
      drifted.push_back(std::string(kNames[p]) + " by " + Number(*hi - *lo) + " deg/s");
    doc.conditions.push_back({std::string("mean_") + kKeys[p] + "_dps", pos.mean});
  }
  if (!drifted.empty()) {
    std::string list;
    for (const std::string& d : drifted) list += (list.empty() ? "" : ", ") + d;
    doc.warnings.push_back("the passes disagree beyond their noise (" + list + ", against " +
                           Number(kDriftSigmas * std::sqrt(2.0) * r.sigma) +
                           "): the bias drifted, which the reversed order cancels only while "
                           "it drifts steadily");
  }

  const double earth =
      in.latitude ? kEarthRate * std::sin(*in.latitude * std::numbers::pi / 180.0) : 0.0;
  const char* figures[3] = {"g_sensitivity_x", "g_sensitivity_y", "g_sensitivity_z"};
  for (int axis = 0; axis < 3; ++axis) {
    const TumblePosition& up = r.positions[2 * axis];
    const TumblePosition& down = r.positions[2 * axis + 1];
    const std::string axisName(1, "XYZ"[axis]);
    if (up.windows == 0 || down.windows == 0) {
      doc.figures.push_back(Null(figures[axis], "deg/s/g",
                                 "not estimated: no window with " +
                                     std::string(kNames[2 * axis + (up.windows == 0 ? 0 : 1)]) +
                                     " up"));
      continue;
    }
    double value = (up.mean - down.mean) / 2.0;
    std::string conditions = "+" + axisName + " up less -" + axisName + " up, halved, " +
                             std::to_string(up.windows + down.windows) + " windows of " +
                             std::to_string(static_cast<int>(std::lround(averageS))) + " s";
    if (axis == 2) {
      // Flipping the sensitive axis over turns the Earth's vertical rate with it.
      value -= earth;
      conditions += in.latitude ? ", the Earth's vertical rate at " +
                                      std::to_string(static_cast<int>(std::lround(*in.latitude))) +
                                      " deg taken out"
                                : ", the Earth's vertical rate left in";
    } else {
      conditions += ", flipped about Z: the Earth's rate along Z cancels";
    }
    const double se = std::sqrt(up.se * up.se + down.se * down.se) / 2.0;
    // A deviation measured on the windows has as many degrees of freedom as they are.
    const double z = in.adev ? kZ95 : StudentT(0.95, static_cast<double>(windows.size()));
    doc.figures.push_back(
        Valued(figures[axis], "deg/s/g", value, value - z * se, value + z * se, conditions));
  }
  if (!in.latitude && r.positions[4].windows > 0 && r.positions[5].windows > 0)
    doc.warnings.push_back("no latitude given: g_sensitivity_z holds the Earth's vertical rate (" +
                           Number(kEarthRate) +
                           " deg/s times the sine of the latitude); give --latitude");

  // A g^2 term shows in m+ + m- only, as do the bias and, with X or Y up, the Earth's
  // horizontal rate along Z's heading: only differences of the sums between axes mean anything.
  bool all = true;
  for (const TumblePosition& p : r.positions) all = all && p.windows > 0;
  if (all) {
    const auto sum = [&](int axis) {
      return (r.positions[2 * axis].mean + r.positions[2 * axis + 1].mean) / 2.0;
    };
    const auto se = [&](int axis) {
      const TumblePosition &u = r.positions[2 * axis], &d = r.positions[2 * axis + 1];
      return std::sqrt(u.se * u.se + d.se * d.se) / 2.0;
    };
    const double xz = sum(0) - sum(2), yz = sum(1) - sum(2);
    const double xzSe = std::hypot(se(0), se(2)), yzSe = std::hypot(se(1), se(2));
    doc.conditions.push_back({"g2_x_less_z_dps", xz});
    doc.conditions.push_back({"g2_y_less_z_dps", yz});
    const std::string hint = "the g^2 terms can only be told apart: X's less Z's " + Number(xz) +
                             " +- " + Number(kZ95 * xzSe) + ", Y's less Z's " + Number(yz) +
                             " +- " + Number(kZ95 * yzSe) +
                             " deg/s/g^2 (X's and Y's hold the Earth's horizontal rate along Z's "
                             "heading as well)";
    if (std::abs(xz) > kZ95 * xzSe || std::abs(yz) > kZ95 * yzSe)
      doc.warnings.push_back(hint);
    else
      doc.conditions.push_back({"g2_hint", hint});
  }
  doc.conditions.insert(doc.conditions.begin(),
                        {{"windows", static_cast<double>(windows.size())},
                         {"average_s", averageS},
                         {"adev_dps", r.sigma},
                         {"adev_from", std::string(in.adev ? "given" : "the windows' fit")}});
  if (in.latitude)
    doc.conditions.insert(doc.conditions.begin() + 2, {"latitude_deg", *in.latitude});
  return r;
}

}  // namespace velk::characterise
