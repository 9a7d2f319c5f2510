// Noise records: any bytes as a log, acquisition file or datalog, read with a few options.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTargets.h"
#include "noise/read/Reader.h"

namespace {

bool Finite(double value) {
  return std::isfinite(value);
}

bool AllFinite(const std::vector<double>& values) {
  for (double v : values)
    if (!Finite(v)) return false;
  return true;
}

velk::noise::ReadOptions Options(std::optional<int> run, std::optional<double> tau0, double skip) {
  velk::noise::ReadOptions options;
  options.run = run;
  options.tau0 = tau0;
  options.skipS = skip;
  return options;
}

}  // namespace

int velk_fuzz_noise_reader(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const velk::noise::ReadOptions variants[] = {Options({}, {}, 0.0), Options(1, {}, 0.0),
                                               Options({}, 0.01, 0.5), Options(2, 1e-3, 0.0)};
  for (const velk::noise::ReadOptions& options : variants) {
    const velk::noise::ReadResult result = velk::noise::ReadRecordText(text, "fuzz.csv", options);
    VELK_FUZZ_CHECK(result || !result.error().message.empty());
    if (!result) continue;
    const velk::noise::Record& r = *result;
    VELK_FUZZ_CHECK(r.samples.size() >= 2);
    for (double v : r.samples)
      VELK_FUZZ_CHECK(Finite(v) && (!r.integerCounts || v == std::round(v)));
    VELK_FUZZ_CHECK(!r.segmentStarts.empty() && r.segmentStarts[0] == 0);
    for (size_t i = 1; i < r.segmentStarts.size(); ++i)
      VELK_FUZZ_CHECK(r.segmentStarts[i] > r.segmentStarts[i - 1] &&
                      r.segmentStarts[i] < r.samples.size());
    VELK_FUZZ_CHECK(r.tau0 > 0.0 && Finite(r.tau0));
    VELK_FUZZ_CHECK(r.unit > 0.0 && Finite(r.unit));
    VELK_FUZZ_CHECK(r.jitter >= 0.0 && Finite(r.jitter) && Finite(r.durationS) && r.lost >= 0);
    VELK_FUZZ_CHECK(r.run >= 1 && r.run <= r.runs && (!options.run || r.run == *options.run));
    const velk::noise::StreamStats& s = r.stats;
    VELK_FUZZ_CHECK(AllFinite(s.secondMeans) && AllFinite(s.tenSecondTemps));
    VELK_FUZZ_CHECK(Finite(s.meanRate) && Finite(s.blockSpreadRms));
    // Missing runs lie inside a segment, ascending, and add up to what was lost.
    int64_t missing = 0;
    for (size_t i = 0; i < r.missing.size(); ++i) {
      const velk::noise::MissingRun& run = r.missing[i];
      VELK_FUZZ_CHECK(run.count > 0 && run.at > 0 && run.at < r.samples.size());
      VELK_FUZZ_CHECK(i == 0 || run.at > r.missing[i - 1].at);
      VELK_FUZZ_CHECK(!std::binary_search(r.segmentStarts.begin(), r.segmentStarts.end(), run.at));
      missing += run.count;
    }
    VELK_FUZZ_CHECK(missing == r.lost);
    VELK_FUZZ_CHECK(r.leftOut.errorFlag >= 0 && r.leftOut.rangeLimit >= 0 &&
                    r.leftOut.incomplete >= 0);
    VELK_FUZZ_CHECK(!s.meanTemp || Finite(*s.meanTemp));
    VELK_FUZZ_CHECK(!r.chip || (Finite(r.chip->windowS) && Finite(r.chip->lsbDps)));
  }
  return 0;
}
