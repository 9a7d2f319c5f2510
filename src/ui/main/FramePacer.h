#pragma once

#include <QTimer>
#include <functional>
#include <limits>

#include "core/Clock.h"

class QScreen;

namespace velk {

// Shows a run's changing values at the screen's pace. A change asked for within one frame of
// the last showing waits for the end of that frame, where one showing takes every change
// gathered meanwhile; so however fast the read loop goes, the window paints at most once a
// frame, and nothing waits longer than a frame plus the gap to the next event processing.
class FramePacer {
 public:
  explicit FramePacer(std::function<void()> show, const Clock& clock = SystemClock());

  void SetFrameSeconds(double seconds) { frameSeconds_ = seconds; }
  // Shows now when a frame has passed since the last showing, else at the end of that frame.
  void Request();
  // Shows at once, whatever is waiting.
  void ShowNow();

  static const Clock& SystemClock();

 private:
  std::function<void()> show_;
  const Clock& clock_;
  QTimer timer_;
  double frameSeconds_ = 1.0 / 60.0;
  double lastShown_ = -std::numeric_limits<double>::infinity();
};

// The screen's frame interval; 60 Hz where the screen reports no usable rate.
double FrameSeconds(const QScreen* screen);

}  // namespace velk
