#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/Analyzer.h"
#include "support/TempDir.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

class ConfigTest : public ::testing::Test {
 protected:
  void Write(const std::string& content) { std::ofstream(file, std::ios::binary) << content; }
  std::string Read() const { return test::ReadBytes(file); }
  // A save, failed or not, must leave no temporary file behind.
  long Entries() const { return std::distance(fs::directory_iterator(dir.Path()), {}); }

  test::TempDir dir;
  fs::path file = dir / "Velk47120.cfg";
  Analyzer settings;
};

TEST_F(ConfigTest, ReadsTheWrittenLayoutAndItsLooseVariants) {
  Write("Interface =  2 \r\nFactory = 4712\nDevice Number =  47121 rev B\t\rPort Address = &H278");
  ASSERT_TRUE(settings.LoadConfig(file));
  EXPECT_EQ(settings.InterfaceType, interface_type::kUsbCard);
  EXPECT_EQ(settings.FactoryMode, 4712);
  EXPECT_EQ(settings.PortAddress, 0x278);
  // A text setting goes back unchanged, compares by its leading number, shows trimmed.
  EXPECT_EQ(settings.DeviceNumber.ConfigText(), " 47121 rev B\t");
  EXPECT_EQ(settings.DeviceNumber.Numeric(), 47121);
  EXPECT_EQ(settings.DeviceNumber.DisplayText(), "47121 rev B");

  // A comma ends a field, quotes hold one, a later line wins and ties round to even.
  Write("  \"Interface = 1,\" junk, Factory = 2.5,Interface = 1\r\n");
  ASSERT_TRUE(settings.LoadConfig(file));
  EXPECT_EQ(settings.InterfaceType, interface_type::kParallelPort);
  EXPECT_EQ(settings.FactoryMode, 2);
}

TEST_F(ConfigTest, LinesItCannotUnderstandKeepTheDefaults) {
  Write(
      "interface = 1\r\nPort Address  = 632\r\nFactory\r\n=5\r\nInterface=1\r\n"
      "Interface = abc\r\nPort Address = 40000\r\nFactory = 12 34\r\nInterface =\r\n"
      "Factory = 1e\r\n");
  ASSERT_TRUE(settings.LoadConfig(file));
  EXPECT_EQ(settings.InterfaceType, interface_type::kNone);
  EXPECT_EQ(settings.PortAddress, 888);
  EXPECT_EQ(settings.FactoryMode, 0);
  EXPECT_TRUE(settings.DeviceNumber.IsEmpty());
}

// Random bytes and the round trip of what was read are the fuzz replay's.
TEST_F(ConfigTest, SavesFourLinesAndNothingALineCannotHold) {
  Write(std::string(500, '#'));  // longer than the new content: nothing of it may remain
  settings.InterfaceType = interface_type::kParallelPort;
  settings.PortAddress = -5;
  settings.FactoryMode = 4712;
  settings.DeviceNumber = DeviceNumberSetting::FromNumber(47121);
  ASSERT_TRUE(settings.SaveConfig(file));
  EXPECT_EQ(Read(),
            "Interface =  1 \r\nPort Address = -5 \r\nFactory =  4712 \r\n"
            "Device Number =  47121 \r\n");
  EXPECT_EQ(Entries(), 1);

  // A byte order mark costs no setting. (A device text holding a line break, saved empty, is
  // the fuzz replay's.)
  Write("\xEF\xBB\xBFInterface = 2\r\n");
  ASSERT_TRUE(settings.LoadConfig(file));
  EXPECT_EQ(settings.InterfaceType, interface_type::kUsbCard);
}

TEST_F(ConfigTest, SavingKeepsTheFileAsItWasAndAFailureSaysWhy) {
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  Write("Interface =  2 \r\n");
  fs::permissions(file, mode);
  fs::create_hard_link(file, dir / "hard.cfg");
  fs::create_symlink(file, dir / "link.cfg");
  ASSERT_TRUE(settings.SaveConfig(dir / "link.cfg"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.cfg"));
  EXPECT_EQ(fs::status(file).permissions(), mode);
  EXPECT_EQ(fs::file_size(dir / "hard.cfg"), Read().size());

  fs::permissions(file, fs::perms::owner_read);
  EXPECT_EQ(settings.SaveConfig(file).error(),
            file.string() + " is read-only, so the settings were not saved. Make it writable.");
  EXPECT_EQ(
      settings.SaveConfig(dir.Path()).error(),
      dir.Path().string() + " is a folder, so the settings were not saved. Rename or remove it.");
  EXPECT_EQ(settings.SaveConfig("/dev/null").error(),
            "/dev/null is not a regular file, so the settings were not saved.");

  // In a folder this user may not write (root may write anywhere: a child drops to nobody),
  // a writable file is rewritten in place; a missing one is reported with the folder.
  fs::permissions(file, fs::perms::all);
  fs::permissions(dir.Path(), fs::perms(0555));
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
      _exit(1);
    const bool rewritten = settings.SaveConfig(file).has_value();
    const auto created = settings.SaveConfig(dir / "new.cfg");
    const bool refused =
        !created &&
        created.error().starts_with("The folder " + dir.Path().string() + " cannot be written");
    _exit(rewritten && refused ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  fs::permissions(dir.Path(), fs::perms::owner_all);
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace velk
