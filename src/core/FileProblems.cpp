#include "core/FileProblems.h"

#include "core/Errors.h"
#include "core/FileIO.h"

#include <cstdio>
#include <mutex>

namespace orvex {

namespace {

std::mutex &SinkMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::function<void(const std::string &)> &Sink()
{
    static std::function<void(const std::string &)> sink;
    return sink;
}

} // namespace

void ReportFileProblem(const std::string &message)
{
    std::function<void(const std::string &)> sink;
    {
        std::lock_guard<std::mutex> lock(SinkMutex());
        sink = Sink();
    }
    if (sink) {
        sink(message);
    } else {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
}

void SetFileProblemSink(std::function<void(const std::string &)> sink)
{
    std::lock_guard<std::mutex> lock(SinkMutex());
    Sink() = std::move(sink);
}

std::string FileTooLargeText(const std::string &path)
{
    return FormatMessage(FormatMessage(msg::FileTooLarge, path), std::to_string(kMaxListFileBytes >> 20));
}

void KeepBackupBeforeSaving(const std::string &path)
{
    const std::string backup = KeepDatedBackup(path);
    if (backup.empty()) {
        throw Error(FormatMessage(msg::CannotKeepBackup, path));
    }
    ReportFileProblem(FormatMessage(msg::BackupKept, backup));
}

std::string SaveFailedText(const char *pattern, const std::string &path)
{
    std::string text = FormatMessage(pattern, path);
    switch (LastWriteFailure()) {
    case WriteFailure::None:
        break;
    case WriteFailure::OldKept:
        text += msg::InPlaceOldKept;
        break;
    case WriteFailure::OldLost:
        text += msg::InPlaceOldLost;
        break;
    }
    return text;
}

void KeepBackupBeforeLossySave(const std::string &path)
{
    const std::string backup = KeepDatedBackup(path);
    if (backup.empty()) {
        throw Error(FormatMessage(msg::CannotKeepBackup, path));
    }
    ReportFileProblem(FormatMessage(FormatMessage(msg::LossyBackupKept, path), backup));
}

} // namespace orvex
