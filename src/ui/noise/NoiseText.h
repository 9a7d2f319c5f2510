#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/Realtime.h"
#include "noise/Analysis.h"
#include "noise/LiveNoise.h"

namespace velk {

// The Noise window's values as it shows them and a screen reader reads them.

// "0.600 °/√h (0.594 to 0.606)", "not detected (below 35.2 °/h)" or "not estimated".
std::string TermText(const noise::Analysis& analysis, noise::Term term);
// "not estimated: no octave point ...; a record of at least 26.2 s would give one point";
// empty when the fit had points.
std::string NotEstimatedText(const noise::Analysis& analysis);
std::string ValueText(std::optional<double> value, const char* unit);
// "33.3 °/h at tau 8 s; / 0.664 = 50.2 °/h"
std::string MinimumText(const noise::ClassicReport& classic);
// One line a check: "subsampled (2.530): sentence"; "none" when every check passed.
std::string WarningsText(const std::vector<noise::Warning>& warnings);
// The checks, then the rows left out ("left out: 3 rows: 2 flagged as errors, ...") and each
// note ("note: sentence"), a line each; "none" when there is nothing to say.
std::string ChecksText(const noise::Analysis& analysis);
// "pass (ARW pass: upper end 0.62 within 0.7)": each limit's verdict and the end of the
// interval that decided it; "no limits" without any.
std::string VerdictText(const noise::Analysis& analysis);
std::string FileStateText(const noise::Analysis& analysis);
// "Acquisition (done): 7680 samples, 2 lost, 30.0 s, tau0 0.00391 s; priority real-time (...)"
std::string AcquiredStateText(const noise::Analysis& analysis, const std::string& how);
// "Acquiring: 2560 samples, 0 lost, 10.0 s of 30.0 s; priority ..." while the engine runs.
std::string AcquiringStateText(int64_t taken, int64_t lost, double seconds, double duration,
                               const std::optional<RealtimeGrant>& priority, bool silent);
std::string LiveStateText(noise::LiveMode mode, int64_t samples, const std::string& cause,
                          bool full);

}  // namespace velk
