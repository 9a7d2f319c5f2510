#pragma once

class QWidget;

namespace velk {

// Chains the Tab stops inside `window` in reading order: of two controls, the one in the
// panel (or row) that comes first; panels and controls that share a row go left to right,
// rows top to bottom. Geometry must be in place (call after the layout has been set up).
void OrderTabsByPosition(QWidget* window);

// Places every child now, as the layouts will when the window is shown at its present size.
void LayOutNow(QWidget* window);

}  // namespace velk
