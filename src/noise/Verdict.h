#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace velk::noise {

// The datasheet limits a record is judged against, in the units a datasheet gives.
struct Limits {
  std::optional<double> arw;   // deg/sqrt(h)
  std::optional<double> bi;    // deg/h
  std::optional<double> rrw;   // deg/h/sqrt(h)
  bool biFromMinimum = false;  // judge the minimum / 0.664 instead of the fitted B
  bool Any() const { return arw || bi || rrw; }
};

enum class Verdict { None, Pass, Fail, Inconclusive };

// What decided a verdict: the end of the evidence it was read from.
enum class Decider {
  UpperEnd,      // pass: the interval's upper end is within the limit
  UpperLimit,    // pass: the upper limit of a term not detected is within it
  LowerEnd,      // fail: a detected term's lower end is beyond it
  Straddles,     // inconclusive: the interval (or the upper limit) reaches past the limit
  NotDetected,   // inconclusive: judged by a reading that needs the term detected
  NotEstimated,  // inconclusive: no point to fit
};

// What a term offers a verdict, at 95 %, in the limit's unit.
struct Evidence {
  bool estimated = false;  // the fit had points
  bool detected = false;
  std::optional<double> lo, hi;      // detected
  std::optional<double> upperLimit;  // not detected
};

struct Judged {
  std::string_view key;  // "arw", "bi", "rrw"
  double limit = 0.0;
  Verdict result = Verdict::None;
  Decider by = Decider::NotEstimated;
  std::optional<double> end{};  // the value of the end that decided
};

// Pass when the upper end (of the interval, or the upper limit) is within the limit; fail only
// for a detected term whose lower end is beyond it; otherwise inconclusive.
Judged Judge(std::string_view key, double limit, const Evidence& evidence);
// Fail if any fails, else inconclusive if any is, else pass; None when nothing was judged.
Verdict Overall(const std::vector<Judged>& judged);

// "pass", "fail", "inconclusive" or "none".
std::string_view VerdictName(Verdict verdict);
// "upper end", "upper limit", "lower end", "interval reaches past the limit", "not detected",
// "not estimated".
std::string_view DeciderText(Decider by);

}  // namespace velk::noise
