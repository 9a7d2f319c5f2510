#include <benchmark/benchmark.h>

#include <cstdio>

#include "core/Delay.h"

// Every figure depends on the calibrated delay, so calibrate once, as the program does.
int main(int argc, char** argv) {
  std::fprintf(stderr, "Calibrating the delay loop (about 4 s)...\n");
  velk::DelayCalibrated = 0;
  velk::CalibrateDelay();
  std::fprintf(stderr, "LoopsPer10us = %d\n", velk::LoopsPer10us);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
