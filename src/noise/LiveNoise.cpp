#include "noise/LiveNoise.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/NumberText.h"

namespace velk::noise {

namespace {

constexpr double kChipClocked = 0.8;  // of the sample period: the loop outruns the chip
constexpr double kPaceChange = 0.2;

// A step between readings; a clock that goes back counts as no time.
double Cycle(double from, double to) {
  const double step = to - from;
  return step > 0.0 ? step : 0.0;
}

}  // namespace

void LiveNoise::CycleWindow::Add(double cycle) {
  double* sorted = sorted_.data();
  double* end = sorted + count_;
  if (count_ == kCycles) {
    double* oldest = std::lower_bound(sorted, end, ring_[next_]);
    std::copy(oldest + 1, end, oldest);
    --end;
  } else {
    ++count_;
  }
  ring_[next_] = cycle;
  next_ = (next_ + 1) % kCycles;
  double* at = std::upper_bound(sorted, end, cycle);
  std::copy_backward(at, end, end + 1);
  *at = cycle;
}

double LiveNoise::CycleWindow::Median() const {
  if (count_ == 0) return 0.0;
  const size_t half = count_ / 2;
  return count_ % 2 == 1 ? sorted_[half] : (sorted_[half - 1] + sorted_[half]) / 2;
}

LiveNoise::LiveNoise(size_t capacity) : capacity_(capacity) {}

void LiveNoise::Restart(const ChipSettings& chip, std::string cause) {
  chip_ = chip;
  cause_ = std::move(cause);
  Clear();
}

void LiveNoise::StartOver(std::string cause) {
  cause_ = std::move(cause);
  Clear();
}

void LiveNoise::Clear() {
  mode_ = LiveMode::Deciding;
  pending_.clear();
  window_.Clear();
  lastTime_.reset();
  decided_ = tau0_ = 0.0;
  allan_.reset();  // its phase goes back to the system, however long the run was
  full_ = false;
  start_.reset();
  numbering_.reset();
  sampleEnd_ = stepSquares_ = 0.0;
  steps_ = 0;
  stats_.Reset();
}

void LiveNoise::Feed(const LiveReading& reading) {
  if (full_) return;
  std::optional<double> cycle;
  if (lastTime_) cycle = Cycle(*lastTime_, reading.time);
  lastTime_ = reading.time;
  // On the chip's clock a late cycle only misses samples: the pace is not watched.
  if (mode_ == LiveMode::ChipClocked) {
    Intake(reading, cycle);
    return;
  }
  if (cycle) window_.Add(*cycle);
  if (mode_ == LiveMode::Deciding) {
    pending_.push_back(reading);
    if (window_.Count() == kCycles) Decide();
    return;
  }
  if (std::abs(window_.Median() - decided_) > kPaceChange * decided_) {
    cause_ = "the read loop's pace changed";
    Clear();
    Feed(reading);
    return;
  }
  Intake(reading, cycle);
}

void LiveNoise::Decide() {
  const double median = window_.Median();
  if (!(median > 0.0)) {
    // A clock that never advances decides nothing: start over from this reading.
    pending_.erase(pending_.begin(), pending_.end() - 1);
    window_.Clear();
    return;
  }
  const double period = chip_ ? chip_->samplePeriodS : 0.0;
  decided_ = median;
  mode_ =
      period > 0.0 && median < kChipClocked * period ? LiveMode::ChipClocked : LiveMode::HostPaced;
  tau0_ = mode_ == LiveMode::ChipClocked ? period : median;
  if (mode_ == LiveMode::ChipClocked) numbering_.emplace(period);
  allan_.emplace(tau0_, capacity_);
  const std::vector<LiveReading> replay = std::move(pending_);
  pending_.clear();
  for (size_t i = 0; i < replay.size() && !full_; ++i)
    Intake(replay[i],
           i > 0 ? std::optional(Cycle(replay[i - 1].time, replay[i].time)) : std::nullopt);
}

bool LiveNoise::AddSample(double code) {
  if (full_ || !allan_->Add(code)) {
    full_ = true;
    return false;
  }
  full_ = static_cast<size_t>(GridPoints()) >= capacity_;
  return true;
}

int64_t LiveNoise::GridPoints() const {
  return allan_ ? Samples() + allan_->Missing() : 0;
}

void LiveNoise::Intake(const LiveReading& reading, std::optional<double> cycle) {
  const double code = reading.code;
  bool sample = true;
  if (mode_ == LiveMode::HostPaced) {
    if (start_ && cycle) {
      stepSquares_ += (*cycle - tau0_) * (*cycle - tau0_);
      ++steps_;
    }
  } else if (!reading.newData) {
    numbering_->Clear(reading.time);
    sample = false;
  } else {
    // The samples the loop missed are bridged, as a file's; no block of the spread spans them.
    // A stall longer than the room left ends the record.
    const int64_t missing = numbering_->Found(reading.time).missing;
    if (missing > 0) {
      stats_.BreakBlock();
      if (!allan_->AddMissing(missing)) {
        full_ = true;
        return;
      }
    }
  }
  if (sample) {
    if (!start_) start_ = reading.time;
    if (!AddSample(code)) return;
    // A chip-clocked record keeps the chip's time, as a file's sample numbers do.
    sampleEnd_ = mode_ == LiveMode::ChipClocked ? static_cast<double>(GridPoints() - 1) * tau0_
                                                : reading.time - *start_;
    stats_.AddCode(code);
    stats_.AddRate(sampleEnd_, reading.value);
  }
  if (start_ && reading.temp) stats_.AddTemp(sampleEnd_, *reading.temp);
}

LiveMode LiveNoise::Mode() const {
  return mode_;
}

int64_t LiveNoise::Samples() const {
  return allan_ ? static_cast<int64_t>(allan_->Samples()) : 0;
}

const std::string& LiveNoise::Cause() const {
  return cause_;
}

bool LiveNoise::Full() const {
  return full_;
}

LiveSnapshot LiveNoise::Take() const {
  LiveSnapshot s;
  s.mode = mode_;
  s.cause = cause_;
  s.full = full_;
  Record& f = s.facts;
  const bool chipClocked = mode_ == LiveMode::ChipClocked;
  f.layout = chipClocked ? Layout::Acquisition : Layout::Log;
  f.file = "live";
  f.chip = chip_;
  f.tau0 = tau0_;
  if (mode_ != LiveMode::Deciding)
    f.tau0Source = chipClocked ? Tau0Source::SamplePeriod : Tau0Source::MedianCycle;
  f.integerCounts = true;
  const double lsb = chip_ ? chip_->lsbDps : 0.0;
  f.unit = lsb > 0.0 ? lsb : 1.0;
  if (!(lsb > 0.0)) f.notes.push_back("no LSB is known: one count is taken as 1 deg/s");
  f.segmentStarts = {0};
  const int64_t n = Samples();
  const int64_t grid = GridPoints();
  f.lost = grid - n;
  f.durationS = static_cast<double>(grid) * tau0_;
  if (steps_ > 0) f.jitter = std::sqrt(stepSquares_ / static_cast<double>(steps_));
  f.stats = stats_.Stats(sampleEnd_ + tau0_, 1.0);
  s.segmentSizes = {n};
  if (f.lost > 0) s.gridSizes = {grid};
  if (allan_) s.octaves = allan_->Points();
  return s;
}

Analysis AnalyzeLive(const LiveSnapshot& snapshot, const AnalysisOptions& options) {
  int64_t samples = 0;
  for (const int64_t size : snapshot.segmentSizes) samples += size;
  const bool ready = snapshot.mode != LiveMode::Deciding && samples >= 2;
  Analysis a = AnalyzePoints(snapshot.facts, snapshot.segmentSizes,
                             ready ? snapshot.octaves : std::vector<AllanPoint>{}, options,
                             snapshot.gridSizes);
  if (snapshot.mode == LiveMode::HostPaced) {
    const std::optional<ChipSettings>& chip = snapshot.facts.chip;
    const double period = chip ? chip->samplePeriodS : 0.0;
    const double tau0 = snapshot.facts.tau0;
    std::optional<double> factor;
    if (period > 0.0 && std::isfinite(tau0 / period)) factor = tau0 / period;
    a.warnings.push_back(
        {WarningCode::HostPaced, factor,
         "Every cycle of the read loop is taken as a sample, so the record shows the loop's " +
             std::string("pace (tau0 = ") + FormatSignificant(tau0, 6) + " s" +
             (factor ? ", " + FormatSignificant(*factor, 3) + " times the chip's sample period"
                     : "") +
             "), not the chip's."});
  }
  return a;
}

}  // namespace velk::noise
