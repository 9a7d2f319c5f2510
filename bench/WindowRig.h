// The main window over the simulated sensor on the parallel adapter, in real time, as the
// read-loop benchmarks drive it.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "core/Clock.h"
#include "registers/Session.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"
#include "ui/main/FrmVelk47120.h"

namespace bench {

class CountedMessages final : public velk::MessageSink {
 public:
  void Show(const std::string& text, const std::string&) override { last = text; }
  bool Ask(const std::string& text, const std::string&) override {
    last = text;
    return false;
  }
  std::string last;
};

class NoModal final : public velk::ModalRunner {
 public:
  void Run(QDialog&) override {}
};

class NoExit final : public velk::ProcessExit {
 public:
  void Exit(int) override {}
};

inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Time this thread ran: on a busy machine the wall time of a busy-waiting loop includes the
// time other processes had the processor, its own running time does not.
inline double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Adds up the running time of the window's painting. Every repaint, deferred or immediate,
// reaches the window as one update request.
class PaintTimingApp final : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    if (event->type() != QEvent::UpdateRequest || painting_) {
      return QApplication::notify(receiver, event);
    }
    painting_ = true;
    const double t0 = CpuNow();
    const bool done = QApplication::notify(receiver, event);
    paintSeconds += CpuNow() - t0;
    ++paints;
    painting_ = false;
    return done;
  }

  double paintSeconds = 0;
  long paints = 0;

 private:
  bool painting_ = false;
};

inline PaintTimingApp& App() {
  static PaintTimingApp* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "velk_bench";
    static char* argv[] = {name, nullptr};
    return new PaintTimingApp(argc, argv);
  }();
  return *app;
}

// The sensor behind the parallel adapter at 0x378, the card present but unused, as the
// program wires them when it runs on the simulator.
struct Rig {
  Rig() {
    session.analyzer.InterfaceType = velk::interface_type::kParallelPort;
    session.analyzer.PortAddress = 0x378;
    session.reg.BuildRegisterTable();
  }

  velk::SteadyClock clock;
  velk::SimSensor sensor{clock};
  velk::SimParallelAdapter adapter{sensor, 0x378};
  velk::SimUsbCard card{&sensor};
  CountedMessages messages;
  velk::Session session{adapter, card, messages};
  NoModal modal;
  NoExit exit;
};

struct ShownWindow {
  ShownWindow() : window(rig.session, rig.modal, rig.exit) {
    App();
    window.DatalogFolder = folder.path().toStdString();
    window.show();
    QCoreApplication::processEvents();  // the activation reads the chip and lets it settle
  }
  Rig rig;
  QTemporaryDir folder;
  velk::frmVelk47120 window;
};

}  // namespace bench
