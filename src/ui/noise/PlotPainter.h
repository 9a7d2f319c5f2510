#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "ui/noise/LogAxes.h"
#include "ui/noise/PlotModel.h"

class QPainter;

namespace velk {

// The colours come from the palette; the font is the widget's; `px` is one line width, one
// pixel at 96 dpi and more on a denser screen's fonts.
struct PlotStyle {
  QColor text;
  QColor mid;
  QColor highlight;
  QColor base;
  QFont font;
  double px = 1.0;
};

// What one picture shows: the model in the shown unit (`scale` per deg/s) on `axes`.
struct PlotScene {
  const PlotModel& model;
  double scale = 1.0;
  QString devTitle;       // "Allan deviation (°/h)"
  QString devTitleShort;  // when the long one is taller than the frame
  QString message;        // instead of the points while there are none
};

// Paints the whole picture over a background already filled with `style.base`.
void PaintPlot(QPainter& painter, const LogAxes& axes, const PlotScene& scene,
               const PlotStyle& style);

// A point's radius, for hit tests against the painted picture.
double PointRadius(const PlotStyle& style);

}  // namespace velk
