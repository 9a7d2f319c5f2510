// The live side of the simulated chip: the sample grid, the output registers, the alarms
// and the Status flags they latch.
#include <algorithm>
#include <cmath>

#include "sim/SimMap.h"
#include "sim/SimScales.h"
#include "sim/SimSensor.h"

namespace velk {

using namespace simmap;

namespace {

constexpr double kSupplyVoltsPerCount = 0.0018315;
constexpr double kAngleDegreesPerCount = 0.03663;
constexpr double kSupplyLowLimit = 4.75;
constexpr double kSupplyHighLimit = 5.25;
constexpr double kSelfTestShare = 0.1;  // external self-test shift, of the range's full scale

int SignExtend(int value, int bits) {
  int sign = 1 << (bits - 1);
  value &= (1 << bits) - 1;
  return (value ^ sign) - sign;
}

int Clamp(double code, int low, int high, bool* clamped = nullptr) {
  if (code < low || code > high) {
    if (clamped != nullptr) *clamped = true;
    return code < low ? low : high;
  }
  return static_cast<int>(code);
}

}  // namespace

double SimSensor::SamplePeriod() const {
  return SimSamplePeriod(map_[kSmplPrd]);
}

int64_t SimSensor::LatestIndex(double now) const {
  double n = std::floor((now - gridStart_) / SamplePeriod());
  return n > 0 ? static_cast<int64_t>(n) : 0;
}

void SimSensor::RestartGrid(double now) {
  gridBase_ += LatestIndex(now) + 1;
  gridStart_ = now;
}

double SimSensor::Factor(int rangeBits) const {
  return SimGyroFactor(rangeBits, product_);
}

double SimSensor::FullScale(int rangeBits) const {
  double full = rangeBits == 0x100 ? 80.0 : rangeBits == 0x200 ? 160.0 : 320.0;
  return product_ == 47121 ? full / 4.0 : full;
}

double SimSensor::GyroScale() const {
  return (Word(kGyroScale) & 0x0FFF) / 2048.0;
}

double SimSensor::GyroOffsetRate() const {
  return SignExtend(Word(kGyroOfst), 12) * Factor(0x100);
}

SimSensor::Codes SimSensor::CodesAt(int64_t index) const {
  Codes c;
  int64_t serial = gridBase_ + index;
  double period = SamplePeriod();
  double t = gridStart_ + index * period;
  int sensAvg = Word(kSensAvg);
  int range = sensAvg & 0x0700;
  int taps = 1 << (sensAvg & 7);

  double rate = signals_.MeanRate(t - (taps - 1) * period, period, taps, FullScale(range)) +
                signals_.MeanRateNoise(serial, taps, period);
  if (int selfTest = map_[kMscCtrl + 1]; selfTest & 0x03) {
    const SimCharacter* character = signals_.Character();
    const double shift = character != nullptr ? character->st : kSelfTestShare * FullScale(range);
    if (selfTest & 0x01) rate += shift;
    if (selfTest & 0x02) rate -= shift;
  }
  double out = rate * GyroScale() + GyroOffsetRate();
  c.gyro = Clamp(std::nearbyint(out / Factor(range)), -8192, 8191, &c.overrange);
  c.overrange |= signals_.Clipped(t, FullScale(range));

  c.supply = Clamp(std::nearbyint(signals_.Supply(serial) / kSupplyVoltsPerCount), 0, 4095);
  c.aux = dac_.value_or(0);
  double temp = (signals_.Temperature(t, serial) - 25.0) / signals_.TempLsb();
  c.temp = Clamp(std::nearbyint(temp), -2048, 2047);
  return c;
}

double SimSensor::AngleAt(double t) const {
  const double fullScale = FullScale(Word(kSensAvg) & 0x0700);
  double angle = angleBase_ + GyroScale() * signals_.RateIntegral(angleFrom_, t, fullScale) +
                 GyroOffsetRate() * (t - angleFrom_);
  angle = std::fmod(angle, 360.0);
  return angle < 0.0 ? angle + 360.0 : angle;
}

void SimSensor::FoldAngle(double now) {
  angleBase_ = AngleAt(std::max(now, angleFrom_));
  angleFrom_ = now;
}

void SimSensor::Evaluate(double now) {
  if (live_) return;
  int64_t k = LatestIndex(now);
  // Folding now and then keeps each read's integral short, however long the motion's story.
  if (const double sample = gridStart_ + k * SamplePeriod(); sample > angleFrom_ + 1.0)
    FoldAngle(sample);
  Codes c = CodesAt(k);
  liveSerial_ = gridBase_ + k;
  liveAngle_ = AngleAt(std::max(gridStart_ + k * SamplePeriod(), angleFrom_));

  if (c.overrange) status_ |= kOverrange;
  double volts = c.supply * kSupplyVoltsPerCount;
  if (volts < kSupplyLowLimit) status_ |= kSupplyLow;
  if (volts > kSupplyHighLimit) status_ |= kSupplyHigh;
  for (int alarm = 0; alarm < 2; ++alarm)
    if (AlarmCondition(alarm, k, c)) status_ |= kAlarm1 << alarm;
  live_ = c;
}

bool SimSensor::AlarmCondition(int alarm, int64_t index, const Codes& latest) const {
  int control = Word(kAlmCtrl) >> (4 * alarm);
  int source = (control >> 8) & 7;
  bool rateOfChange = control & 0x800;
  auto pick = [source](const Codes& c) {
    switch (source) {
      case 1:
        return c.supply;
      case 2:
        return c.gyro;
      case 5:
        return c.aux;
      default:
        return c.temp;
    }
  };
  if (source != 1 && source != 2 && source != 5 && source != 6) return false;

  int magnitude = Word(kAlmMag1 + 2 * alarm);
  int threshold = magnitude & 0x3FFF;
  if (source == 2 || source == 6) threshold = SignExtend(threshold, 14);
  int value = pick(latest);
  if (rateOfChange) {
    int span = std::max<int>(1, map_[kAlmSmp1 + 2 * alarm]);
    value -= pick(CodesAt(index - span));
  }
  return (magnitude & 0x8000) ? value > threshold : value < threshold;
}

void SimSensor::SetOutputWord(int address, std::optional<uint16_t> word) {
  if (address >= kFirstOutput && address <= kLastOutput && address % 2 == 0)
    outputWords_[(address - kFirstOutput) / 2] = word;
}

uint16_t SimSensor::OutputRegister(int address, double now) {
  Evaluate(now);
  if (const auto& word = outputWords_[(address - kFirstOutput) / 2]) return *word;
  const Codes& c = *live_;
  int64_t& seen = lastSeen_[(address - kFirstOutput) / 2];
  int word = 0;
  if (liveSerial_ > seen) {
    word |= kNewData;
    seen = liveSerial_;
  }
  if (status_ != 0 || now < errorUntil_) word |= kErrorAlarm;
  switch (address) {
    case 0x02:
      word |= c.supply & 0x0FFF;
      break;
    case 0x04:
      word |= c.gyro & 0x3FFF;
      break;
    case 0x0A:
      word |= c.aux & 0x0FFF;
      break;
    case 0x0C:
      word |= c.temp & 0x0FFF;
      break;
    case 0x0E:
      word |= static_cast<int>(std::nearbyint(liveAngle_ / kAngleDegreesPerCount)) & 0x3FFF;
      break;
    default:
      break;
  }
  return static_cast<uint16_t>(word);
}

uint16_t SimSensor::ReadStatus(double now) {
  Evaluate(now);
  uint16_t flags = status_ & 0x03FF;
  status_ = 0;
  return flags;
}

}  // namespace velk
