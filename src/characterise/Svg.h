#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk::characterise {

// Text for an HTML or SVG page: the five markup characters as entities, and what XML cannot
// hold (control bytes, bytes that are not UTF-8) as U+FFFD, so a name from a file can neither
// close an element nor leave the SVG ill-formed.
std::string XmlEscaped(std::string_view text);

// One line of a plot: points (with an interval bar each where lo and hi are given) or a curve.
struct PlotSeries {
  enum class Style { Points, HollowPoints, Line, DashedLine };
  std::string name;    // its legend entry; empty: none
  std::string colour;  // a CSS colour
  Style style = Style::Points;
  std::vector<double> x, y;
  std::vector<std::optional<double>> lo, hi;  // by point, or empty
};

struct PlotAxis {
  std::string label;
  bool log = false;
};

// A small chart: a frame, ticks with their numbers, the labels and the legend. The ranges
// follow the data and the bars (out to whole decades on a log axis); a value a log axis
// cannot show is left out.
struct Plot {
  std::string title;
  PlotAxis x, y;
  std::vector<PlotSeries> series;
  double width = 340.0, height = 190.0;  // the viewBox; the page scales it to its column
};

// The plot as an <svg> element, or empty when no series has a point to draw.
std::string PlotSvg(const Plot& plot);

// Where the ticks of a range fall: 1, 2 or 5 times a power of ten on a linear axis, a tick a
// decade on a log one (with 2 and 5 between when it spans less than two). Also the range
// rounded out to the ticks.
struct Ticks {
  double lo = 0.0, hi = 1.0;
  std::vector<double> at;
  double step = 0.0;  // between linear ticks
};
Ticks LinearTicks(double lo, double hi, int about = 5);
Ticks LogTicks(double lo, double hi);

}  // namespace velk::characterise
