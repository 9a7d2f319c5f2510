#include "measure/CharacteriseRecord.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/NumberText.h"
#include "measure/OutputCycle.h"
#include "noise/read/RunHeader.h"

namespace velk {

namespace {

// What the reader takes from a column.
enum Role { kElapsed, kRate, kTemp, kCycle, kSamples, kError, kSample };

constexpr std::string_view kCharacteriseLine = "characterise ";
constexpr std::string_view kStarts = " starts";
constexpr std::string_view kEnds = " ends";
constexpr std::string_view kCyclePrefix = "cycle ";
constexpr std::string_view kTable = "table: ";
constexpr std::string_view kAngle = " Angle_Out";

// The tests whose rows fall in labelled windows.
bool Windowed(std::string_view test) {
  return test == "repeatability" || test == "tumble" || test == "turn";
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    const size_t stop = line.find(separator, start);
    fields.push_back(Trim(line.substr(start, stop - start)));
    if (stop == std::string_view::npos) return fields;
    start = stop + 1;
  }
}

std::optional<double> Real(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty() ||
      !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<int32_t> HexAfter(std::string_view text, std::string_view name) {
  const size_t at = text.find(name);
  if (at == std::string_view::npos) return std::nullopt;
  text.remove_prefix(at + name.size());
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || end == text.data() || value < 0 || value > 0xFFFF) return std::nullopt;
  return value;
}

std::optional<RecordWords> WordsIn(std::string_view text) {
  const auto ofst = HexAfter(text, "Gyro_Ofst=0x");
  const auto scale = HexAfter(text, "Gyro_Scale=0x");
  if (!ofst || !scale) return std::nullopt;
  return RecordWords{*ofst, *scale};
}

std::string WordsText(const RecordWords& w) {
  char text[64];
  std::snprintf(text, sizeof text, "Gyro_Ofst=0x%04X, Gyro_Scale=0x%04X",
                static_cast<unsigned>(w.gyroOfst & 0xFFFF),
                static_cast<unsigned>(w.gyroScale & 0xFFFF));
  return text;
}

bool Digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string Shown(std::string_view label) {
  return Digits(label) ? std::string(kCyclePrefix) + std::string(label) : std::string(label);
}

}  // namespace

std::optional<double> CharacteriseRecord::Number(const std::string& key) const {
  const auto found = conditions.find(key);
  if (found == conditions.end()) return std::nullopt;
  return Real(found->second);
}

std::string RecordColumns(std::string_view extra) {
  std::string header = "time (UTC),elapsed (s),";
  for (const OutputRegister& r : kOutputRegisters)
    header += std::string(r.caption) + " (" + r.unit + "),";
  header += "New,Error,Status,";
  header += extra;
  return header + "\n";
}

std::string RecordConditionLines(std::string_view test,
                                 const std::vector<std::pair<std::string, std::string>>& conditions,
                                 const RecordWords& words, std::string_view rowsNote) {
  std::string text = "# " + std::string(kCharacteriseLine) + std::string(test) + ":";
  for (size_t i = 0; i < conditions.size(); ++i)
    text += (i == 0 ? " " : ", ") + conditions[i].first + "=" + conditions[i].second;
  return text + "\n# " + WordsText(words) + "\n# rows: " + std::string(rowsNote) + "\n";
}

std::string WindowStartLine(std::string_view label, const RecordWords& words) {
  return "# " + Shown(label) + std::string(kStarts) + ": " + WordsText(words) + "\n";
}

std::string WindowEndLine(std::string_view label, int64_t taken, int64_t lost) {
  return "# " + Shown(label) + std::string(kEnds) + ": " + std::to_string(taken) + " samples, " +
         std::to_string(lost) + " lost\n";
}

std::string TableLine(const RecordTableRate& t) {
  return "# " + std::string(kTable) + RecordNumber(t.rate) + " deg/s at " + FormatFixed(t.time, 6) +
         " s, dwell " + RecordNumber(t.dwell) + " s\n";
}

std::string RecordNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::string RecordRow(const std::string& utc, double elapsed, std::string_view rate,
                      std::optional<float> temp, std::string_view extra) {
  // Supply, ADC In, Angle, Error and Status are not read: their fields stay empty.
  std::string row = utc;
  row += ',';
  row += FormatFixed(elapsed, 6);
  row += ",,";
  row += rate;
  row += ",,";
  if (temp) row += FormatGeneral(*temp);
  row += ",,1,,,";
  row += extra;
  row += '\n';
  return row;
}

std::string WindowAngleLine(std::string_view label, double degrees, double elapsed) {
  return "# " + Shown(label) + std::string(kAngle) + ": " + RecordNumber(degrees) + " deg at " +
         RecordNumber(elapsed) + " s\n";
}

std::string RecordParser::Where() const {
  return "line " + std::to_string(line_) + ": ";
}

Result<void, std::string> RecordParser::Line(std::string_view line) {
  ++line_;
  line = Trim(line);
  if (line.empty()) return {};
  if (line.front() == '#') return Comment(line);
  if (line.starts_with("time (UTC)")) {
    const std::vector<std::string_view> names =
        Split(line, line.find('\t') != std::string_view::npos ? '\t' : ',');
    separator_ = line.find('\t') != std::string_view::npos ? '\t' : ',';
    columns_.assign(names.size(), -1);
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string_view n = names[i];
      if (n == "elapsed (s)") columns_[i] = kElapsed;
      if (n == "Gyro (Dgr/S)") columns_[i] = kRate;
      if (n == "Temp (dgrC)") columns_[i] = kTemp;
      if (n == "Cycle") columns_[i] = kCycle;
      if (n == "Samples") columns_[i] = kSamples;
      if (n == "Sample") columns_[i] = kSample;
      if (n == "Error") columns_[i] = kError;
    }
    StartRun();
    for (int role : {kElapsed, kRate})
      if (std::find(columns_.begin(), columns_.end(), role) == columns_.end())
        return Unexpected(Where() + "the header has no \"" +
                          (role == kElapsed ? "elapsed (s)" : "Gyro (Dgr/S)") + "\" column");
    if (Windowed(record_.test) &&
        std::find(columns_.begin(), columns_.end(), kCycle) == columns_.end())
      return Unexpected(Where() + "a " + record_.test + " record's header has no \"Cycle\" column");
    if (record_.test == "turn" &&
        std::find(columns_.begin(), columns_.end(), kSample) == columns_.end())
      return Unexpected(Where() + "a turn record's header has no \"Sample\" column");
    return {};
  }
  if (!inRun_)
    return Unexpected(Where() +
                      "neither a comment nor the header of a record (\"time (UTC),elapsed "
                      "(s),...\"): give a file characterise --out or log wrote");
  pending_.clear();
  return Row(line);
}

void RecordParser::StartRun() {
  const int runs = ++runs_;
  record_ = CharacteriseRecord{};
  record_.runs = runs;
  record_.test = "log";
  shortLine_ = 0;
  errorRows_ = 0;
  open_ = nullptr;
  inRun_ = true;
  for (const std::string& comment : pending_) {
    const std::string_view text = std::string_view(comment).substr(1);
    if (text.find("Smpl_Prd=0x") != std::string_view::npos) {
      noise::RunSettings settings;
      noise::ReadCommentLine(comment, settings);
      record_.comment = settings.comment;
      record_.chip = settings.chip;
    } else if (const std::string_view body = Trim(text); body.starts_with(kCharacteriseLine)) {
      const std::string_view rest = body.substr(kCharacteriseLine.size());
      const size_t colon = rest.find(':');
      record_.test = std::string(Trim(rest.substr(0, colon)));
      if (colon != std::string_view::npos)
        for (std::string_view item : Split(rest.substr(colon + 1), ',')) {
          const size_t eq = item.find('=');
          if (eq == std::string_view::npos) continue;
          record_.conditions[std::string(Trim(item.substr(0, eq)))] =
              std::string(Trim(item.substr(eq + 1)));
        }
    } else if (body.starts_with("Gyro_Ofst=")) {
      record_.words = WordsIn(body);
    }
  }
  pending_.clear();
}

Result<void, std::string> RecordParser::Comment(std::string_view line) {
  std::string_view text = Trim(line.substr(1));
  if (inRun_ && record_.test == "scale" && text.starts_with(kTable)) {
    // "table: 40 deg/s at 12.5 s, dwell 10 s"
    std::string_view rest = text.substr(kTable.size());
    const size_t at = rest.find(" deg/s at "), dwell = rest.find(" s, dwell ");
    const std::optional<double> rate = Real(Trim(rest.substr(0, at)));
    if (at == std::string_view::npos || dwell == std::string_view::npos || !rate)
      return Unexpected(Where() + "a table line reads \"table: RATE deg/s at TIME s, dwell S s\"");
    const std::optional<double> time = Real(Trim(rest.substr(at + 10, dwell - at - 10)));
    std::string_view held = Trim(rest.substr(dwell + 10));
    if (held.ends_with(" s")) held.remove_suffix(2);
    const std::optional<double> seconds = Real(Trim(held));
    if (!time || !seconds)
      return Unexpected(Where() + "a table line reads \"table: RATE deg/s at TIME s, dwell S s\"");
    record_.table.push_back({*time, *rate, *seconds});
    return {};
  }
  if (!inRun_ || !Windowed(record_.test)) {
    pending_.emplace_back(line);
    return {};
  }
  if (text.starts_with(kCyclePrefix)) text.remove_prefix(kCyclePrefix.size());
  const size_t colon = text.find(':');
  const std::string_view head = text.substr(0, colon);
  if (head.ends_with(kAngle) && open_ != nullptr &&
      open_->label == head.substr(0, head.size() - kAngle.size())) {
    const std::string_view rest = Trim(text.substr(colon + 1));
    const std::optional<double> degrees = Real(rest.substr(0, rest.find(' ')));
    const size_t at = rest.find(" at ");
    const std::optional<double> when =
        at == std::string_view::npos ? std::nullopt
                                     : Real(Trim(rest.substr(at + 4, rest.rfind(' ') - at - 4)));
    if (!degrees || !when) return Unexpected(Where() + "an Angle_Out line without its reading");
    open_->angles.emplace_back(*when, *degrees);
  } else if (head.ends_with(kStarts)) {
    const std::string label(head.substr(0, head.size() - kStarts.size()));
    for (const RecordWindow& w : record_.windows)
      if (w.label == label) return Unexpected(Where() + Shown(label) + " starts a second time");
    RecordWindow window;
    window.label = label;
    window.words = WordsIn(text);
    record_.windows.push_back(std::move(window));
    open_ = &record_.windows.back();
  } else if (head.ends_with(kEnds)) {
    const std::string_view label = head.substr(0, head.size() - kEnds.size());
    if (open_ == nullptr || open_->label != label)
      return Unexpected(Where() + Shown(label) + " ends without its start line");
    open_->whole = true;
    if (const size_t comma = text.find(", "); comma != std::string_view::npos) {
      const std::string_view lost = text.substr(comma + 2);
      open_->lost = static_cast<int64_t>(Real(lost.substr(0, lost.find(' '))).value_or(0.0));
    }
    open_ = nullptr;
  } else {
    pending_.emplace_back(line);
  }
  return {};
}

Result<void, std::string> RecordParser::Row(std::string_view line) {
  const std::vector<std::string_view> fields = Split(line, separator_);
  if (fields.size() < columns_.size()) {
    shortLine_ = line_;
    return {};
  }
  std::optional<double> elapsed, rate, temp;
  std::optional<int64_t> number;
  std::string_view cycle;
  for (size_t i = 0; i < columns_.size(); ++i) {
    const std::string_view f = fields[i];
    switch (columns_[i]) {
      case kElapsed:
      case kRate: {
        const std::optional<double> v = Real(f);
        if (!v)
          return Unexpected(Where() + (columns_[i] == kElapsed ? "elapsed" : "Gyro") + " is \"" +
                            std::string(f.substr(0, 40)) + "\", not a number");
        (columns_[i] == kElapsed ? elapsed : rate) = v;
        break;
      }
      case kTemp:
        if (f.empty()) break;
        temp = Real(f);
        if (!temp)
          return Unexpected(Where() + "Temp is \"" + std::string(f.substr(0, 40)) +
                            "\", not a number");
        break;
      case kCycle:
        cycle = f;
        break;
      case kSample: {
        int64_t n = 0;
        const auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), n);
        if (ec != std::errc() || end != f.data() + f.size() || n < 0)
          return Unexpected(Where() + "Sample is \"" + std::string(f.substr(0, 40)) +
                            "\", not a sample number");
        number = n;
        break;
      }
      case kError:
        if (f == "1" || f == "True" || f == "true") {
          ++errorRows_;
          return {};
        }
        break;
      default:
        break;
    }
  }
  if (Windowed(record_.test)) {
    if (open_ == nullptr || open_->label != cycle)
      return Unexpected(Where() + "a row of " + Shown(cycle) + ", which has no start line");
    open_->rates.push_back(*rate);
    if (number) {
      open_->numbers.push_back(*number);
      open_->times.push_back(*elapsed);
    }
    if (temp) open_->temps.push_back(*temp);
    return {};
  }
  record_.time.push_back(*elapsed);
  record_.rate.push_back(*rate);
  if (temp) {
    // A tempco record's row holds the second's mean rate at its mean time; its temperature
    // was read at the second's start.
    record_.tempTime.push_back(record_.test == "tempco" ? std::floor(*elapsed) : *elapsed);
    record_.temp.push_back(*temp);
  }
  return {};
}

Result<CharacteriseRecord, std::string> RecordParser::Finish(std::string_view what) {
  const std::string name(what);
  if (runs_ == 0)
    return Unexpected(name +
                      " holds no record (no \"time (UTC),elapsed (s),...\" header line): give a "
                      "file that characterise --out or log wrote");
  if (!record_.chip)
    return Unexpected(name +
                      " has no chip line before its header (\"# ..., Smpl_Prd=0x.., "
                      "Sens_Avg=0x...., model ...\"), which gives the sample period: give the "
                      "file as characterise --out or log wrote it");
  CharacteriseRecord record = record_;
  if (record.runs > 1)
    record.notes.push_back(name + " holds " + std::to_string(record.runs) +
                           " runs; the last is analysed");
  if (shortLine_ != 0)
    record.notes.push_back("line " + std::to_string(shortLine_) + " is cut short and was left out");
  if (errorRows_ != 0)
    record.notes.push_back(std::to_string(errorRows_) +
                           (errorRows_ == 1 ? " row with the error flag set was left out"
                                            : " rows with the error flag set were left out"));
  return record;
}

RecordOutput::RecordOutput(RowWriter* writer, std::chrono::system_clock::time_point start)
    : writer_(writer), start_(start) {}

void RecordOutput::Lines(std::string_view text) {
  rows_ += text;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    if (auto taken = parser_.Line(text.substr(0, end)); !taken && !refused_)
      refused_ = taken.error();
    text.remove_prefix(std::min(end + 1, text.size()));
  }
}

void RecordOutput::Hand() {
  if (writer_ != nullptr && !rows_.empty()) writer_->Push(std::move(rows_));
  rows_.clear();
}

std::string RecordOutput::Utc(double elapsed) const {
  const auto t = start_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                              std::chrono::duration<double>(elapsed));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch());
  const auto seconds = static_cast<std::time_t>(ms.count() / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms.count() % 1000));
  return text;
}

}  // namespace velk
