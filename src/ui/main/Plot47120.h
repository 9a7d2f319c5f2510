#pragma once

#include <cstdint>

#include "ui/main/AxisMarks.h"
#include "ui/main/StripChart.h"

namespace velk {

// The sweeping strip chart of the gyro rate: one step to the right per value, cleared and
// restarted at the left edge when the trace reaches the right edge.
class Plot47120 {
 public:
  Plot47120(StripChart& pic1, const AxisMarks& marks);

  // Clears the chart, draws the grid at the eighths of its height, moves the axis marks
  // to match, and derives the step and vertical factor from the chart's size and range.
  void RedrawPlot();
  // Adds one value in degrees per second; values beyond the range are drawn on the edge.
  void PlotPoint(float value);

  int32_t PlotX = 0;  // set beyond the chart's width to start a new sweep at the next point
  int32_t XStep = 0;
  int32_t YZero = 0;
  float YFactor = 0.0f;  // chart units per degree per second
  int32_t LastY = 0;
  int32_t ScaleBits = 0;    // range bits: 0x100 spans +-80, 0x200 +-160, others +-320
  int32_t SpanDivisor = 1;  // 4 for the 47121, whose range labels are divided by 4

 private:
  float Span() const;

  StripChart& pic1_;
  AxisMarks marks_;
};

}  // namespace velk
