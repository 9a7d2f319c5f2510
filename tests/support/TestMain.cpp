#include <gtest/gtest.h>

#include <cstdlib>

#include "core/Delay.h"

int main(int argc, char** argv) {
  // Discovery runs this binary at build time, outside CTest's environment: a Qt test must
  // never reach for a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Tests never calibrate: every pause is a handful of passes.
  velk::DelayCalibrated = -1;
  velk::LoopsPer10us = 1;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
