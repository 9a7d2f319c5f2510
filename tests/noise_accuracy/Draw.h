#pragma once

#include <string>

#include "noise/Record.h"

namespace velk::noise {

// A still 47120 at Smpl_Prd 1 drawn straight from a noise profile, as an acquisition gives it.
Record Draw(const std::string& profile, double hours, int sensAvg = 0x0100);

}  // namespace velk::noise
