// The noise reader over a tool's log of 2 million rows (about 130 MB) in a temporary file, read
// from the page cache: MB/s on one core, and how far the first read raised the peak resident
// memory, per sample.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "core/GyroRange.h"
#include "noise/Analysis.h"
#include "noise/read/Reader.h"

namespace {

constexpr long kRows = 2'000'000;

// A log as the tool writes it, noisy codes at 10 ms with the occasional overrun, in a
// temporary file removed at exit.
struct LogFile {
  std::string path = "/tmp/velk-bench-noise-XXXXXX";
  LogFile() {
    const int fd = mkstemp(path.data());
    if (fd < 0) std::abort();
    std::FILE* out = fdopen(fd, "wb");
    const float lsb = static_cast<float>(velk::GyroLsb(0x0402, 47120));
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 6.0);
    std::fputs(
        "# VELK47120, firmware 1.2, parallel port 0x378, range 320 Dgr/S, sample period 3.91 "
        "mS, averaging 2 (4 taps), Smpl_Prd=0x01, Sens_Avg=0x0402, model 47120\n"
        "time (UTC),elapsed (s),Supply (V),Gyro (Dgr/S),ADC In (V),Temp (dgrC),Angle (dgr),New,"
        "Error,Status\n",
        out);
    double elapsed = 0.0;
    for (long i = 0; i < kRows; ++i) {
      elapsed += i % 5000 == 4999 ? 0.0213 : 0.01 + 1e-6 * static_cast<double>(i % 7);
      const float rate = static_cast<float>(std::lround(noise(random))) * lsb;
      char gyro[32];
      *std::to_chars(gyro, gyro + 31, rate, std::chars_format::general, 7).ptr = '\0';
      std::fprintf(out, "2026-12-08T01:%02ld:%02ld.%03ldZ,%.6f,5.003658,%s,0,%.4f,0.62271,1,0,0\n",
                   (i / 6000) % 60, (i / 100) % 60, (i % 100) * 10, elapsed, gyro,
                   25.1 + 1e-4 * static_cast<double>(i % 1000));
    }
    std::fclose(out);
  }
  ~LogFile() { unlink(path.c_str()); }
};

long PeakResidentKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_ReadLog(benchmark::State& state) {
  static const LogFile log;
  std::ifstream probe(log.path, std::ios::binary | std::ios::ate);
  const auto bytes = static_cast<int64_t>(probe.tellg());
  static double bytesPerSample = -1.0;  // the first read's rise of the peak
  for (auto _ : state) {
    const long before = PeakResidentKb();
    velk::noise::ReadResult result = velk::noise::ReadRecord(log.path, {});
    if (!result) {
      state.SkipWithError(result.error().message.c_str());
      break;
    }
    if (bytesPerSample < 0.0)
      bytesPerSample = 1024.0 * static_cast<double>(PeakResidentKb() - before) /
                       static_cast<double>(result->samples.size());
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["peak_bytes_per_sample"] = bytesPerSample;
}

// The tool's whole path after the command line: the file read, then analysed (octave fit,
// decade table, intervals, checks).
void BM_ReadAndAnalyse(benchmark::State& state) {
  static const LogFile log;
  velk::noise::AnalysisOptions options;
  options.grid.kind = velk::noise::TauGrid::Kind::Decade;
  for (auto _ : state) {
    velk::noise::ReadResult result = velk::noise::ReadRecord(log.path, {});
    if (!result) {
      state.SkipWithError(result.error().message.c_str());
      break;
    }
    benchmark::DoNotOptimize(velk::noise::Analyze(*result, options));
  }
}

}  // namespace

BENCHMARK(BM_ReadAndAnalyse)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLog)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();
