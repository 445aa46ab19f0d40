// Line lists: web list files, CloseURL.txt and Close.txt. Plain text in the
// system code page (see CodePage.h), one item per line, each line ended by
// CR LF, read and written whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// Splits at CR, LF or CR LF; a break after the last line adds no empty line;
// empty text gives no lines. Lines are not trimmed.
std::vector<std::string> SplitLines(std::string_view text);

// Every line followed by CR LF.
std::string JoinLines(const std::vector<std::string> &lines);

// Reads and decodes a line list. False when the file cannot be read.
bool ReadLineList(const std::string &path, std::vector<std::string> &lines);

// Throws orvex::Error("ファイル <path> は開けません") when unreadable.
std::vector<std::string> LoadLineList(const std::string &path);

// Encodes and writes atomically. Throws orvex::Error("ファイル <path> を作成できません").
void SaveLineList(const std::string &path, const std::vector<std::string> &lines);

// Writes text exactly as given (encoded by the file rules), atomically.
// Throws orvex::Error("ファイル <path> を作成できません").
void SaveTextFile(const std::string &path, std::string_view utf8);

} // namespace orvex
