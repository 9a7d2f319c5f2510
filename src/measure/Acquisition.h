#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/Realtime.h"

namespace velk {

class Clock;
class Session;

// One Gyro_Out sample of an acquisition.
struct AcquiredSample {
  int64_t number = 0;         // the chip's, 0 for the first
  double elapsed = 0;         // number x period, s
  double host = 0;            // s from the acquisition's start to the read that found it
  int32_t code = 0;           // Gyro_Out's field
  float rate = 0.0f;          // deg/s
  std::optional<float> temp;  // degC, on the first sample of each second
};

struct AcquisitionProgress {
  int64_t taken = 0;
  int64_t lost = 0;
  double seconds = 0.0;  // since the start
};

// Where the samples go. Called on the acquisition's thread, so each call must be short: hand
// anything slow (a file) to another thread.
class AcquisitionSink {
 public:
  virtual ~AcquisitionSink() = default;
  // In number order. False ends the acquisition (the sink cannot take more).
  virtual bool Take(const AcquiredSample& sample) = 0;
  // About twice a second.
  virtual void Progress(const AcquisitionProgress&) {}
  // No new sample for `seconds`: told once per silence.
  virtual void Silence(double /*seconds*/) {}
};

struct AcquisitionPlan {
  double period = 0.0;    // the chip's sample period, s
  double duration = 0.0;  // s: the samples numbered below duration / period
  // The first sample's number: past those already taken when the run goes on after a replug,
  // whose chip starts its samples afresh.
  int64_t firstNumber = 0;
};

// How the time passes: the clock read, and a wait that may end early at a stop.
struct AcquisitionTime {
  const Clock& clock;
  std::function<void(double seconds)> sleep;
  std::function<bool()> stopped;
};

enum class AcquisitionEnd { kDone, kStopped, kCardLost, kSinkRefused };

struct AcquisitionOutcome {
  AcquisitionEnd end = AcquisitionEnd::kDone;
  int64_t taken = 0;
  int64_t lost = 0;
  double seconds = 0.0;  // from the start to the end
  RealtimeGrant priority;
};

// Every sample of Gyro_Out the chip's new-data flag tells, read just after each is due and
// every quarter period while the flag is clear, numbered by the spans the reads put each
// sample in (so a late read still finds its number and a missed sample counts as lost). Runs
// on the calling thread.
AcquisitionOutcome Acquire(Session& session, const AcquisitionPlan& plan,
                           const AcquisitionTime& time, AcquisitionSink& sink);

// Acquire on a thread of its own, raised by `realtime` (null: normal priority), and waits for
// it. Never a pool thread: the priority stays with the thread.
AcquisitionOutcome AcquireOnOwnThread(Session& session, const AcquisitionPlan& plan,
                                      const AcquisitionTime& time, AcquisitionSink& sink,
                                      RealtimeRequest* realtime);

}  // namespace velk
