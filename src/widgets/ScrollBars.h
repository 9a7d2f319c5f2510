#pragma once

class QScrollBar;

namespace velk {

// Lets a scroll bar take focus (arrow keys step by one, Page Up/Down by the page step, each
// through the same change as the mouse step) and keeps its thumb short enough to move
// visibly along a short track.
void MakeKeyboardScrollBar(QScrollBar* bar);

}  // namespace velk
