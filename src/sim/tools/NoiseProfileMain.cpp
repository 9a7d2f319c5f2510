// velk47120-noise-profile PROFILE SECONDS [--smpl-prd N] [--sens-avg N] [--model M] [--out FILE]
// A simulated still chip's Gyro_Out samples with a noise profile, drawn directly (no SPI),
// one row per sample, as an acquisition file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/EchoText.h"
#include "core/GyroRange.h"
#include "core/NumberText.h"
#include "core/WriteAll.h"
#include "sim/SimCharacter.h"
#include "sim/SimMotionScript.h"
#include "sim/SimNoiseProfile.h"
#include "sim/SimScales.h"
#include "sim/SimSignals.h"
#include "sim/SimTempPath.h"

namespace {

constexpr const char* kUsage =
    "Usage: velk47120-noise-profile PROFILE SECONDS [--smpl-prd 0x01] [--sens-avg 0x0100]\n"
    "                               [--model 47120|47121] [--out FILE]\n"
    "Writes SECONDS of a simulated still chip's samples with the noise PROFILE (a\n"
    "VELK47120_SIM_NOISE value: white, allan-a, allan-b, quant or arw=..,bi=..,rrw=..,\n"
    "each with an optional ,seed=S) as an acquisition file, to standard output or FILE.\n"
    "The profiles' figures hold at the defaults: range 80, no averaging, Smpl_Prd 1.\n";

constexpr double kTempDegreesPerCount = 0.1453;  // the chip's Temp_Out count
constexpr size_t kFlushAt = 1 << 20;

int Refuse(const std::string& why) {
  std::fprintf(stderr, "velk47120-noise-profile: %s\n%s", why.c_str(), kUsage);
  return 1;
}

std::optional<long> Integer(const std::string& text, long low, long high) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || *end != 0 || errno != 0 || value < low || value > high) return std::nullopt;
  return value;
}

// Rows go out through one buffer written whole with write(2), keeping the first failure.
class Output {
 public:
  explicit Output(int fd) : fd_(fd) { buffer_.reserve(kFlushAt + 256); }
  std::string& Text() { return buffer_; }
  void MaybeFlush() {
    if (buffer_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    if (error_ == 0) error_ = velk::WriteAll(fd_, buffer_);
    buffer_.clear();
  }
  int Error() const { return error_; }

 private:
  int fd_;
  int error_ = 0;
  std::string buffer_;
};

// A --help entry broken at spaces within 79 columns, indented two spaces, then four.
std::string Wrapped(std::string_view text) {
  std::string out = "  ";
  size_t lineStart = 0;
  bool lineEmpty = true;
  for (size_t from = 0; from < text.size();) {
    const size_t space = std::min(text.find(' ', from), text.size());
    const std::string_view word = text.substr(from, space - from);
    if (!lineEmpty && out.size() - lineStart + 1 + word.size() > 79) {
      out += '\n';
      lineStart = out.size();
      out += "    ";
      lineEmpty = true;
    }
    if (!lineEmpty) out += ' ';
    out += word;
    lineEmpty = false;
    from = space + 1;
  }
  return out + '\n';
}

void Append(std::string& text, auto value, auto... format) {
  char digits[40];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, value, format...).ptr);
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> profileText, secondsText, outFile;
  long smplPrd = 1, sensAvg = 0x0100, model = 47120;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      // The chip behind SPI reads these too; this tool's direct draw does not.
      std::printf("\nThe program's simulated chip also reads:\n%s%s%s%s",
                  Wrapped(velk::SimCharacter::kHelp).c_str(),
                  Wrapped(velk::SimTempPath::kHelp).c_str(), Wrapped(velk::kTableHelp).c_str(),
                  Wrapped(velk::kTurnHelp).c_str());
      return 0;
    }
    if (a == "--smpl-prd" || a == "--sens-avg" || a == "--model" || a == "--out") {
      if (i + 1 >= argc) return Refuse(a + " needs a value.");
      const std::string value = argv[++i];
      std::optional<long> number;
      if (a == "--out") {
        outFile = value;
        continue;
      }
      if (a == "--smpl-prd" && !(number = Integer(value, 0, 0xFF)))
        return Refuse("--smpl-prd takes 0 to 0xFF, not \"" + velk::Escaped(value) + "\".");
      if (a == "--sens-avg" && !(number = Integer(value, 0, 0xFFFF)))
        return Refuse("--sens-avg takes 0 to 0xFFFF, not \"" + velk::Escaped(value) + "\".");
      if (a == "--model" &&
          (!(number = Integer(value, 0, 99999)) || (*number != 47120 && *number != 47121)))
        return Refuse("--model takes 47120 or 47121, not \"" + velk::Escaped(value) + "\".");
      (a == "--smpl-prd" ? smplPrd : a == "--sens-avg" ? sensAvg : model) = *number;
    } else if (!profileText) {
      profileText = a;
    } else if (!secondsText) {
      secondsText = a;
    } else {
      return Refuse("unexpected \"" + velk::Escaped(a) + "\".");
    }
  }
  if (!secondsText) return Refuse("PROFILE and SECONDS are needed.");
  velk::NoiseChoice choice = velk::SimNoiseProfile::Parse(*profileText);
  if (!choice || !choice->has_value())
    return Refuse("\"" + velk::Escaped(*profileText) + "\" is not a noise profile.");
  const std::optional<double> seconds = velk::ExactNumber(*secondsText);
  if (!seconds || !(*seconds > 0.0) || *seconds > 1e7)
    return Refuse("SECONDS must be a number above 0, not \"" + velk::Escaped(*secondsText) + "\".");

  int fd = STDOUT_FILENO;
  if (outFile) {
    fd = ::open(outFile->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
      std::fprintf(stderr, "velk47120-noise-profile: cannot write %s: %s\n",
                   velk::Escaped(*outFile).c_str(), std::strerror(errno));
      return 1;
    }
  }

  velk::SimNoiseProfile& profile = **choice;
  // The temperature as the simulated chip gives it with a profile: 25 degC and its noise.
  velk::SimSignals signals(0.0);
  signals.SetNoiseProfile(profile);
  const int avg = static_cast<int>(sensAvg & 7);
  const double period = velk::SimSamplePeriod(static_cast<int>(smplPrd));
  const int64_t samples = static_cast<int64_t>(std::ceil(*seconds / period - 1e-9));
  const float lsb = static_cast<float>(velk::GyroLsb(static_cast<int32_t>(sensAvg), model));

  // The comment line the tool's log writes (firmware 1.2 as the simulated chip reports it),
  // the interface naming the profile, and the registers as written.
  const float periodMs =
      static_cast<float>((smplPrd & 0x7F) + 1) * (smplPrd < 128 ? 1.953f : 60.54f);
  const velk::RangeRow& range = velk::RangeAt(velk::RangePosition(static_cast<int32_t>(sensAvg)));
  char registers[96];
  std::snprintf(registers, sizeof registers, ", Smpl_Prd=0x%02lX, Sens_Avg=0x%04lX, model %ld\n",
                smplPrd, sensAvg, model);
  Output out(fd);
  std::string& text = out.Text();
  text = "# VELK" + std::to_string(model) + ", firmware 1.2, noise profile " + profile.Name() +
         ", seed " + std::to_string(profile.Seed()) + ", range " +
         std::to_string(range.fullScale / velk::ModelDivisor(model)) + " Dgr/S, sample period " +
         velk::FormatFixed(periodMs, 2) + " mS, averaging " + std::to_string(avg) + " (" +
         std::to_string(1 << avg) + " taps)" + registers;
  text += "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)\n";

  int64_t second = -1;
  for (int64_t s = 0; s < samples; ++s) {
    const double elapsed = static_cast<double>(s) * period;
    const int code = profile.Code(s, static_cast<int>(smplPrd), static_cast<int>(sensAvg),
                                  static_cast<int>(model));
    Append(text, s);
    text += ',';
    Append(text, elapsed, std::chars_format::fixed, 6);
    text += ',';
    text += velk::FormatGeneral(static_cast<float>(code) * lsb);
    text += ',';
    Append(text, code);
    text += ',';
    if (const auto whole = static_cast<int64_t>(std::floor(elapsed)); whole != second) {
      second = whole;
      const double temp = signals.Temperature(elapsed, s);
      const double tempCode =
          std::clamp(std::nearbyint((temp - 25.0) / kTempDegreesPerCount), -2048.0, 2047.0);
      text += velk::FormatGeneral(static_cast<float>(tempCode) * 0.1453f + 25.0f);
    }
    text += '\n';
    out.MaybeFlush();
  }
  out.Flush();
  int error = out.Error();
  // A file system may report a failed write only when the file is closed.
  if (fd != STDOUT_FILENO && ::close(fd) != 0 && errno != EINTR && error == 0) error = errno;
  if (error != 0) {
    std::fprintf(stderr, "velk47120-noise-profile: cannot write %s: %s\n",
                 velk::Escaped(outFile.value_or("standard output")).c_str(), std::strerror(error));
    return 1;
  }
  return 0;
}
