#include "ui/main/NoiseFeed.h"

#include "measure/OutputCycle.h"
#include "registers/Session.h"

namespace velk {

std::optional<std::string> NoiseFeed::Changed(const Seen& now) const {
  if (!seen_) return "the first reading";
  const Seen& was = *seen_;
  if (now.writes != was.writes)
    return session_.reg.RegName[session_.spi.LastWrittenSlot()] + " was written";
  if (now.interface != was.interface) return "the interface changed";
  if (now.chip.model != was.chip.model) return "the model changed";
  if (now.chip.smplPrd != was.chip.smplPrd || now.chip.sensAvg != was.chip.sensAvg)
    return "the sample rate or range changed";
  if (now.loopDelay != was.loopDelay) return "the loop delay was edited";
  return std::nullopt;
}

void NoiseFeed::Cycle(const OutputCycle& cycle, double readStart, const noise::ChipSettings& chip,
                      float loopDelay, bool paced) {
  const Seen now{session_.spi.Writes(), session_.analyzer.InterfaceType, chip, loopDelay};
  // The loop's start and a wake name the cause before any setting that changed with them
  // (the loop takes its delay from the box as it starts; Pwr_Mde was written to sleep).
  std::optional<std::string> cause = pending_ ? pending_ : Changed(now);
  if (!cause && !paced && pressed_) cause = "Read was pressed";
  pending_.reset();
  pressed_ = false;
  seen_ = now;
  if (cause) live_.Restart(chip, *cause);
  // A read out of the loop is no sample of its pace: the chip-clocked record misses the one
  // it took.
  if (!paced) return;
  const OutputValue& gyro = cycle[output::Gyro];
  live_.Feed({.time = readStart,
              .value = gyro.value,
              .code = gyro.code,
              .newData = gyro.newData,
              .temp = cycle[output::Temp].value});
}

}  // namespace velk
