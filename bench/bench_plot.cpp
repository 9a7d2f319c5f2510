// Cost of the strip chart on the designed chart (11475 x 3348 twips, 96 dpi): one point,
// one point with its repaint as the read loop lets it happen, and a full redraw with its
// repaint.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdlib>

#include "ui/main/Plot47120.h"
#include "ui/main/Twips.h"

namespace {

struct Chart {
  Chart() : pic1(new velk::StripChart(&window)), plot(*pic1, velk::CreateAxisMarks(&window)) {
    window.resize(velk::Twips(&window, 13080), velk::Twips(&window, 4400));
    pic1->SetTwipsGeometry(1440, 860, 11475, 3348);
    plot.ScaleBits = 0x100;
    window.show();
    QCoreApplication::processEvents();
    plot.PlotX = pic1->Width() + 1;
  }
  float Next() { return 60.0f * std::sin(static_cast<float>(n++) * 0.02f); }

  QWidget window;
  velk::StripChart* pic1;
  velk::Plot47120 plot;
  int n = 0;
};

void EnsureApp() {
  if (QApplication::instance() != nullptr) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "bench_plot";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

// Drawing only; the queued repaints are flushed outside the timing now and then.
void BM_PlotPoint(benchmark::State& state) {
  EnsureApp();
  Chart chart;
  for (auto _ : state) {
    chart.plot.PlotPoint(chart.Next());
    if (chart.n % 64 == 0) {
      state.PauseTiming();
      QCoreApplication::processEvents();
      state.ResumeTiming();
    }
  }
  state.counters["XStep"] = chart.plot.XStep;
}

// As in the read loop: every point is followed by processing the pending events.
void BM_PlotPointAndRepaint(benchmark::State& state) {
  EnsureApp();
  Chart chart;
  for (auto _ : state) {
    chart.plot.PlotPoint(chart.Next());
    QCoreApplication::processEvents();
  }
}

void BM_RedrawPlot(benchmark::State& state) {
  EnsureApp();
  Chart chart;
  for (auto _ : state) {
    chart.plot.RedrawPlot();
    QCoreApplication::processEvents();  // the full repaint it asks for
  }
}

BENCHMARK(BM_PlotPoint)->Repetitions(10)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlotPointAndRepaint)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawPlot)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
