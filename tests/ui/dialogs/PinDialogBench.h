#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/Delay.h"
#include "support/QtApp.h"
#include "support/SimRig.h"

namespace velk::test {

// A pin-sharing dialog over a simulated sensor; pauses move the sensor's clock and are
// recorded.
template <typename Dialog>
struct PinDialogBench {
  PinDialogBench() {
    SetDelayWaiter([this](double seconds) {
      waits.push_back(seconds);
      rig.clock.Advance(seconds);
    });
  }
  ~PinDialogBench() {
    SetDelayWaiter([](double) {});
  }

  void Chip(int16_t slot, int32_t value) { rig.session.spi.WriteRegister(slot, value); }
  // Opens the dialog as the main window does: the pin-use table was rebuilt on its activation.
  void Open() {
    rig.session.reg.RefreshPinUse(rig.session.spi);
    d.show();
    waits.clear();
    rig.messages.shown.clear();
    frames = rig.sensor.FrameCount();
  }
  // The 150 ms settling waits since the dialog opened.
  long Settles() const {
    return std::count_if(waits.begin(), waits.end(),
                         [](double s) { return std::fabs(s - 0.15) < 1e-9; });
  }

  bool app = (EnsureQApp(), true);
  SimRig rig;
  Dialog d{rig.session};
  std::vector<double> waits;
  long frames = 0;
};

}  // namespace velk::test
