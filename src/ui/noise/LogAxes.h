#pragma once

#include <QFontMetricsF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

namespace velk {

// Powers of ten 10^lo .. 10^hi, lo < hi.
struct Decades {
  int lo = 0;
  int hi = 1;
  int Count() const { return hi - lo; }
  // Plain numbers ("0.0001" .. "10000") unless a decade lies beyond them.
  bool Powers() const;
  // The decade's label as this axis writes it: "0.01", "1", "1000", "10⁻⁵".
  QString Label(int exponent) const;
};

// The whole decades around [min, max] (positive), at least one.
Decades DecadesAround(double min, double max);

// Log-log axes placed in a picture: the plot's frame, its decades, and where a value lands.
struct LogAxes {
  QRectF area;      // the frame, in logical pixels
  Decades tau;      // s
  Decades dev;      // the shown unit
  int tauStep = 1;  // a label every tauStep decades, so labels never overlap
  int devStep = 1;

  double X(double tau) const;
  double Y(double dev) const;
  QPointF At(double tau, double dev) const { return {X(tau), Y(dev)}; }
  double PerDecadeX() const { return area.width() / tau.Count(); }
  double PerDecadeY() const { return area.height() / dev.Count(); }
};

// Places the frame in a picture of `size` so the decade labels (in `metrics`) and the axis
// titles beside them fit whole inside the picture.
LogAxes PlaceAxes(QSizeF size, Decades tau, Decades dev, const QFontMetricsF& metrics);

}  // namespace velk
