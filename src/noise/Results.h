#pragma once

#include <string>
#include <string_view>

#include "noise/Analysis.h"

namespace velk::noise {

// The analysis as JSON, schema "velk47120-noise/2": what the tool's --json prints and the
// window saves, so a script reads either. A number that is not finite is null.
std::string ResultJson(const Analysis& analysis, std::string_view programVersion);

// The report the tool prints.
std::string ReportText(const Analysis& analysis);

// "3 rows: 2 flagged as errors, 1 at the range's limit": the rows left out by why, as the
// report and the window say it; empty when none was.
std::string LeftOutText(const LeftOutRows& rows);

// The table of tau points as CSV, deg/s.
std::string TableCsv(const Analysis& analysis);

// The gyro's noise density, random walk and update rate as a camera-IMU calibration tool
// reads them (YAML).
std::string KalibrYaml(const Analysis& analysis);

// How the densities are meant.
inline constexpr std::string_view kDensityConvention =
    "two-sided: the ARW in rad/s/sqrt(Hz) equals the white noise density, and the RRW in "
    "rad/s^2/sqrt(Hz) the random walk density, as a calibration tool's noise_density and "
    "random_walk take them";

}  // namespace velk::noise
