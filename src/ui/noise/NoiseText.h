#pragma once

#include <optional>
#include <string>
#include <vector>

#include "noise/Analysis.h"
#include "noise/LiveNoise.h"

namespace velk {

// The Noise window's values as it shows them and a screen reader reads them.

// "0.600 °/√h (0.594 to 0.606)", "below 35.2 °/h (upper limit)", or "-".
std::string TermText(const noise::TermReport& term);
std::string ValueText(std::optional<double> value, const char* unit);
// "33.3 °/h at tau 8 s; / 0.664 = 50.2 °/h"
std::string MinimumText(const noise::ClassicReport& classic);
// One line a check: "subsampled (2.530): sentence"; "none" when every check passed.
std::string WarningsText(const std::vector<noise::Warning>& warnings);
// "pass (ARW pass, BI inconclusive)", or "no limits".
std::string VerdictText(const noise::Analysis& analysis);
std::string FileStateText(const noise::Analysis& analysis);
std::string LiveStateText(noise::LiveMode mode, int64_t samples, const std::string& cause,
                          bool full);

}  // namespace velk
