#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "characterise/Characterisation.h"
#include "core/Result.h"

namespace velk::characterise {

// How plateaus are found in a record, or checked in a table command's window.
struct PlateauOptions {
  double window = 0.5;       // s, the moving mean's and spread's block
  double meanSigmas = 5.0;   // a block this many SE off the run's level ends the run
  double spreadRatio = 4.0;  // a block spread this many times the typical one is moving
  double minRun = 3.0;       // s, the shortest run taken as a plateau
  double trim = 0.5;         // s, left out at each end
  double trimShare = 0.1;    // of a found run, left out at each end besides
};

// Where a table command put a plateau: the record's time the command returned.
struct TableWindow {
  double time = 0.0;   // s
  double dwell = 0.0;  // s the rate was held
};

struct ScaleInput {
  std::vector<double> time;       // s
  std::vector<double> rate;       // the output, in codes or deg/s (see lsb)
  std::vector<double> commanded;  // deg/s, in the order the table ran them
  // One per commanded rate when a table command ran them; empty: the plateaus are found.
  std::vector<TableWindow> windows;
  double fullScale = 0.0;  // deg/s, the range's nominal
  double lsb = 1.0;        // one Gyro_Out code in the output's unit (1 for codes)
  double nominal = 0.0;    // codes per deg/s the range's Gyro_Out factor gives
  double codeLimit = 8191.0;
  double white = 0.0;  // the white noise N, output unit x sqrt(s): a mean over T has SE N / sqrt(T)
  PlateauOptions options;
  uint64_t seed = 1;  // of the nonlinearity's bootstrap
  int draws = 2000;
};

// One plateau, found or commanded.
struct ScalePlateau {
  double commanded = 0.0;         // deg/s
  double start = 0.0, end = 0.0;  // s, after the trims
  double mean = 0.0, se = 0.0;    // output unit
  double spread = 0.0;            // of its samples
  int64_t samples = 0;
  double residual = 0.0;  // from the line, output unit (used plateaus only)
  bool used = false;
  std::string note;  // why it was left out, or what was cut
};

struct Scale {
  Characterisation doc;
  std::vector<ScalePlateau> plateaus;
  double white = 0.0;  // as used, output unit x sqrt(s)
};

// 0 and +-1, 2, 5, 10, 20, 40, 60, 80, 95 % of full scale, the signs alternating, a zero
// before every four others and at the end.
std::vector<double> DefaultRates(double fullScale);

// N from the record itself: the median difference of adjacent block means, which steps between
// plateaus barely move. Output unit x sqrt(s); 0 when the record holds fewer than 3 blocks.
double RobustWhite(const std::vector<double>& time, const std::vector<double>& rate,
                   double window = 0.5);

// The plateaus of a record: commanded windows checked, or runs found and matched to the
// commanded rates by order and sign. A count or sign that does not match is refused with the
// table of what was found.
Result<std::vector<ScalePlateau>, std::string> FindPlateaus(const ScaleInput& in);

// The figures from plateaus already found: saturated ones and those beyond full scale are left
// out and named, the rest fitted.
Scale FitScale(std::vector<ScalePlateau> plateaus, const ScaleInput& in);

// Both: the document of a rate-table record, or why the record gives none.
Result<Scale, std::string> AnalyseScale(const ScaleInput& in);

// The plateaus as the tool prints them and a refusal quotes them.
std::string PlateauTable(const std::vector<ScalePlateau>& plateaus, const std::string& unit);

}  // namespace velk::characterise
