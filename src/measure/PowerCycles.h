#pragma once

#include <cstdint>
#include <string>

#include "core/Realtime.h"
#include "core/Result.h"
#include "measure/Acquisition.h"
#include "measure/CharacteriseRecord.h"

namespace velk {

class Session;
class Spi47120;

// Gyro_Ofst and Gyro_Scale as the chip holds them now.
RecordWords ReadRecordWords(Spi47120& spi);
// Waits `seconds` on the clock, or until a stop; true when the time passed.
bool WaitFor(const AcquisitionTime& time, double seconds);

// How the chip goes down and comes back for one cycle.
class PowerDown {
 public:
  virtual ~PowerDown() = default;
  // Down for `offS`, then back and answering; or the line saying why not. A stop may cut the
  // time off short but never leaves the chip unpowered.
  virtual Result<void, std::string> Cycle(double offS) = 0;
};

// Pwr_Mde's own power-down: 2 offS counts of half a second, then the wake waited for.
class RegisterPowerDown final : public PowerDown {
 public:
  RegisterPowerDown(Session& session, const AcquisitionTime& time)
      : session_(session), time_(time) {}
  Result<void, std::string> Cycle(double offS) override;

 private:
  Session& session_;
  const AcquisitionTime& time_;
};

// After the chip's wake, this long before it is taken as awake (s).
inline constexpr double kWakeMargin = 0.2;
// The least settling after a wake or a self-test switch, in averaging windows.
inline constexpr double kSettleWindows = 5.0;

struct PowerCyclePlan {
  int cycles = 12;
  double offS = 30.0;
  double settleS = 10.0;
  double averageS = 60.0;
  double period = 0.0;   // the chip's sample period, s
  double windowS = 0.0;  // its averaging window (taps x period), s
  bool selfTest = true;  // after the cycles, the self-test windows
};

enum class CyclesEnd { kDone, kStopped, kCardLost, kPowerFailed, kSilent, kWriteFailed };

struct CyclesOutcome {
  CyclesEnd end = CyclesEnd::kDone;
  int cycles = 0;   // averaged to their end
  std::string why;  // for kPowerFailed and kSilent
  int64_t taken = 0;
  int64_t lost = 0;
  RealtimeGrant priority;
};

// Where the windows' samples go: each window's start, its samples, its end when it ran whole.
class WindowSink : public AcquisitionSink {
 public:
  virtual void Begin(const std::string& label, const RecordWords& words) = 0;
  virtual void End(const std::string& label, const AcquisitionOutcome& outcome) = 0;
};

// K power-down cycles: each down for offS by `power`, settled max(settleS, 5 averaging
// windows), the calibration words read back and every Gyro_Out sample of averageS handed to
// the sink by the acquisition engine. Then, when asked, the output averaged without and with
// Msc_Ctrl's external self-test bit, Msc_Ctrl put back as it was whatever ends the run.
CyclesOutcome RunPowerCycles(Session& session, const PowerCyclePlan& plan,
                             const AcquisitionTime& time, PowerDown& power, WindowSink& sink,
                             RealtimeRequest* realtime);

// The sink of a repeatability run: each sample a row of the record (the Cycle column its
// window), handed to the file a second at a time.
class CycleRecorder : public WindowSink {
 public:
  CycleRecorder(RecordOutput& output, const Clock& clock, double start)
      : output_(output), clock_(clock), start_(start) {}

  void Begin(const std::string& label, const RecordWords& words) override;
  bool Take(const AcquiredSample& sample) override;
  void End(const std::string& label, const AcquisitionOutcome& outcome) override;

 private:
  RecordOutput& output_;
  const Clock& clock_;
  double start_;
  double offset_ = 0.0;  // the window's start, s from the run's
  std::string label_;
};

}  // namespace velk
