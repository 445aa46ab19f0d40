// Line lists: web list files, CloseURL.txt and Close.txt. Plain text in the
// system code page (see CodePage.h), one item per line, each line ended by
// CR LF, read and written whole.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// Splits at CR, LF or CR LF; a break after the last line adds no empty line;
// empty text gives no lines. Lines are not trimmed.
std::vector<std::string> SplitLines(std::string_view text);

// Every line followed by CR LF.
std::string JoinLines(const std::vector<std::string> &lines);

// Reads and decodes a line list. False when the file cannot be read (or is
// over kMaxListFileBytes).
bool ReadLineList(const std::string &path, std::vector<std::string> &lines);

// The lines of a file as the stamp rule keeps them: read and decoded once
// per change of the file. Throws orvex::Error "ファイル <path> は開けません"
// when it is missing or unreadable, and the size message when it is over
// kMaxListFileBytes (the file is left as it is).
std::shared_ptr<const std::vector<std::string>> LoadLineListShared(const std::string &path);
std::vector<std::string> LoadLineList(const std::string &path);

// Encodes and writes atomically. Throws orvex::Error("ファイル <path> を作成できません").
void SaveLineList(const std::string &path, const std::vector<std::string> &lines);

// Writes text exactly as given (encoded by the file rules), atomically. A
// file there that cannot be read is never overwritten unseen: it is first
// kept as a dated backup beside it, and the user is told where. Throws
// orvex::Error("ファイル <path> を作成できません"), or the backup message
// when no backup can be made (then nothing is written).
void SaveTextFile(const std::string &path, std::string_view utf8);

// Before a file is replaced: when it exists but cannot be read (or is too
// large to be read), keeps it as a dated backup and reports where. Throws
// the backup message when that fails.
void KeepUnreadableBeforeSaving(const std::string &path);

} // namespace orvex
