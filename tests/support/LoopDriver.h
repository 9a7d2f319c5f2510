#pragma once

#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <functional>

#include "core/Delay.h"

namespace velk::test {

// Runs the main window's read loop from its button. Every cycle ends with the loop's 1 ms
// pause; `onCycle` runs there (the loop is suspended, as in a click during its event
// processing) and a click on the button ends the run after `cycles` cycles. With cycles 0
// the run must end by itself; otherwise a run still going 20 cycles later is stopped and
// reported. Any rig with a `clock` and a `window` will do.
template <typename Rig>
struct LoopDriver {
  explicit LoopDriver(Rig& rig) : rig(rig) {
    SetDelayWaiter([this](double seconds) {
      this->rig.clock.Advance(seconds);
      if (seconds != 0.001) return;
      ++count;
      if (onCycle) onCycle(count);
      if (stopAt == 0) return;
      if (count == stopAt || count == stopAt + 20) {
        EXPECT_LT(count, stopAt + 20) << "the run does not stop";
        QTest::mouseClick(this->rig.window->CmdReadLoop, Qt::LeftButton);
      }
    });
  }
  // Later pauses (Exit's among them) still move the chip's clock.
  ~LoopDriver() {
    SetDelayWaiter([&clock = rig.clock](double seconds) { clock.Advance(seconds); });
  }
  int Run(int cycles) {
    count = 0;
    stopAt = cycles;
    QTest::mouseClick(rig.window->CmdReadLoop, Qt::LeftButton);
    return count;
  }

  Rig& rig;
  int count = 0;
  int stopAt = 0;
  std::function<void(int)> onCycle;
};

}  // namespace velk::test
