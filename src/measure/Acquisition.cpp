#include "measure/Acquisition.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "core/Clock.h"
#include "noise/SampleNumbering.h"
#include "registers/Session.h"

namespace velk {

namespace {

// While the flag is clear, the reads come this often, in sample periods.
constexpr double kPoll = 0.25;
// A read that finds its sample at once aims the next this much earlier, in periods: wake-ups
// are late, never early, and without it the reads would drift later until one missed a sample.
// A read that comes too early finds the flag clear and the poll puts it behind the sample again.
constexpr double kWalkBack = 1.0 / 16;
// Without a new sample this long (s), the sink is told.
constexpr double kSilence = 1.0;
constexpr double kProgressEvery = 0.5;

}  // namespace

AcquisitionOutcome Acquire(Session& session, const AcquisitionPlan& plan,
                           const AcquisitionTime& time, AcquisitionSink& sink) {
  Spi47120& spi = session.spi;
  const Clock& clock = time.clock;
  const double period = plan.period;
  const auto wanted = static_cast<int64_t>(std::ceil(plan.duration / period - 1e-9));
  const bool usb = session.analyzer.InterfaceType == interface_type::kUsbCard;
  const double start = clock.Seconds();
  const double deadline =
      start + plan.duration - static_cast<double>(plan.firstNumber) * period + period;

  AcquisitionOutcome outcome;
  const auto ended = [&](AcquisitionEnd end) {
    outcome.end = end;
    outcome.seconds = clock.Seconds() - start;
    return outcome;
  };
  // Times are those of the reads' starts.
  noise::SampleNumbering numbering(period);
  double due = start;
  bool cleared = false;  // a read since the last sample found the flag clear
  int64_t second = -1;
  double lastNew = start, shown = start;
  bool silenceTold = false;
  for (;;) {
    if (time.stopped()) return ended(AcquisitionEnd::kStopped);
    const double now = clock.Seconds();
    if (now >= deadline) break;
    if (now < due) {
      time.sleep(std::min(due, deadline) - now);
      continue;
    }
    const RegisterReading gyro = spi.ReadRegister(slot::Gyro_Out);
    if (usb && !session.usb.CardReady()) return ended(AcquisitionEnd::kCardLost);
    if (!gyro.newData) {
      due = now + kPoll * period;
      numbering.Clear(now);
      cleared = true;
      if (!silenceTold && now - lastNew >= kSilence) {
        sink.Silence(kSilence);
        silenceTold = true;
      }
      continue;
    }
    const noise::SampleNumbering::Sample found = numbering.Found(now);
    const int64_t number = plan.firstNumber + found.number;
    if (number >= wanted) break;
    outcome.lost += found.missing;
    ++outcome.taken;
    due = now + period - (cleared ? 0.0 : kWalkBack * period);
    cleared = false;
    lastNew = now;
    silenceTold = false;

    AcquiredSample sample;
    sample.number = number;
    sample.elapsed = static_cast<double>(number) * period;
    sample.host = now - start;
    sample.code = gyro.field;
    sample.rate = gyro.value;
    const auto whole = static_cast<int64_t>(std::floor(sample.elapsed));
    if (whole != second) {
      second = whole;
      sample.temp = spi.ReadRegister(slot::Temp_Out).value;
    }
    if (!sink.Take(sample)) return ended(AcquisitionEnd::kSinkRefused);
    if (number + 1 >= wanted) break;
    if (now - shown >= kProgressEvery) {
      shown = now;
      sink.Progress({outcome.taken, outcome.lost, now - start});
    }
  }
  return ended(AcquisitionEnd::kDone);
}

AcquisitionOutcome AcquireOnOwnThread(Session& session, const AcquisitionPlan& plan,
                                      const AcquisitionTime& time, AcquisitionSink& sink,
                                      RealtimeRequest* realtime) {
  AcquisitionOutcome outcome;
  std::thread thread([&] {
    const RealtimeScope raised(realtime, kAcquisitionPriority);
    outcome = Acquire(session, plan, time, sink);
    outcome.priority = raised.grant();
  });
  thread.join();
  return outcome;
}

}  // namespace velk
