#include "measure/PowerCycles.h"

#include <algorithm>
#include <cmath>

#include "core/Clock.h"
#include "core/NumberText.h"
#include "measure/OutputCycle.h"
#include "registers/Session.h"

namespace velk {

namespace {

bool Stopped(const AcquisitionTime& time) {
  return time.stopped && time.stopped();
}

// Waits `seconds` on the clock, or until a stop. True when the time passed.
bool Wait(const AcquisitionTime& time, double seconds) {
  const double end = time.clock.Seconds() + seconds;
  for (double now = time.clock.Seconds(); now < end; now = time.clock.Seconds()) {
    if (Stopped(time)) return false;
    time.sleep(end - now);
  }
  return !Stopped(time);
}

// Averages one window into the sink; the outcome's end says whether it ran whole.
AcquisitionOutcome Average(Session& session, const PowerCyclePlan& plan,
                           const AcquisitionTime& time, WindowSink& sink, RealtimeRequest* realtime,
                           const std::string& label, CyclesOutcome& total) {
  sink.Begin(label, ReadRecordWords(session.spi));
  AcquisitionPlan window;
  window.period = plan.period;
  window.duration = plan.averageS;
  const AcquisitionOutcome outcome = AcquireOnOwnThread(session, window, time, sink, realtime);
  if (total.taken == 0 && total.lost == 0) total.priority = outcome.priority;
  total.taken += outcome.taken;
  total.lost += outcome.lost;
  if (outcome.end == AcquisitionEnd::kDone && outcome.taken > 0) sink.End(label, outcome);
  return outcome;
}

// What a window that did not run whole ends the run with; nullopt when it did.
std::optional<CyclesEnd> Ended(const AcquisitionOutcome& outcome, const std::string& label,
                               std::string& why) {
  switch (outcome.end) {
    case AcquisitionEnd::kStopped:
      return CyclesEnd::kStopped;
    case AcquisitionEnd::kCardLost:
      return CyclesEnd::kCardLost;
    case AcquisitionEnd::kSinkRefused:
      return CyclesEnd::kWriteFailed;
    case AcquisitionEnd::kDone:
      break;
  }
  if (outcome.taken > 0) return std::nullopt;
  why = "no Gyro_Out sample came in " + label + " (is the chip awake and powered?)";
  return CyclesEnd::kSilent;
}

}  // namespace

RecordWords ReadRecordWords(Spi47120& spi) {
  RecordWords words;
  spi.ReadRegister(slot::Gyro_Ofst);
  words.gyroOfst = RawWord(spi);
  spi.ReadRegister(slot::Gyro_Scale);
  words.gyroScale = RawWord(spi);
  return words;
}

bool WaitFor(const AcquisitionTime& time, double seconds) {
  return Wait(time, seconds);
}

Result<void, std::string> RegisterPowerDown::Cycle(double offS) {
  session_.spi.WriteRegister(slot::Pwr_Mde, static_cast<int32_t>(std::lround(offS * 2.0)));
  // The chip wakes by itself: a stop cuts only the wait short.
  Wait(time_, offS + kWakeMargin);
  return {};
}

CyclesOutcome RunPowerCycles(Session& session, const PowerCyclePlan& plan,
                             const AcquisitionTime& time, PowerDown& power, WindowSink& sink,
                             RealtimeRequest* realtime) {
  CyclesOutcome out;
  const double settle = std::max(plan.settleS, kSettleWindows * plan.windowS);
  for (int k = 1; k <= plan.cycles; ++k) {
    if (Stopped(time)) {
      out.end = CyclesEnd::kStopped;
      return out;
    }
    if (auto cycled = power.Cycle(plan.offS); !cycled) {
      out.end = CyclesEnd::kPowerFailed;
      out.why = cycled.error();
      return out;
    }
    if (!Wait(time, settle)) {
      out.end = CyclesEnd::kStopped;
      return out;
    }
    const std::string label = std::to_string(k);
    const AcquisitionOutcome window =
        Average(session, plan, time, sink, realtime, "cycle " + label, out);
    if (const auto end = Ended(window, "cycle " + label, out.why)) {
      out.end = *end;
      return out;
    }
    ++out.cycles;
  }
  if (!plan.selfTest || Stopped(time)) {
    out.end = Stopped(time) ? CyclesEnd::kStopped : CyclesEnd::kDone;
    return out;
  }

  Spi47120& spi = session.spi;
  spi.ReadRegister(slot::Msc_Ctrl);
  const int32_t msc = RawWord(spi);
  AcquisitionOutcome window =
      Average(session, plan, time, sink, realtime, std::string(kSelfTestOff), out);
  std::optional<CyclesEnd> end = Ended(window, std::string(kSelfTestOff), out.why);
  if (!end) {
    spi.WriteRegister(slot::Msc_Ctrl, msc | msc_ctrl::kPositiveSelfTest);
    if (!Wait(time, kSettleWindows * plan.windowS + kWakeMargin)) {
      end = CyclesEnd::kStopped;
    } else {
      window = Average(session, plan, time, sink, realtime, std::string(kSelfTestOn), out);
      end = Ended(window, std::string(kSelfTestOn), out.why);
    }
    spi.WriteRegister(slot::Msc_Ctrl, msc & ~msc_ctrl::kInternalSelfTest);
  }
  out.end = end.value_or(CyclesEnd::kDone);
  return out;
}

void CycleRecorder::Begin(const std::string& label, const RecordWords& words) {
  label_ = label.starts_with("cycle ") ? label.substr(6) : label;
  offset_ = clock_.Seconds() - start_;
  output_.Lines(WindowStartLine(label_, words));
}

bool CycleRecorder::Take(const AcquiredSample& s) {
  if (output_.Failed()) return false;
  const double elapsed = offset_ + s.elapsed;
  output_.Lines(RecordRow(output_.Utc(elapsed), elapsed, FormatGeneral(s.rate), s.temp, label_));
  if (s.temp) output_.Hand();
  return true;
}

void CycleRecorder::End(const std::string&, const AcquisitionOutcome& outcome) {
  output_.Lines(WindowEndLine(label_, outcome.taken, outcome.lost));
  output_.Hand();
}

}  // namespace velk
