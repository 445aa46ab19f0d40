#include "platform/FileProblems.h"

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

} // namespace orvex
