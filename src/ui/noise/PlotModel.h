#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "noise/Analysis.h"

namespace velk {

// One table point as the plot draws it, in deg/s.
struct AdevMark {
  double tau = 0.0;
  double dev = 0.0;
  std::optional<double> lo, hi;
  bool inFit = false;  // drawn filled; hollow when the fit left it out
};

// What the plot keeps of an analysis: its points and the fitted terms, in deg/s units.
struct PlotModel {
  std::vector<AdevMark> points;
  std::array<double, noise::kTermCount> coefficient{};  // 0 for a term not detected

  // The fitted total sigma at tau (deg/s); 0 without a fit.
  double Total(double tau) const;
  // One term's line at tau (deg/s).
  double Term(noise::Term term, double tau) const;
  bool HasFit() const;
};

// The analysis's points and detected terms as the plot draws them.
PlotModel MakePlotModel(const noise::Analysis& analysis);

// "N 0.60 °/√h, B < 3.2 °/h, K 600 °/h/√h; 18 points" for assistive technology: the shown
// terms, each detected one by its value and each other by its upper limit.
QString DescribeTerms(const noise::Analysis& analysis, size_t points);

}  // namespace velk
