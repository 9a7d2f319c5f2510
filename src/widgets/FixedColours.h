#pragma once

#include <QColor>

class QWidget;

namespace velk {

// Fills the widget with a designed background colour and writes on it in black or white,
// whichever reads better, so the pair stays legible under any desktop palette.
void SetFixedColours(QWidget* widget, const QColor& background);

// Black or white, whichever contrasts more with `background`.
QColor TextColourOn(const QColor& background);

}  // namespace velk
