#pragma once

namespace velk::noise {

// The terms in the units a datasheet gives, from the fit's deg/s units.
inline constexpr double kArwToDegPerRootHour = 60.0;        // deg/sqrt(s) -> deg/sqrt(h)
inline constexpr double kBiToDegPerHour = 3600.0;           // deg/s -> deg/h
inline constexpr double kRrwToDegPerHourRootHour = 216000;  // deg/s/sqrt(s) -> deg/h/sqrt(h)
inline constexpr double kRampToDegPerHourSquared = 3600.0 * 3600.0;  // deg/s^2 -> deg/h^2

// The SI value of an angle in degrees.
double Radians(double degrees);

}  // namespace velk::noise
