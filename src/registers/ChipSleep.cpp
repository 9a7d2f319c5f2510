#include "registers/ChipSleep.h"

#include <chrono>
#include <ctime>

namespace velk {

ChipSleep::ChipSleep() {
  static const SteadyClock steady;
  clock_ = &steady;
}

void ChipSleep::Started(int32_t count) {
  if (!Armed() || count <= 0) return;
  const double seconds = count * 0.5;
  wakeAt_ = clock_->Seconds() + seconds;
  pending_ = true;
  const auto wall = std::chrono::system_clock::now() +
                    std::chrono::duration_cast<std::chrono::system_clock::duration>(
                        std::chrono::duration<double>(seconds));
  const std::time_t t = std::chrono::system_clock::to_time_t(wall);
  std::tm local{};
  localtime_r(&t, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  wakeText_ = text;
}

bool ChipSleep::Asleep() const {
  return pending_ && clock_->Seconds() < wakeAt_;
}

double ChipSleep::SecondsLeft() const {
  return Asleep() ? wakeAt_ - clock_->Seconds() : 0.0;
}

bool ChipSleep::Woke() const {
  return pending_ && !Asleep();
}

bool ChipSleep::TakeWake() {
  if (!Woke()) return false;
  pending_ = false;
  return true;
}

void ChipSleep::Refuse() const {
  if (refused_) refused_();
}

}  // namespace velk
