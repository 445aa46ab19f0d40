#include "shell/SessionWriter.h"

namespace orvex {

SessionWriter::SessionWriter(std::string path, std::function<Session()> snapshot)
    : path_(std::move(path)), snapshot_(std::move(snapshot))
{
    timer_.setSingleShot(true);
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_ = snapshot_();
        wake_.notify_one();
    });
    thread_ = std::thread([this] { Run(); });
}

SessionWriter::~SessionWriter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        wake_.notify_one();
    }
    thread_.join();
}

void SessionWriter::Changed()
{
    if (!finished_ && !timer_.isActive())
        timer_.start();
}

void SessionWriter::Finish(const Session &last)
{
    finished_ = true;
    timer_.stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.reset();
    }
    // A write of the thread under way ends first; none comes after this one.
    std::lock_guard<std::mutex> writing(writeMutex_);
    done_ = true;
    WriteSession(path_, last);
}

void SessionWriter::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || pending_; });
        if (!pending_)
            return;
        const Session session = *pending_;
        pending_.reset();
        lock.unlock();
        {
            std::lock_guard<std::mutex> writing(writeMutex_);
            if (!done_)
                WriteSession(path_, session);
        }
        lock.lock();
    }
}

} // namespace orvex
