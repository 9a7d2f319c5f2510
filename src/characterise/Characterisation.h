#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "characterise/Figure.h"
#include "core/Result.h"

namespace velk::characterise {

inline constexpr std::string_view kSchema = "velk47120-characterise/1";

// The calibration words in force while the record was taken: `apply` refuses a chip whose
// words differ.
struct ChipWords {
  uint16_t gyroOfst = 0;
  uint16_t gyroScale = 0;
  bool operator==(const ChipWords&) const = default;
};

// One line of how the run was made: a number or a text under a fixed key.
struct Condition {
  std::string key;
  std::variant<double, std::string> value;
  bool operator==(const Condition&) const = default;
};

// One power-down cycle of a repeatability run, as the plot of bias per cycle shows it.
struct CycleBias {
  double bias = 0.0;         // deg/s, after any tempco correction
  double temperature = 0.0;  // degC
  std::optional<ChipWords> words;
  bool operator==(const CycleBias&) const = default;
};

enum class Ramp { Up, Down };

// A 1 degC bin of one ramp direction.
struct TempBin {
  Ramp ramp = Ramp::Up;
  double temperature = 0.0;  // mean, degC
  double bias = 0.0;         // mean, deg/s
  double se = 0.0;           // of the mean, deg/s
  double seconds = 0.0;      // time the bin holds
  double rate = 0.0;         // mean dT/dt, degC/s
  double time = 0.0;         // mean time of its samples, s from the record's start
  bool operator==(const TempBin&) const = default;
};

// b = b0 + b1 dT + b2 dT^2 +- h/2 (up +, down -) + c dT/dt, dT from 25 degC: what the plot
// draws for each direction.
struct TempCurve {
  double b0 = 0.0, b1 = 0.0, b2 = 0.0, h = 0.0, c = 0.0;
  double from = 0.0, to = 0.0;  // degC, the range fitted
  bool operator==(const TempCurve&) const = default;
  double At(double temperature, Ramp ramp, double rate = 0.0) const;
};

// A plateau of a rate-table run, as the plots of output and residual against rate draw it.
struct RatePlateau {
  double rate = 0.0;      // deg/s, as asked of the table
  double output = 0.0;    // LSB, the plateau's mean
  double se = 0.0;        // LSB
  double residual = 0.0;  // LSB, from the fitted line (0 when left out)
  bool used = true;       // false: saturated, beyond full scale or still moving
  bool operator==(const RatePlateau&) const = default;
};

// A record the figures came from, as the report's header names it.
struct Source {
  std::string file;
  std::string sha256;
  bool operator==(const Source&) const = default;
};

// What one characterisation test gives: its figures and what they were measured with.
struct Characterisation {
  std::string test;  // "repeatability", "tempco"
  std::string programVersion;
  std::vector<Figure> figures;
  std::optional<ChipWords> words;
  std::vector<Condition> conditions;
  std::vector<std::string> warnings;
  std::vector<Source> sources;
  std::vector<CycleBias> cycles;
  std::vector<TempBin> bins;
  std::optional<TempCurve> curve;
  std::vector<RatePlateau> plateaus;

  const Figure* Find(std::string_view name) const;
};

// The document as JSON, schema "velk47120-characterise/1". A number that is not finite is null.
std::string CharacteriseJson(const Characterisation& c);

// The document back, or why it is not one, to follow the file's name: "is not JSON: save it
// again from characterise --out".
Result<Characterisation, std::string> ReadCharacteriseJson(std::string_view text);

}  // namespace velk::characterise
