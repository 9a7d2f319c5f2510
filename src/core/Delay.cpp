#include "core/Delay.h"

#include <cmath>

#include "core/Clock.h"

namespace velk {

int32_t LoopsPer10us = 1000;
int16_t DelayCalibrated = 0;

namespace {

bool startedWithArguments = false;

// The empty loop that spends the time. The asm barrier keeps the optimiser from removing or
// shortening it while costing next to nothing per pass.
void Spin(int32_t passes) {
  for (int32_t i = 0; i < passes; ++i) asm volatile("" ::: "memory");
}

float MeasureWithSteadyClock(float ms) {
  SteadyClock clock;
  double t0 = clock.Seconds();
  DelayMs(ms);
  return static_cast<float>(clock.Seconds() - t0);
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
  // About a month at most, so no count can overflow.
  const auto steps = static_cast<int64_t>(std::nearbyint(std::fmin(ms * 100.0f, 3.0e8f)));
  if (DelayCalibrated == 0) CalibrateDelay();
  const int32_t loops = LoopsPer10us;
  for (int64_t n = 0; n < steps; ++n) Spin(loops);
}

void DelayMs(float&& ms) {
  DelayMs(static_cast<float&>(ms));
}

void SetStartedWithArguments(bool started) {
  startedWithArguments = started;
}

void CalibrateDelay() {
  CalibrateDelay(MeasureWithSteadyClock);
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
