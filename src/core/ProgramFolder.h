// The program folder, where the executable and its engine modules live, and
// the data folder, where the program's own files live. A portable copy keeps
// its files beside it; an installed copy keeps each user's files in
// $XDG_CONFIG_HOME/orvex.
#pragma once

#include <string>

namespace orvex {

// Folder of /proc/self/exe with a trailing "/", or the override when set.
std::string ProgramFolder();

// The data folder, with its trailing "/": where config.ini, CloseURL.txt,
// Close.txt, WebList/, the bookmark file and the engines' profiles live.
// Decided once per program folder (ResolveDataFolder).
std::string DataFolder();

// The program folder itself while the user may write there and it is no
// installed copy; otherwise UserDataFolder. Made and seeded on first use.
std::string ResolveDataFolder(const std::string &programFolder, const std::string &configHome);

// configHome + "orvex/". When it does not exist yet it is made, holding
// copies of the program folder's config.ini, CloseURL.txt, Close.txt,
// bookmark file and WebList/ files. Returned even when it cannot be made, so
// that the failing writes name it.
std::string UserDataFolder(const std::string &programFolder, const std::string &configHome);

// The working folder, with its trailing "/": where the program was started
// (an installed copy moves to its data folder at start-up). No file of the
// program depends on it.
std::string WorkingFolder();

// The "Gecko" engine module's file name on this system.
inline constexpr const char *GeckoModuleName = "mozctl.so";

// The Gecko engine module in the Gecko folder `mozPath` ("MozPath"), else
// beside the program; "" when neither holds it.
std::string FindGeckoModule(const std::string &mozPath);
// The module's path in the folder `folder` (with or without its "/").
std::string GeckoModuleIn(const std::string &folder);

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config; with a
// trailing "/".
std::string UserConfigHome();

// The file the install rules put beside an installed program. Its presence
// sends the data to the user's folder even when the program folder is
// writable (as it is for root), so the program never writes into the
// package manager's files.
inline constexpr const char *InstalledMarkerName = "installed";

// Tests point the program at a folder of their own.
void SetProgramFolderOverride(const std::string &folder);

} // namespace orvex
