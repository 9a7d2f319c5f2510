#include "noise/Units.h"

#include <numbers>

namespace velk::noise {

double Radians(double degrees) {
  return degrees * std::numbers::pi / 180.0;
}

}  // namespace velk::noise
