// Whole-file reads and writes. Every write that replaces a file goes to a
// temporary file in the same folder and is renamed over the old one, so a
// crash or a full disk never leaves a half-written file. Where the folder is
// read-only but the file is writable, the file is written in place (then
// flushed), as the Windows service does, after the space for the new bytes
// is reserved, so that a full disk never leaves less than the old file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

bool FileExists(const std::string &path); // a regular file (or link to one)
bool DirectoryExists(const std::string &path);

enum class FileRead { Read, Missing, Unreadable, TooLarge };

// What a read found: the bytes when the file was read, else why not.
struct FileContent {
    FileRead state = FileRead::Missing;
    std::string bytes;
    int error = 0; // the system's error number of a file not read (EACCES for a folder, as Windows has it)
};

// The one whole-file reader: reads a file of at most `limit` bytes; a larger
// one is not read at all.
FileContent ReadFileLimited(const std::string &path, size_t limit = SIZE_MAX);

// The whole file, or nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string &path);

// What ReadFileLimited would find, without reading the content.
FileRead ProbeFile(const std::string &path, size_t limit);

// The limit of the files Orvex reads whole (block list, web lists, bookmark
// file): past it the file is refused with a message and left untouched.
inline constexpr size_t kMaxListFileBytes = 32u << 20;

// Temporary file + fsync + rename; in place when only that is allowed. False
// on any failure (the old file, if any, is left as it was and no temporary
// file stays behind).
bool WriteFileAtomic(const std::string &path, std::string_view bytes);

// What the last failed WriteFileAtomic of this thread did to the file when it
// had to write in place: None (not in place; the old file is untouched),
// OldKept (the old bytes are there, untouched or put back), OldLost (they
// could not be put back).
enum class WriteFailure { None, OldKept, OldLost };
WriteFailure LastWriteFailure();

// Copies a file that could not be read to a dated name beside it
// ("bookmark.xml.20240131-093000.bak"), leaving the original as it is.
// Returns the backup's path, or "" when no copy could be made.
std::string KeepDatedBackup(const std::string &path);

// The temporary files of WriteFileAtomic are ".<name>.orvex-XXXXXX"; earlier
// versions named them ".<name>.XXXXXX". Removes those of `folder` left behind
// by a crash: every ".*.orvex-XXXXXX", and ".<name>.XXXXXX" for the names
// given (letter case ignored). Returns how many were removed.
int RemoveStaleTemporaryFiles(const std::string &folder, const std::vector<std::string> &oldStyleNames);

} // namespace orvex
