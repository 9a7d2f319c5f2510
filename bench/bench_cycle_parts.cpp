// The parts of one read-loop cycle of the main window, each alone, on the shown window over
// the simulated sensor: the six register reads, the outputs' number text, the boxes and
// indicators, one chart point, the paint that follows a cycle's changes, a datalog row and
// the event processing between slices. The read includes its six 0.3 ms pauses; the other
// parts are the window's own work that comes on top of the pause floor.
#include <benchmark/benchmark.h>

#include <QString>
#include <cmath>
#include <string>

#include "WindowRig.h"
#include "measure/OutputCycle.h"
#include "ui/main/Controls.h"
#include "widgets/ValueLabel.h"

namespace {

using bench::App;
using bench::ShownWindow;

// Values that change every cycle, as a live sensor's do.
float Value(long n, int output) {
  return 20.0f * std::sin(0.02f * static_cast<float>(n) + static_cast<float>(output));
}

// The reading of cycle n, shown as the window shows a read one.
velk::OutputCycle Reading(long n) {
  velk::OutputCycle cycle;
  for (int i = 0; i < velk::kOutputCount; ++i) {
    cycle.outputs[i].value = Value(n, i);
    cycle.outputs[i].decimals = velk::kOutputRegisters[i].decimals;
  }
  cycle.rowNew = true;
  return cycle;
}

// Sets the five boxes as a cycle does, from the reading of cycle n.
void SetBoxes(velk::frmVelk47120& window, long n) {
  const velk::OutputCycle cycle = Reading(n);
  for (int i = 0; i < velk::kOutputCount; ++i) {
    window.txtReadReg[i]->setText(QString::fromStdString(velk::ShownText(cycle[i])));
  }
}

void BM_Read(benchmark::State& state) {
  App();
  ShownWindow shown;
  velk::Spi47120& spi = shown.rig.session.spi;
  for (auto _ : state) {
    benchmark::DoNotOptimize(velk::ReadOutputs(spi));
    benchmark::DoNotOptimize(velk::ReadStatus(spi));
  }
}

void BM_Format(benchmark::State& state) {
  long n = 0;
  for (auto _ : state) {
    const velk::OutputCycle cycle = Reading(n++);
    for (const velk::OutputValue& v : cycle.outputs) {
      benchmark::DoNotOptimize(QString::fromStdString(velk::ShownText(v)));
    }
  }
}

// Text set without the paint it asks for; the paint is flushed outside the timing.
void BM_Boxes(benchmark::State& state) {
  App();
  ShownWindow shown;
  long n = 0;
  for (auto _ : state) {
    SetBoxes(shown.window, n++);
    state.PauseTiming();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
}

// The flags and the eight status indicators, unchanged as in most cycles, and the angle bar
// moving one step (it repaints at once).
void BM_Indicators(benchmark::State& state) {
  App();
  ShownWindow shown;
  velk::frmVelk47120& w = shown.window;
  QLabel* status[] = {w.lblLowSupplyFlag, w.lblHighSupplyFlag, w.lblWriteFailFlag,
                      w.lblSpiWriteFlag,  w.lblOverrange,      w.lblDiagError,
                      w.lblAlarm1SetFlag, w.lblAlarm2SetFlag};
  long n = 0;
  for (auto _ : state) {
    velk::ShowValue(w.lblNewDataFlag, "New");
    velk::ShowIndicator(w.lblErrorAlarmFlag, false);
    for (QLabel* label : status) velk::ShowIndicator(label, false);
    w.ProgressBar3->setValue(static_cast<int>(n++ % 40));
  }
}

void BM_ChartPoint(benchmark::State& state) {
  App();
  ShownWindow shown;
  velk::Plot47120& plot = shown.window.plot();
  long n = 0;
  for (auto _ : state) {
    plot.PlotPoint(Value(n++, 0));
    if (n % 64 == 0) {
      state.PauseTiming();
      QCoreApplication::processEvents();
      state.ResumeTiming();
    }
  }
}

// The paint after one cycle's changes: the five boxes and one chart point.
void BM_Paint(benchmark::State& state) {
  App();
  ShownWindow shown;
  long n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    SetBoxes(shown.window, n);
    shown.window.plot().PlotPoint(Value(n++, 0));
    state.ResumeTiming();
    QCoreApplication::processEvents();
  }
}

void BM_DatalogRow(benchmark::State& state) {
  App();
  ShownWindow shown;
  velk::Datalog log;
  if (const auto opened = log.Open(shown.window.DatalogFolder / "parts.txt", {}); !opened) {
    state.SkipWithError(opened.error().message.c_str());
    return;
  }
  int32_t n = 0;
  for (auto _ : state) {
    ++n;
    // A failed row closes the log: the rows after it would time nothing.
    if (const auto written = log.WriteRow(n, Reading(n), 0); !written) {
      state.SkipWithError(written.error().c_str());
      break;
    }
  }
}

// Event processing with nothing to paint, as between the slices of a cycle.
void BM_ProcessEvents(benchmark::State& state) {
  App();
  ShownWindow shown;
  for (auto _ : state) QCoreApplication::processEvents();
}

const struct {
  const char* name;
  void (*run)(benchmark::State&);
} kParts[] = {{"read", BM_Read},
              {"format", BM_Format},
              {"boxes", BM_Boxes},
              {"indicators", BM_Indicators},
              {"chart_point", BM_ChartPoint},
              {"paint", BM_Paint},
              {"datalog_row", BM_DatalogRow},
              {"process_events", BM_ProcessEvents}};

const bool kRegistered = [] {
  for (const auto& part : kParts) {
    benchmark::RegisterBenchmark((std::string("BM_CycleParts/") + part.name).c_str(), part.run)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace
