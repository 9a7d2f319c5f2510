#include "characterise/Figure.h"

#include <algorithm>
#include <cmath>

namespace velk::characterise {

Figure Valued(std::string_view name, std::string_view unit, double value, double lo, double hi,
              std::string conditions) {
  Figure f;
  f.name = name;
  f.unit = unit;
  f.conditions = std::move(conditions);
  if (!std::isfinite(value) || !std::isfinite(lo) || !std::isfinite(hi)) {
    f.reason = "not estimated: the fit gave no finite value";
    return f;
  }
  f.value = value;
  f.lo = std::min(lo, hi);
  f.hi = std::max(lo, hi);
  return f;
}

Figure Null(std::string_view name, std::string_view unit, std::string reason,
            std::string conditions) {
  Figure f;
  f.name = name;
  f.unit = unit;
  f.reason = std::move(reason);
  f.conditions = std::move(conditions);
  return f;
}

noise::Evidence FigureEvidence(const Figure& f) {
  noise::Evidence e;
  if (!f.value || !f.lo || !f.hi) return e;
  e.estimated = true;
  e.detected = true;
  double lo = *f.lo, hi = *f.hi;
  if (f.signedValue) {
    const double top = std::max(std::abs(lo), std::abs(hi));
    lo = (lo <= 0.0 && hi >= 0.0) ? 0.0 : std::min(std::abs(lo), std::abs(hi));
    hi = top;
  }
  e.lo = lo;
  e.hi = hi;
  return e;
}

noise::Judged Judge(Figure& figure, std::optional<double> limit) {
  figure.limit = limit;
  if (!limit) {
    figure.verdict = noise::Verdict::None;
    return noise::Judged{.key = figure.name};
  }
  noise::Judged j = noise::Judge(figure.name, *limit, FigureEvidence(figure));
  figure.verdict = j.result;
  return j;
}

}  // namespace velk::characterise
