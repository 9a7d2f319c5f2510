#include "characterise/Scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "characterise/LeastSquares.h"

namespace velk::characterise {

namespace {

// A block of the moving mean: its samples' mean and spread.
struct Block {
  double t0 = 0.0, t1 = 0.0;
  double mean = 0.0, sd = 0.0;
  int64_t n = 0;
};

std::string Num(double v, const char* format = "%.4g") {
  char text[40];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

size_t IndexAt(const std::vector<double>& time, double t) {
  return static_cast<size_t>(std::lower_bound(time.begin(), time.end(), t) - time.begin());
}

// The median step between samples: the period, whatever gaps the record has.
double Period(const std::vector<double>& time) {
  std::vector<double> steps;
  const size_t every = std::max<size_t>(1, time.size() / 4096);
  for (size_t i = every; i < time.size(); i += every) steps.push_back(time[i] - time[i - 1]);
  if (steps.empty()) return 0.0;
  std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
  return steps[steps.size() / 2];
}

std::vector<Block> Blocks(const ScaleInput& in, double from, double to, double window) {
  std::vector<Block> blocks;
  const size_t first = IndexAt(in.time, from), last = IndexAt(in.time, to);
  for (size_t i = first; i < last;) {
    const double start = from + std::floor((in.time[i] - from) / window) * window;
    const double stop = std::min(start + window, to);
    double sum = 0.0, sum2 = 0.0;
    const double ref = in.rate[i];  // shifted sums keep a large level's spread exact
    Block b;
    b.t0 = start;
    b.t1 = stop;
    for (; i < last && in.time[i] < stop; ++i, ++b.n) {
      const double d = in.rate[i] - ref;
      sum += d;
      sum2 += d * d;
    }
    const auto n = static_cast<double>(b.n);
    b.mean = ref + sum / n;
    b.sd = b.n > 1 ? std::sqrt(std::max(0.0, (sum2 - sum * sum / n) / (n - 1))) : 0.0;
    blocks.push_back(b);
  }
  return blocks;
}

// The variance of a mean of n samples: white noise over their time and the codes' rounding.
double MeanVariance(const ScaleInput& in, double white, double tau0, double n) {
  return white * white / (n * tau0) + in.lsb * in.lsb / 12.0 / n;
}

ScalePlateau Measure(const ScaleInput& in, double white, double tau0, double start, double end,
                     double commanded) {
  ScalePlateau p;
  p.commanded = commanded;
  p.start = start;
  p.end = end;
  const size_t a = IndexAt(in.time, start), b = IndexAt(in.time, end);
  p.samples = static_cast<int64_t>(b - a);
  if (p.samples < 2) return p;
  double sum = 0.0, sum2 = 0.0;
  const double ref = in.rate[a];
  for (size_t i = a; i < b; ++i) {
    sum += in.rate[i] - ref;
    sum2 += (in.rate[i] - ref) * (in.rate[i] - ref);
  }
  const auto n = static_cast<double>(p.samples);
  p.mean = ref + sum / n;
  p.spread = std::sqrt(std::max(0.0, (sum2 - sum * sum / n) / (n - 1)));
  p.se = std::sqrt(MeanVariance(in, white, tau0, n));
  p.used = true;
  return p;
}

double MedianSpread(const std::vector<Block>& blocks) {
  std::vector<double> sd;
  for (const Block& b : blocks)
    if (b.n > 1) sd.push_back(b.sd);
  if (sd.empty()) return 0.0;
  std::nth_element(sd.begin(), sd.begin() + sd.size() / 2, sd.end());
  return sd[sd.size() / 2];
}

// Runs of steady blocks, as [first, last] block indices.
struct Run {
  size_t first = 0, last = 0;
  double level = 0.0;
};

std::vector<Run> SteadyRuns(const ScaleInput& in, const std::vector<Block>& blocks, double white,
                            double tau0, double spreadLimit) {
  const PlateauOptions& o = in.options;
  std::vector<Run> runs;
  std::optional<Run> open;
  double sum = 0.0, count = 0.0;
  const auto close = [&] {
    if (open && blocks[open->last].t1 - blocks[open->first].t0 >= o.minRun - 1e-9) {
      open->level = sum / count;
      runs.push_back(*open);
    }
    open.reset();
  };
  for (size_t i = 0; i < blocks.size(); ++i) {
    const Block& b = blocks[i];
    if (b.n < 2 || b.sd > spreadLimit) {
      close();
      continue;
    }
    const auto n = static_cast<double>(b.n);
    if (open) {
      const double var = MeanVariance(in, white, tau0, n) + MeanVariance(in, white, tau0, count);
      if (std::abs(b.mean - sum / count) <= o.meanSigmas * std::sqrt(var)) {
        open->last = i;
        sum += b.mean * n;
        count += n;
        continue;
      }
      close();
    }
    open = Run{i, i, 0.0};
    sum = b.mean * n;
    count = n;
  }
  close();
  return runs;
}

double SpreadLimit(const ScaleInput& in, const std::vector<Block>& blocks) {
  return in.options.spreadRatio * std::max(MedianSpread(blocks), in.lsb / std::sqrt(12.0));
}

// A commanded window: its end trimmed, its start past whatever was still moving.
ScalePlateau CheckWindow(const ScaleInput& in, double white, double tau0, double spreadLimit,
                         double lo, double hi, double commanded) {
  const PlateauOptions& o = in.options;
  const std::vector<Block> blocks = Blocks(in, lo, hi, o.window);
  ScalePlateau p = Measure(in, white, tau0, lo, hi, commanded);
  if (blocks.empty() || p.samples < 2) {
    p.used = false;
    p.note = "no samples in its window";
    return p;
  }
  // The level the table settled at: the median block of the later half, which the end of a
  // long ramp reaching into it does not move.
  std::vector<double> late;
  double count = 0.0;
  for (size_t i = blocks.size() / 2; i < blocks.size(); ++i) {
    late.push_back(blocks[i].mean);
    count += static_cast<double>(blocks[i].n);
  }
  std::nth_element(late.begin(), late.begin() + late.size() / 2, late.end());
  const double level = late[late.size() / 2];
  count /= std::numbers::pi / 2.0;  // a median's variance is pi / 2 the mean's
  size_t steady = blocks.size();
  while (steady > 0) {
    const Block& b = blocks[steady - 1];
    const double var =
        MeanVariance(in, white, tau0, static_cast<double>(std::max<int64_t>(b.n, 1))) +
        MeanVariance(in, white, tau0, count);
    if (b.n < 2 || b.sd > spreadLimit || std::abs(b.mean - level) > o.meanSigmas * std::sqrt(var))
      break;
    --steady;
  }
  if (steady == 0) return p;
  const double from = blocks[steady - 1].t1;
  if (hi - from < o.minRun - 1e-9) {
    p.used = false;
    p.note = "still moving " + Num(from - lo + o.trim, "%.1f") +
             " s into its dwell, leaving less than " + Num(o.minRun) + " s: hold each rate longer";
    return p;
  }
  p = Measure(in, white, tau0, from, hi, commanded);
  p.note = "the first " + Num(from - lo + o.trim, "%.1f") + " s left out: still moving";
  return p;
}

int Sign(double v) {
  return v > 0 ? 1 : v < 0 ? -1 : 0;
}

// Normal draws for the bootstrap from a counter, the same on every platform.
class Normals {
 public:
  explicit Normals(uint64_t seed) : state_(seed) {}
  double Next() {
    if (hasSpare_) {
      hasSpare_ = false;
      return spare_;
    }
    const double u1 = (static_cast<double>(Mix() >> 11) + 0.5) * 0x1.0p-53;
    const double u2 = static_cast<double>(Mix() >> 11) * 0x1.0p-53;
    const double r = std::sqrt(-2.0 * std::log(u1));
    spare_ = r * std::sin(2.0 * std::numbers::pi * u2);
    hasSpare_ = true;
    return r * std::cos(2.0 * std::numbers::pi * u2);
  }

 private:
  uint64_t Mix() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t state_;
  double spare_ = 0.0;
  bool hasSpare_ = false;
};

// The bias each plateau sees: with two zero-rate plateaus or more, interpolated in time
// between them (held beyond the first and the last), so the drift of a long run is taken out
// where it happened; else one constant. Each row holds the weights of the bias parameters.
std::vector<std::vector<double>> BiasBasis(const std::vector<double>& t,
                                           const std::vector<double>& x) {
  std::vector<double> knots;
  for (size_t i = 0; i < t.size(); ++i)
    if (x[i] == 0.0) knots.push_back(t[i]);
  std::sort(knots.begin(), knots.end());
  knots.erase(std::unique(knots.begin(), knots.end()), knots.end());
  std::vector<std::vector<double>> rows;
  for (double ti : t) {
    if (knots.size() < 2) {
      rows.push_back({1.0});
      continue;
    }
    std::vector<double> row(knots.size(), 0.0);
    const auto above = std::upper_bound(knots.begin(), knots.end(), ti) - knots.begin();
    if (above == 0) {
      row.front() = 1.0;
    } else if (static_cast<size_t>(above) == knots.size()) {
      row.back() = 1.0;
    } else {
      const auto j = static_cast<size_t>(above - 1);
      const double f = (ti - knots[j]) / (knots[j + 1] - knots[j]);
      row[j] = 1.0 - f;
      row[j + 1] = f;
    }
    rows.push_back(row);
  }
  return rows;
}

// The rows of a design: the bias's weights, then the terms in the rate x (over full scale).
template <typename Terms>
Design Rows(const std::vector<std::vector<double>>& bias, const std::vector<double>& x,
            Terms terms) {
  Design d;
  for (size_t i = 0; i < x.size(); ++i) {
    std::vector<double> row = bias[i];
    for (double v : terms(x[i])) row.push_back(v);
    d.push_back(std::move(row));
  }
  return d;
}

std::vector<double> Residuals(const Fit& fit, const Design& d, const std::vector<double>& y) {
  std::vector<double> r(y);
  for (size_t i = 0; i < y.size(); ++i)
    for (size_t j = 0; j < d[i].size(); ++j) r[i] -= fit.coef[j] * d[i][j];
  return r;
}

// The largest residual of the line, in % of the output at full scale (its slope, x being the
// rate over full scale).
double Nonlinearity(const Fit& fit, const Design& d, const std::vector<double>& y) {
  double most = 0.0;
  for (double r : Residuals(fit, d, y)) most = std::max(most, std::abs(r));
  return most / std::abs(fit.coef[d[0].size() - 1]) * 100.0;
}

}  // namespace

std::vector<double> DefaultRates(double fullScale) {
  const double shares[] = {1, 2, 5, 10, 20, 40, 60, 80, 95};
  std::vector<double> rates{0.0};
  int since = 0;
  for (double share : shares)
    for (int sign : {1, -1}) {
      rates.push_back(sign * share / 100.0 * fullScale);
      if (++since == 4) {
        rates.push_back(0.0);
        since = 0;
      }
    }
  if (rates.back() != 0.0) rates.push_back(0.0);
  return rates;
}

double RobustWhite(const std::vector<double>& time, const std::vector<double>& rate,
                   double window) {
  if (time.size() < 3) return 0.0;
  ScaleInput in;
  in.time = time;
  in.rate = rate;
  const std::vector<Block> blocks = Blocks(in, time.front(), time.back() + window, window);
  // Blocks whose spread shows motion are no part of it.
  const double moving = 3.0 * MedianSpread(blocks);
  const auto still = [&](const Block& b) { return b.n > 1 && b.sd <= moving; };
  std::vector<double> steps;
  for (size_t i = 1; i < blocks.size(); ++i)
    if (still(blocks[i]) && still(blocks[i - 1]) && blocks[i].t0 == blocks[i - 1].t1)
      steps.push_back(std::abs(blocks[i].mean - blocks[i - 1].mean));
  if (steps.size() < 2) return 0.0;
  std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
  // A difference of two means over `window` has SD N sqrt(2 / window); 0.6745 SD is its median.
  return steps[steps.size() / 2] / 0.67449 / std::sqrt(2.0 / window);
}

Result<std::vector<ScalePlateau>, std::string> FindPlateaus(const ScaleInput& in) {
  const PlateauOptions& o = in.options;
  if (in.time.size() != in.rate.size() || in.time.size() < 4)
    return Unexpected(std::string("the record holds too few samples for a plateau"));
  if (in.commanded.empty()) return Unexpected(std::string("no rates were asked for"));
  const double tau0 = Period(in.time);
  const double white = in.white;
  const std::vector<Block> all = Blocks(in, in.time.front(), in.time.back() + tau0, o.window);
  const double spreadLimit = SpreadLimit(in, all);
  std::vector<ScalePlateau> plateaus;

  if (!in.windows.empty()) {
    if (in.windows.size() != in.commanded.size())
      return Unexpected("the record holds " + std::to_string(in.windows.size()) +
                        " table windows for " + std::to_string(in.commanded.size()) + " rates");
    for (size_t i = 0; i < in.windows.size(); ++i) {
      double hi = in.windows[i].time + in.windows[i].dwell;
      if (i + 1 < in.windows.size()) hi = std::min(hi, in.windows[i + 1].time);
      plateaus.push_back(CheckWindow(in, white, tau0, spreadLimit, in.windows[i].time + o.trim,
                                     hi - o.trim, in.commanded[i]));
    }
    return plateaus;
  }

  for (const Run& run : SteadyRuns(in, all, white, tau0, spreadLimit)) {
    const double t0 = all[run.first].t0, t1 = all[run.last].t1;
    const double cut = o.trim + o.trimShare * (t1 - t0);
    plateaus.push_back(Measure(in, white, tau0, t0 + cut, t1 - cut, std::nan("")));
  }
  const std::string unit = in.lsb == 1.0 ? "codes" : "deg/s";
  if (plateaus.size() != in.commanded.size())
    return Unexpected("found " + std::to_string(plateaus.size()) +
                      (plateaus.size() == 1 ? " plateau" : " plateaus") + " of at least " +
                      Num(o.minRun) + " s where " + std::to_string(in.commanded.size()) +
                      " rates were asked for; give the rates the table ran, or other detection "
                      "thresholds. Found:\n" +
                      PlateauTable(plateaus, unit));
  double zero = 0.0, zeros = 0.0;
  for (size_t i = 0; i < plateaus.size(); ++i)
    if (in.commanded[i] == 0.0) {
      zero += plateaus[i].mean;
      ++zeros;
    }
  if (zeros > 0) zero /= zeros;
  for (size_t i = 0; i < plateaus.size(); ++i) plateaus[i].commanded = in.commanded[i];
  for (size_t i = 0; i < plateaus.size(); ++i) {
    const int asked = Sign(in.commanded[i]);
    if (asked != 0 && Sign((plateaus[i].mean - zero) * in.nominal) != asked)
      return Unexpected("plateau " + std::to_string(i + 1) + " lies on the other side of the " +
                        (zeros > 0 ? "zero-rate plateaus" : "zero") + " from the " +
                        Num(in.commanded[i]) +
                        " deg/s asked for: the plateaus found do not follow the rates given in "
                        "order; give the rates the table ran. Found:\n" +
                        PlateauTable(plateaus, unit));
  }
  return plateaus;
}

Scale FitScale(std::vector<ScalePlateau> plateaus, const ScaleInput& in) {
  Scale s;
  s.white = in.white;
  Characterisation& doc = s.doc;
  doc.test = "scale";
  const double fs = in.fullScale;
  std::vector<double> x, y, w, t;
  double lowest = HUGE_VAL, highest = -HUGE_VAL;
  for (size_t i = 0; i < plateaus.size(); ++i) {
    ScalePlateau& p = plateaus[i];
    const std::string name =
        "plateau " + std::to_string(i + 1) + " (" + Num(p.commanded) + " deg/s)";
    if (p.used && std::abs(p.mean) >= 0.98 * in.codeLimit * in.lsb) {
      p.used = false;
      p.note = "saturated: within 2 % of the code limit " + Num(in.codeLimit);
    } else if (p.used && std::abs(p.commanded) > fs * (1.0 + 1e-9)) {
      p.used = false;
      p.note = "beyond the full scale of " + Num(fs) + " deg/s";
    }
    if (!p.used) {
      doc.warnings.push_back(name + " left out: " + p.note);
      continue;
    }
    x.push_back(p.commanded / fs);
    y.push_back(p.mean);
    w.push_back(1.0 / (p.se * p.se));
    t.push_back((p.start + p.end) / 2.0);
    lowest = std::min(lowest, p.commanded);
    highest = std::max(highest, p.commanded);
  }
  const size_t n = x.size();
  const std::vector<std::vector<double>> bias = BiasBasis(t, x);
  const size_t kb = n > 0 ? bias[0].size() : 1;  // bias parameters; the slope follows them
  const std::string conditions =
      std::to_string(n) + " plateaus from " + Num(lowest) + " to " + Num(highest) +
      " deg/s, each mean weighted by its SE" +
      (kb > 1 ? ", the bias drifting between " + std::to_string(kb) + " zero-rate plateaus"
              : std::string());
  const Design lineRows = Rows(bias, x, [](double v) { return std::vector<double>{v}; });
  const std::optional<Fit> line =
      n >= kb + 2 && highest > lowest ? LeastSquares(lineRows, y, w) : std::nullopt;
  if (!line || line->coef[kb] == 0.0) {
    const std::string why = "not estimated: needs 3 plateaus or more at 2 rates or more" +
                            std::string(kb > 1 ? ", besides the zero-rate ones" : "");
    doc.figures.push_back(Null("scale_factor", "LSB/(deg/s)", why, conditions));
    doc.figures.push_back(Null("scale_factor_error", "%", why, conditions));
    doc.figures.push_back(Null("nonlinearity", "% FS", why, conditions));
    doc.figures.back().signedValue = false;
    doc.figures.push_back(Null("asymmetry", "%", why, conditions));
    for (const ScalePlateau& p : plateaus)
      doc.plateaus.push_back({p.commanded, p.mean / in.lsb, p.se / in.lsb, 0.0, false});
    s.plateaus = std::move(plateaus);
    return s;
  }

  // The scatter the SEs do not explain, judged from a fit that also carries the asymmetry and
  // a cubic term: the line's own misfit is the nonlinearity, not noise. Only scatter beyond
  // chance (the chi-square's 95 % point) widens the intervals.
  const bool bothSigns = lowest < 0 && highest > 0;
  const Design full = Rows(bias, x, [&](double v) {
    return bothSigns ? std::vector<double>{v, v * v * v, std::abs(v)}
                     : std::vector<double>{v, v * v * v};
  });
  double scale2 = 1.0, q = 1.959964;
  const std::optional<Fit> noise = LeastSquares(full, y, w);
  if (noise && noise->dof >= 2 &&
      noise->chi2 > ChiSquareQuantile(0.95, static_cast<double>(noise->dof))) {
    scale2 = noise->ReducedChi2();
    q = StudentT(0.95, noise->dof);
  }
  // Slow noise moves a rate and its opposite, run one after the other, alike, and the largest
  // residuals sit at the widest pair: the bootstrap draws the scatter of the pairs' sums when
  // it exceeds the plateaus' own. (The asymmetry, measured against the drifting bias, is left
  // as the fit gives it: so widened its intervals held the truth in 98 % of allan-a records.)
  double pairScale2 = scale2, pairQ = q;
  if (noise && bothSigns) {
    const std::vector<double> r = Residuals(*noise, full, y);
    double pairs = 0.0, sums = 0.0;
    for (size_t i = 0; i + 1 < n; ++i)
      if (x[i] != 0.0 && x[i + 1] == -x[i]) {
        sums += (r[i] + r[i + 1]) * (r[i] + r[i + 1]) / (1.0 / w[i] + 1.0 / w[i + 1]);
        ++pairs;
        ++i;
      }
    if (pairs >= 4 && sums / (pairs - 2.0) > scale2) {
      pairScale2 = sums / (pairs - 2.0);
      pairQ = StudentT(0.95, pairs - 2.0);
    }
  }

  const double k = line->coef[kb] / fs;  // output unit per deg/s
  const double kSe = std::sqrt(line->cov[kb][kb] * scale2) / fs;
  const double sf = k / in.lsb;
  const double sfSe = kSe / in.lsb;
  doc.figures.push_back(
      Valued("scale_factor", "LSB/(deg/s)", sf, sf - q * sfSe, sf + q * sfSe, conditions));
  const double err = (sf / in.nominal - 1.0) * 100.0;
  const double errHalf = q * sfSe / std::abs(in.nominal) * 100.0;
  doc.figures.push_back(Valued(
      "scale_factor_error", "%", err, err - errHalf, err + errHalf,
      "against the range's nominal " + Num(in.nominal, "%.6g") + " LSB/(deg/s); " + conditions));

  // The nonlinearity: its largest residual is biased up by the noise, so the interval is the
  // bootstrap's reflected about the estimate (2 x - q), which takes that bias out. The draws'
  // spread is scaled as the t quantile would widen a normal interval.
  const double nl = Nonlinearity(*line, lineRows, y);
  std::vector<double> draws;
  Normals normals(in.seed);
  std::vector<double> yb(n);
  const double drawScale = std::sqrt(pairScale2) * pairQ / 1.959964;
  for (int d = 0; d < in.draws; ++d) {
    for (size_t i = 0; i < n; ++i) yb[i] = y[i] + drawScale / std::sqrt(w[i]) * normals.Next();
    if (const std::optional<Fit> f = LeastSquares(lineRows, yb, w); f && f->coef[kb] != 0.0)
      draws.push_back(Nonlinearity(*f, lineRows, yb));
  }
  if (draws.size() >= 100) {
    std::sort(draws.begin(), draws.end());
    const auto at = [&](double p) {
      return draws[static_cast<size_t>(std::lround(p * static_cast<double>(draws.size() - 1)))];
    };
    doc.figures.push_back(Valued("nonlinearity", "% FS", nl, std::max(0.0, 2.0 * nl - at(0.975)),
                                 std::max(0.0, 2.0 * nl - at(0.025)),
                                 "largest residual from the line over " + std::to_string(n) +
                                     " plateaus, interval from " + std::to_string(draws.size()) +
                                     " bootstrap draws"));
  } else {
    doc.figures.push_back(
        Null("nonlinearity", "% FS", "not estimated: the bootstrap's fits failed", conditions));
  }
  doc.figures.back().signedValue = false;

  // Asymmetry: K+ and K- with one bias.
  const Design kinked = Rows(bias, x, [](double v) {
    return std::vector<double>{std::max(v, 0.0), std::min(v, 0.0)};
  });
  const std::optional<Fit> two = bothSigns ? LeastSquares(kinked, y, w) : std::nullopt;
  if (!two) {
    doc.figures.push_back(
        Null("asymmetry", "%", "not estimated: needs plateaus of both signs", conditions));
  } else {
    const double kp = two->coef[kb], km = two->coef[kb + 1], sum = kp + km;
    const double a = 2.0 * (kp - km) / sum * 100.0;
    // d a / d K+ = 400 K- / S^2, d a / d K- = -400 K+ / S^2.
    const double gp = 400.0 * km / (sum * sum), gm = -400.0 * kp / (sum * sum);
    const auto& c = two->cov;
    const double var = scale2 * (gp * gp * c[kb][kb] + gm * gm * c[kb + 1][kb + 1] +
                                 2.0 * gp * gm * c[kb][kb + 1]);
    const double half = q * std::sqrt(var);
    doc.figures.push_back(Valued("asymmetry", "%", a, a - half, a + half,
                                 "(K+ - K-) / their mean, one bias; " + conditions));
  }

  const std::vector<double> r = Residuals(*line, lineRows, y);
  size_t j = 0;
  for (ScalePlateau& p : plateaus)
    if (p.used) p.residual = r[j++];
  for (const ScalePlateau& p : plateaus)
    doc.plateaus.push_back(
        {p.commanded, p.mean / in.lsb, p.se / in.lsb, p.used ? p.residual / in.lsb : 0.0, p.used});
  doc.conditions.push_back({"full_scale_dps", fs});
  doc.conditions.push_back({"plateaus", static_cast<double>(n)});
  s.plateaus = std::move(plateaus);
  return s;
}

Result<Scale, std::string> AnalyseScale(const ScaleInput& in) {
  Result<std::vector<ScalePlateau>, std::string> found = FindPlateaus(in);
  if (!found) return Unexpected(found.error());
  return FitScale(*std::move(found), in);
}

std::string PlateauTable(const std::vector<ScalePlateau>& plateaus, const std::string& unit) {
  std::string text = "plateau  asked (deg/s)   from (s)     to (s)  mean (" + unit + ")  spread\n";
  char line[200];
  int k = 0;
  for (const ScalePlateau& p : plateaus) {
    const std::string asked = std::isnan(p.commanded) ? "-" : Num(p.commanded);
    std::snprintf(line, sizeof line, "%7d  %13s  %9.1f  %9.1f  %12.5g  %6.3g%s%s\n", ++k,
                  asked.c_str(), p.start, p.end, p.mean, p.spread, p.note.empty() ? "" : "  ",
                  p.note.c_str());
    text += line;
  }
  return text;
}

}  // namespace velk::characterise
