#include <gtest/gtest.h>

#include <cstdlib>

#include "core/Delay.h"

int main(int argc, char** argv) {
  // Discovery runs this binary at build time, outside CTest's environment: a Qt test must
  // never reach for a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Tests never calibrate and never wait: a pause returns at once unless a test installs a
  // waiter that moves its simulated time on.
  velk::DelayCalibrated = -1;
  velk::LoopsPer10us = 1;
  velk::SetDelayWaiter([](double) {});
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
