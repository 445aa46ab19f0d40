#include "platform/LineList.h"

#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"
#include "platform/FileProblems.h"
#include "platform/FileWatch.h"

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

namespace {

struct LineListFile {
    FileRead state;
    std::shared_ptr<const std::vector<std::string>> lines;
};

FileCache<LineListFile> &LineListCache()
{
    static FileCache<LineListFile> cache;
    return cache;
}

std::shared_ptr<const LineListFile> ReadCached(const std::string &path)
{
    return LineListCache().Get(path, kMaxListFileBytes,
                               [](const std::string &, FileRead state, std::string bytes) {
                                   auto lines = std::make_shared<std::vector<std::string>>();
                                   if (state == FileRead::Read) {
                                       *lines = SplitLines(DecodeFileText(bytes));
                                   }
                                   return LineListFile{state, std::move(lines)};
                               });
}

} // namespace

bool ReadLineList(const std::string &path, std::vector<std::string> &lines)
{
    const std::shared_ptr<const LineListFile> file = ReadCached(path);
    if (file->state != FileRead::Read) {
        lines.clear();
        return false;
    }
    lines = *file->lines;
    return true;
}

std::shared_ptr<const std::vector<std::string>> LoadLineListShared(const std::string &path)
{
    const std::shared_ptr<const LineListFile> file = ReadCached(path);
    if (file->state == FileRead::TooLarge) {
        throw Error(
            FormatMessage(FormatMessage(msg::FileTooLarge, path), std::to_string(kMaxListFileBytes >> 20)));
    }
    if (file->state != FileRead::Read) {
        throw Error(FormatMessage(msg::CannotOpenFile, path));
    }
    return file->lines;
}

std::vector<std::string> LoadLineList(const std::string &path)
{
    return *LoadLineListShared(path);
}

void SaveLineList(const std::string &path, const std::vector<std::string> &lines)
{
    SaveTextFile(path, JoinLines(lines));
}

void KeepUnreadableBeforeSaving(const std::string &path)
{
    const FileRead state = ProbeFile(path, kMaxListFileBytes);
    if (state != FileRead::Unreadable && state != FileRead::TooLarge) {
        return;
    }
    const std::string backup = KeepDatedBackup(path);
    if (backup.empty()) {
        throw Error(FormatMessage(msg::CannotKeepBackup, path));
    }
    ReportFileProblem(FormatMessage(msg::BackupKept, backup));
}

void SaveTextFile(const std::string &path, std::string_view utf8)
{
    KeepUnreadableBeforeSaving(path);
    if (!WriteFileAtomic(path, EncodeFileText(utf8))) {
        throw Error(FormatMessage(msg::CannotCreateFile, path));
    }
}

} // namespace orvex
