#include "noise/read/RecordBuilder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <utility>

#include "noise/read/RowFields.h"

namespace velk::noise {

namespace {

// Gyro_Out is 14-bit signed: a code at either end may be clipped.
constexpr int64_t kLowestCode = -8192;
constexpr int64_t kHighestCode = 8191;
// Status bits 0..5 are errors; 8 and 9 the alarms, which leave the reading good.
constexpr int64_t kErrorBits = 0x3F;
constexpr int64_t kAlarmBits = 0x300;
constexpr size_t kMostDistinct = 20000;
constexpr uint64_t kEmpty = 0x7FF8DEADBEEF0000;  // a NaN: never a value's bits
// A host-paced gap is numbered when its step is this close to a whole number of steps (in
// steps); past the largest count it is taken as no numbering at all.
constexpr double kNumberedWithin = 0.25;
constexpr double kMostNumbered = 1e15;

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// Within 1 % of a count of a whole number of `lsb`.
bool WholeCount(double value, double lsb) {
  const double counts = value / lsb;
  return std::abs(counts - std::round(counts)) <= 0.01;
}

}  // namespace

void DistinctValues::Clear() {
  table_.assign(1024, kEmpty);
  size_ = 0;
  overflowed_ = false;
}

void DistinctValues::Insert(double value) {
  if (overflowed_) return;
  const uint64_t bits = std::bit_cast<uint64_t>(value + 0.0);  // -0 as 0
  const size_t mask = table_.size() - 1;
  uint64_t mixed = bits * 0x9E3779B97F4A7C15u;
  size_t i = static_cast<size_t>(mixed ^ (mixed >> 31)) & mask;
  while (table_[i] != kEmpty) {
    if (table_[i] == bits) return;
    i = (i + 1) & mask;
  }
  table_[i] = bits;
  if (++size_ > kMostDistinct) {
    overflowed_ = true;
    table_.assign(1, kEmpty);
  } else if (2 * size_ > table_.size()) {
    Grow();
  }
}

void DistinctValues::Grow() {
  std::vector<uint64_t> old(table_.size() * 2, kEmpty);
  old.swap(table_);
  size_ = 0;
  for (uint64_t bits : old)
    if (bits != kEmpty) Insert(std::bit_cast<double>(bits));
}

std::vector<double> DistinctValues::Sorted() const {
  std::vector<double> values;
  if (overflowed_) return values;
  for (uint64_t bits : table_)
    if (bits != kEmpty) values.push_back(std::bit_cast<double>(bits));
  std::sort(values.begin(), values.end());
  return values;
}

void RecordBuilder::Start(const Columns& columns, const RunSettings& settings,
                          const ReadOptions& options) {
  std::vector<double> samples = std::move(record_.samples);  // keeps its capacity
  samples.clear();
  record_ = Record{};
  record_.samples = std::move(samples);
  record_.layout = columns.layout;
  record_.comment = settings.comment;
  const bool datalog = columns.layout == Layout::Datalog;
  record_.chip = datalog ? DatalogChip(settings) : settings.chip;
  options_ = options;
  hasErrorColumn_ =
      std::find(columns.roles.begin(), columns.roles.end(), Column::Error) != columns.roles.end();
  statedLsb_ = settings.statedRangeDps ? RangeLsb(*settings.statedRangeDps) : std::nullopt;
  limitLsb_ = 0.0;
  if (columns.layout == Layout::Log)
    limitLsb_ = settings.chip ? settings.chip->lsbDps : statedLsb_.value_or(0.0);
  if (datalog) limitLsb_ = statedLsb_.value_or(0.0);
  timeStep_.reset();
  if (datalog) timeStep_ = options.tau0;
  if (columns.layout == Layout::Acquisition)
    timeStep_ = options.tau0    ? options.tau0
                : settings.chip ? std::optional(settings.chip->samplePeriodS)
                                : std::nullopt;
  rows_ = considered_ = 0;
  firstElapsed_ = lastElapsed_ = start_ = lastTime_ = startElapsed_ = runSpan_ = 0.0;
  firstSample_ = lastSample_ = startSample_ = 0;
  breakPending_ = gapLine_ = false;
  gapLines_ = 0;
  firstGap_.clear();
  breaks_.clear();
  steps_.Reset();
  elapsedDecimals_ = 0;
  distinct_.Clear();
  firstText_.clear();
  minValue_ = maxValue_ = 0.0;
  bestCodeRate_ = 0.0;
  bestCode_ = 0;
  stats_.Reset();
}

void RecordBuilder::Reserve(size_t rows) {
  if (rows > record_.samples.capacity()) record_.samples.reserve(rows);
}

Result<void, std::string> RecordBuilder::Fail(std::string why) {
  return Unexpected(std::move(why));
}

void RecordBuilder::Incomplete(std::string note) {
  ++record_.leftOut.incomplete;
  record_.notes.push_back(std::move(note));
}

void RecordBuilder::GapLine(int64_t line, std::string_view why) {
  gapLine_ = true;
  if (record_.samples.empty()) return;  // nothing before it to cut from
  if (gapLines_++ == 0) firstGap_ = "line " + std::to_string(line) + ": " + Quoted(why);
}

RecordBuilder::Cause RecordBuilder::LeftOut(const RowValues& row) const {
  if (hasErrorColumn_ && row.error &&
      ((row.status & kErrorBits) != 0 || (row.status & kAlarmBits) == 0))
    return Cause::ErrorFlag;
  bool limit = false;
  if (record_.layout == Layout::Acquisition) {
    limit = row.code <= kLowestCode || row.code >= kHighestCode;
  } else if (limitLsb_ > 0.0) {
    const double code = row.rate / limitLsb_;
    limit = code <= kLowestCode + 0.5 || code >= kHighestCode - 0.5;
  }
  return limit ? Cause::RangeLimit : Cause::Kept;
}

// Missing just before the next kept sample; before the first one they are outside the record.
void RecordBuilder::Miss(int64_t count) {
  const size_t at = record_.samples.size();
  if (at == 0) return;
  std::vector<MissingRun>& missing = record_.missing;
  if (!missing.empty() && missing.back().at == at)
    missing.back().count += count;
  else
    missing.push_back({at, count});
}

Result<void, std::string> RecordBuilder::Add(const RowValues& row) {
  const Layout layout = record_.layout;
  const bool first = rows_++ == 0;
  const bool acrossGap = std::exchange(gapLine_, false);
  if (first) {
    firstElapsed_ = row.elapsed;
    firstSample_ = row.sample;
  } else if (layout == Layout::Acquisition && row.sample <= lastSample_) {
    return Fail("sample " + std::to_string(row.sample) + " does not follow " +
                std::to_string(lastSample_));
  } else if ((layout == Layout::Log || !timeStep_) && row.elapsed < lastElapsed_) {
    return Fail("elapsed (s) goes back from " + Number(lastElapsed_) + " to " +
                Number(row.elapsed));
  }
  double t = 0.0;  // from the run's first row
  if (layout == Layout::Datalog)
    t = static_cast<double>(rows_ - 1) * *timeStep_;
  else if (layout == Layout::Acquisition && timeStep_)
    t = static_cast<double>(row.sample - firstSample_) * *timeStep_;
  else
    t = row.elapsed - firstElapsed_;
  const double previousElapsed = lastElapsed_;
  const int64_t previousSample = lastSample_;
  lastElapsed_ = row.elapsed;
  lastSample_ = row.sample;
  runSpan_ = t;
  if (t < options_.skipS - 1e-9) return {};

  if (layout == Layout::Log && considered_ < 16) {
    // The column's decimals (the most of the first rows, as a 0 may be written short): a
    // step of 0 or of one last digit is its resolution, never a gap.
    const size_t point = row.elapsedText.find('.');
    size_t decimals = 0;
    if (point != std::string_view::npos)
      while (point + 1 + decimals < row.elapsedText.size() &&
             row.elapsedText[point + 1 + decimals] >= '0' &&
             row.elapsedText[point + 1 + decimals] <= '9')
        ++decimals;
    elapsedDecimals_ = std::max(elapsedDecimals_, std::min<int>(static_cast<int>(decimals), 9));
    steps_.SetResolution(std::pow(10.0, -elapsedDecimals_));
  }
  if (considered_++ == 0) {
    start_ = t;
    startElapsed_ = row.elapsed;
    startSample_ = row.sample;
  } else if (acrossGap) {
    breakPending_ = true;  // a gap line's step is no step of the pace
  } else if (layout == Layout::Log) {
    steps_.Add(row.elapsed - previousElapsed, record_.samples.size());
  } else if (layout == Layout::Acquisition && row.sample - previousSample > 1) {
    Miss(row.sample - previousSample - 1);
  }
  lastTime_ = t - start_;
  switch (LeftOut(row)) {
    case Cause::ErrorFlag:
      ++record_.leftOut.errorFlag;
      Miss(1);
      return {};
    case Cause::RangeLimit:
      ++record_.leftOut.rangeLimit;
      Miss(1);
      return {};
    case Cause::Kept:
      break;
  }
  std::vector<double>& samples = record_.samples;
  if (breakPending_ && !samples.empty()) breaks_.push_back(samples.size());
  breakPending_ = false;
  const double value = layout == Layout::Acquisition ? static_cast<double>(row.code) : row.rate;
  if (samples.empty()) {
    firstText_ =
        layout == Layout::Acquisition ? std::to_string(row.code) : std::string(row.rateText);
    minValue_ = maxValue_ = value;
    distinct_.Insert(value);
  } else if (value != samples.back()) {
    minValue_ = std::min(minValue_, value);
    maxValue_ = std::max(maxValue_, value);
    distinct_.Insert(value);
  }
  samples.push_back(value);
  if (layout == Layout::Acquisition && std::abs(row.code) > std::abs(bestCode_)) {
    bestCode_ = row.code;
    bestCodeRate_ = row.rate / static_cast<double>(row.code);
  }
  stats_.AddRate(lastTime_, row.rate);
  if (row.hasTemp) stats_.AddTemp(lastTime_, row.temp);
  return {};
}

// Numbered against the elapsed column's own pace, which --tau0 only rescales: a step within a
// quarter of n steps misses n - 1 samples; any other step cannot be numbered and cuts.
void RecordBuilder::NumberGaps(const PaceSteps::Pace& pace) {
  std::vector<MissingRun> merged;
  merged.reserve(record_.missing.size() + pace.gaps.size());
  const auto add = [&merged](size_t at, int64_t count) {
    if (!merged.empty() && merged.back().at == at)
      merged.back().count += count;
    else
      merged.push_back({at, count});
  };
  auto left = record_.missing.begin();
  for (const PaceSteps::Gap& gap : pace.gaps) {
    for (; left != record_.missing.end() && left->at <= gap.at; ++left) add(left->at, left->count);
    const double steps = pace.meanStep > 0.0 ? gap.step / pace.meanStep : 0.0;
    const double whole = std::round(steps);
    if (whole < 1.0 || whole > kMostNumbered || std::abs(steps - whole) > kNumberedWithin)
      breaks_.push_back(gap.at);
    else if (whole >= 2.0)
      add(gap.at, static_cast<int64_t>(whole) - 1);
  }
  for (; left != record_.missing.end(); ++left) add(left->at, left->count);
  record_.missing = std::move(merged);
}

// The segments from the breaks; missing samples at a segment's start or after the last sample
// are outside the record.
void RecordBuilder::Segments() {
  Record& r = record_;
  std::sort(breaks_.begin(), breaks_.end());
  std::vector<size_t>& starts = r.segmentStarts;
  starts.assign(1, 0);
  for (size_t at : breaks_)
    if (at > starts.back() && at < r.samples.size()) starts.push_back(at);
  std::erase_if(r.missing, [&](const MissingRun& run) {
    return run.at == 0 || run.at >= r.samples.size() ||
           std::binary_search(starts.begin(), starts.end(), run.at);
  });
  r.lost = 0;
  for (const MissingRun& run : r.missing) r.lost += run.count;
}

Result<void, std::string> RecordBuilder::Timing(const std::string& subject) {
  Record& r = record_;
  const std::optional<double> given = options_.tau0;
  const std::string givenText = given ? "--tau0 " + Number(*given) + " s" : "";
  switch (r.layout) {
    case Layout::Log: {
      const PaceSteps::Pace pace = steps_.Finish(given);
      NumberGaps(pace);
      Segments();
      r.jitter = pace.jitter;
      if (pace.gapsUncertain)
        r.notes.push_back("the rows came at a changing pace (median step " +
                          Number(pace.medianStep) +
                          " s): a gap among the first rows may be taken for a step");
      if (given) {
        r.notes.push_back(givenText + " overrides the elapsed column" +
                          (pace.steps > 0 ? ", whose mean step is " + Number(pace.meanStep) + " s"
                                          : std::string()));
      } else if (!(pace.meanStep > 0.0)) {
        return Unexpected(subject + ": its elapsed time never advances; give --tau0 SECONDS");
      }
      r.tau0 = given.value_or(pace.meanStep);
      r.tau0Source = given ? Tau0Source::Given : Tau0Source::Elapsed;
      break;
    }
    case Layout::Acquisition: {
      Segments();
      const double samples = static_cast<double>(lastSample_ - startSample_);
      const double fromElapsed = (lastElapsed_ - startElapsed_) / samples;
      if (given) {
        r.notes.push_back(givenText + " overrides " +
                          (r.chip ? "the chip's sample period of " + Number(r.chip->samplePeriodS)
                                  : "the elapsed column's " + Number(fromElapsed)) +
                          " s");
        r.tau0 = *given;
        r.tau0Source = Tau0Source::Given;
      } else if (r.chip) {
        r.tau0 = r.chip->samplePeriodS;
        r.tau0Source = Tau0Source::SamplePeriod;
      } else if (fromElapsed > 0.0 && std::isfinite(fromElapsed)) {
        r.tau0 = fromElapsed;
        r.tau0Source = Tau0Source::Elapsed;
      } else {
        return Unexpected(subject +
                          ": its comment line gives no Smpl_Prd and its elapsed time never " +
                          "advances; give --tau0 SECONDS");
      }
      break;
    }
    case Layout::Datalog:
      Segments();
      r.tau0 = *given;
      r.tau0Source = Tau0Source::Given;
      break;
  }
  return {};
}

void RecordBuilder::Units() {
  Record& r = record_;
  if (r.layout == Layout::Acquisition) {
    r.integerCounts = true;
    const double ratio = std::abs(bestCodeRate_);
    if (r.chip)
      r.unit = r.chip->lsbDps;
    else if (ratio > 0.0 && std::isfinite(ratio))
      r.unit = NearestRangeLsb(ratio).value_or(ratio);
    else
      r.notes.push_back("no LSB is known: one count is taken as 1 deg/s");
    return;
  }
  const bool chipLsb = r.layout == Layout::Log && r.chip && r.chip->lsbDps > 0.0;
  const std::vector<double> distinct = distinct_.Sorted();
  double lsb = chipLsb ? r.chip->lsbDps : 0.0;
  if (!chipLsb) {
    double step = 0.0;
    for (size_t i = 1; i < distinct.size(); ++i)
      if (step == 0.0 || distinct[i] - distinct[i - 1] < step) step = distinct[i] - distinct[i - 1];
    if (step > 0.0 && statedLsb_ && std::round(step / *statedLsb_) >= 1.0 &&
        WholeCount(step, *statedLsb_))
      lsb = *statedLsb_;
    else if (step > 0.0)
      lsb = NearestRangeLsb(step).value_or(step);
    else
      lsb = statedLsb_.value_or(0.0);
  }
  bool whole = lsb > 0.0;
  if (whole && distinct_.Overflowed()) {
    for (double v : r.samples) whole = whole && WholeCount(v, lsb);
  } else {
    for (double v : distinct) whole = whole && WholeCount(v, lsb);
  }
  if (whole) {
    r.integerCounts = true;
    r.unit = lsb;
    // Adding and taking away 1.5 x 2^52 rounds to the nearest whole number without a call.
    constexpr double kRounder = 0x1.8p52;
    for (double& v : r.samples) v = (v / lsb + kRounder) - kRounder;
    if (r.layout == Layout::Datalog && r.chip) r.chip->lsbDps = lsb;
  } else if (chipLsb) {
    r.notes.push_back("the rates are not whole counts of the chip's LSB (" + Number(lsb) +
                      " deg/s): the record stays in deg/s");
  }
}

double RecordBuilder::BlockSpread() {
  const Record& r = record_;
  const bool chipLsb = r.chip && r.chip->lsbDps > 0.0;
  if (!r.integerCounts && !chipLsb) return 1.0;
  for (size_t s = 0; s < r.segmentStarts.size(); ++s) {
    const size_t end = s + 1 < r.segmentStarts.size() ? r.segmentStarts[s + 1] : r.samples.size();
    stats_.AddBlocks(std::span(r.samples).subspan(r.segmentStarts[s], end - r.segmentStarts[s]));
  }
  return r.integerCounts ? 1.0 : 1.0 / r.chip->lsbDps;
}

ReadResult RecordBuilder::Finish(const std::string& subject) {
  Record& r = record_;
  const size_t kept = r.samples.size();
  const std::string skipped =
      options_.skipS > 0.0 ? " after the first " + Number(options_.skipS) + " s skipped" : "";
  const std::string dropped = " (the others are flagged as errors or sit at the range's limit)";
  if (rows_ == 0) return ReadFailed(subject + " holds no rows");
  if (considered_ == 0)
    return ReadFailed(subject + " holds no rows" + skipped + " (its rows span " + Number(runSpan_) +
                      " s)");
  if (considered_ == 1)
    return ReadFailed(subject + " holds one row" + skipped + ": the analysis needs at least two");
  if (kept == 0)
    return ReadFailed(subject + ": each of its " + std::to_string(considered_) +
                      " rows is flagged as an error or sits at the range's limit");
  if (kept == 1)
    return ReadFailed(subject + " keeps one row of " + std::to_string(considered_) + dropped +
                      ": the analysis needs at least two");
  if (auto timed = Timing(subject); !timed) return ReadFailed(std::move(timed).error());
  if (gapLines_ > 0)
    r.notes.push_back(gapLines_ == 1 ? "a gap line (" + firstGap_ + ") cuts the record"
                                     : std::to_string(gapLines_) + " gap lines (the first, " +
                                           firstGap_ + ") cut the record");

  Units();
  if (minValue_ == maxValue_) {
    return ReadFailed("the rate never changed (every code is " +
                      (r.integerCounts ? std::to_string(std::llround(r.samples[0])) : firstText_) +
                      "): the noise is below the LSB");
  }
  r.stats = stats_.Stats(lastTime_ + r.tau0, BlockSpread());
  const double n = static_cast<double>(kept);
  r.durationS = (n + static_cast<double>(r.lost)) * r.tau0;
  if (r.samples.capacity() > kept + kept / 4) r.samples.shrink_to_fit();
  ReadResult result = std::move(record_);
  record_ = Record{};
  return result;
}

}  // namespace velk::noise
