#include "core/FilePlaces.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "core/Analyzer.h"

namespace fs = std::filesystem;

namespace velk {

namespace {

fs::path UserHome(const PlaceFacts& facts) {
  if (facts.homeBelongsToUser && fs::path(facts.home).is_absolute()) return facts.home;
  return facts.accountHome;
}

// An XDG base folder: the variable when it is an absolute path, else its default under home.
fs::path XdgBase(const PlaceFacts& facts, const std::string& variable, const char* fallback) {
  if (facts.homeBelongsToUser && fs::path(variable).is_absolute()) return variable;
  const fs::path home = UserHome(facts);
  return home.empty() ? fs::path() : home / fallback;
}

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return a == b || fs::equivalent(a, b, ec);
}

}  // namespace

FilePlaces ResolveFilePlaces(const PlaceFacts& facts, const fs::path& configOption) {
  const fs::path exeFolder = facts.executable.parent_path();
  const fs::path shared = exeFolder.parent_path() / "share" / kProgramFolderName;
  std::error_code ec;
  FilePlaces places;
  places.installed = !exeFolder.empty() && fs::is_directory(shared, ec);

  const fs::path dataFolder = XdgBase(facts, facts.xdgDataHome, ".local/share");
  const fs::path userDatalogs = dataFolder.empty() ? fs::path() : dataFolder / kProgramFolderName;
  const fs::path localConfig = facts.currentFolder / kConfigFileName;

  if (places.installed) {
    places.helpFile = shared / kHelpFileName;
    places.datalogFolder = userDatalogs;
    const fs::path configFolder = XdgBase(facts, facts.xdgConfigHome, ".config");
    // A file a lab keeps in the folder it starts the program from still wins; the
    // executable's own folder never counts.
    if (fs::is_regular_file(localConfig, ec) && !SameFolder(facts.currentFolder, exeFolder))
      places.configFile = localConfig;
    else if (!configFolder.empty())
      places.configFile = configFolder / kProgramFolderName / kConfigFileName;
  } else {
    places.helpFile = exeFolder / kHelpFileName;
    places.datalogFolder = facts.executableFolderWritable ? exeFolder : userDatalogs;
    places.configFile = localConfig;
  }
  if (!configOption.empty()) places.configFile = facts.currentFolder / configOption;
  return places;
}

PlaceFacts PlaceFactsOfThisProcess() {
  PlaceFacts facts;
  std::error_code ec;
  facts.executable = fs::read_symlink("/proc/self/exe", ec);
  facts.currentFolder = fs::current_path(ec);
  const fs::path exeFolder = facts.executable.parent_path();
  // Asks the kernel with the effective ids, so a read-only mount or a folder owned by someone
  // else counts as not writable.
  facts.executableFolderWritable =
      !exeFolder.empty() && faccessat(AT_FDCWD, exeFolder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;

  auto variable = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  facts.home = variable("HOME");
  facts.xdgConfigHome = variable("XDG_CONFIG_HOME");
  facts.xdgDataHome = variable("XDG_DATA_HOME");

  const uid_t user = geteuid();
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
    facts.accountHome = found->pw_dir;

  struct stat home {};
  facts.homeBelongsToUser =
      !facts.home.empty() && (fs::path(facts.home) == facts.accountHome ||
                              (stat(facts.home.c_str(), &home) == 0 && home.st_uid == user));
  return facts;
}

bool MakeFolderFor(const fs::path& file) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(file, ec);
  return !ec && MakeFolder(absolute.parent_path());
}

bool MakeFolder(const fs::path& folder) {
  std::error_code ec;
  std::vector<fs::path> missing;
  for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return fs::is_directory(folder, ec);
}

std::string FilePlacesHelp(const FilePlaces& places) {
  std::string text =
      "Files:\n"
      "  Velk47120.cfg\n"
      "      The settings (interface, port address, factory switch, model). Run from its\n"
      "      build folder, the program keeps them in the current folder. Installed, it uses\n"
      "      $XDG_CONFIG_HOME/velk47120/Velk47120.cfg (by default ~/.config/velk47120/),\n"
      "      unless the current folder already holds a Velk47120.cfg. --config FILE names\n"
      "      another file.\n"
      "  noise.ini\n"
      "      The Noise window's settings (its limits, size and plot unit), beside\n"
      "      Velk47120.cfg.\n"
      "  <name>_<index>.txt\n"
      "      Datalogs. Beside the executable when run from its build folder and that folder\n"
      "      is writable, else in $XDG_DATA_HOME/velk47120 (by default\n"
      "      ~/.local/share/velk47120/). An installed program never writes beside its\n"
      "      executable.\n"
      "  VELK47120.html\n"
      "      The help, in share/velk47120/ of the installation (beside the executable in a\n"
      "      build folder).\n"
      "\n"
      "This run uses:\n";
  auto line = [&text](const char* what, const fs::path& path) {
    text += std::string("  ") + what + (path.empty() ? "(none: no home folder)" : path.string());
    text += "\n";
  };
  line("help file       ", places.helpFile);
  line("configuration   ", places.configFile);
  line("noise settings  ", places.configFile.empty()
                               ? places.configFile
                               : places.configFile.parent_path() / "noise.ini");
  line("datalog folder  ", places.datalogFolder);
  return text;
}

}  // namespace velk
