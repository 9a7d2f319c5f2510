// The command-line tool, a separate program, in the same testbed: its ioctls reach this
// process's emulated devices through umockdev's sockets.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "kernel/Child.h"
#include "kernel/KernelRigs.h"

namespace velk {
namespace {

TEST(Cli, LogsOverEachRealBackend) {
  for (const char* interface : {"usb", "parallel"}) {
    SCOPED_TRACE(interface);
    test::Bench bench;
    const test::ChildRun log = test::RunChild(std::string("cd / && " VELK_CLI " --interface ") +
                                              interface + " log --count 100 --interval 0");
    EXPECT_EQ(log.status, 0);
    EXPECT_EQ(log.out.rfind("# VELK47120, firmware", 0), 0u) << log.out.substr(0, 400);
    // A comment line and the header, then one row a reading.
    EXPECT_EQ(std::count(log.out.begin(), log.out.end(), '\n'), 102) << log.out.substr(0, 400);
  }
}

}  // namespace
}  // namespace velk
