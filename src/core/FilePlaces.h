#pragma once

#include <filesystem>
#include <string>

namespace velk {

// What decides where the program's files go, gathered once from the running process.
struct PlaceFacts {
  std::filesystem::path executable;       // absolute path of the running program
  std::filesystem::path currentFolder;    // absolute
  bool executableFolderWritable = false;  // for this process's effective user
  // $HOME, $XDG_CONFIG_HOME and $XDG_DATA_HOME as found ("" when unset).
  std::string home;
  std::string xdgConfigHome;
  std::string xdgDataHome;
  // The effective user's home from the password database; $HOME and the XDG variables are
  // followed only when $HOME belongs to that user (not so after "sudo -E").
  std::filesystem::path accountHome;
  bool homeBelongsToUser = true;
};

// Where this run reads and writes. The program counts as installed when
// "../share/velk47120/" exists beside its executable's folder; an installed program never
// writes beside its executable.
struct FilePlaces {
  bool installed = false;
  std::filesystem::path helpFile;
  // Read at start, written at the end: always the same file.
  std::filesystem::path configFile;
  std::filesystem::path datalogFolder;
};

inline constexpr const char* kProgramFolderName = "velk47120";
inline constexpr const char* kHelpFileName = "VELK47120.html";

// configOption: the file named by "--config", empty when none. Build tree: the configuration
// in the current folder, datalogs beside the executable when that folder is writable, the help
// file beside the executable. Installed: the help file in share/velk47120, the configuration
// in $XDG_CONFIG_HOME/velk47120 unless the current folder (not the executable's) already holds
// one, datalogs in $XDG_DATA_HOME/velk47120.
FilePlaces ResolveFilePlaces(const PlaceFacts& facts,
                             const std::filesystem::path& configOption = {});

// The facts of this process: /proc/self/exe, the current folder, the environment, the
// password database.
PlaceFacts PlaceFactsOfThisProcess();

// Creates a folder and its missing parents (owner-only, as the XDG folders are); false when it
// cannot be made. MakeFolderFor does so for the folder a file goes into.
bool MakeFolder(const std::filesystem::path& folder);
bool MakeFolderFor(const std::filesystem::path& file);

// The part of "--help" that says where each file goes and which paths this run uses.
std::string FilePlacesHelp(const FilePlaces& places);

}  // namespace velk
