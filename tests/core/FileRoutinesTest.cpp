#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "core/AppendLog.h"
#include "core/SafeSave.h"
#include "core/SmallFile.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

namespace velk {
namespace {

namespace fs = std::filesystem;
using Save = SaveError::Status;

class FileRoutinesTest : public ::testing::Test {
 protected:
  void Write(const fs::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
  }
  test::TempDir dir;
};

TEST_F(FileRoutinesTest, ReadsOnlyASmallRegularFile) {
  Write(dir / "four", "1234");
  mkfifo((dir / "fifo").c_str(), 0600);
  fs::create_symlink("/dev/zero", dir / "zero");
  using S = SmallFileError::Status;
  EXPECT_EQ(ReadSmallRegularFile(dir / "four", 4).value(), "1234");
  // /proc/self/status: its size says 0, so the limit must hold on what is read.
  const std::pair<fs::path, S> cases[] = {{dir / "none", S::Missing},
                                          {dir.Path(), S::Folder},
                                          {dir / "fifo", S::NotRegular},
                                          {dir / "zero", S::NotRegular},
                                          {"/proc/self/status", S::TooLarge}};
  for (const auto& [file, status] : cases) {
    const auto read = ReadSmallRegularFile(file, 4);
    ASSERT_FALSE(read) << file;
    EXPECT_EQ(read.error().status, status) << file;
  }
}

TEST_F(FileRoutinesTest, SavesThroughNoPlantedOrForeignLink) {
  Write(dir / "victim", "secret");
  fs::create_symlink(dir / "victim", dir / "y.setup.tmp");
  EXPECT_TRUE(SaveFileSafely(dir / "y.setup", "new"));
  EXPECT_EQ(test::ReadBytes(dir / "victim"), "secret");
  EXPECT_EQ(test::ReadBytes(dir / "y.setup"), "new");

  // A dangling link names the file to create, with the mode any new file gets.
  fs::create_symlink("made", dir / "dangling");
  EXPECT_TRUE(SaveFileSafely(dir / "dangling", "x"));
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::status(dir / "made").permissions(), fs::perms(0666 & ~mask));

  mkfifo((dir / "fifo").c_str(), 0600);
  fs::permissions(dir / "made", fs::perms::owner_read);
  for (const auto& [file, status] : {std::pair{dir.Path(), Save::Folder},
                                     {"/dev/null", Save::NotRegular},
                                     {dir / "fifo", Save::NotRegular},
                                     {dir / "dangling", Save::ReadOnly},
                                     {dir / "no" / "file", Save::FolderMissing}})
    EXPECT_EQ(SaveFileSafely(file, "x").error().status, status) << file;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 6);

  // In a sticky world-writable folder a link owned by a third user is not followed.
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  fs::create_directory(dir / "shared");
  fs::permissions(dir / "shared", fs::perms(01777));
  fs::create_symlink(dir / "victim", dir / "shared" / "cfg");
  ASSERT_EQ(lchown((dir / "shared" / "cfg").c_str(), 65534, 65534), 0);
  EXPECT_EQ(SaveFileSafely(dir / "shared" / "cfg", "new").error().error, EACCES);
  EXPECT_EQ(test::ReadBytes(dir / "victim"), "secret");
}

// One link: a temporary file renamed over it. Two links: rewritten in place.
TEST_F(FileRoutinesTest, AFullDiskLeavesTheOldContentWhole) {
  Write(dir / "one", "old");
  Write(dir / "two", "old");
  fs::create_hard_link(dir / "two", dir / "other");
  for (const char* name : {"one", "two"}) {
    test::FileSizeLimit disk(8);
    EXPECT_EQ(SaveFileSafely(dir / name, std::string(64, 'n')).error().error, EFBIG) << name;
    EXPECT_EQ(test::ReadBytes(dir / name), "old") << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 3);
}

TEST_F(FileRoutinesTest, AnAppendedLogHoldsWholeLinesFromOneWriter) {
  const fs::path file = dir / "log.csv";
  Write(file, "1,2");
  AppendLog log;
  ASSERT_TRUE(log.Open(file, "\r\n"));
  AppendLog second;
  const auto busy = second.Open(file, "\r\n");
  ASSERT_FALSE(busy);
  EXPECT_TRUE(busy.error().busy);
  EXPECT_TRUE(log.Write("3,4\r\n"));
  {
    test::FileSizeLimit disk(14);
    EXPECT_FALSE(log.Write("5,6,7\r\n"));
  }
  log.Close();
  EXPECT_EQ(test::ReadBytes(file), "1,2\r\n3,4\r\n");
}

// Wherever the disk fills, the part of the line is cut back, and the log takes lines again
// once there is room.
TEST_F(FileRoutinesTest, AFullDiskCutsBackThePartOfALine) {
  const struct {
    const char* name;
    const char* before;
    rlim_t room;
  } cases[] = {{"after whole lines", "1,2\r\n", 8},
               {"the first line of a file", "", 3},
               {"not a byte written", "1,2\r\n", 5}};
  for (const auto& c : cases) {
    const fs::path file = dir / c.name;
    Write(file, c.before);
    AppendLog log;
    ASSERT_TRUE(log.Open(file, "\r\n"));
    {
      test::FileSizeLimit disk(c.room);
      const auto full = log.Write("3,4,5\r\n");
      ASSERT_FALSE(full) << c.name;
      EXPECT_EQ(full.error().error, EFBIG) << c.name;
      EXPECT_FALSE(full.error().partialLine) << c.name;
    }
    EXPECT_EQ(test::ReadBytes(file), c.before) << c.name;
    EXPECT_TRUE(log.Write("6\r\n")) << c.name;
    EXPECT_EQ(test::ReadBytes(file), std::string(c.before) + "6\r\n") << c.name;
  }
}

}  // namespace
}  // namespace velk
