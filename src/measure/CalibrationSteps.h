#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/Result.h"
#include "noise/Record.h"

namespace velk {

class Session;
class Spi47120;
struct AcquisitionTime;

// The registers a count measurement changes, as fields: Gyro_Ofst signed (-2048..2047),
// Gyro_Scale 0..4095, Msc_Ctrl's ten bits (the internal self-test bit never reads back set).
struct CalibrationWords {
  int32_t gyroOfst = 0;
  int32_t gyroScale = 0;
  int32_t mscCtrl = 0;
  bool operator==(const CalibrationWords&) const = default;
};
CalibrationWords ReadCalibrationWords(Spi47120& spi);

// Gyro_Ofst's reach, a signed 12-bit field.
inline constexpr int32_t kGyroOfstLowest = -2048;
inline constexpr int32_t kGyroOfstHighest = 2047;
inline constexpr int32_t kGyroScaleHighest = 4095;

// Writes the three registers through itself, so it knows what it changed, and puts back the
// words it found when made: at Restore, else when it goes (a stop, an error or a throw).
class CalibrationRestore {
 public:
  explicit CalibrationRestore(Spi47120& spi);
  ~CalibrationRestore();
  CalibrationRestore(const CalibrationRestore&) = delete;
  CalibrationRestore& operator=(const CalibrationRestore&) = delete;

  const CalibrationWords& Old() const { return old_; }
  void Set(int16_t slot, int32_t field);
  // Writes back every word changed, then reads all three: the line naming any that reads
  // otherwise.
  Result<void, std::string> Restore();

 private:
  Spi47120& spi_;
  CalibrationWords old_;
  CalibrationWords now_;
  bool restored_ = false;
};

// A rate averaged at one setting: the mean of its samples, the standard error from the means
// of batches of consecutive samples (the chip's averaging correlates neighbours).
struct RateMean {
  double mean = 0.0;
  double se = 0.0;
  int64_t samples = 0;
};

// What one count of Gyro_Ofst and of Gyro_Scale does to Gyro_Out on this chip.
struct CountMeaning {
  int32_t ofstLow = 0, ofstHigh = 0;
  RateMean atOfstLow, atOfstHigh;
  double ofstStep = 0.0, ofstStepSe = 0.0;  // deg/s per Gyro_Ofst count
  int32_t scaleOld = 0, scaleOther = 0;
  // The self-test swing, positive minus negative, at each Gyro_Scale word.
  RateMean swingOld, swingOther;
  double swingPerCount = 0.0, swingPerCountSe = 0.0;  // deg/s per Gyro_Scale count
  // The gain's change per Gyro_Scale count, as a share of the gain at the old word; none when
  // the self-test gives no swing there to compare with.
  std::optional<double> gainPerCount, gainPerCountSe;
};

struct StepError {
  enum class Kind { kStopped, kCardLost, kNoSamples, kSaturated, kTooNoisy, kNotRestored };
  Kind kind = Kind::kStopped;
  std::string message;
};

// The settings' timing for a chip: each setting is averaged over two halves (in the order
// A B B A), after a write the output is left to settle. At least a second a half, and eight of
// the chip's averaging windows.
struct StepTiming {
  double halfS = 1.0;
  double settleS = 0.2;
};
StepTiming TimingFor(const noise::ChipSettings& chip);

// Steps Gyro_Ofst 100 counts either side of its word and Gyro_Scale about 10 % off its word
// under both external self-tests, averaging Gyro_Out at each, then puts every word back and
// reads them back. On any failure the words are put back first.
Result<CountMeaning, StepError> MeasureCountMeaning(Session& session,
                                                    const noise::ChipSettings& chip,
                                                    const AcquisitionTime& time);

}  // namespace velk
