// The noise outputs of a record whose comment line, file name and rows hold any bytes: the
// first byte picks the layout and options, the second how many generated rows lead the file,
// the rest is the comment, the name and the rows, split at the first two NUL bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/EchoText.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTargets.h"
#include "noise/Analysis.h"
#include "noise/Results.h"
#include "noise/read/Reader.h"

namespace {

using velk::noise::Analysis;
using velk::noise::TermReport;

constexpr double kLsb = 0.07327526;  // deg/s a count at 320 deg/s

// Whether nlohmann takes the text as UTF-8 (its strict dump throws otherwise).
bool Utf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

// Escaped's inverse, so the check can say no byte of the name was lost.
std::string Unescaped(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    if (next == 'x' && i + 2 < text.size()) {
      out +=
          static_cast<char>(std::strtol(std::string(text.substr(i + 1, 2)).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
  }
  return out;
}

// Rows of a still gyro, up to some thousands, so the fit has octaves to work on.
std::string GeneratedRows(bool acquisition, int count, uint32_t seed) {
  std::string rows;
  for (int i = 1; i <= count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int code = static_cast<int>(seed >> 24) % 9 - 4 + (i / 64) % 3;
    char row[160];
    if (acquisition)
      std::snprintf(row, sizeof row, "%d,%.6f,%.7g,%d,%s\n", i, i * 0.003906, code * kLsb, code,
                    i % 256 == 1 ? "25.1" : "");
    else
      std::snprintf(row, sizeof row,
                    "2026-12-08T01:22:43.706Z,%.6f,5.003658,%.7g,0,25.1453,0.62271,1,0,0\n",
                    i * 0.1, code * kLsb);
    rows += row;
  }
  return rows;
}

// The value a density line of the YAML gives, or nothing for null.
std::optional<double> YamlValue(const std::string& line, std::string_view key) {
  VELK_FUZZ_CHECK(line.rfind(std::string(key) + ": ", 0) == 0);
  const std::string value =
      line.substr(key.size() + 2, line.find(' ', key.size() + 2) - key.size() - 2);
  if (value == "null") return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  VELK_FUZZ_CHECK(end != value.c_str() && *end == '\0' && std::isfinite(v));
  return v;
}

void CheckYaml(const std::string& yaml, const Analysis& a) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t at; (at = yaml.find('\n', from)) != std::string::npos; from = at + 1)
    lines.push_back(yaml.substr(from, at - from));
  VELK_FUZZ_CHECK(from == yaml.size() && lines.size() == 4 && Utf8(yaml));
  for (const std::string& line : lines)
    for (const char c : line) VELK_FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
  VELK_FUZZ_CHECK(lines[0].rfind("# gyro noise of " + velk::Escaped(a.file) + "; ", 0) == 0);
  const auto density = [&](const std::string& line, std::string_view key, const TermReport& t) {
    const std::optional<double> v = YamlValue(line, key);
    // Never 0 for a term known only by its upper limit; null only when nothing is known.
    VELK_FUZZ_CHECK(!v || *v > 0);
    if (t.upperLimit) VELK_FUZZ_CHECK(v);
  };
  density(lines[1], "gyroscope_noise_density", a.terms[velk::noise::kN]);
  density(lines[2], "gyroscope_random_walk", a.terms[velk::noise::kK]);
  YamlValue(lines[3], "update_rate");
}

}  // namespace

int velk_fuzz_noise_json(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const int generated = data[1] * 16;
  std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  const auto part = [&rest] {
    const size_t end = rest.find('\0');
    const std::string_view text = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return std::string(text);
  };
  const std::string comment = part();
  const std::string name = part();

  const bool acquisition = (flags & 1) != 0;
  std::string file = "# " + comment + "\n";
  file += acquisition ? "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)\n"
                      : "time (UTC),elapsed (s),Supply (V),Gyro (Dgr/S),ADC In (V),Temp "
                        "(dgrC),Angle (dgr),New,Error,Status\n";
  file += GeneratedRows(acquisition, generated, flags * 2654435761u);
  file += rest;

  velk::noise::ReadResult read = velk::noise::ReadRecordText(file, name, {});
  if (!read) return 0;
  velk::noise::AnalysisOptions options;
  if (flags & 2) options.terms = velk::noise::kTermsAll;
  if (flags & 4) options.estimator = velk::noise::Estimator::NonOverlapping;
  if (flags & 8) options.limits.arw = 0.5;
  const std::string recordComment = read->comment;
  const Analysis a = velk::noise::Analyze(*read, options);
  VELK_FUZZ_CHECK(a.file == name);

  const std::string json = velk::noise::ResultJson(a, "fuzz");
  VELK_FUZZ_CHECK(nlohmann::json::accept(json));
  const nlohmann::json parsed = nlohmann::json::parse(json);
  const nlohmann::json& source = parsed.at("source");
  const std::string echo = source.at("file_echo").get<std::string>();
  VELK_FUZZ_CHECK(echo == velk::Escaped(name) && Unescaped(echo) == name);
  if (Utf8(name)) VELK_FUZZ_CHECK(source.at("file") == name);
  if (Utf8(recordComment)) VELK_FUZZ_CHECK(source.at("comment") == recordComment);

  (void)velk::noise::ReportText(a);
  const std::string csv = velk::noise::TableCsv(a);
  size_t lines = 0;
  for (const char c : csv) lines += c == '\n';
  VELK_FUZZ_CHECK(lines == a.adev.size() + 1);
  CheckYaml(velk::noise::KalibrYaml(a), a);
  return 0;
}
