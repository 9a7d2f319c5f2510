#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "noise/Verdict.h"

namespace velk::characterise {

// One datasheet figure as a characterisation gives it: a value and its 95 % interval, or null
// with the reason the data could not give it.
struct Figure {
  std::string name;  // fixed: "bias", "bias_tempco", ...
  std::optional<double> value, lo, hi;
  std::string unit;
  std::optional<double> limit;  // judged against, when one was given
  noise::Verdict verdict = noise::Verdict::None;
  std::string conditions;  // how it was measured, as the table's row says it
  std::string reason;      // why there is no value
  // Set when the figure is a spread or a magnitude, which the verdict takes as it is; a signed
  // figure (a tempco, a bias) is judged by its size.
  bool signedValue = true;

  bool Estimated() const { return value.has_value(); }
};

// A figure with a value and its interval.
Figure Valued(std::string_view name, std::string_view unit, double value, double lo, double hi,
              std::string conditions = {});
// A figure the data cannot give.
Figure Null(std::string_view name, std::string_view unit, std::string reason,
            std::string conditions = {});

// What a figure offers the noise verdict rule: a signed figure by |value|, its interval taken
// as [min |end|, max |end|], or [0, max |end|] when it holds 0.
noise::Evidence FigureEvidence(const Figure& figure);

// Judges the figure against the limit (none: no verdict) and keeps the verdict in it.
noise::Judged Judge(Figure& figure, std::optional<double> limit);

}  // namespace velk::characterise
