#pragma once

#include <optional>
#include <string>
#include <vector>

#include "characterise/Characterisation.h"
#include "characterise/Tempco.h"

namespace velk::characterise {

// The ramps of a record, binned.
struct Binned {
  std::vector<TempBin> bins;           // up bins by temperature, then down bins
  std::vector<double> rampRates;       // degC/s, the mean |dT/dt| of each ramp of 2 degC or more
  std::optional<std::string> refused;  // why the record cannot be binned
};

// Each temperature reading's 60 s centred mean and least-squares slope (degC/s).
void LowPass(const std::vector<double>& time, const std::vector<double>& degrees,
             std::vector<double>& mean, std::vector<double>& slope);

// The rate samples on the ramps (dead band kSoakRate) binned by 1 degC of the low-passed
// temperature, each ramp direction apart. Each bin's standard error is the scatter pooled over
// all bins over the root of its count (a record without scatter weighs its bins by count).
Binned BinRamps(const TempcoInput& input);

}  // namespace velk::characterise
