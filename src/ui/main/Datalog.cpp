#include "ui/main/Datalog.h"

#include <QDate>
#include <QLocale>

#include <cmath>
#include <system_error>

#include "core/FilePlaces.h"
#include "core/NumberText.h"
#include "core/PathText.h"

namespace velk {

namespace {

constexpr const char* kEol = "\r\n";

std::string ErrnoText(int error) {
  return std::generic_category().message(error);
}

std::string HeaderBlock(const Datalog::Header& h) {
  std::string text;
  text += "VELK 47120 Datalog File";
  text += kEol;
  text += "Date\t" + h.date + kEol;
  text += "LoopDelay\t" + FormatGeneral(h.loopDelay) + " mS" + kEol;
  text += "Smpl Prd\t" + h.samplePeriod + " mS" + kEol;
  text += "Avg Cnt\t" + h.avgCnt + kEol;
  text += "Scale\t" + h.scale + kEol;
  if (h.mscCtrl & 0x100) text += std::string("Pos Self Test On") + kEol;
  if (h.mscCtrl & 0x200) text += std::string("Neg Self Test On") + kEol;
  text += "Index\tSupply\tGyro\tADC In\tTemp\tAngle\tNew  \tError\tStatus";
  text += kEol;
  text += "\tV\tDgr/S\tV\tdgrC\tdgr\t ";
  text += kEol;
  return text;
}

const char* TrueFalse(bool value) {
  return value ? "True" : "False";
}

}  // namespace

Datalog::~Datalog() {
  Close();
}

std::filesystem::path Datalog::DatalogFolder() {
  const std::filesystem::path folder = ResolveFilePlaces(PlaceFactsOfThisProcess()).datalogFolder;
  // A folder that cannot be created shows up as the open failure of the first logged run.
  if (!folder.empty()) MakeFolder(folder);
  return folder;
}

std::filesystem::path Datalog::FileName(const std::filesystem::path& folder,
                                        const std::string& baseText, const std::string& indexText) {
  return folder / (baseText + "_" + indexText + ".txt");
}

std::string Datalog::TodayShortDate() {
  return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
}

std::string Datalog::NextIndexText(const std::string& indexText) {
  // Only a whole number whose successor still shows as plain digits advances; anything else
  // ("1e309", "2.5", "1e9") would keep naming the same file, so it counts as no number.
  constexpr double kLargest = 9999999.0;
  const double next = LeadingDecimalNumber(indexText) + 1.0;
  if (!(std::abs(next) <= kLargest) || next != std::trunc(next)) return "1";
  return FormatGeneral(static_cast<float>(next));
}

bool Datalog::NameHasFolder(const std::string& baseText, const std::string& indexText) {
  return (baseText + indexText).find('/') != std::string::npos;
}

bool Datalog::NameHasLineBreak(const std::string& baseText, const std::string& indexText) {
  return (baseText + indexText).find_first_of("\n\r") != std::string::npos;
}

Result<void, Datalog::OpenError> Datalog::Open(const std::filesystem::path& path,
                                               const Header& header) {
  Close();
  std::error_code ec;
  path_ = std::filesystem::absolute(path, ec);
  if (ec) path_ = path;

  // The per-user folder may have gone, or never have been made.
  const std::filesystem::path folder = path_.parent_path();
  if (!std::filesystem::is_directory(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
    if (ec)
      return Unexpected(
          OpenError{"The folder " + ShortPathText(folder) + " cannot be created: " + ec.message()});
  }
  if (const auto opened = log_.Open(path_, kEol); !opened) {
    if (opened.error().busy)
      return Unexpected(OpenError{
          .message = ShortPathText(path_) + " is being written by another program", .busy = true});
    return Unexpected(OpenError{"Could not open " + ShortPathText(path_) +
                                " for writing: " + ErrnoText(opened.error().error)});
  }
  if (auto written = WriteAll(HeaderBlock(header)); !written) {
    Close();
    return Unexpected(OpenError{std::move(written).error()});
  }
  return {};
}

Result<void, std::string> Datalog::WriteRow(int32_t index, const OutputCycle& cycle,
                                            int32_t status) {
  if (!IsOpen()) return {};
  std::string row = std::to_string(index);
  // Appended piece by piece: g++ 12 at -O3 takes "\t" + string for an overlapping copy
  // (-Wrestrict).
  for (int column : {output::Supply, output::Gyro, output::Adc, output::Temp, output::Angle}) {
    row += '\t';
    row += FormatGeneral(cycle[column].value);
  }
  row += std::string("\t") + TrueFalse(cycle.rowNew) + "\t" + TrueFalse(cycle.rowError) + "\t";
  row += std::to_string(status);
  row += kEol;
  auto written = WriteAll(row);
  if (!written) Close();
  return written;
}

Result<void, std::string> Datalog::WriteComment(const std::string& line) {
  if (!IsOpen()) return {};
  auto written = WriteAll(line + kEol);
  if (!written) Close();
  return written;
}

void Datalog::Close() {
  log_.Close();
}

Result<void, std::string> Datalog::WriteAll(const std::string& bytes) {
  const auto written = log_.Write(bytes);
  if (written) return {};
  std::string why =
      "Could not write to " + ShortPathText(path_) + ": " + ErrnoText(written.error().error);
  if (written.error().partialLine) why += "; its last line is incomplete";
  return Unexpected(std::move(why));
}

}  // namespace velk
