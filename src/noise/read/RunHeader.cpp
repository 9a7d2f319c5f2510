#include "noise/read/RunHeader.h"

#include <charconv>
#include <cmath>

#include "core/GyroRange.h"

namespace velk::noise {

namespace {

constexpr std::string_view kDatalogTitleStart = "VELK ";
constexpr std::string_view kDatalogTitleEnd = " Datalog File";

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

template <typename T>
bool WholeNumber(std::string_view text, T& value, int base = 10) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The leading number of a text such as "3.906 mS".
std::optional<double> LeadingNumber(std::string_view text) {
  text = TrimSpaces(text);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// The word after "Name=0x".
std::optional<int32_t> HexWord(std::string_view item, std::string_view name) {
  if (!item.starts_with(name)) return std::nullopt;
  item.remove_prefix(name.size());
  int32_t value = 0;
  if (!WholeNumber(item, value, 16) || value < 0 || value > 0xFFFF) return std::nullopt;
  return value;
}

Column LogRole(std::string_view name) {
  if (name == "elapsed (s)") return Column::Elapsed;
  if (name == "Gyro (Dgr/S)") return Column::Rate;
  if (name == "Temp (dgrC)") return Column::Temp;
  if (name == "Error") return Column::Error;
  if (name == "Status") return Column::Status;
  return Column::Skip;
}

Column AcquisitionRole(std::string_view name) {
  if (name == "sample") return Column::Sample;
  if (name == "elapsed (s)") return Column::Elapsed;
  if (name == "Gyro (Dgr/S)") return Column::Rate;
  if (name == "Gyro code") return Column::Code;
  if (name == "Temp (dgrC)") return Column::Temp;
  return Column::Skip;
}

Column DatalogRole(std::string_view name) {
  if (name == "Gyro") return Column::Rate;
  if (name == "Temp") return Column::Temp;
  if (name == "Error") return Column::Error;
  if (name == "Status") return Column::Status;
  return Column::Skip;
}

bool Has(const Columns& columns, Column role) {
  for (Column c : columns.roles)
    if (c == role) return true;
  return false;
}

}  // namespace

std::optional<Columns> ParseHeaderLine(std::string_view line) {
  Columns columns;
  columns.separator = line.find('\t') != std::string_view::npos ? '\t' : ',';
  for (size_t start = 0;;) {
    const size_t stop = line.find(columns.separator, start);
    columns.names.emplace_back(TrimSpaces(line.substr(start, stop - start)));
    if (stop == std::string_view::npos) break;
    start = stop + 1;
  }
  if (columns.names.size() < 2) return std::nullopt;
  const std::string& first = columns.names[0];
  const std::string& second = columns.names[1];
  Column (*role)(std::string_view) = nullptr;
  if (first == "time (UTC)" && second == "elapsed (s)") {
    columns.layout = Layout::Log;
    role = LogRole;
  } else if (first == "sample" && second == "elapsed (s)") {
    columns.layout = Layout::Acquisition;
    role = AcquisitionRole;
  } else if (first == "Index" && second == "Supply") {
    columns.layout = Layout::Datalog;
    role = DatalogRole;
  } else {
    return std::nullopt;
  }
  for (const std::string& name : columns.names) {
    Column c = role(name);
    if (c != Column::Skip && Has(columns, c)) c = Column::Skip;  // the first of a repeated name
    columns.roles.push_back(c);
  }
  const char* const rateName = columns.layout == Layout::Datalog ? "Gyro" : "Gyro (Dgr/S)";
  if (!Has(columns, Column::Rate)) columns.missing = rateName;
  if (columns.layout == Layout::Acquisition && !Has(columns, Column::Code))
    columns.missing = "Gyro code";
  return columns;
}

void ReadCommentLine(std::string_view line, RunSettings& settings) {
  line.remove_prefix(1);
  if (line.starts_with(' ')) line.remove_prefix(1);
  settings.comment = std::string(line);
  std::optional<int32_t> smplPrd, sensAvg, model;
  for (size_t start = 0; start <= line.size();) {
    size_t stop = line.find(',', start);
    if (stop == std::string_view::npos) stop = line.size();
    const std::string_view item = TrimSpaces(line.substr(start, stop - start));
    start = stop + 1;
    if (auto v = HexWord(item, "Smpl_Prd=0x")) smplPrd = v;
    if (auto v = HexWord(item, "Sens_Avg=0x")) sensAvg = v;
    int32_t number = 0;
    if (item.starts_with("model ") && WholeNumber(item.substr(6), number) && number > 0)
      model = number;
    if (item.starts_with("range ") && item.ends_with(" Dgr/S"))
      if (auto v = LeadingNumber(item.substr(6, item.size() - 12))) settings.statedRangeDps = v;
  }
  if (smplPrd && sensAvg && model) settings.chip = ChipFromWords(*smplPrd, *sensAvg, *model);
}

bool IsDatalogTitle(std::string_view line) {
  line = TrimSpaces(line);
  return line.size() > kDatalogTitleStart.size() + kDatalogTitleEnd.size() &&
         line.starts_with(kDatalogTitleStart) && line.ends_with(kDatalogTitleEnd);
}

void ReadDatalogLine(std::string_view line, RunSettings& settings) {
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return;
  const std::string_view key = TrimSpaces(line.substr(0, tab));
  std::string_view value = TrimSpaces(line.substr(tab + 1));
  if (key == "LoopDelay") {
    if (value.ends_with("mS")) value = TrimSpaces(value.substr(0, value.size() - 2));
    settings.loopDelayText = std::string(value.substr(0, 40));
  } else if (key == "Smpl Prd") {
    const std::optional<double> ms = LeadingNumber(value);
    if (ms && *ms > 0.0 && *ms < 1e6) settings.datalogPeriodS = *ms / 1000.0;
  } else if (key == "Avg Cnt") {
    int avg = 0;
    if (WholeNumber(value, avg)) settings.datalogAvgCnt = avg < 0 ? 0 : avg > 7 ? 7 : avg;
  } else if (key == "Scale") {
    settings.statedRangeDps = LeadingNumber(value);
  }
}

std::optional<ChipSettings> DatalogChip(const RunSettings& settings) {
  if (!settings.datalogPeriodS) return std::nullopt;
  ChipSettings chip;
  chip.model = 0;
  chip.smplPrd = 0;
  chip.sensAvg = 0;
  if (settings.statedRangeDps) {
    chip.rangeDps = *settings.statedRangeDps;
    chip.lsbDps = RangeLsb(chip.rangeDps).value_or(0.0);
  }
  chip.samplePeriodS = *settings.datalogPeriodS;
  chip.taps = 1 << settings.datalogAvgCnt;
  chip.windowS = chip.taps * chip.samplePeriodS;
  return chip;
}

double SamplePeriodS(int32_t smplPrd) {
  const double baseMs = smplPrd < 128 ? 1.953 : 60.54;
  return ((smplPrd & 0x7F) + 1) * baseMs / 1000.0;
}

ChipSettings ChipFromWords(int32_t smplPrd, int32_t sensAvg, int32_t model) {
  ChipSettings chip;
  chip.model = model;
  chip.smplPrd = smplPrd;
  chip.sensAvg = sensAvg;
  chip.rangeDps = static_cast<double>(RangeAt(RangePosition(sensAvg)).fullScale) /
                  static_cast<double>(ModelDivisor(model));
  chip.lsbDps = GyroLsb(sensAvg, model);
  chip.samplePeriodS = SamplePeriodS(smplPrd);
  chip.taps = 1 << (sensAvg & 7);
  chip.windowS = chip.taps * chip.samplePeriodS;
  return chip;
}

namespace {

// Every range of both models: its full scale and one count's value.
struct RangeLsbRow {
  double fullScale;
  double lsb;
};

std::vector<RangeLsbRow> RangeLsbs() {
  std::vector<RangeLsbRow> rows;
  for (int32_t model : {47120, 47121})
    for (int position = 0; position < 3; ++position) {
      const int32_t bits = 0x100 << position;
      rows.push_back({static_cast<double>(RangeAt(position).fullScale) / ModelDivisor(model),
                      GyroLsb(bits, model)});
    }
  return rows;
}

}  // namespace

std::optional<double> RangeLsb(double fullScaleDps) {
  for (const RangeLsbRow& row : RangeLsbs())
    if (std::abs(row.fullScale - fullScaleDps) < 1e-6) return row.lsb;
  return std::nullopt;
}

std::optional<double> NearestRangeLsb(double step) {
  for (const RangeLsbRow& row : RangeLsbs())
    if (std::abs(step / row.lsb - 1.0) <= 0.01) return row.lsb;
  return std::nullopt;
}

}  // namespace velk::noise
