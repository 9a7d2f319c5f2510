#include "characterise/Tempco.h"

#include <algorithm>
#include <cmath>

#include "characterise/Excursion.h"
#include "characterise/SlowNoise.h"
#include "characterise/TempBins.h"

namespace velk::characterise {

namespace {

std::string Fixed(double v, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

struct Model {
  bool quadratic = false, hysteresis = false, lag = false;
  std::vector<const char*> Columns() const {
    std::vector<const char*> c = {"b0", "b1"};
    if (quadratic) c.push_back("b2");
    if (hysteresis) c.push_back("h");
    if (lag) c.push_back("c");
    return c;
  }
};

std::vector<double> Row(const Model& m, const TempBin& b) {
  const double dt = b.temperature - 25.0;
  std::vector<double> row = {1.0, dt};
  if (m.quadratic) row.push_back(dt * dt);
  if (m.hysteresis) row.push_back(b.ramp == Ramp::Up ? 0.5 : -0.5);
  if (m.lag) row.push_back(b.rate);
  return row;
}

TimedData Data(const Model& m, const std::vector<TempBin>& bins) {
  TimedData d;
  for (const TempBin& b : bins) {
    d.x.push_back(Row(m, b));
    d.y.push_back(b.bias);
    d.se.push_back(b.se);
    d.time.push_back(b.time);
  }
  return d;
}

std::optional<Fit> FitBins(const Model& m, const std::vector<TempBin>& bins,
                           const SlowNoise& slow) {
  if (bins.size() <= m.Columns().size()) return std::nullopt;  // nothing left to judge the fit
  if (slow != SlowNoise{}) return SlowNoiseFit(Data(m, bins)).At(slow);
  TimedData d = Data(m, bins);
  std::vector<double> w;
  for (double se : d.se) w.push_back(1.0 / (se * se));
  return LeastSquares(d.x, d.y, w);
}

size_t Index(const std::vector<const char*>& columns, std::string_view name) {
  for (size_t i = 0; i < columns.size(); ++i)
    if (columns[i] == name) return i;
  return columns.size();
}

void Refuse(Tempco& r, const std::string& reason) {
  for (auto [name, unit] : {std::pair{"bias", "deg/s"},
                            {"bias_tempco", "deg/s/degC"},
                            {"bias_tempco_quadratic", "deg/s/degC^2"},
                            {"bias_excursion", "deg/s"},
                            {"hysteresis", "deg/s"},
                            {"sensor_lag", "s"}})
    r.doc.figures.push_back(Null(name, unit, "not estimated: " + reason));
}

// What makes the figures doubtful, said with the fix.
void Warn(Tempco& r, const std::vector<TempBin>& bins, double from, double to) {
  const double fastest =
      r.rampRates.empty() ? 0.0 : *std::max_element(r.rampRates.begin(), r.rampRates.end());
  if (fastest > kFastRamp)
    r.doc.warnings.push_back("a ramp ran at " + Fixed(fastest * 60.0, 2) +
                             " degC/min, faster than 2 degC/min: the die lags the chamber");
  if (r.span < kQuadraticSpan)
    r.doc.warnings.push_back("the bins span " + Fixed(r.span, 1) +
                             " degC, under 20 degC: the tempco is a local slope");
  // A ramp's first and last bins are cut by where it starts and stops; only the others count.
  long shortBins = 0;
  for (size_t i = 0; i < bins.size(); ++i) {
    const bool first = i == 0 || bins[i - 1].ramp != bins[i].ramp;
    const bool last = i + 1 == bins.size() || bins[i + 1].ramp != bins[i].ramp;
    if (!first && !last && bins[i].seconds < kShortBinS) ++shortBins;
  }
  if (shortBins > 0)
    r.doc.warnings.push_back(std::to_string(shortBins) + " of " + std::to_string(bins.size()) +
                             " bins hold less than 30 s: ramp slower for a steadier mean");
  if (25.0 < from || 25.0 > to)
    r.doc.warnings.push_back(
        "25 degC lies outside the range fitted: the bias there is "
        "extrapolated");
}

}  // namespace

Tempco AnalyseTempco(const TempcoInput& in, const TempcoOptions& options) {
  Tempco r;
  r.doc.test = "tempco";
  Binned binned = BinRamps(in);
  if (binned.refused) {
    Refuse(r, *binned.refused);
    return r;
  }
  r.rampRates = binned.rampRates;
  std::vector<TempBin>& bins = binned.bins;
  if (bins.empty()) {
    Refuse(r, "no ramp: the temperature never changed faster than 0.05 degC/min");
    return r;
  }
  const auto [coolest, warmest] = std::minmax_element(
      bins.begin(), bins.end(),
      [](const TempBin& a, const TempBin& b) { return a.temperature < b.temperature; });
  const double from = coolest->temperature, to = warmest->temperature;
  r.span = to - from;

  Model model;
  model.hysteresis =
      std::any_of(bins.begin(), bins.end(), [](const TempBin& b) { return b.ramp == Ramp::Up; }) &&
      std::any_of(bins.begin(), bins.end(), [](const TempBin& b) { return b.ramp == Ramp::Down; });
  double slowest = 0.0, fastest = 0.0;
  if (!r.rampRates.empty()) {
    slowest = *std::min_element(r.rampRates.begin(), r.rampRates.end());
    fastest = *std::max_element(r.rampRates.begin(), r.rampRates.end());
  }
  model.lag = slowest > 0.0 && fastest >= kLagRateRatio * slowest;

  Model full = model;
  full.quadratic = true;
  // The slow noise from the fuller model, so a curve is not taken for noise.
  const bool roomForB2 = bins.size() > full.Columns().size();
  if (options.slow)
    r.slow = *options.slow;
  else if (bins.size() > kMostNoiseBins)
    r.doc.warnings.push_back(std::to_string(bins.size()) + " bins are more than " +
                             std::to_string(kMostNoiseBins) +
                             " to weigh for the slow noise they share: the intervals may be "
                             "too narrow; give a record of one chamber run");
  else if (bins.size() > model.Columns().size())
    r.slow = SlowNoiseFit(Data(roomForB2 ? full : model, bins)).Choose();
  const std::optional<Fit> reduced = FitBins(model, bins, r.slow);
  const std::optional<Fit> withB2 = FitBins(full, bins, r.slow);
  if (reduced && withB2) r.pQuadratic = FTestP(reduced->chi2, withB2->chi2, 1, withB2->dof);
  std::string quadraticReason;
  if (options.quadratic) {
    model.quadratic = *options.quadratic;
    quadraticReason = "not fitted: left out by the caller";
  } else if (r.span < kQuadraticSpan) {
    quadraticReason = "not fitted: the bins span " + Fixed(r.span, 1) + " degC, under " +
                      Fixed(kQuadraticSpan, 0) + " degC";
  } else if (!withB2) {
    quadraticReason = "not fitted: too few bins for the term";
  } else if (r.pQuadratic >= kQuadraticP) {
    quadraticReason = "not significant: the F-test gives p = " + Fixed(r.pQuadratic, 3) +
                      ", not under " + Fixed(kQuadraticP, 2);
  } else {
    model.quadratic = true;
  }
  r.fit = model.quadratic ? withB2 : reduced;
  r.columns = model.Columns();
  if (!r.fit) {
    Refuse(r, "the " + std::to_string(bins.size()) +
                  " bins of 1 degC are too few for the fit, or all at one temperature");
    return r;
  }
  const Fit& fit = *r.fit;
  const auto cov = fit.ScaledCov();
  const double t = StudentT(0.95, fit.dof);
  auto coef = [&](std::string_view name) {
    const size_t i = Index(r.columns, name);
    return i < r.columns.size() ? fit.coef[i] : 0.0;
  };
  auto variance = [&](std::string_view a, std::string_view b) {
    const size_t i = Index(r.columns, a), j = Index(r.columns, b);
    return i < r.columns.size() && j < r.columns.size() ? cov[i][j] : 0.0;
  };
  auto interval = [&](std::string_view name, const char* figure, const char* unit,
                      const std::string& conditions) {
    const double v = coef(name), half = t * std::sqrt(variance(name, name));
    return Valued(figure, unit, v, v - half, v + half, conditions);
  };

  double rampMean = 0.0;
  for (double rate : r.rampRates) rampMean += rate / static_cast<double>(r.rampRates.size());
  const std::string conditions =
      "from " + Fixed(from, 1) + " to " + Fixed(to, 1) + " degC" +
      (r.rampRates.empty() ? std::string()
                           : ", ramps at " + Fixed(rampMean * 60.0, 2) + " degC/min") +
      ", 1 degC bins";
  r.doc.figures.push_back(interval("b0", "bias", "deg/s", conditions + ", at 25 degC"));
  r.doc.figures.push_back(interval("b1", "bias_tempco", "deg/s/degC", conditions));
  r.doc.figures.push_back(
      model.quadratic ? interval("b2", "bias_tempco_quadratic", "deg/s/degC^2", conditions)
                      : Null("bias_tempco_quadratic", "deg/s/degC^2", quadraticReason, conditions));
  {
    const double b1 = coef("b1"), b2 = coef("b2");
    const auto [lo, hi] =
        ExcursionInterval(b1, b2, variance("b1", "b1"), variance("b1", "b2"), variance("b2", "b2"),
                          from, to, options.seed, options.draws);
    Figure f = Valued("bias_excursion", "deg/s", Excursion(b1, b2, from, to), lo, hi,
                      conditions + ", the most |b(T) - b(25 degC)| of the fit");
    f.signedValue = false;
    r.doc.figures.push_back(std::move(f));
  }
  if (model.hysteresis)
    r.doc.figures.push_back(
        interval("h", "hysteresis", "deg/s",
                 conditions + (model.lag ? ", up less down with the lag apart"
                                         : ", up less down, the lag's share in it")));
  else
    r.doc.figures.push_back(
        Null("hysteresis", "deg/s", "not estimated: needs both an up and a down ramp", conditions));
  if (model.lag) {
    // lag = c / b1, its variance by the delta method.
    const double b1 = coef("b1"), c = coef("c");
    const double lag = c / b1;
    const double v =
        (variance("c", "c") - 2.0 * lag * variance("b1", "c") + lag * lag * variance("b1", "b1")) /
        (b1 * b1);
    const double half = t * std::sqrt(std::max(0.0, v));
    r.doc.figures.push_back(Valued("sensor_lag", "s", lag, lag - half, lag + half,
                                   conditions + ", from ramps at " + Fixed(slowest * 60.0, 2) +
                                       " and " + Fixed(fastest * 60.0, 2) + " degC/min"));
  } else {
    r.doc.figures.push_back(Null(
        "sensor_lag", "s",
        "not estimated: needs ramps at two rates at least " + Fixed(kLagRateRatio, 0) + "x apart" +
            (r.rampRates.empty() ? std::string(" (this record has none of 2 degC or more)")
                                 : " (this record: " + Fixed(slowest * 60.0, 2) + " to " +
                                       Fixed(fastest * 60.0, 2) + " degC/min)"),
        conditions));
  }

  double ss = 0.0;
  for (const TempBin& b : bins) {
    const std::vector<double> row = Row(model, b);
    double fitted = 0.0;
    for (size_t j = 0; j < row.size(); ++j) fitted += row[j] * fit.coef[j];
    ss += (b.bias - fitted) * (b.bias - fitted);
  }
  r.residualRms = std::sqrt(ss / static_cast<double>(bins.size()));

  Warn(r, bins, from, to);

  r.doc.bins = bins;
  r.doc.curve = TempCurve{coef("b0"), coef("b1"), coef("b2"), coef("h"), coef("c"), from, to};
  r.doc.conditions = {{"from_degc", from},
                      {"to_degc", to},
                      {"span_degc", r.span},
                      {"ramp_rate_degc_per_min", rampMean * 60.0},
                      {"ramps", static_cast<double>(r.rampRates.size())},
                      {"bins", static_cast<double>(bins.size())},
                      {"reduced_chi2", fit.ReducedChi2()},
                      {"walk_dps2_per_s", r.slow.walk},
                      {"flicker_dps2", r.slow.flicker},
                      {"quadratic_p", r.pQuadratic},
                      {"residual_rms_dps", r.residualRms}};
  return r;
}

}  // namespace velk::characterise
