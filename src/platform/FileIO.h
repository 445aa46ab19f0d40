// Whole-file reads and writes. Every write that replaces a file goes to a
// temporary file in the same folder and is renamed over the old one, so a
// crash or a full disk never leaves a half-written file.
#pragma once

#include <string>
#include <string_view>

namespace orvex {

bool FileExists(const std::string &path); // a regular file (or link to one)
bool DirectoryExists(const std::string &path);

// False when the file cannot be opened or read.
bool ReadFileBytes(const std::string &path, std::string &out);

// Temporary file + fsync + rename. False on any failure (the old file, if
// any, is left as it was and no temporary file stays behind).
bool WriteFileAtomic(const std::string &path, std::string_view bytes);

} // namespace orvex
