#include "widgets/FixedColours.h"

#include <QPalette>
#include <QWidget>
#include <cmath>

namespace velk {

namespace {

// Relative luminance of an sRGB colour.
double Luminance(const QColor& c) {
  const auto channel = [](double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

}  // namespace

QColor TextColourOn(const QColor& background) {
  const double l = Luminance(background);
  // Contrast with black is (l + 0.05) / 0.05, with white 1.05 / (l + 0.05).
  return (l + 0.05) * (l + 0.05) >= 0.05 * 1.05 ? QColor(Qt::black) : QColor(Qt::white);
}

void SetFixedColours(QWidget* widget, const QColor& background) {
  widget->setAutoFillBackground(true);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, background);
  palette.setColor(QPalette::WindowText, TextColourOn(background));
  widget->setPalette(palette);
}

}  // namespace velk
