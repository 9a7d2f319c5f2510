#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
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
  std::string Read() const {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // A save, failed or not, must leave no temporary file behind.
  long Entries() const { return std::distance(fs::directory_iterator(dir.Path()), {}); }

  test::TempDir dir;
  fs::path file = dir / "Velk47120.cfg";
  Analyzer settings;
};

TEST_F(ConfigTest, ReadsTheWrittenLayoutAndItsLooseVariants) {
  Write("Interface =  2 \r\nFactory = 4712\nDevice Number =  47121 rev B\t\rPort Address = &H278");
  settings.LoadConfig(file);
  EXPECT_EQ(settings.InterfaceType, 2);
  EXPECT_EQ(settings.FactoryMode, 4712);
  EXPECT_EQ(settings.PortAddress, 0x278);
  // A text setting goes back unchanged, compares by its leading number, shows trimmed.
  EXPECT_EQ(settings.DeviceNumber.ConfigText(), " 47121 rev B\t");
  EXPECT_EQ(settings.DeviceNumber.Numeric(), 47121);
  EXPECT_EQ(settings.DeviceNumber.DisplayText(), "47121 rev B");

  // A comma ends a field, quotes hold one, a later line wins and ties round to even.
  Write("  \"Interface = 1,\" junk, Factory = 2.5,Interface = 1\r\n");
  settings.LoadConfig(file);
  EXPECT_EQ(settings.InterfaceType, 1);
  EXPECT_EQ(settings.FactoryMode, 2);
}

TEST_F(ConfigTest, LinesItCannotUnderstandKeepTheDefaults) {
  Write(
      "interface = 1\r\nPort Address  = 632\r\nFactory\r\n=5\r\nInterface=1\r\n"
      "Interface = abc\r\nPort Address = 40000\r\nFactory = 12 34\r\nInterface =\r\n"
      "Factory = 1e\r\n" +
      std::string(1 << 20, 'x') + "\r\nPort Address = " + std::string(1 << 20, '9'));
  settings.LoadConfig(file);
  std::string noise(1 << 20, '\0');
  for (size_t i = 0; i < noise.size(); i += 3) noise[i] = static_cast<char>(i * 131 % 251);
  Write(noise);
  settings.LoadConfig(file);
  settings.LoadConfig(dir / "missing.cfg");
  settings.LoadConfig(dir.Path());
  EXPECT_EQ(settings.InterfaceType, 0);
  EXPECT_EQ(settings.PortAddress, 888);
  EXPECT_EQ(settings.FactoryMode, 0);
  EXPECT_TRUE(settings.DeviceNumber.IsEmpty());
}

TEST_F(ConfigTest, SavesFourLinesThatReadBackTheSame) {
  Write(std::string(500, '#'));  // longer than the new content: nothing of it may remain
  settings.InterfaceType = 1;
  settings.PortAddress = -5;
  settings.FactoryMode = 4712;
  settings.DeviceNumber = DeviceNumberSetting::FromNumber(47121);
  ASSERT_TRUE(settings.SaveConfig(file));
  EXPECT_EQ(Read(),
            "Interface =  1 \r\nPort Address = -5 \r\nFactory =  4712 \r\n"
            "Device Number =  47121 \r\n");
  EXPECT_EQ(Entries(), 1);

  Analyzer loaded;
  loaded.LoadConfig(file);
  EXPECT_EQ(loaded.PortAddress, -5);
  EXPECT_EQ(loaded.DeviceNumber.DisplayText(), "47121");
}

TEST_F(ConfigTest, WhatEditorsLeaveReadsAndWritesBackAsFourKeys) {
  // A byte order mark before the first key; a quoted device text with a line break and a
  // comma.
  Write("\xEF\xBB\xBFInterface = 2\r\n\"Device Number = 47120\r\nInterface = 1\"\r\n");
  settings.LoadConfig(file);
  EXPECT_EQ(settings.InterfaceType, 2);
  ASSERT_TRUE(settings.SaveConfig(file));
  EXPECT_EQ(Read(),
            "Interface =  2 \r\nPort Address =  888 \r\nFactory =  0 \r\nDevice Number = \r\n");

  Write("\"Device Number = 47120,B\"\r\n");
  settings.LoadConfig(file);
  ASSERT_TRUE(settings.SaveConfig(file));
  Analyzer loaded;
  loaded.LoadConfig(file);
  EXPECT_EQ(loaded.DeviceNumber.ConfigText(), "47120,B");
}

// Runs `body` in a child process as an ordinary user, since root may write anywhere; the
// child's exit status is the result.
int AsOrdinaryUser(const std::function<bool()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
      _exit(2);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ConfigTest, SavingKeepsTheFileAsItWasAndAFailureSaysWhy) {
  // Permissions, links to the file and a link naming it all survive the save.
  Write("Interface =  2 \r\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_hard_link(file, dir / "hard.cfg");
  fs::create_symlink(file, dir / "link.cfg");
  ASSERT_TRUE(settings.SaveConfig(dir / "link.cfg"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.cfg"));
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(fs::file_size(dir / "hard.cfg"), Read().size());
  EXPECT_TRUE(Read().starts_with("Interface =  0 \r\n"));
  fs::remove(dir / "hard.cfg");

  fs::permissions(file, fs::perms::owner_read);
  fs::create_directory(dir / "taken");
  std::string problem;
  for (const auto& [path, message] :
       {std::pair{file, file.string() + " is read-only, so the settings were not saved. Make it "
                                        "writable."},
        {dir / "taken",
         (dir / "taken").string() +
             " is a folder, so the settings were not saved. Rename or remove it."}}) {
    EXPECT_FALSE(settings.SaveConfig(path, &problem));
    EXPECT_EQ(problem, message);
  }
  EXPECT_EQ(Read(),
            "Interface =  0 \r\nPort Address =  888 \r\nFactory =  0 \r\nDevice Number = \r\n");

  // A folder this user may not write: its writable file is rewritten in place; without the
  // file the message names the folder.
  fs::permissions(file, fs::perms::all);
  fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read |
                                  fs::perms::others_read | fs::perms::group_exec |
                                  fs::perms::others_exec);
  fs::create_directory(dir / "locked");
  fs::copy_file(file, dir / "locked" / "Velk47120.cfg");
  fs::permissions(dir / "locked" / "Velk47120.cfg", fs::perms::all);
  fs::permissions(dir / "locked", fs::perms::owner_all, fs::perm_options::remove);
  settings.FactoryMode = 4712;
  EXPECT_EQ(AsOrdinaryUser([&] { return settings.SaveConfig(dir / "locked" / "Velk47120.cfg"); }),
            0);
  std::ifstream in(dir / "locked" / "Velk47120.cfg", std::ios::binary);
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(in), {}).find("4712"), std::string::npos);
  EXPECT_EQ(AsOrdinaryUser([&] {
              std::string why;
              return !settings.SaveConfig(dir / "locked" / "new.cfg", &why) &&
                     why == "The folder " + (dir / "locked").string() +
                                " cannot be written, so the settings were not saved. Start the "
                                "program from a folder you may write to.";
            }),
            0);
  fs::permissions(dir / "locked", fs::perms::owner_all, fs::perm_options::add);
}

}  // namespace
}  // namespace velk
