#include "platform/LineList.h"

#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"

namespace orvex {

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    const size_t n = text.size();
    while (start < n) {
        size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        lines.emplace_back(text.substr(start, end - start));
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') {
            start = end + 2;
        } else {
            start = end + 1;
        }
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

bool ReadLineList(const std::string &path, std::vector<std::string> &lines)
{
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) {
        lines.clear();
        return false;
    }
    lines = SplitLines(DecodeFileText(bytes));
    return true;
}

std::vector<std::string> LoadLineList(const std::string &path)
{
    std::vector<std::string> lines;
    if (!ReadLineList(path, lines)) {
        throw Error(FormatMessage(msg::CannotOpenFile, path));
    }
    return lines;
}

void SaveLineList(const std::string &path, const std::vector<std::string> &lines)
{
    SaveTextFile(path, JoinLines(lines));
}

void SaveTextFile(const std::string &path, std::string_view utf8)
{
    if (!WriteFileAtomic(path, EncodeFileText(utf8))) {
        throw Error(FormatMessage(msg::CannotCreateFile, path));
    }
}

} // namespace orvex
