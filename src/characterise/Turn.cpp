#include "characterise/Turn.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "characterise/WhiteNoise.h"

namespace velk::characterise {

namespace {

constexpr double kZ95 = 1.959963985;
// A departure of the 0.5 s moving mean beyond this many of its white-noise deviations is
// motion; the floor keeps a noise-free record from taking rounding for motion.
constexpr double kMotionSigmas = 5.0;
constexpr double kMotionFloor = 1e-3;  // deg/s

std::string Fixed(double v, int digits) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

// The host's period: the slope of read time on sample number, and its standard error. Reads
// come late by a varying latency, which the residuals measure.
struct PeriodFit {
  double period = 0.0, se = 0.0, intercept = 0.0;
};

PeriodFit FitPeriod(const TurnRecord& r) {
  const auto n = static_cast<double>(r.number.size());
  double mn = 0.0, mt = 0.0;
  for (size_t i = 0; i < r.number.size(); ++i) {
    mn += static_cast<double>(r.number[i] - r.number[0]);
    mt += r.time[i];
  }
  mn /= n, mt /= n;
  double sxx = 0.0, sxy = 0.0;
  for (size_t i = 0; i < r.number.size(); ++i) {
    const double x = static_cast<double>(r.number[i] - r.number[0]) - mn;
    sxx += x * x;
    sxy += x * (r.time[i] - mt);
  }
  PeriodFit fit;
  if (!(sxx > 0.0)) return fit;
  fit.period = sxy / sxx;
  fit.intercept = mt - fit.period * mn;
  double ss = 0.0;
  for (size_t i = 0; i < r.number.size(); ++i) {
    const double e =
        r.time[i] - fit.intercept - fit.period * static_cast<double>(r.number[i] - r.number[0]);
    ss += e * e;
  }
  fit.se = n > 2 ? std::sqrt(ss / (n - 2) / sxx) : 0.0;
  return fit;
}

std::string Direction(double angle) {
  return angle >= 0 ? "counter-clockwise" : "clockwise";
}

// Index on the grid where the moving mean first (or last) leaves `level` by more than `threshold`.
std::optional<size_t> Departure(const std::vector<double>& mean, double level, double threshold,
                                bool last) {
  for (size_t i = 0; i < mean.size(); ++i) {
    const size_t k = last ? mean.size() - 1 - i : i;
    if (std::abs(mean[k] - level) > threshold) return k;
  }
  return std::nullopt;
}

Result<TurnResult, std::string> OneTurn(const TurnRecord& rec, const TurnInput& in,
                                        const std::string& name) {
  const size_t n = rec.number.size();
  if (rec.time.size() != n || rec.rate.size() != n || n < 16)
    return Unexpected(name + " holds " + std::to_string(n) +
                      " samples: record the turn with the still windows before and after it");
  for (size_t i = 1; i < n; ++i)
    if (rec.number[i] <= rec.number[i - 1])
      return Unexpected(name + ": sample number " + std::to_string(rec.number[i]) + " follows " +
                        std::to_string(rec.number[i - 1]) + "; the numbers must rise");
  if (in.limit > 0.0)
    for (size_t i = 0; i < n; ++i)
      if (std::abs(rec.rate[i]) >= kClipShare * in.limit)
        return Unexpected(name + ": sample " + std::to_string(rec.number[i]) + " reads " +
                          Fixed(rec.rate[i], 1) + " deg/s, within 2 % of where the output clips (" +
                          Fixed(in.limit, 0) +
                          " deg/s), so the angle would come short: turn more slowly, or on the "
                          "widest range");

  TurnResult t;
  const PeriodFit fit = FitPeriod(rec);
  if (!(fit.period > 0.0))
    return Unexpected(name + ": the host times do not rise with the sample numbers");
  t.period = fit.period;
  const double p = fit.period;

  // Every number from the first to the last, a lost sample the line between its neighbours.
  const int64_t first = rec.number.front();
  if (rec.number.back() - first + 1 > 2 * static_cast<int64_t>(n))
    return Unexpected(name + " misses more than half its samples (numbers " +
                      std::to_string(first) + " to " + std::to_string(rec.number.back()) + ", " +
                      std::to_string(n) + " read): record the turn again");
  std::vector<double> grid(static_cast<size_t>(rec.number.back() - first + 1));
  for (size_t i = 0; i < n; ++i) {
    grid[static_cast<size_t>(rec.number[i] - first)] = rec.rate[i];
    if (i + 1 < n && rec.number[i + 1] > rec.number[i] + 1) {
      const int64_t gap = rec.number[i + 1] - rec.number[i];
      t.lost += gap - 1;
      for (int64_t g = 1; g < gap; ++g)
        grid[static_cast<size_t>(rec.number[i] + g - first)] =
            rec.rate[i] +
            (rec.rate[i + 1] - rec.rate[i]) * static_cast<double>(g) / static_cast<double>(gap);
    }
  }
  const size_t m = grid.size();
  const auto samples = [&](double seconds) {
    return static_cast<size_t>(std::max(1.0, std::round(seconds / p)));
  };
  const size_t half = samples(0.25), guard = samples(kStillGuard), edge = samples(1.0);
  if (m < 4 * edge)
    return Unexpected(name + " lasts " + Fixed(static_cast<double>(m) * p, 1) +
                      " s: hold still 3 s, turn, then hold still 3 s");

  std::vector<double> sums(m + 1, 0.0);
  for (size_t k = 0; k < m; ++k) sums[k + 1] = sums[k] + grid[k];
  std::vector<double> moving(m);
  for (size_t k = 0; k < m; ++k) {
    const size_t lo = k >= half ? k - half : 0, hi = std::min(m, k + half + 1);
    moving[k] = (sums[hi] - sums[lo]) / static_cast<double>(hi - lo);
  }
  // The white noise of a 0.5 s mean: given, or from the record's first and last two seconds.
  double arw2 = in.arw ? *in.arw * *in.arw : 0.0;
  if (!in.arw) {
    const size_t two = std::min(m / 4, samples(2.0));
    const std::vector<std::vector<double>> ends = {
        {grid.begin(), grid.begin() + static_cast<std::ptrdiff_t>(two)},
        {grid.end() - static_cast<std::ptrdiff_t>(two), grid.end()}};
    arw2 = PooledWhiteNoise(ends, p).arw2;
  }
  const double threshold =
      std::max(kMotionSigmas * std::sqrt(arw2 / (2.0 * half * p)), kMotionFloor);
  const auto e = static_cast<std::ptrdiff_t>(edge);
  const double levelBefore = Median(std::vector<double>(moving.begin(), moving.begin() + e));
  const double levelAfter = Median(std::vector<double>(moving.end() - e, moving.end()));
  // The motion found where it is plain, then followed out to where the mean settles: noise or
  // a slow drift far from the turn never passes for its edge.
  const double plain = std::max(
      4.0 * threshold,
      0.02 * std::abs(*std::max_element(moving.begin(), moving.end(), [&](double x, double y) {
        return std::abs(x - levelBefore) < std::abs(y - levelBefore);
      }) - levelBefore));
  std::optional<size_t> start = Departure(moving, levelBefore, plain, false);
  std::optional<size_t> end = Departure(moving, levelAfter, plain, true);
  if (!start || !end || *end < *start)
    return Unexpected(name + " shows no turn: the rate never left its still level by " +
                      Fixed(plain, 3) + " deg/s");
  while (*start > 0 && std::abs(moving[*start - 1] - levelBefore) > threshold) --*start;
  while (*end + 1 < m && std::abs(moving[*end + 1] - levelAfter) > threshold) ++*end;
  const size_t stillEnd = *start > half ? *start - half : 0;  // first sample that moved
  const size_t stillStart = std::min(m, *end + half + 1);     // first still again
  t.stillBefore = static_cast<double>(stillEnd) * p;
  t.stillAfter = static_cast<double>(m - stillStart) * p;
  if (t.stillBefore < kStillLeast || t.stillAfter < kStillLeast)
    return Unexpected(name + " is still for " + Fixed(t.stillBefore, 1) +
                      " s before the turn and " + Fixed(t.stillAfter, 1) +
                      " s after it: hold the board still against its stop at least 3 s each "
                      "side, then record again");

  // The bias between the still windows' centres, as a line; the windows stop short of the
  // motion by the guard, which the integration takes instead.
  const size_t a = stillEnd - guard, b = stillStart + guard;
  const auto window = [&](size_t from, size_t to) {
    return std::vector<double>(grid.begin() + static_cast<std::ptrdiff_t>(from),
                               grid.begin() + static_cast<std::ptrdiff_t>(to));
  };
  const std::vector<std::vector<double>> still = {window(0, a), window(b, m)};
  const double n1 = static_cast<double>(a), n2 = static_cast<double>(m - b);
  t.biasBefore = (sums[a] - sums[0]) / n1;
  t.biasAfter = (sums[m] - sums[b]) / n2;
  const double c1 = (n1 - 1.0) / 2.0, c2 = static_cast<double>(b) + (n2 - 1.0) / 2.0;
  double w1 = 0.0, w2 = 0.0;
  for (size_t k = a; k < b; ++k) {
    const double u = (static_cast<double>(k) - c1) / (c2 - c1);
    t.angle += (grid[k] - t.biasBefore - u * (t.biasAfter - t.biasBefore)) * p;
    w1 += (1.0 - u) * p;
    w2 += u * p;
  }
  t.span = static_cast<double>(b - a) * p;
  if (!in.arw) arw2 = PooledWhiteNoise(still, p).arw2;
  t.arw = std::sqrt(arw2);

  t.white = std::sqrt(arw2 * t.span);
  t.bias = std::sqrt(arw2 * (w1 * w1 / (n1 * p) + w2 * w2 / (n2 * p)));
  t.stop = std::sqrt(2.0) * in.stopError;
  t.periodTerm = std::abs(t.angle) * fit.se / p;
  t.quantisation = in.lsb * p * std::sqrt(static_cast<double>(b - a) / 12.0);

  if (rec.angleBefore && rec.angleAfter) {
    // Both readings fall in the still windows: the samples' angle over the same span, the
    // bias line carried to the readings' times, against Angle_Out's, whole turns from ours.
    const auto at = [&](double time) { return (time - fit.intercept) / p; };
    const double kb = at(rec.angleBefore->time), ka = at(rec.angleAfter->time);
    double ours = 0.0;
    for (size_t k = static_cast<size_t>(std::clamp(kb, 0.0, static_cast<double>(m)));
         k < static_cast<size_t>(std::clamp(ka, 0.0, static_cast<double>(m))); ++k) {
      const double u = (static_cast<double>(k) - c1) / (c2 - c1);
      ours += (grid[k] - t.biasBefore - u * (t.biasAfter - t.biasBefore)) * p;
    }
    // Angle_Out gathers the bias over the whole time between the readings, the grid's ends
    // included: the line's mean there times that time.
    const double middle = ((ka + kb) / 2.0 - c1) / (c2 - c1);
    const double biasShare = (ka - kb) * p * (t.biasBefore + middle * (t.biasAfter - t.biasBefore));
    const double read = rec.angleAfter->degrees - rec.angleBefore->degrees - biasShare;
    t.angleOut = ours + std::remainder(read - ours, kAngleWrap);
    t.angleSpan = (ka - kb) * p;
  }
  return t;
}

}  // namespace

double TurnResult::Se() const {
  return std::sqrt(white * white + bias * bias + stop * stop + periodTerm * periodTerm +
                   quantisation * quantisation);
}

Result<Turn, std::string> AnalyseTurn(const TurnInput& in) {
  if (in.turns.empty() || in.turns.size() > 2)
    return Unexpected("give one turn, or a clockwise and a counter-clockwise turn");
  if (in.turnsN < 1) return Unexpected("the number of turns must be 1 or more");
  Turn turn;
  Characterisation& doc = turn.doc;
  doc.test = "turn";
  const double full = in.turnsN * 360.0;
  for (size_t i = 0; i < in.turns.size(); ++i) {
    const std::string name =
        in.turns.size() == 1 ? std::string("the record") : "turn " + std::to_string(i + 1);
    Result<TurnResult, std::string> t = OneTurn(in.turns[i], in, name);
    if (!t) return Unexpected(t.error());
    const long whole = std::lround(std::abs(t->angle) / 360.0);
    if (whole != in.turnsN)
      return Unexpected(name + " turned " + Fixed(t->angle, 1) + " deg, about " +
                        std::to_string(whole) + " turns, not " + std::to_string(in.turnsN) +
                        ": give --turns " + std::to_string(whole) + " if that is what was turned");
    turn.turns.push_back(*t);
  }
  if (turn.turns.size() == 2 && (turn.turns[0].angle > 0) == (turn.turns[1].angle > 0))
    return Unexpected("both turns went " + Direction(turn.turns[0].angle) +
                      ": give one of each direction, or one turn");

  double value = 0.0, variance = 0.0;
  std::string budget;
  for (const TurnResult& t : turn.turns) {
    value += std::abs(t.angle) / full;
    variance += t.Se() * t.Se() / (full * full);
    const std::string suffix = t.angle >= 0 ? "_ccw" : "_cw";
    doc.conditions.push_back({"angle_deg" + suffix, t.angle});
    doc.conditions.push_back({"relative_scale_factor" + suffix, std::abs(t.angle) / full});
    doc.conditions.push_back({"span_s" + suffix, t.span});
    doc.conditions.push_back({"period_s" + suffix, t.period});
    doc.conditions.push_back({"bias_before_dps" + suffix, t.biasBefore});
    doc.conditions.push_back({"bias_after_dps" + suffix, t.biasAfter});
    doc.conditions.push_back({"still_before_s" + suffix, t.stillBefore});
    doc.conditions.push_back({"still_after_s" + suffix, t.stillAfter});
    doc.conditions.push_back({"lost_samples" + suffix, static_cast<double>(t.lost)});
    doc.conditions.push_back({"arw_dps_root_s" + suffix, t.arw});
    doc.conditions.push_back({"budget_arw_deg" + suffix, t.white});
    doc.conditions.push_back({"budget_bias_deg" + suffix, t.bias});
    doc.conditions.push_back({"budget_stops_deg" + suffix, t.stop});
    doc.conditions.push_back({"budget_period_deg" + suffix, t.periodTerm});
    doc.conditions.push_back({"budget_quantisation_deg" + suffix, t.quantisation});
    if (t.angleOut) {
      doc.conditions.push_back({"angle_out_deg" + suffix, *t.angleOut});
      // The samples' noise over the span, Angle_Out's own count twice, and half a Gyro_Out
      // count over the whole time: a chip too quiet to dither its codes rounds the bias one
      // way throughout, which Angle_Out, summing before the rounding, does not.
      const double allowed = 4.0 * std::sqrt(t.white * t.white + t.bias * t.bias) +
                             2.0 * kAngleLsb + in.lsb / 2.0 * t.angleSpan;
      if (std::abs(*t.angleOut - t.angle) > allowed)
        doc.warnings.push_back("Angle_Out turned " + Fixed(*t.angleOut, 2) +
                               " deg and the samples " + Fixed(t.angle, 2) +
                               " deg: they differ beyond their errors (lost samples, or a "
                               "period the host times do not give?)");
    }
    if (in.nominalPeriod > 0 && std::abs(t.period / in.nominalPeriod - 1.0) > 0.02)
      doc.warnings.push_back("the host times give a sample period of " + Fixed(t.period * 1e3, 4) +
                             " ms, " + Fixed(100.0 * (t.period / in.nominalPeriod - 1.0), 1) +
                             " % off the nominal " + Fixed(in.nominalPeriod * 1e3, 4) +
                             " ms; the measured one was used");
    if (static_cast<double>(t.lost) * t.period > 0.01 * t.span)
      doc.warnings.push_back(std::to_string(t.lost) +
                             " samples were lost and bridged by a line: over 1 % of the turn");
    budget += (budget.empty() ? "" : "; ") + Direction(t.angle) + " " + Fixed(t.span, 1) +
              " s, budget (deg, 1 sigma): ARW " + Fixed(t.white, 3) + ", bias " + Fixed(t.bias, 3) +
              ", stops " + Fixed(t.stop, 3) + ", period " + Fixed(t.periodTerm, 4) +
              ", quantisation " + Fixed(t.quantisation, 4);
  }
  const auto k = static_cast<double>(turn.turns.size());
  value /= k;
  const double se = std::sqrt(variance) / k;
  const std::string conditions =
      std::to_string(in.turnsN) + (in.turnsN == 1 ? " turn" : " turns") +
      " between hard stops, the bias interpolated between the still windows, the period from "
      "the host times" +
      (k > 1 ? ", both directions averaged" : "") + "; " + budget;
  Figure f =
      Valued("relative_scale_factor", "1", value, value - kZ95 * se, value + kZ95 * se, conditions);
  f.signedValue = false;
  doc.figures.push_back(std::move(f));
  doc.conditions.insert(doc.conditions.begin(),
                        {{"turns", static_cast<double>(in.turnsN)},
                         {"stop_error_deg", in.stopError},
                         {"arw", std::string(in.arw ? "given" : "still windows")}});
  return turn;
}

}  // namespace velk::characterise
