#pragma once

#include <cstdint>
#include <functional>

namespace velk {

// Passes of the empty inner loop that last 10 us. Describes the machine, not the session,
// so it is process-wide; tests may set it directly instead of calibrating.
extern int32_t LoopsPer10us;
// -1 once CalibrateDelay has started (the DelayMs calls inside it must not recurse).
extern int16_t DelayCalibrated;

// Busy-waits ms milliseconds in steps of 0.01 ms. 0 is the fixed minimum pause of 40
// uncalibrated passes; anything else below 0.01 is raised to 0.01, also in the caller's
// variable. The calibrated loop is spun between readings of the monotonic clock, so a pause
// stays exact when the processor's speed changes after calibration.
void DelayMs(float& ms);
void DelayMs(float&& ms);

// What a pause of the given length does instead of the busy wait: tests install a waiter
// that moves a manual clock on, so pauses cost nothing and simulated time follows them.
// An empty waiter restores the busy wait.
using DelayWaiter = std::function<void(double seconds)>;
void SetDelayWaiter(DelayWaiter waiter);

// Any non-empty command line lowers the first guess of the calibration.
void SetStartedWithArguments(bool started);

// Calibrates LoopsPer10us against the monotonic clock (about 3.5 s).
void CalibrateDelay();
// The calibration arithmetic with the measurement supplied: measureSeconds(ms) spins the
// loop for ms at the current LoopsPer10us, without looking at the clock, and returns how
// long that took.
void CalibrateDelay(const std::function<float(float ms)>& measureSeconds);

}  // namespace velk
