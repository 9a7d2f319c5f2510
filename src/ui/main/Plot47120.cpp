#include "ui/main/Plot47120.h"

#include <algorithm>
#include <cmath>

#include "ui/main/Twips.h"

namespace velk {

namespace {

int32_t Round(double value) {
  return static_cast<int32_t>(std::nearbyint(value));
}

}  // namespace

Plot47120::Plot47120(StripChart& pic1, const AxisMarks& marks) : pic1_(pic1), marks_(marks) {}

float Plot47120::Span() const {
  const float span = ScaleBits == 0x100 ? 160.0f : ScaleBits == 0x200 ? 320.0f : 640.0f;
  return span / static_cast<float>(SpanDivisor);
}

void Plot47120::RedrawPlot() {
  const int width = pic1_.Width();
  const int height = pic1_.Height();
  pic1_.Clear();
  const int32_t grid = Round(height / 8.0);

  // The marks sit on the window, in window twips; their pitch is a fraction of a twip.
  const double pitch = (height - 40) / 8.0;
  double mark = pic1_.Top() + 10.0;
  for (int i = 0; i < 9; ++i) {
    if (i > 0) mark += pitch;
    if (QFrame* tick = marks_.LineX[i]) tick->move(tick->x(), Twips(&pic1_, Round(mark)));
    if (QLabel* label = marks_.lblYscale[i]) {
      label->move(label->x(), Twips(&pic1_, Round(mark - 80)));
    }
    if (i > 0) pic1_.DashedLine(0, i * grid, width, i * grid);
  }

  // A chart 500 units wide or less would round the step to 0 and never advance.
  XStep = std::max(1, Round(width / 1000.0));
  YZero = Round(height / 2.0);
  YFactor = static_cast<float>(height) / Span();
}

void Plot47120::PlotPoint(float value) {
  PlotX += XStep;
  if (PlotX > pic1_.Width()) {
    PlotX = XStep;
    LastY = 0;
  }
  if (PlotX == XStep) RedrawPlot();

  const int height = pic1_.Height();
  const float offset = std::nearbyint(YFactor * value);
  double y = YZero - static_cast<double>(offset);
  if (std::isnan(y)) y = YZero;
  y = std::clamp(y, 0.0, static_cast<double>(height));
  const int32_t point = static_cast<int32_t>(y);

  if (PlotX == XStep) LastY = point;
  pic1_.Segment(PlotX, LastY, PlotX + XStep, point);
  LastY = point;
}

}  // namespace velk
