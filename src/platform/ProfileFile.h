// The private-profile (INI) file with the behaviour of the Windows services:
// section and key names match without regard to ASCII case, the first match
// wins, spaces around names and values are trimmed, a value wrapped in
// matching quotes is read without them, lines starting with ";" are comments,
// a write replaces the value in place and keeps every other line byte for
// byte, a new key goes at the end of its section, a new section at the end of
// the file, lines end in CR LF, a read returns at most 2047 bytes (counted in
// the file's code page). Text in and out is UTF-8; the file is stored by the
// rules of CodePage.h.
//
// Reads go through a process-wide cache of parsed files that is checked
// against the file's identity, size and modification time at every read, so
// a write by Orvex or by hand is always seen by the next read.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvex {

// Returns the value, or nullopt when the file, section or key is missing.
std::optional<std::string> ReadProfileValue(const std::string &path, const std::string &section,
                                            const std::string &key);

// Several keys of one section in one look at the file (one check of its
// stamp): what the tab bar uses to read its four colours per tab.
std::vector<std::optional<std::string>> ReadProfileValues(const std::string &path, const std::string &section,
                                                          const std::vector<std::string> &keys);

// Windows GetPrivateProfileString: the value, or the default when missing.
std::string GetPrivateProfileString(const std::string &section, const std::string &key,
                                    const std::string &defaultValue, const std::string &path);

// Windows WritePrivateProfileString: creates the file or section as needed.
// False when the file cannot be written.
bool WritePrivateProfileString(const std::string &section, const std::string &key, const std::string &value,
                               const std::string &path);

// Gathers the writes to one file made while it is open and writes the file
// once, at Commit: the bytes are those the writes would leave one by one,
// and reads of the file in between see them. Dropped without Commit, nothing
// is written. One batch per file at a time.
class ProfileBatch {
public:
    explicit ProfileBatch(std::string path);
    ~ProfileBatch();
    ProfileBatch(const ProfileBatch &) = delete;
    ProfileBatch &operator=(const ProfileBatch &) = delete;

    // False when the file cannot be written (then nothing of the batch is).
    bool Commit();

private:
    std::string path_;
    bool open_ = false;
};

// Drops every cached file (tests, benchmarks).
void ClearProfileCache();

} // namespace orvex
