#include "characterise/Repeatability.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "characterise/LeastSquares.h"
#include "characterise/WhiteNoise.h"

namespace velk::characterise {

namespace {

double Mean(const std::vector<double>& v) {
  return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

std::string Fixed(double v, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

// Less the white noise's share, never below 0.
double WhiteCorrected(double sigma, double whiteVariance) {
  return std::sqrt(std::max(0.0, sigma * sigma - whiteVariance));
}

// The step between the two adjacent averages spreads as two T means of the noise do:
// 2 sigma^2(T), from the Allan variance fitted over every window of the run.
Figure SelfTestFigure(const SelfTestWindows& st, std::vector<std::vector<double>> windows,
                      double tau0) {
  if (st.on.size() < 2 || st.off.size() < 2)
    return Null("self_test_response", "deg/s",
                "not estimated: the self-test windows hold fewer than 2 samples each");
  windows.push_back(st.on);
  windows.push_back(st.off);
  const WhiteNoise noise = PooledWhiteNoise(windows, tau0);
  const double t = static_cast<double>(std::min(st.on.size(), st.off.size())) * tau0;
  const double value = Mean(st.on) - Mean(st.off);
  const double se = std::sqrt(2.0 * noise.AllanVariance(t));
  const double z = StudentT(0.95, noise.edf);
  return Valued("self_test_response", "deg/s", value, value - z * se, value + z * se,
                "self-test bit set less clear, " + Fixed(t, 0) + " s averages");
}

}  // namespace

Repeatability AnalyseRepeatability(const RepeatabilityInput& in) {
  Repeatability r;
  Characterisation& doc = r.doc;
  doc.test = "repeatability";
  const size_t k = in.cycles.size();
  const char* name = in.turnOn ? "turn_on_repeatability" : "wake_repeatability";

  std::vector<std::vector<double>> windows;
  double tLo = 0.0, tHi = 0.0;
  for (size_t i = 0; i < k; ++i) {
    const RepeatCycle& c = in.cycles[i];
    double bias = c.bias ? *c.bias : Mean(c.samples);
    if (in.tempco) bias -= in.tempco->At(c.temperature, Ramp::Up) - in.tempco->At(25.0, Ramp::Up);
    r.biases.push_back(bias);
    doc.cycles.push_back({bias, c.temperature, c.words});
    windows.push_back(c.samples);
    tLo = i == 0 ? c.temperature : std::min(tLo, c.temperature);
    tHi = i == 0 ? c.temperature : std::max(tHi, c.temperature);
  }
  if (k > 0) {
    doc.words = in.cycles.front().words;
    r.temperatureSpread = tHi - tLo;
    const auto [lo, hi] = std::minmax_element(r.biases.begin(), r.biases.end());
    r.spread = *hi - *lo;
  }
  for (size_t i = 1; i < k; ++i)
    if (in.cycles[i].words != in.cycles[0].words)
      doc.warnings.push_back("the Gyro_Ofst or Gyro_Scale word read back changed at cycle " +
                             std::to_string(i + 1) + ": the setup did not hold");
  if (r.temperatureSpread > kTemperatureSpreadLimit)
    doc.warnings.push_back("the temperature moved " + Fixed(r.temperatureSpread, 1) +
                           " degC over the cycles, so the tempco is part of the spread" +
                           (in.tempco
                                ? std::string(" (each bias was corrected by the tempco given)")
                                : std::string(": give --tempco F.json to correct each bias")));

  const WhiteNoise white = PooledWhiteNoise(windows, in.tau0);
  r.arw2 = white.arw2;
  const double whiteVariance = white.VarianceOfMean(in.averageS);

  const std::string conditions =
      std::to_string(k) + (in.turnOn ? " power cycles" : " wakes") + " after " + Fixed(in.offS, 1) +
      " s off, " + Fixed(in.averageS, 0) + " s averages" +
      (in.turnOn ? ", the setup restored after each power-up"
                 : ", wake-to-wake: the die stays warm and the registers stay set, so it "
                   "understates a power cycle");
  if (k < 2) {
    doc.figures.push_back(
        Null(name, "deg/s", "not estimated: needs at least 2 cycles", conditions));
  } else {
    const double mean = Mean(r.biases);
    double ss = 0.0;
    for (double b : r.biases) ss += (b - mean) * (b - mean);
    const double dof = static_cast<double>(k - 1);
    r.s = std::sqrt(ss / dof);
    r.rawLo = r.s * std::sqrt(dof / ChiSquareQuantile(0.975, dof));
    r.rawHi = r.s * std::sqrt(dof / ChiSquareQuantile(0.025, dof));
    Figure f = Valued(name, "deg/s", WhiteCorrected(r.s, whiteVariance),
                      WhiteCorrected(r.rawLo, whiteVariance),
                      WhiteCorrected(r.rawHi, whiteVariance), conditions);
    f.signedValue = false;
    doc.figures.push_back(std::move(f));
  }
  if (in.selfTest) doc.figures.push_back(SelfTestFigure(*in.selfTest, windows, in.tau0));

  doc.conditions = {{"cycles", static_cast<double>(k)},
                    {"off_s", in.offS},
                    {"average_s", in.averageS},
                    {"kind", std::string(in.turnOn ? "turn-on" : "wake-to-wake")},
                    {"s_dps", r.s},
                    {"spread_dps", r.spread},
                    {"arw_dps_root_s", std::sqrt(r.arw2)},
                    {"temperature_spread_degc", r.temperatureSpread},
                    {"tempco_corrected", std::string(in.tempco ? "yes" : "no")}};
  return r;
}

}  // namespace velk::characterise
