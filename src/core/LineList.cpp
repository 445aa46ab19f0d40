#include "core/LineList.h"

#include "core/CodePage.h"
#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/FileProblems.h"
#include "core/FileWatch.h"

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
    bool lossy = false; // some bytes became U+FFFD
};

FileCache<LineListFile> &LineListCache()
{
    static FileCache<LineListFile> cache;
    return cache;
}

std::shared_ptr<const LineListFile> ReadCached(const std::string &path)
{
    return LineListCache().Get(path, kMaxListFileBytes, [](const std::string &, FileContent content) {
        auto lines = std::make_shared<std::vector<std::string>>();
        bool lossy = false;
        if (content.state == FileRead::Read) {
            *lines = SplitLines(DecodeFileText(content.bytes));
            lossy = !DecodesWithoutLoss(content.bytes);
        }
        return LineListFile{content.state, std::move(lines), lossy};
    });
}

// Before a file is replaced: one that is there but cannot be read (or is too
// large to be read), or whose bytes do not all read as characters, is kept
// as a dated backup first.
void KeepUnreadableBeforeSaving(const std::string &path)
{
    const FileRead state = ProbeFile(path, kMaxListFileBytes);
    if (state == FileRead::Unreadable || state == FileRead::TooLarge) {
        KeepBackupBeforeSaving(path);
    } else if (state == FileRead::Read && ReadCached(path)->lossy) {
        KeepBackupBeforeLossySave(path);
    }
}

} // namespace

std::shared_ptr<const std::vector<std::string>> LoadLineListShared(const std::string &path)
{
    const std::shared_ptr<const LineListFile> file = ReadCached(path);
    if (file->state == FileRead::TooLarge) {
        throw Error(FileTooLargeText(path));
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

void SaveTextFile(const std::string &path, std::string_view utf8)
{
    KeepUnreadableBeforeSaving(path);
    if (!WriteFileAtomic(path, EncodeFileText(utf8))) {
        throw Error(SaveFailedText(msg::CannotCreateFile, path));
    }
}

} // namespace orvex
