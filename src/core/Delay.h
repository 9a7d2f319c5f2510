#pragma once

#include <cstdint>
#include <functional>

namespace velk {

// Passes of the empty inner loop that last 10 us. Describes the machine, not the session,
// so it is process-wide; tests may set it directly instead of calibrating.
extern int32_t LoopsPer10us;
// -1 once CalibrateDelay has started (the DelayMs calls inside it must not recurse).
extern int16_t DelayCalibrated;

// Busy-waits about ms milliseconds in steps of 0.01 ms. 0 is the fixed minimum pause of
// 40 uncalibrated passes; anything else below 0.01 is raised to 0.01, also in the caller's
// variable.
void DelayMs(float& ms);
void DelayMs(float&& ms);

// Any non-empty command line lowers the first guess of the calibration.
void SetStartedWithArguments(bool started);

// Calibrates LoopsPer10us against the monotonic clock (about 3.5 s).
void CalibrateDelay();
// The calibration arithmetic with the measurement supplied: measureSeconds(ms) runs
// DelayMs(ms) at the current LoopsPer10us and returns how long it took.
void CalibrateDelay(const std::function<float(float ms)>& measureSeconds);

}  // namespace velk
