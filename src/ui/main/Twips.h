#pragma once

#include <QWidget>

namespace velk {

// Designed geometry is in twips (1/1440 inch); scale by the screen's logical DPI so the
// layout keeps its size on HiDPI screens.
inline int Twips(const QWidget* widget, int twips) {
  return twips * widget->logicalDpiX() / 1440;
}

}  // namespace velk
