#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace velk {

// Passes of the empty inner loop that last 10 us. Describes the machine, not the session,
// so it is process-wide; tests may set it directly instead of calibrating.
extern int32_t LoopsPer10us;
// -1 once CalibrateDelay has started (the DelayMs calls inside it must not recurse).
extern int16_t DelayCalibrated;

// Waits ms milliseconds in steps of 0.01 ms on the monotonic clock: it sleeps through all
// but the last kSpinMarginNs of the wait and spins the calibrated loop to the end, so it is
// never short and costs a processor only for that last stretch; a shorter wait spins
// throughout. 0 is the fixed minimum pause of 40 uncalibrated passes; anything else below
// 0.01 is raised to 0.01, also in the caller's variable.
void DelayMs(float& ms);
void DelayMs(float&& ms);

// What a pause of the given length does instead of the system's: tests install a waiter
// that moves a manual clock on, so pauses cost nothing and simulated time follows them.
// An empty waiter restores the real pause.
using DelayWaiter = std::function<void(double seconds)>;
void SetDelayWaiter(DelayWaiter waiter);

// The monotonic clock a pause runs on, in nanoseconds: a sleep to an absolute time on it,
// and one short turn of the calibrated loop between two readings of it.
class PauseClock {
 public:
  virtual ~PauseClock() = default;
  virtual int64_t Now() = 0;
  // May return early (a signal) or late (the scheduler); never sleeps when the time is past.
  virtual void SleepUntil(int64_t deadline) = 0;
  virtual void Spin() = 0;
};
PauseClock& SystemPauseClock();

// How long before its end a pause stops sleeping and spins. Measured with bench_delay's
// BM_SleepLateness on 2 shared cores: with the timer slack lowered to 1 ns, absolute sleeps
// woke 0.05 ms late at the median (0.1 ms at the default slack) and 1 to 4 ms late at the
// 99th percentile, the more the busier the machine. 2 ms covers the wake-ups of a lightly
// loaded machine; under heavy load a spinning wait is pre-empted as late as a sleeping one
// wakes, so a wider margin would cost processor time without buying accuracy. At the read
// loop's 1 s delay it spins 0.2 % of the time. At real-time priority (SCHED_FIFO 10,
// BM_SleepLateness/realtime:1, two busy processes beside it) the wake-ups came 0.02 ms late at
// the median, 0.07 ms at the 99th percentile and 0.5 ms at worst, so 0.5 ms would do there;
// no pause taken at that priority lasts long enough for the difference to matter.
inline constexpr int64_t kSpinMarginNs = 2'000'000;

// A long wait cut into slices with other work between them (a window's event processing).
// Every slice but the last only sleeps; the last sleeps and spins to its end. A slice that
// woke late is made up by the next one, so the whole lasts as long as its slices plus the
// work between them, as exactly as one DelayMs. One last slice is exactly DelayMs. The
// waiter of SetDelayWaiter stands in for the system clock's slices.
class SlicedDelay {
 public:
  explicit SlicedDelay(PauseClock& clock = SystemPauseClock()) : clock_(clock) {}
  // ms as DelayMs takes it, also in the caller's variable.
  void Wait(float& ms, bool last);
  void Wait(float&& ms, bool last) { Wait(ms, last); }
  // The next slice counts from now, not from its Wait: the work done before it (a datalog
  // row after the reads) passes inside the pause instead of lengthening it. The simulated
  // time of the waiter knows no work, so it takes the whole slice.
  void StartNow() { start_ = clock_.Now(); }

 private:
  PauseClock& clock_;
  int64_t late_ = 0;
  std::optional<int64_t> start_;
};

// Any non-empty command line lowers the first guess of the calibration.
void SetStartedWithArguments(bool started);

// Calibrates LoopsPer10us against the monotonic clock (about 3.5 s).
void CalibrateDelay();
// The calibration arithmetic with the measurement supplied: measureSeconds(ms) spins the
// loop for ms at the current LoopsPer10us, without looking at the clock, and returns how
// long that took.
void CalibrateDelay(const std::function<float(float ms)>& measureSeconds);

}  // namespace velk
