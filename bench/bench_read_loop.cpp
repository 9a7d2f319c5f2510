// The main window's read loop at its start-up delay of 5 ms, over the simulated sensor on the
// parallel adapter in real time. At that delay a cycle waits only 1 ms and one 0.01 ms slice,
// so its floor is those waits plus the pauses of its six register reads (the five outputs,
// then Status; 0.3 ms each). The overhead is what the cycle takes beyond that floor; a bare
// loop of the same reads and waits, without the window, splits it into the cost of the reads
// themselves and the window's own work. The window shows a run at the screen's pace, so it
// paints (paints/cycle) about once per frame, not once per cycle.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <iterator>
#include <vector>

#include "ProcessCpu.h"
#include "WindowRig.h"
#include "core/Delay.h"
#include "measure/OutputCycle.h"
#include "ui/noise/frmNoise.h"

namespace {

using bench::App;
using bench::CpuNow;
using bench::Now;
using bench::ShownWindow;

constexpr int16_t kCycleSlots[] = {velk::slot::Supply_Out, velk::slot::Gyro_Out,
                                   velk::slot::Aux_Adc,    velk::slot::Temp_Out,
                                   velk::slot::Angle_Out,  velk::slot::Status};
constexpr long kFramesPerCycle = 2 * std::size(kCycleSlots);  // command frame, answer frame
constexpr double kReadPauseMs = 0.3;
constexpr double kFloorMs = std::size(kCycleSlots) * kReadPauseMs + 1.0 + 0.01;
constexpr long kWarmupCycles = 50;
constexpr long kMeasuredCycles = 1500;
constexpr double kTimeLimitSeconds = 60.0;

struct Span {
  double seconds = 0;
  double cpuSeconds = 0;
  long cycles = 0;
  double paintSeconds = 0;
  long paints = 0;
  long waits = 0;
};

// Times this thread has given up the processor itself (a wait for the disk, a sleep).
long ThreadWaits() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_nvcsw;
}

// Starts the loop with a click and stops it with another from a zero timer, which runs at the
// loop's event-processing points. Both ends of the span are taken at the point that follows a
// cycle's last read, so the span holds whole cycles; the warm-up cycles stay outside it.
Span RunLoop(velk::frmVelk47120& window, const velk::SimSensor& sensor) {
  const long base = sensor.FrameCount();
  const double limit = Now() + kTimeLimitSeconds;
  double t0 = 0;
  double cpu0 = 0;
  double paint0 = 0;
  long paints0 = 0;
  long waits0 = 0;
  long c0 = -1;
  Span span;
  QTimer tick;
  tick.setInterval(0);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const long frames = sensor.FrameCount() - base;
    const bool late = Now() > limit;
    if (frames % kFramesPerCycle != 0 && !late) return;  // between the outputs and Status
    const long done = frames / kFramesPerCycle;
    if (c0 < 0 && done >= kWarmupCycles) {
      t0 = Now();
      cpu0 = CpuNow();
      paint0 = App().paintSeconds;
      paints0 = App().paints;
      waits0 = ThreadWaits();
      c0 = done;
    }
    if (late || (c0 >= 0 && done >= c0 + kMeasuredCycles)) {
      if (c0 >= 0) {
        span = {Now() - t0,
                CpuNow() - cpu0,
                done - c0,
                App().paintSeconds - paint0,
                App().paints - paints0,
                ThreadWaits() - waits0};
      }
      tick.stop();
      window.CmdReadLoop->click();
    }
  });
  tick.start();
  window.CmdReadLoop->click();  // returns when the loop has ended
  return span;
}

// The same reads and waits as a cycle of the loop, and nothing else.
Span BareCycles(velk::Session& session) {
  velk::Spi47120& spi = session.spi;
  const double t0 = Now();
  const double cpu0 = CpuNow();
  for (long n = 0; n < kMeasuredCycles; ++n) {
    benchmark::DoNotOptimize(velk::ReadOutputs(spi));
    benchmark::DoNotOptimize(velk::ReadStatus(spi));
    velk::DelayMs(1);
    velk::DelayMs(0.01f);
  }
  return {Now() - t0, CpuNow() - cpu0, kMeasuredCycles};
}

// The loop without the datalog and with it ("Log Data to File", to a temporary folder), in
// pairs of runs on one window whose order alternates, so both halves of a pair see the same
// machine. Each figure is the median over the pairs; log_cost_% is the median of the pairs'
// differences, the log's own share. --benchmark_repetitions repeats the whole.
void BM_ReadLoop(benchmark::State& state) {
  App();
  ShownWindow shown;
  velk::frmVelk47120& window = shown.window;
  window.txtLoopDelay->setText("5.0");
  std::vector<Span> runs[2];  // [0] without the log, [1] logging
  for (auto _ : state) {
    const bool logFirst = runs[1].size() % 2 == 1;
    for (const bool logged : {logFirst, !logFirst}) {
      if (window.chkDatalog->isChecked() != logged) window.chkDatalog->click();
      const Span span = RunLoop(window, shown.rig.sensor);
      if (!shown.rig.messages.last.empty()) {
        state.SkipWithError(("message shown: " + shown.rig.messages.last).c_str());
        return;
      }
      if (span.cycles < kMeasuredCycles) {
        state.SkipWithError("the loop did not complete its cycles in time");
        return;
      }
      runs[logged].push_back(span);
    }
    state.SetIterationTime(runs[1].back().seconds / static_cast<double>(runs[1].back().cycles));
  }
  const Span bare = BareCycles(shown.rig.session);
  const auto perCycle = [](const Span& s, double value) {
    return value / static_cast<double>(s.cycles);
  };
  const auto middle = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
  };
  const auto median = [&](int logged, auto figure) {
    std::vector<double> v;
    for (const Span& s : runs[logged]) v.push_back(figure(s));
    return middle(v);
  };
  const auto cycleMs = [&](const Span& s) { return 1000.0 * perCycle(s, s.seconds); };
  const auto overhead = [&](const Span& s) { return 100.0 * (cycleMs(s) / kFloorMs - 1.0); };
  // Running time, not wall time, so other processes' share of the processor stays out.
  const auto windowUs = [&](const Span& s) {
    return 1e6 * (perCycle(s, s.cpuSeconds) - perCycle(bare, bare.cpuSeconds));
  };
  // Below 100 the machine was busy and the wall-time figures are too high.
  const auto ran = [](const Span& s) { return 100.0 * s.cpuSeconds / s.seconds; };
  std::vector<double> cost;
  for (size_t n = 0; n < runs[1].size(); ++n)
    cost.push_back(overhead(runs[1][n]) - overhead(runs[0][n]));

  state.counters["floor_ms"] = kFloorMs;
  state.counters["bare_ms"] = 1000.0 * perCycle(bare, bare.seconds);
  state.counters["cycle_ms"] = median(0, cycleMs);
  state.counters["overhead_%"] = median(0, overhead);
  state.counters["logged_ms"] = median(1, cycleMs);
  state.counters["logged_overhead_%"] = median(1, overhead);
  state.counters["log_cost_%"] = middle(cost);
  state.counters["window_us"] = median(0, windowUs);
  state.counters["logged_window_us"] = median(1, windowUs);
  state.counters["paint_us"] =
      median(0, [&](const Span& s) { return 1e6 * perCycle(s, s.paintSeconds); });
  state.counters["paints/cycle"] =
      median(0, [&](const Span& s) { return perCycle(s, static_cast<double>(s.paints)); });
  state.counters["ran_%"] = median(0, ran);
  state.counters["logged_ran_%"] = median(1, ran);
  // Times the loop's thread gave up the processor itself, as a write that waits on the disk
  // does; per thousand cycles.
  state.counters["logged_waits/kcycle"] =
      median(1, [&](const Span& s) { return 1000.0 * perCycle(s, static_cast<double>(s.waits)); });
  state.counters["waits/kcycle"] =
      median(0, [&](const Span& s) { return 1000.0 * perCycle(s, static_cast<double>(s.waits)); });
}

BENCHMARK(BM_ReadLoop)
    ->Iterations(3)    // pairs of runs
    ->UseManualTime()  // the time column is one logged cycle; the CPU column is the whole
    ->DisplayAggregatesOnly(true)  // the --benchmark_out file keeps each repetition
    ->Unit(benchmark::kMicrosecond);

// The loop at 5 ms with the Noise window open, live and refreshing once a second, against the
// same loop with it closed: the runs alternate in one process, so both see the same machine.
// A cycle's wall time, this thread's running time and its painting, each the median of the
// runs. On a busy machine the runs scatter by a few per cent either way; the painting shows
// the window's own share.
void BM_ReadLoopNoiseWindow(benchmark::State& state) {
  App();
  ShownWindow shown;
  velk::frmVelk47120& window = shown.window;
  shown.rig.session.configFile.clear();  // the Noise window keeps no settings file
  window.txtLoopDelay->setText("5.0");
  constexpr int kPairs = 5;
  std::vector<double> ms[2], cpuMs[2], paintUs[2];  // [0] closed, [1] open
  for (auto _ : state) {
    for (int pair = 0; pair < kPairs; ++pair) {
      for (const int open : {0, 1}) {
        if (open != 0) window.mnuNoise->trigger();
        const Span span = RunLoop(window, shown.rig.sensor);
        auto* noise = window.findChild<velk::frmNoise*>();
        if (open != 0 && (noise == nullptr || noise->ResultsJson().empty())) {
          state.SkipWithError("the Noise window showed no analysis");
          return;
        }
        if (noise != nullptr) noise->close();
        if (span.cycles < kMeasuredCycles) {
          state.SkipWithError("the loop did not complete its cycles in time");
          return;
        }
        ms[open].push_back(1000.0 * span.seconds / static_cast<double>(span.cycles));
        cpuMs[open].push_back(1000.0 * span.cpuSeconds / static_cast<double>(span.cycles));
        paintUs[open].push_back(1e6 * span.paintSeconds / static_cast<double>(span.cycles));
      }
    }
  }
  const auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
  };
  state.counters["closed_ms"] = median(ms[0]);
  state.counters["open_ms"] = median(ms[1]);
  state.counters["open_over_%"] = 100.0 * (median(ms[1]) / median(ms[0]) - 1.0);
  state.counters["closed_cpu_ms"] = median(cpuMs[0]);
  state.counters["open_cpu_ms"] = median(cpuMs[1]);
  state.counters["open_cpu_over_%"] = 100.0 * (median(cpuMs[1]) / median(cpuMs[0]) - 1.0);
  // Painting, both windows', per cycle: the part of the difference the Noise window's own.
  state.counters["closed_paint_us"] = median(paintUs[0]);
  state.counters["open_paint_us"] = median(paintUs[1]);
}

BENCHMARK(BM_ReadLoopNoiseWindow)->Iterations(1)->Unit(benchmark::kSecond);

// Processor time of the whole program per wall-clock second over kCpuSpanSeconds, taken
// from a timer 1 s into the run (or the idle wait), so start-up work stays outside.
constexpr int kCpuSpanSeconds = 10;

struct CpuSpan {
  double wall0 = 0, cpu0 = 0, perSecond = 0;
  void Start() {
    wall0 = Now();
    cpu0 = ProcessCpuSeconds();
  }
  void End() { perSecond = (ProcessCpuSeconds() - cpu0) / (Now() - wall0); }
};

// Argument: the loop delay in ms.
void BM_ReadLoopCpu(benchmark::State& state) {
  App();
  ShownWindow shown;
  velk::frmVelk47120& window = shown.window;
  window.txtLoopDelay->setText(QString::number(state.range(0)) + ".0");
  CpuSpan span;
  for (auto _ : state) {
    QTimer::singleShot(1000, [&] { span.Start(); });
    QTimer::singleShot(1000 * (1 + kCpuSpanSeconds), [&] {
      span.End();
      window.CmdReadLoop->click();
    });
    window.CmdReadLoop->click();  // returns when the loop has ended
  }
  state.counters["cpu_per_s"] = span.perSecond;
}

BENCHMARK(BM_ReadLoopCpu)
    ->ArgName("delay_ms")
    ->Arg(1000)
    ->Arg(100)
    ->Arg(5)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kSecond);

void BM_IdleWindowCpu(benchmark::State& state) {
  App();
  ShownWindow shown;
  CpuSpan span;
  for (auto _ : state) {
    QEventLoop idle;
    QTimer::singleShot(0, [&] { span.Start(); });
    QTimer::singleShot(1000 * kCpuSpanSeconds, [&] {
      span.End();
      idle.quit();
    });
    idle.exec();
  }
  state.counters["cpu_per_s"] = span.perSecond;
}

BENCHMARK(BM_IdleWindowCpu)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kSecond);

}  // namespace
