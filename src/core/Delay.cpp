#include "core/Delay.h"

#include <chrono>
#include <cmath>
#include <utility>

namespace velk {

int32_t LoopsPer10us = 1000;
int16_t DelayCalibrated = 0;

namespace {

bool startedWithArguments = false;
DelayWaiter waiter;

// The empty loop that spends the time. The asm barrier keeps the optimiser from removing or
// shortening it while costing next to nothing per pass.
void Spin(int32_t passes) {
  for (int32_t i = 0; i < passes; ++i) asm volatile("" ::: "memory");
}

// About a month at most, so no count can overflow.
int64_t Steps(float ms) {
  return static_cast<int64_t>(std::nearbyint(std::fmin(ms * 100.0f, 3.0e8f)));
}

float MeasureLoop(float ms) {
  using Clock = std::chrono::steady_clock;
  const auto t0 = Clock::now();
  const int32_t loops = LoopsPer10us;
  for (int64_t n = Steps(ms); n > 0; --n) Spin(loops);
  return std::chrono::duration<float>(Clock::now() - t0).count();
}

// Spins in slices of about a microsecond between clock readings: the overshoot stays far
// below the 10 us resolution of a pause.
void WaitSteps(int64_t steps) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::microseconds(10 * steps);
  const int32_t slice = LoopsPer10us / 16 + 1;
  while (Clock::now() < deadline) Spin(slice);
}

// In double precision: a float product would lose the low digits of counts above 2^24.
int32_t Scaled(double factor, int32_t loops) {
  const double product = factor * static_cast<double>(loops);
  // Limits keep a wild measurement from overflowing the 32-bit count.
  if (!(product >= 1.0)) return 1;
  if (product >= 2.0e9) return 2000000000;
  return static_cast<int32_t>(std::nearbyint(product));
}

}  // namespace

void DelayMs(float& ms) {
  if (ms == 0.0f) {
    Spin(40);
    return;
  }
  if (!(ms >= 0.01f)) ms = 0.01f;  // NaN too
  const int64_t steps = Steps(ms);
  if (waiter) {
    waiter(static_cast<double>(steps) / 1e5);
    return;
  }
  if (DelayCalibrated == 0) CalibrateDelay();
  WaitSteps(steps);
}

void DelayMs(float&& ms) {
  DelayMs(static_cast<float&>(ms));
}

void SetDelayWaiter(DelayWaiter newWaiter) {
  waiter = std::move(newWaiter);
}

void SetStartedWithArguments(bool started) {
  startedWithArguments = started;
}

void CalibrateDelay() {
  CalibrateDelay(MeasureLoop);
}

void CalibrateDelay(const std::function<float(float ms)>& measureSeconds) {
  DelayCalibrated = -1;
  LoopsPer10us = 1000;
  if (startedWithArguments) LoopsPer10us = 1000 / 5;

  float e = measureSeconds(500.0f);
  if (e < 0.005f) {
    LoopsPer10us = Scaled(40.0, LoopsPer10us);
    e = measureSeconds(500.0f);
  }
  if (e < 0.1f) {
    LoopsPer10us = Scaled(6.0, LoopsPer10us);
    e = measureSeconds(500.0f);
  }
  if (e < 0.0005f) e = 0.0005f;
  LoopsPer10us = Scaled(0.5 / e, LoopsPer10us);

  e = measureSeconds(3000.0f);
  if (e < 0.1f) e = 0.1f;
  LoopsPer10us = Scaled(3.0 / e, LoopsPer10us);
}

}  // namespace velk
