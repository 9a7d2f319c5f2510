#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "core/AppendLog.h"
#include "core/SafeSave.h"
#include "core/SmallFile.h"
#include "support/TempDir.h"

namespace velk {
namespace {

namespace fs = std::filesystem;
using Save = SaveOutcome::Status;

class FileRoutinesTest : public ::testing::Test {
 protected:
  void Write(const fs::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
  }
  // Runs `body` in a child whose files may grow by at most `room` bytes past `file`'s size, as
  // on a full disk; true when it returned true.
  static bool WithRoom(const fs::path& file, off_t room, const std::function<bool()>& body) {
    const pid_t child = fork();
    if (child == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlim_t limit = fs::file_size(file) + room;
      const rlimit size{limit, limit};
      _exit(setrlimit(RLIMIT_FSIZE, &size) == 0 && body() ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    return status == 0;
  }

  test::TempDir dir;
};

TEST_F(FileRoutinesTest, ReadsOnlyASmallRegularFile) {
  Write(dir / "four", "1234");
  Write(dir / "five", "12345");
  mkfifo((dir / "fifo").c_str(), 0600);
  fs::create_symlink("/dev/zero", dir / "zero");
  const struct {
    fs::path file;
    SmallFile::Status status;
  } cases[] = {
      {dir / "four", SmallFile::Status::Read},
      {dir / "five", SmallFile::Status::TooLarge},
      {dir / "none", SmallFile::Status::Missing},
      {dir.Path(), SmallFile::Status::Folder},
      {dir / "fifo", SmallFile::Status::NotRegular},
      {dir / "zero", SmallFile::Status::NotRegular},
      // Its size says 0: the limit holds on what is read.
      {"/proc/self/status", SmallFile::Status::TooLarge},
  };
  for (const auto& c : cases) {
    const SmallFile read = ReadSmallRegularFile(c.file, 4);
    EXPECT_EQ(read.status, c.status) << c.file;
    EXPECT_EQ(read.bytes, c.status == SmallFile::Status::Read ? "1234" : "") << c.file;
  }
}

TEST_F(FileRoutinesTest, SavesThroughNoPlantedOrForeignLink) {
  Write(dir / "victim", "secret");
  fs::create_symlink(dir / "victim", dir / "y.setup.tmp");
  EXPECT_TRUE(SaveFileSafely(dir / "y.setup", "new").Ok());
  EXPECT_EQ(test::ReadBytes(dir / "victim"), "secret");
  EXPECT_EQ(test::ReadBytes(dir / "y.setup"), "new");
  EXPECT_FALSE(fs::is_symlink(dir / "y.setup"));

  // A dangling link names the file to create, with the mode any new file gets.
  fs::create_symlink("made", dir / "dangling");
  EXPECT_TRUE(SaveFileSafely(dir / "dangling", "x").Ok());
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::status(dir / "made").permissions(), fs::perms(0666 & ~mask));
  EXPECT_TRUE(fs::is_symlink(dir / "dangling"));

  mkfifo((dir / "fifo").c_str(), 0600);
  fs::permissions(dir / "made", fs::perms::owner_read);
  const struct {
    fs::path file;
    Save status;
  } refused[] = {{dir.Path(), Save::Folder},
                 {"/dev/null", Save::NotRegular},
                 {dir / "fifo", Save::NotRegular},
                 {dir / "dangling", Save::ReadOnly},
                 {dir / "no" / "file", Save::FolderMissing}};
  for (const auto& c : refused) EXPECT_EQ(SaveFileSafely(c.file, "x").status, c.status) << c.file;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 6);

  // In a sticky world-writable folder a link owned by a third user is not followed.
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  fs::create_directory(dir / "shared");
  fs::permissions(dir / "shared", fs::perms(01777));
  fs::create_symlink(dir / "victim", dir / "shared" / "cfg");
  ASSERT_EQ(lchown((dir / "shared" / "cfg").c_str(), 65534, 65534), 0);
  EXPECT_EQ(SaveFileSafely(dir / "shared" / "cfg", "new").error, EACCES);
  EXPECT_EQ(test::ReadBytes(dir / "victim"), "secret");
}

TEST_F(FileRoutinesTest, AFullDiskLeavesTheOldContentWhole) {
  // One link: a temporary file renamed over it. Two links: rewritten in place.
  Write(dir / "one", "old");
  Write(dir / "two", "old");
  fs::create_hard_link(dir / "two", dir / "other");
  for (const char* name : {"one", "two"}) {
    EXPECT_TRUE(WithRoom(dir / name, 8, [&] {
      const SaveOutcome saved = SaveFileSafely(dir / name, std::string(64, 'n'));
      return saved.status == Save::Failed && saved.error == EFBIG;
    })) << name;
    EXPECT_EQ(test::ReadBytes(dir / name), "old") << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 3);
}

TEST_F(FileRoutinesTest, AnAppendedLogHoldsWholeLinesFromOneWriter) {
  const fs::path file = dir / "log.csv";
  Write(file, "1,2");
  AppendLog log;
  ASSERT_EQ(log.Open(file, "\r\n"), AppendLog::OpenStatus::Opened);
  AppendLog second;
  EXPECT_EQ(second.Open(file, "\r\n"), AppendLog::OpenStatus::Busy);
  EXPECT_TRUE(log.Write("3,4\r\n"));
  EXPECT_TRUE(WithRoom(file, 4, [&] { return !log.Write("5,6,7\r\n") && !log.LeftPartialLine(); }));
  log.Close();
  EXPECT_EQ(test::ReadBytes(file), "1,2\r\n3,4\r\n");

  // A device takes rows too; one that fails says so.
  EXPECT_EQ(second.Open("/dev/null", "\n"), AppendLog::OpenStatus::Opened);
  EXPECT_TRUE(second.Write("row\n"));
  ASSERT_EQ(second.Open("/dev/full", "\n"), AppendLog::OpenStatus::Opened);
  EXPECT_FALSE(second.Write("row\n"));
  EXPECT_EQ(second.Error(), ENOSPC);
}

}  // namespace
}  // namespace velk
