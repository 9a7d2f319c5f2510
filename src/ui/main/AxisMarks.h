#pragma once

#include <QFrame>
#include <QLabel>
#include <QWidget>
#include <array>

namespace velk {

// The chart's vertical axis on the window: nine tick marks and nine labels, element 0 at
// the top. The plot moves them up and down with the chart's height; their left edges stay.
struct AxisMarks {
  std::array<QFrame*, 9> LineX{};
  std::array<QLabel*, 9> lblYscale{};
};

// Creates the marks in `parent` (the chart's parent) at their designed left edges, left of
// a chart whose left edge is at 1440 twips.
AxisMarks CreateAxisMarks(QWidget* parent);

}  // namespace velk
