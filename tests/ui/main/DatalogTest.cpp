#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <functional>

#include "support/TempDir.h"
#include "ui/main/Datalog.h"

namespace velk {
namespace {

using test::ReadBytes;

const Datalog::Header kHeader{"24.05.2024", 5.0f, "1.953", "16", "300", 0x00FF};
const std::string kHeaderText =
    "VELK 47120 Datalog File\r\nDate\t24.05.2024\r\nLoopDelay\t5 mS\r\nSmpl Prd\t1.953 mS\r\n"
    "Avg Cnt\t16\r\nScale\t300\r\n"
    "Index\tSupply\tGyro\tADC In\tTemp\tAngle\tNew  \tError\tStatus\r\n"
    "\tV\tDgr/S\tV\tdgrC\tdgr\t \r\n";
const std::string kRow1 = "1\t5.0001\t0.07326\t1.25\t25\t0\tTrue\tFalse\t4096\r\n";

TEST(Datalog, RunsAppendHeaderAndRowsByteForByteAndEachRowReachesTheFileAtOnce) {
  test::TempDir dir;
  const auto path = Datalog::FileName(dir.Path(), "Datalog", "1");
  Datalog log;
  ASSERT_TRUE(log.Open(path, kHeader));
  EXPECT_EQ(ReadBytes(path), kHeaderText);
  EXPECT_TRUE(log.WriteRow(1, 5.0001f, 0.07326f, 1.25f, 25.0f, 0.0f, true, false, 4096));
  EXPECT_EQ(ReadBytes(path), kHeaderText + kRow1);

  // The next run on the same name appends; self-test lines follow the scale line.
  Datalog::Header selfTest = kHeader;
  selfTest.mscCtrl = 0x0300;
  ASSERT_TRUE(log.Open(path, selfTest));
  EXPECT_TRUE(log.WriteRow(2, 4.99f, -12.45582f, 0.0006105f, -272.0f, 359.9634f, false, true, 0));
  std::string second = kHeaderText;
  second.insert(second.find("Index"), "Pos Self Test On\r\nNeg Self Test On\r\n");
  EXPECT_EQ(ReadBytes(path),
            kHeaderText + kRow1 + second +
                "2\t4.99\t-12.45582\t0.0006105\t-272\t359.9634\tFalse\tTrue\t0\r\n");
}

TEST(Datalog, AFullDiskLeavesOnlyWholeRowsAndBlocks) {
  test::TempDir dir;
  const auto path = dir / "d.txt";
  Datalog log;
  ASSERT_TRUE(log.Open(path, kHeader));
  // A file-size cap fails the write part-way, as a full disk would.
  const auto capped = [](size_t bytes, const std::function<bool()>& write) {
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit cap = saved;
    cap.rlim_cur = bytes;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &cap);
    const bool written = write();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    return written;
  };
  EXPECT_FALSE(capped(kHeaderText.size() + 10,
                      [&] { return log.WriteRow(1, 1, 2, 3, 4, 5, false, false, 0); }));
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(log.LastError(), "Could not write to " + path.string() + ": File too large");
  EXPECT_EQ(ReadBytes(path), kHeaderText);
  // The next run's header does not fit either: the earlier run stays as it was.
  EXPECT_FALSE(capped(kHeaderText.size() + 20, [&] { return log.Open(path, kHeader); }));
  EXPECT_EQ(ReadBytes(path), kHeaderText);
}

TEST(Datalog, NextIndexIsTheLeadingWholeNumberPlusOne) {
  for (const auto& [typed, next] : {std::pair{"1", "2"},
                                    {"7a", "8"},
                                    {"-3", "-2"},
                                    {"", "1"},
                                    {"abc", "1"},
                                    {"2.5", "1"},
                                    {"1e309", "1"},
                                    {"9999999", "1"}})
    EXPECT_EQ(Datalog::NextIndexText(typed), next) << typed;
}

}  // namespace
}  // namespace velk
