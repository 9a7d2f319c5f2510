#include "noise/Verdict.h"

#include <algorithm>
#include <cmath>

namespace velk::noise {

Judged Judge(std::string_view key, double limit, const Evidence& e) {
  Judged j;
  j.key = key;
  j.limit = limit;
  if (!std::isfinite(limit)) return j;
  j.result = Verdict::Inconclusive;
  if (!e.estimated) {
    j.by = Decider::NotEstimated;
    return j;
  }
  const std::optional<double> upper = e.detected ? e.hi : e.upperLimit;
  if (!upper) {
    j.by = e.detected ? Decider::Straddles : Decider::NotDetected;
    return j;
  }
  j.end = upper;
  if (*upper <= limit) {
    j.result = Verdict::Pass;
    j.by = e.detected ? Decider::UpperEnd : Decider::UpperLimit;
  } else if (e.detected && e.lo && *e.lo > limit) {
    j.result = Verdict::Fail;
    j.by = Decider::LowerEnd;
    j.end = e.lo;
  } else {
    j.by = Decider::Straddles;
  }
  return j;
}

Verdict Overall(const std::vector<Judged>& judged) {
  auto any = [&](Verdict v) {
    return std::any_of(judged.begin(), judged.end(),
                       [v](const Judged& j) { return j.result == v; });
  };
  if (any(Verdict::Fail)) return Verdict::Fail;
  if (any(Verdict::Inconclusive)) return Verdict::Inconclusive;
  return any(Verdict::Pass) ? Verdict::Pass : Verdict::None;
}

std::string_view VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Pass:
      return "pass";
    case Verdict::Fail:
      return "fail";
    case Verdict::Inconclusive:
      return "inconclusive";
    case Verdict::None:
      break;
  }
  return "none";
}

std::string_view DeciderText(Decider by) {
  switch (by) {
    case Decider::UpperEnd:
      return "upper end";
    case Decider::UpperLimit:
      return "upper limit";
    case Decider::LowerEnd:
      return "lower end";
    case Decider::Straddles:
      return "interval reaches past the limit";
    case Decider::NotDetected:
      return "not detected";
    case Decider::NotEstimated:
      break;
  }
  return "not estimated";
}

}  // namespace velk::noise
