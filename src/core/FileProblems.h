// Problems with the program's files that the user must hear about while the
// work goes on (a file that cannot be read and is kept as it is, a backup
// made before saving over it). The file code reports them here; the user
// interface shows them.
#pragma once

#include <functional>
#include <string>

namespace orvex {

void ReportFileProblem(const std::string &message);

// Where reports go; nullptr restores the default (standard error).
void SetFileProblemSink(std::function<void(const std::string &)> sink);

// "ファイル <path> は 32 MB を超えているため読み込みません": a file over
// kMaxListFileBytes, left as it is.
std::string FileTooLargeText(const std::string &path);

// Before a file that could not be read is saved over: keeps it as a dated
// backup beside it and tells the user where. Throws orvex::Error (the backup
// message) when no backup can be made; then nothing may be written.
void KeepBackupBeforeSaving(const std::string &path);

// The message of a failed save of `path` (pattern with one "%s"), with what
// became of the file when it had to be rewritten in place.
std::string SaveFailedText(const char *pattern, const std::string &path);

// Before a text file whose bytes do not all decode (CP932 byte pairs without
// a character) is saved over: keeps it as a dated backup and tells the user.
// Throws orvex::Error (the backup message) when no backup can be made.
void KeepBackupBeforeLossySave(const std::string &path);

} // namespace orvex
