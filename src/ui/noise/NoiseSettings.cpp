#include "ui/noise/NoiseSettings.h"

#include <cmath>
#include <sstream>

#include "core/NumberText.h"
#include "core/SafeSave.h"
#include "core/SmallFile.h"

namespace velk {

namespace {

std::optional<double> Number(std::string_view text) {
  const std::optional<double> v = ExactNumber(text);
  if (!v || !std::isfinite(*v) || *v <= 0) return std::nullopt;
  return v;
}

std::string Trimmed(std::string text) {
  const auto first = text.find_first_not_of(" \t\r");
  const auto last = text.find_last_not_of(" \t\r");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

NoiseSettings NoiseSettings::Load(const std::filesystem::path& file) {
  NoiseSettings s;
  const auto read = ReadSmallRegularFile(file);
  if (!read) return s;
  std::istringstream in(*read);
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = Trimmed(line.substr(0, eq));
    const std::string value = Trimmed(line.substr(eq + 1));
    if (key == "size") {
      const auto x = value.find('x');
      const auto w = x == std::string::npos ? std::nullopt : Number(value.substr(0, x));
      const auto h = x == std::string::npos ? std::nullopt : Number(value.substr(x + 1));
      if (w && h && *w <= 16384 && *h <= 16384) {
        s.width = static_cast<int>(*w);
        s.height = static_cast<int>(*h);
      }
    } else if (key == "limit_arw") {
      s.limitArw = Number(value);
    } else if (key == "limit_bi") {
      s.limitBi = Number(value);
    } else if (key == "limit_rrw") {
      s.limitRrw = Number(value);
    } else if (key == "unit") {
      s.degPerSecond = value == "deg/s";
    }
  }
  return s;
}

Result<void, std::string> NoiseSettings::Save(const std::filesystem::path& file) const {
  std::ostringstream out;
  const auto limit = [&](const char* key, const std::optional<double>& v) {
    out << key << " = ";
    if (v) out << FormatSignificant(*v, 15);
    out << "\n";
  };
  out << "# The Noise window's settings\n";
  if (width > 0 && height > 0) out << "size = " << width << "x" << height << "\n";
  limit("limit_arw", limitArw);
  limit("limit_bi", limitBi);
  limit("limit_rrw", limitRrw);
  out << "unit = " << (degPerSecond ? "deg/s" : "deg/h") << "\n";
  const auto saved = SaveFileSafely(file, out.str());
  if (saved) return {};
  return Unexpected("The Noise window's settings could not be saved to\n" + file.string() + "\n" +
                    SaveFailureReason(saved.error()));
}

}  // namespace velk
