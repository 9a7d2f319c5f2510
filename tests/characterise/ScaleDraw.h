#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "characterise/Scale.h"
#include "sim/SimCharacter.h"

namespace velk::characterise {

// A rate-table run drawn straight from the simulator's model: each rate commanded at
// i x dwell, the table reaching it at a limited acceleration, the output the bias plus
// SimCharacter::Element of the table's rate plus a noise profile's rate noise ("" for none),
// every tau0, in deg/s rounded to the code (none: not rounded).
struct TableDraw {
  std::vector<double> rates;  // deg/s
  double dwell = 10.0;
  double fullScale = 80.0;
  double lsb = 0.018318814697265626;  // deg/s per code
  double tau0 = 0.05;
  double acceleration = 100.0;  // deg/s^2
};

// The record with its table windows (clear them to have the plateaus found).
ScaleInput DrawTable(const SimCharacter& c, const TableDraw& plan, const std::string& noise,
                     uint64_t noiseSeed, double white);

// The plateau means alone: the model's output plus a normal draw of SD white / sqrt(seconds),
// which is exactly how a mean of white noise over that time is distributed when the samples
// are normal (and near enough for the profile's uniform ones, hundreds to a mean). seed 0:
// no noise, the truth.
std::vector<ScalePlateau> DrawMeans(const SimCharacter& c, const std::vector<double>& rates,
                                    double fullScale, double seconds, double white, uint64_t seed);

}  // namespace velk::characterise
