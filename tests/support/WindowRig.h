#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "core/Delay.h"
#include "support/QtApp.h"
#include "support/ScriptedModal.h"
#include "support/SimRig.h"
#include "support/TempDir.h"
#include "ui/main/FrmVelk47120.h"

namespace velk::test {

class RecordingExit final : public ProcessExit {
 public:
  void Exit(int code) override { codes.push_back(code); }
  std::vector<int> codes;
};

// The main window over a simulated sensor, built the way start-up builds it: the test sets
// the session up first (interface, configuration), then calls Open. Datalogs go to a
// temporary folder. Pauses advance the sensor's clock, so the chip sees time pass.
struct WindowRig : SimRig {
  explicit WindowRig(int16_t interface = interface_type::kParallelPort, int product = 47120,
                     EzUsbDriver* driver = nullptr)
      : SimRig(interface, product, driver) {
    EnsureQApp();
    SetDelayWaiter([this](double seconds) { clock.Advance(seconds); });
    session.sleep.SetClock(clock);
  }
  ~WindowRig() {
    SetDelayWaiter([](double) {});
  }

  frmVelk47120& Open() {
    window = std::make_unique<frmVelk47120>(session, modal, exit, nullptr);
    window->DatalogFolder = folder.Path();
    return *window;
  }

  TempDir folder;
  ScriptedModal modal;
  RecordingExit exit;
  std::unique_ptr<frmVelk47120> window;
};

}  // namespace velk::test
