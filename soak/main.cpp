// Runs the main window's read loop for many cycles over the simulated sensor, in real time,
// once per transport, and reports resident memory, the datalog's row count and the wall time.
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/Clock.h"
#include "core/Delay.h"
#include "registers/Session.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"
#include "ui/main/FrmVelk47120.h"

namespace {

constexpr long kDefaultCycles = 100000;
constexpr long kWarmupCycles = 1000;
constexpr long kGrowthGoalKb = 1024;

// Any message box during a run means the run did not do what was asked of it.
class RecordedMessages final : public velk::MessageSink {
 public:
  void Show(const std::string& text, const std::string&) override { Note(text); }
  bool Ask(const std::string& text, const std::string&) override {
    Note(text);
    return false;
  }
  int count = 0;
  std::string first;

 private:
  void Note(const std::string& text) {
    if (count++ == 0) first = text;
  }
};

class NoModal final : public velk::ModalRunner {
 public:
  void Run(QDialog&) override {}
};

class NoExit final : public velk::ProcessExit {
 public:
  void Exit(int) override {}
};

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// The share of the wall time this process ran: the pauses are busy waits, so on a loaded
// machine a cycle lasts longer by the time the process waited for a processor.
double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Data rows: lines that start with their index. Returns -1 unless the indexes run 1, 2, 3...
// without a gap, so a lost or doubled row shows.
long DatalogRows(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  long rows = 0;
  for (std::string line; std::getline(in, line);) {
    char* end = nullptr;
    const long index = std::strtol(line.c_str(), &end, 10);
    if (end == line.c_str() || *end != '\t') continue;
    if (index != rows + 1) return -1;
    ++rows;
  }
  return rows;
}

// One sensor behind both adapters, as the program wires them with --simulate, and a session
// that talks over the transport given.
struct Rig {
  explicit Rig(int16_t interface) {
    session.analyzer.InterfaceType = interface;
    session.analyzer.PortAddress = 0x378;
    session.reg.BuildRegisterTable();
  }

  velk::SteadyClock clock;
  velk::SimSensor sensor{clock};
  velk::SimParallelAdapter adapter{sensor, 0x378};
  velk::SimUsbCard card{&sensor};
  RecordedMessages messages;
  velk::Session session{adapter, card, messages};
  NoModal modal;
  NoExit exit;
};

struct Result {
  long cycles = 0;
  long warmKb = -1;
  long endKb = -1;
  long rows = -1;
  double seconds = 0;
  double cpuSeconds = 0;
  bool ok = false;
};

// Starts the loop with a click and stops it from a zero timer, which runs at the loop's event
// processing once per cycle, after that cycle's row is written and counted.
Result Soak(int16_t interface, const char* name, long cycles) {
  Rig rig(interface);
  QTemporaryDir folder;
  velk::frmVelk47120 window(rig.session, rig.modal, rig.exit);
  window.DatalogFolder = folder.path().toStdString();
  window.show();
  QCoreApplication::processEvents();  // the activation reads the chip and lets it settle
  window.chkDatalog->click();
  window.txtLoopDelay->setText("5.0");

  Result result;
  const long progressStep = std::max(cycles / 10, 1L);
  const double t0 = Now();
  const double cpu0 = CpuNow();
  QTimer tick;
  tick.setInterval(0);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const long done = window.txtLoopCount->text().toLong();
    if (done == result.cycles && rig.messages.count == 0) return;
    result.cycles = done;
    if (result.warmKb < 0 && done >= std::min(kWarmupCycles, cycles)) result.warmKb = ResidentKb();
    if (done % progressStep == 0) {
      std::printf("  %-8s %8ld cycles  VmRSS %7ld kB  %7.1f s\n", name, done, ResidentKb(),
                  Now() - t0);
      std::fflush(stdout);
    }
    if (done >= cycles || rig.messages.count > 0) {
      tick.stop();
      window.CmdReadLoop->click();
    }
  });
  tick.start();
  window.CmdReadLoop->click();  // returns when the loop has ended
  result.seconds = Now() - t0;
  result.cpuSeconds = CpuNow() - cpu0;
  result.endKb = ResidentKb();
  result.rows = DatalogRows(window.datalog().Path());

  if (rig.messages.count > 0) {
    std::printf("  %s: %d message(s), first: %s\n", name, rig.messages.count,
                rig.messages.first.c_str());
  }
  const long growth = result.endKb - result.warmKb;
  result.ok = rig.messages.count == 0 && result.cycles == cycles && result.rows == cycles &&
              growth < kGrowthGoalKb;
  std::printf(
      "%s: %ld cycles in %.1f s (%.3f ms/cycle, ran %.0f%% of it); VmRSS %ld kB after %ld cycles, "
      "%ld kB at the "
      "end (%+ld kB); datalog rows %ld%s\n",
      name, result.cycles, result.seconds, 1000.0 * result.seconds / std::max(result.cycles, 1L),
      100.0 * result.cpuSeconds / result.seconds, result.warmKb, std::min(kWarmupCycles, cycles),
      result.endKb, growth, result.rows, result.ok ? "" : "  <-- FAILED");
  std::fflush(stdout);
  window.hide();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const long cycles = argc > 1 ? std::strtol(argv[1], nullptr, 10) : kDefaultCycles;
  const std::string only = argc > 2 ? argv[2] : "";
  if (cycles <= 0 || (only != "" && only != "parallel" && only != "usb")) {
    std::fprintf(stderr, "usage: %s [cycles] [parallel|usb]\n", argv[0]);
    return 2;
  }

  std::printf("Calibrating the delay loop...\n");
  std::fflush(stdout);
  velk::DelayCalibrated = 0;
  velk::CalibrateDelay();
  std::printf("LoopsPer10us %d; %ld cycles per transport\n", velk::LoopsPer10us, cycles);

  const bool parallelOk =
      only == "usb" || Soak(velk::interface_type::kParallelPort, "parallel", cycles).ok;
  const bool usbOk = only == "parallel" || Soak(velk::interface_type::kUsbCard, "usb", cycles).ok;
  return parallelOk && usbOk ? 0 : 1;
}
