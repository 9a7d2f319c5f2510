#include "ui/main/FramePacer.h"

#include <QScreen>
#include <cmath>
#include <utility>

namespace velk {

FramePacer::FramePacer(std::function<void()> show, const Clock& clock)
    : show_(std::move(show)), clock_(clock) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { ShowNow(); });
}

const Clock& FramePacer::SystemClock() {
  static const SteadyClock clock;
  return clock;
}

void FramePacer::Request() {
  if (timer_.isActive()) return;  // the frame's showing will take this change too
  const double wait = lastShown_ + frameSeconds_ - clock_.Seconds();
  if (wait <= 0) {
    ShowNow();
    return;
  }
  timer_.start(static_cast<int>(std::ceil(wait * 1000.0)));
}

void FramePacer::ShowNow() {
  timer_.stop();
  lastShown_ = clock_.Seconds();
  show_();
}

double FrameSeconds(const QScreen* screen) {
  const double rate = screen != nullptr ? screen->refreshRate() : 0.0;
  return rate >= 20.0 && rate <= 500.0 ? 1.0 / rate : 1.0 / 60.0;
}

}  // namespace velk
