#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "core/FilePlaces.h"
#include "support/TempDir.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

// A prefix with bin/velk47120; installed when share/velk47120 is made beside bin.
class FilePlacesTest : public ::testing::Test {
 protected:
  FilePlacesTest() {
    fs::create_directories(dir / "prefix/bin");
    fs::create_directories(dir / "work");
    facts.executable = dir / "prefix/bin/velk47120";
    facts.currentFolder = dir / "work";
    facts.executableFolderWritable = true;  // as root
    facts.home = (dir / "alice").string();
    facts.accountHome = dir / "alice";
  }
  void Install() { fs::create_directories(dir / "prefix/share/velk47120"); }

  test::TempDir dir;
  PlaceFacts facts;
};

TEST_F(FilePlacesTest, BuildTreeKeepsTheCurrentFolderAndTheExecutablesFolder) {
  FilePlaces places = ResolveFilePlaces(facts);
  EXPECT_FALSE(places.installed);
  EXPECT_EQ(places.configFile, dir / "work/Velk47120.cfg");
  EXPECT_EQ(places.helpFile, dir / "prefix/bin/VELK47120.html");
  EXPECT_EQ(places.datalogFolder, dir / "prefix/bin");

  facts.executableFolderWritable = false;
  EXPECT_EQ(ResolveFilePlaces(facts).datalogFolder, dir / "alice/.local/share/velk47120");
}

// (Datalogs without XDG_DATA_HOME go where the build tree's go when its folder is read-only.)
TEST_F(FilePlacesTest, InstalledWritesNothingBesideTheExecutableAndFollowsTheEffectiveUser) {
  Install();
  // Started, as root, from the executable's folder, which holds a configuration of its own.
  facts.currentFolder = dir / "prefix/bin";
  std::ofstream(dir / "prefix/bin/Velk47120.cfg") << "Interface =  1 \r\n";
  facts.xdgConfigHome = "relative";  // ignored, as the XDG rules ask
  facts.xdgDataHome = (dir / "data").string();
  FilePlaces places = ResolveFilePlaces(facts);
  EXPECT_TRUE(places.installed);
  EXPECT_EQ(places.helpFile, dir / "prefix/share/velk47120/VELK47120.html");
  EXPECT_EQ(places.configFile, dir / "alice/.config/velk47120/Velk47120.cfg");
  EXPECT_EQ(places.datalogFolder, dir / "data/velk47120");

  // "sudo -E": alice's variables, root's account; root's files stay in root's home.
  facts.xdgConfigHome = (dir / "alice/.config").string();
  facts.xdgDataHome = (dir / "alice/.local/share").string();
  facts.accountHome = dir / "root";
  facts.homeBelongsToUser = false;
  places = ResolveFilePlaces(facts);
  EXPECT_EQ(places.configFile, dir / "root/.config/velk47120/Velk47120.cfg");
  EXPECT_EQ(places.datalogFolder, dir / "root/.local/share/velk47120");

  // A file in the folder it starts from still wins, and the option names one there.
  facts.currentFolder = dir / "work";
  std::ofstream(dir / "work/Velk47120.cfg") << "Interface =  2 \r\n";
  EXPECT_EQ(ResolveFilePlaces(facts).configFile, dir / "work/Velk47120.cfg");
  EXPECT_EQ(ResolveFilePlaces(facts, "bench3.cfg").configFile, dir / "work/bench3.cfg");
  EXPECT_EQ(ResolveFilePlaces(facts, "/etc/b.cfg").configFile, "/etc/b.cfg");
  // The Noise window's settings go beside whichever configuration is used.
  EXPECT_NE(
      FilePlacesHelp(ResolveFilePlaces(facts, "/etc/b.cfg")).find("settings  /etc/noise.ini\n"),
      std::string::npos);
}

TEST_F(FilePlacesTest, MakesMissingFoldersForTheOwnerOnly) {
  const fs::path file = dir / "a/b/Velk47120.cfg";
  ASSERT_TRUE(MakeFolderFor(file));
  struct stat made {};
  ASSERT_EQ(stat((dir / "a").c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 0777, 0700u);
  EXPECT_TRUE(MakeFolderFor(file));
  std::ofstream(dir / "plain") << "x";
  EXPECT_FALSE(MakeFolderFor(dir / "plain/Velk47120.cfg"));
}

}  // namespace
}  // namespace velk
