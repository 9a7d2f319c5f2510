#include "ui/main/Datalog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QLocale>

#include <cerrno>
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

bool Datalog::Open(const std::filesystem::path& path, const Header& header) {
  Close();
  std::error_code ec;
  path_ = std::filesystem::absolute(path, ec);
  if (ec) path_ = path;

  // The per-user folder may have gone, or never have been made.
  const std::filesystem::path folder = path_.parent_path();
  if (!std::filesystem::is_directory(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      lastError_ = "The folder " + ShortPathText(folder) + " cannot be created: " + ec.message();
      return false;
    }
  }
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    lastError_ = "Could not open " + ShortPathText(path_) + " for writing: " + ErrnoText(errno);
    return false;
  }
  if (!WriteAll(HeaderBlock(header))) {
    Close();
    return false;
  }
  lastError_.clear();
  return true;
}

bool Datalog::WriteRow(int32_t index, float supply, float gyro, float adcIn, float temp,
                       float angle, bool newData, bool error, int32_t status) {
  if (!IsOpen()) return true;
  std::string row = std::to_string(index);
  // Appended piece by piece: g++ 12 at -O3 takes "\t" + string for an overlapping copy
  // (-Wrestrict).
  for (float value : {supply, gyro, adcIn, temp, angle}) {
    row += '\t';
    row += FormatGeneral(value);
  }
  row += std::string("\t") + TrueFalse(newData) + "\t" + TrueFalse(error) + "\t";
  row += std::to_string(status);
  row += kEol;
  if (WriteAll(row)) return true;
  Close();
  return false;
}

void Datalog::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool Datalog::WriteAll(const std::string& bytes) {
  // Where the file ended before this row or block: a short write is cut back to it, so the
  // file only ever holds whole rows.
  struct stat before {};
  const bool sized = ::fstat(fd_, &before) == 0;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      lastError_ = "Could not write to " + ShortPathText(path_) + ": " + ErrnoText(error);
      if (done > 0 && (!sized || ::ftruncate(fd_, before.st_size) != 0))
        lastError_ += "; its last line is incomplete";
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace velk
