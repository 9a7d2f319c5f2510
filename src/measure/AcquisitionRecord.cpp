#include "measure/AcquisitionRecord.h"

#include <algorithm>

#include "core/NumberText.h"
#include "noise/read/RunHeader.h"

namespace velk {

namespace {

// The memory reserved up front, in samples; a longer run grows as it goes.
constexpr size_t kMostReserved = size_t{1} << 22;

}  // namespace

AcquisitionRecord::AcquisitionRecord(const noise::RunSettings& settings,
                                     const noise::ReadOptions& read, int64_t expected,
                                     RowWriter* writer)
    : writer_(writer) {
  builder_.Start(*noise::ParseHeaderLine(kAcquisitionHeader), settings, read);
  builder_.Reserve(std::min(static_cast<size_t>(std::max<int64_t>(expected, 0)), kMostReserved));
}

bool AcquisitionRecord::Take(const AcquiredSample& s) {
  if (writer_ != nullptr && writer_->Failed()) return false;
  noise::RowValues row;
  row.sample = s.number;
  row.elapsed = s.elapsed;
  row.code = s.code;
  row.rate = s.rate;
  row.hasTemp = s.temp.has_value();
  if (s.temp) row.temp = *s.temp;
  (void)builder_.Add(row);  // the numbers only rise: a row always follows
  ++lines_;
  if (writer_ == nullptr) return true;
  rows_ += std::to_string(s.number);
  rows_ += ',';
  rows_ += FormatFixed(s.elapsed, 6);  // as the log writes its elapsed column
  rows_ += ',';
  rows_ += FormatGeneral(s.rate);
  rows_ += ',';
  rows_ += std::to_string(s.code);
  rows_ += ',';
  if (s.temp) rows_ += FormatGeneral(*s.temp);
  rows_ += '\n';
  if (s.temp) Hand();
  return true;
}

void AcquisitionRecord::Hand() {
  if (writer_ != nullptr) writer_->Push(std::move(rows_));
  rows_.clear();
}

void AcquisitionRecord::Gap(std::string_view why) {
  builder_.GapLine(++lines_, why);
  if (writer_ == nullptr) return;
  rows_ += "# gap: ";
  rows_ += why;
  rows_ += '\n';
  Hand();
}

noise::ReadResult AcquisitionRecord::Finish(const AcquisitionOutcome& outcome) {
  noise::ReadResult result = builder_.Finish("the acquisition");
  if (result) result->priority = outcome.priority;
  return result;
}

}  // namespace velk
