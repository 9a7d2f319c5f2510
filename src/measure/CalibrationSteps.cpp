#include "measure/CalibrationSteps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <tuple>
#include <utility>
#include <vector>

#include "core/Clock.h"
#include "measure/Acquisition.h"
#include "registers/Session.h"

namespace velk {

namespace {

constexpr int32_t kOfstStep = 100;
constexpr int32_t kSelfTestBits =
    msc_ctrl::kPositiveSelfTest | msc_ctrl::kNegativeSelfTest | msc_ctrl::kInternalSelfTest;
constexpr int kBatchesPerHalf = 4;
// Gyro_Out's field ends: a sample there may be clipped.
constexpr int32_t kGyroOutTop = 8191;
constexpr int32_t kGyroOutBottom = -8192;
// A step smaller than this many standard errors says nothing about a count.
constexpr double kResolvedSteps = 10.0;

std::string Hex(int32_t field) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(field & 0xFFFF));
  return text;
}

int32_t Field(Spi47120& spi, int16_t slot) {
  const int32_t field = spi.ReadRegister(slot).field;
  return slot == slot::Msc_Ctrl ? field & ~msc_ctrl::kInternalSelfTest : field;
}

class HalfSink final : public AcquisitionSink {
 public:
  bool Take(const AcquiredSample& s) override {
    rates.push_back(s.rate);
    if (s.code >= kGyroOutTop || s.code <= kGyroOutBottom) clipped = true;
    return true;
  }
  std::vector<double> rates;
  bool clipped = false;
};

RateMean FromHalves(const std::vector<std::vector<double>>& halves) {
  RateMean r;
  double sum = 0.0;
  std::vector<double> batches;
  for (const std::vector<double>& half : halves) {
    const size_t n = half.size();
    for (int k = 0; k < kBatchesPerHalf; ++k) {
      const size_t from = n * static_cast<size_t>(k) / kBatchesPerHalf;
      const size_t to = n * static_cast<size_t>(k + 1) / kBatchesPerHalf;
      if (to == from) continue;
      double batch = 0.0;
      for (size_t i = from; i < to; ++i) batch += half[i];
      sum += batch;
      batches.push_back(batch / static_cast<double>(to - from));
    }
    r.samples += static_cast<int64_t>(n);
  }
  r.mean = sum / static_cast<double>(r.samples);
  double batchMean = 0.0;
  for (double b : batches) batchMean += b;
  batchMean /= static_cast<double>(batches.size());
  double ss = 0.0;
  for (double b : batches) ss += (b - batchMean) * (b - batchMean);
  const auto count = static_cast<double>(batches.size());
  r.se = batches.size() > 1 ? std::sqrt(ss / (count - 1) / count) : INFINITY;
  return r;
}

// Drives the settings one after another, each write through the restore.
class Stepper {
 public:
  Stepper(Session& session, CalibrationRestore& restore, const noise::ChipSettings& chip,
          const AcquisitionTime& time)
      : session_(session), restore_(restore), chip_(chip), time_(time), timing_(TimingFor(chip)) {}

  using Setting = std::function<Result<void, StepError>()>;

  Setting Write(int16_t slot, int32_t field) {
    return [=, this]() -> Result<void, StepError> {
      restore_.Set(slot, field);
      const double end = time_.clock.Seconds() + timing_.settleS;
      for (double now = time_.clock.Seconds(); now < end; now = time_.clock.Seconds()) {
        if (time_.stopped()) return Unexpected(StepError{StepError::Kind::kStopped, "stopped"});
        time_.sleep(end - now);
      }
      return {};
    };
  }

  // A, B, B, A: a steady drift of the output adds alike to both means. `aSet`: the chip is at
  // A already.
  Result<std::pair<RateMean, RateMean>, StepError> Abba(const Setting& a, const Setting& b,
                                                        const std::string& whatA,
                                                        const std::string& whatB,
                                                        bool aSet = false) {
    std::vector<std::vector<double>> atA, atB;
    const std::pair<const Setting*, std::vector<std::vector<double>>*> order[] = {
        {aSet ? nullptr : &a, &atA}, {&b, &atB}, {nullptr, &atB}, {&a, &atA}};
    for (const auto& [set, into] : order) {
      if (set != nullptr) {
        if (auto done = (*set)(); !done) return Unexpected(std::move(done).error());
      }
      auto half = Half(into == &atA ? whatA : whatB);
      if (!half) return Unexpected(std::move(half).error());
      into->push_back(std::move(*half));
    }
    return std::pair{FromHalves(atA), FromHalves(atB)};
  }

 private:
  Result<std::vector<double>, StepError> Half(const std::string& what) {
    AcquisitionPlan plan;
    plan.period = chip_.samplePeriodS;
    plan.duration = timing_.halfS;
    HalfSink sink;
    const AcquisitionOutcome outcome = Acquire(session_, plan, time_, sink);
    using Kind = StepError::Kind;
    if (outcome.end == AcquisitionEnd::kStopped)
      return Unexpected(StepError{Kind::kStopped, "stopped"});
    if (outcome.end == AcquisitionEnd::kCardLost)
      return Unexpected(StepError{Kind::kCardLost, "the USB card went away"});
    if (sink.rates.size() < 2) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "no new Gyro_Out samples in %.1f s (is the chip asleep, or another program "
                    "reading it?)",
                    timing_.halfS);
      return Unexpected(StepError{Kind::kNoSamples, text});
    }
    if (sink.clipped)
      return Unexpected(
          StepError{Kind::kSaturated, "Gyro_Out reached the end of its range with " + what +
                                          ": hold the chip still, or choose a wider range"});
    return std::move(sink.rates);
  }

  Session& session_;
  CalibrationRestore& restore_;
  const noise::ChipSettings& chip_;
  const AcquisitionTime& time_;
  StepTiming timing_;
};

double Quadrature(double a, double b) {
  return std::sqrt(a * a + b * b);
}

Result<CountMeaning, StepError> Measure(Session& session, CalibrationRestore& restore,
                                        const noise::ChipSettings& chip,
                                        const AcquisitionTime& time) {
  Stepper steps(session, restore, chip, time);
  const CalibrationWords& old = restore.Old();
  CountMeaning m;

  // 100 counts either side, moved in together at the register's ends.
  m.ofstHigh = std::min(old.gyroOfst + kOfstStep, kGyroOfstHighest);
  m.ofstLow = std::max(m.ofstHigh - 2 * kOfstStep, kGyroOfstLowest);
  m.ofstHigh = m.ofstLow + 2 * kOfstStep;
  auto ofst =
      steps.Abba(steps.Write(slot::Gyro_Ofst, m.ofstHigh), steps.Write(slot::Gyro_Ofst, m.ofstLow),
                 "Gyro_Ofst " + Hex(m.ofstHigh), "Gyro_Ofst " + Hex(m.ofstLow));
  if (!ofst) return Unexpected(std::move(ofst).error());
  std::tie(m.atOfstHigh, m.atOfstLow) = *ofst;
  m.ofstStep = (m.atOfstHigh.mean - m.atOfstLow.mean) / (2 * kOfstStep);
  m.ofstStepSe = Quadrature(m.atOfstHigh.se, m.atOfstLow.se) / (2 * kOfstStep);
  if (!(std::fabs(m.ofstStep) >= kResolvedSteps * m.ofstStepSe)) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "a Gyro_Ofst count moved the output by %.5f +- %.5f deg/s, too little against "
                  "its noise to tell what a count means: hold the chip still",
                  m.ofstStep, m.ofstStepSe);
    return Unexpected(StepError{StepError::Kind::kTooNoisy, text});
  }
  if (auto back = steps.Write(slot::Gyro_Ofst, old.gyroOfst)(); !back)
    return Unexpected(std::move(back).error());

  // About 10 % off the old word, the other way at the register's top.
  m.scaleOld = old.gyroScale;
  const int32_t delta =
      std::max<int32_t>(64, static_cast<int32_t>(std::lround(old.gyroScale / 10.0)));
  m.scaleOther =
      old.gyroScale + delta <= kGyroScaleHighest ? old.gyroScale + delta : old.gyroScale - delta;
  const int32_t base = old.mscCtrl & ~kSelfTestBits;
  const int32_t positive = base | msc_ctrl::kPositiveSelfTest;
  const int32_t negative = base | msc_ctrl::kNegativeSelfTest;
  const auto swing = [&](int32_t scale, bool positiveSet,
                         RateMean& into) -> Result<void, StepError> {
    const std::string at = "Gyro_Scale " + Hex(scale);
    auto pair = steps.Abba(
        steps.Write(slot::Msc_Ctrl, positive), steps.Write(slot::Msc_Ctrl, negative),
        at + " and the positive self-test", at + " and the negative self-test", positiveSet);
    if (!pair) return Unexpected(std::move(pair).error());
    into = {pair->first.mean - pair->second.mean, Quadrature(pair->first.se, pair->second.se),
            pair->first.samples + pair->second.samples};
    return {};
  };
  if (auto done = swing(m.scaleOld, false, m.swingOld); !done)
    return Unexpected(std::move(done).error());
  // The first word's measurement ended under the positive self-test, where the second's begins.
  if (auto set = steps.Write(slot::Gyro_Scale, m.scaleOther)(); !set)
    return Unexpected(std::move(set).error());
  if (auto done = swing(m.scaleOther, true, m.swingOther); !done)
    return Unexpected(std::move(done).error());
  const double counts = m.scaleOther - m.scaleOld;
  m.swingPerCount = (m.swingOther.mean - m.swingOld.mean) / counts;
  m.swingPerCountSe = Quadrature(m.swingOther.se, m.swingOld.se) / std::fabs(counts);
  const double r1 = m.swingOld.mean, r2 = m.swingOther.mean;
  if (std::fabs(r1) >= kResolvedSteps * m.swingOld.se) {
    m.gainPerCount = (r2 / r1 - 1.0) / counts;
    m.gainPerCountSe =
        Quadrature(m.swingOther.se / r1, r2 * m.swingOld.se / (r1 * r1)) / std::fabs(counts);
  }
  return m;
}

}  // namespace

CalibrationWords ReadCalibrationWords(Spi47120& spi) {
  return {Field(spi, slot::Gyro_Ofst), Field(spi, slot::Gyro_Scale), Field(spi, slot::Msc_Ctrl)};
}

CalibrationRestore::CalibrationRestore(Spi47120& spi)
    : spi_(spi), old_(ReadCalibrationWords(spi)), now_(old_) {}

CalibrationRestore::~CalibrationRestore() {
  if (!restored_) (void)Restore();
}

void CalibrationRestore::Set(int16_t slot, int32_t field) {
  spi_.WriteRegister(slot, field & 0xFFFF);
  if (slot == slot::Gyro_Ofst) now_.gyroOfst = field;
  if (slot == slot::Gyro_Scale) now_.gyroScale = field;
  if (slot == slot::Msc_Ctrl) now_.mscCtrl = field;
}

Result<void, std::string> CalibrationRestore::Restore() {
  restored_ = true;
  struct Word {
    int16_t slot;
    const char* name;
    int32_t CalibrationWords::*field;
  };
  static constexpr Word kWords[] = {{slot::Gyro_Ofst, "Gyro_Ofst", &CalibrationWords::gyroOfst},
                                    {slot::Gyro_Scale, "Gyro_Scale", &CalibrationWords::gyroScale},
                                    {slot::Msc_Ctrl, "Msc_Ctrl", &CalibrationWords::mscCtrl}};
  for (const Word& w : kWords)
    if (now_.*w.field != old_.*w.field) Set(w.slot, old_.*w.field);
  const CalibrationWords read = ReadCalibrationWords(spi_);
  std::string wrong;
  for (const Word& w : kWords) {
    if (read.*w.field == old_.*w.field) continue;
    wrong += std::string(wrong.empty() ? "" : "; ") + w.name + " reads " + Hex(read.*w.field) +
             " after its old word " + Hex(old_.*w.field) + " was written back";
  }
  if (wrong.empty()) return {};
  return Unexpected(wrong);
}

StepTiming TimingFor(const noise::ChipSettings& chip) {
  const double period = chip.samplePeriodS;
  const double window = chip.taps * period;
  return {std::max({1.0, 8.0 * window, 8.0 * period}), std::max(0.2, 2.0 * window + period)};
}

Result<CountMeaning, StepError> MeasureCountMeaning(Session& session,
                                                    const noise::ChipSettings& chip,
                                                    const AcquisitionTime& time) {
  CalibrationRestore restore(session.spi);
  Result<CountMeaning, StepError> measured = Measure(session, restore, chip, time);
  if (auto restored = restore.Restore(); !restored) {
    std::string message = restored.error();
    if (!measured) message += " (after: " + measured.error().message + ")";
    return Unexpected(StepError{StepError::Kind::kNotRestored, message});
  }
  return measured;
}

}  // namespace velk
