// Keeps session.txt up to date while the program runs, without holding the
// window: a change is written at most once a second, on a thread of its
// own, whole through a temporary file. The last words of a run (its orderly
// end) are written at once.
#pragma once

#include "core/SessionFile.h"

#include <QObject>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace orvex {

class SessionWriter : public QObject {
public:
    // `snapshot` tells the session as it stands, asked when a write is due.
    SessionWriter(std::string path, std::function<Session()> snapshot);
    ~SessionWriter() override; // writes what is handed over, nothing more

    // Something changed: a write within a second.
    void Changed();
    // Writes `last` now and ignores every later change.
    void Finish(const Session &last);
    const std::string &Path() const { return path_; }

private:
    void Run();

    std::string path_;
    std::function<Session()> snapshot_;
    QTimer timer_;
    bool finished_ = false;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Session> pending_; // handed to the thread, not yet written
    bool stop_ = false;
    std::mutex writeMutex_; // one write at a time
    bool done_ = false;     // the last words are written
    std::thread thread_;
};

} // namespace orvex
