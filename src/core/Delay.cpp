#include "core/Delay.h"

#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
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

constexpr int64_t kNsPerStep = 10'000;

// Spins in slices of about a microsecond between clock readings: the overshoot stays far
// below the 10 us resolution of a pause.
class SystemClock final : public PauseClock {
 public:
  int64_t Now() override {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
  }

  void SleepUntil(int64_t deadline) override {
    // The default slack of 50 us lets the kernel defer a wake-up to batch it with others;
    // a pause wants its wake-up on time. Per thread, so set by the thread that sleeps.
    thread_local const bool slackLowered = prctl(PR_SET_TIMERSLACK, 1UL) == 0;
    (void)slackLowered;
    const timespec t{static_cast<time_t>(deadline / 1'000'000'000),
                     static_cast<long>(deadline % 1'000'000'000)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
  }

  void Spin() override { velk::Spin(LoopsPer10us / 16 + 1); }
};

// Sleeps until the margin before the deadline, then spins to it; with spinEnd false only
// sleeps, and may end late by a wake-up's lateness.
void PauseUntil(PauseClock& clock, int64_t deadline, bool spinEnd) {
  const int64_t wake = spinEnd ? deadline - kSpinMarginNs : deadline;
  while (clock.Now() < wake) clock.SleepUntil(wake);
  while (clock.Now() < deadline) clock.Spin();
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
  SlicedDelay().Wait(ms, true);
}

void DelayMs(float&& ms) {
  DelayMs(static_cast<float&>(ms));
}

PauseClock& SystemPauseClock() {
  static SystemClock clock;
  return clock;
}

void SlicedDelay::Wait(float& ms, bool last) {
  if (ms == 0.0f) {
    Spin(40);
    return;
  }
  if (!(ms >= 0.01f)) ms = 0.01f;  // NaN too
  const int64_t steps = Steps(ms);
  const int64_t from = start_.value_or(0);
  const bool started = start_.has_value();
  start_.reset();
  if (waiter && &clock_ == &SystemPauseClock()) {
    waiter(static_cast<double>(steps) / 1e5);
    return;
  }
  if (DelayCalibrated == 0) CalibrateDelay();
  const int64_t deadline = (started ? from : clock_.Now()) + steps * kNsPerStep - late_;
  PauseUntil(clock_, deadline, last);
  late_ = last ? 0 : std::max<int64_t>(clock_.Now() - deadline, 0);
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
