// The program folder: where the executable lives, with its trailing "/".
// Orvex is portable: its settings and lists live beside the executable.
#pragma once

#include <string>

namespace orvex {

// Folder of /proc/self/exe with a trailing "/", or the override when set.
std::string ProgramFolder();

// The data folder, with its trailing "/": where config.ini, the lists, the
// bookmark file and the engines' profiles live. Today the program folder.
std::string DataFolder();

// Tests point the program at a folder of their own.
void SetProgramFolderOverride(const std::string &folder);

} // namespace orvex
