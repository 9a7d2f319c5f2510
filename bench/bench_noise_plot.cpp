// Cost of the noise window's Allan deviation plot at 640 x 480 with 25 points, as the window
// repaints it once a second during a read loop: rendered to an image, and repainted on screen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdlib>

#include "ui/noise/NoisePlot.h"

namespace {

void EnsureApp() {
  if (QApplication::instance() != nullptr) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "bench_noise_plot";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

// Octave points from 4 ms to 18 h on N 0.6 deg/sqrt(h), B 40 deg/h, K 600 deg/h/sqrt(h).
velk::noise::Analysis Octaves() {
  velk::noise::Analysis a;
  a.tau0 = 1.0 / 256;
  a.samples = 1 << 26;
  const double n = 0.6 / 60, b = 40.0 / 3600, k = 600.0 / 216000;
  for (int i = 0; i < 25; ++i) {
    const double tau = a.tau0 * std::ldexp(1.0, i);
    const double adev = std::sqrt(n * n / tau + 0.4413 * b * b + k * k * tau / 3);
    const double spread = 1.0 + 0.02 * std::ldexp(1.0, i / 2);
    a.adev.push_back({.tau = tau,
                      .adev = adev,
                      .lo = adev / spread,
                      .hi = adev * spread,
                      .inFit = i >= 3 && i < 22});
  }
  const double values[] = {0.0, 0.6, 40.0, 600.0, 0.0};
  for (int t = 0; t < velk::noise::kTermCount; ++t) {
    a.terms[t].allowed = t >= 1 && t <= 3;
    a.terms[t].value = values[t];
  }
  return a;
}

void BM_Render(benchmark::State& state) {
  EnsureApp();
  velk::NoisePlot plot;
  plot.SetAnalysis(Octaves());
  for (auto _ : state) benchmark::DoNotOptimize(plot.Render(QSize(640, 480)));
}

// A new analysis and the repaint it asks for, as the window's refresh does it.
void BM_Repaint(benchmark::State& state) {
  EnsureApp();
  velk::NoisePlot plot;
  plot.resize(640, 480);
  plot.show();
  QCoreApplication::processEvents();
  const velk::noise::Analysis analysis = Octaves();
  for (auto _ : state) {
    plot.SetAnalysis(analysis);
    plot.repaint();
  }
}

BENCHMARK(BM_Render)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Repaint)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

}  // namespace
