#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/Delay.h"

namespace {

constexpr char kPreload[] = "libumockdev-preload.so.0";

// The testbed works only under umockdev's preload library, which must be loaded before the
// program starts: the first start puts it in LD_PRELOAD and starts the program again.
// AddressSanitizer wants to be first too; it tolerates the preload when told not to check.
void RunUnderPreload(char** argv) {
  const char* preload = std::getenv("LD_PRELOAD");
  if (preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr) return;
  std::string list = kPreload;
  if (preload != nullptr && *preload != 0) list += std::string(":") + preload;
  setenv("LD_PRELOAD", list.c_str(), 1);
  std::string asan = "verify_asan_link_order=0";
  if (const char* options = std::getenv("ASAN_OPTIONS"); options != nullptr && *options != 0)
    asan = std::string(options) + ":" + asan;
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
  execv("/proc/self/exe", argv);
  std::perror("cannot start again under the umockdev preload");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  RunUnderPreload(argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Pauses return at once unless a test moves its simulated time on in them.
  velk::DelayCalibrated = -1;
  velk::LoopsPer10us = 1;
  velk::SetDelayWaiter([](double) {});
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
