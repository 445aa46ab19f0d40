// The stamp rule of the file caches: a file's parsed form is kept while its
// identity, size and times are unchanged, and its content is looked at again
// whenever the stamp cannot be trusted (a change within the clock's grain).
// So a file read at every use (the settings, the block list, the bookmark
// file) costs one stat while it stays as it is, and any change is seen by the
// next read.
#pragma once

#include "platform/FileIO.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unordered_map>

namespace orvex {

struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
};

FileStamp StampOf(const struct stat &st);
bool SameStamp(const FileStamp &a, const FileStamp &b);
timespec NowRealtime();

// File times are coarse: a change made just after a read can leave every
// field of the stamp unchanged. A stamp is trusted only when the content was
// last seen well after the file's last change.
bool StampTrusted(const FileStamp &stamp, const timespec &verifiedAt);

// One file's stamp rule.
class FileWatch {
public:
    // True when the file may have changed since the last call that returned
    // true; then `state` and `bytes` hold what was found (bytes only for
    // FileRead::Read). False when the content is known to be the same.
    bool Changed(const std::string &path, size_t limit, FileRead &state, std::string &bytes);

private:
    bool known_ = false;
    FileRead state_ = FileRead::Missing;
    FileStamp stamp_{};
    timespec verifiedAt_{};
    size_t hash_ = 0;
};

// A process-wide cache of one kind of parsed file, by path. `parse` turns
// what was found into the cached value; it runs once per change of the file.
template <class T> class FileCache {
public:
    template <class Parse> std::shared_ptr<const T> Get(const std::string &path, size_t limit, Parse parse)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry &entry = entries_[path];
        FileRead state = FileRead::Missing;
        std::string bytes;
        bool changed = entry.watch.Changed(path, limit, state, bytes);
        if (!changed && !entry.value) { // an earlier parse failed: look again
            entry.watch = FileWatch();
            changed = entry.watch.Changed(path, limit, state, bytes);
        }
        if (changed) {
            try {
                entry.value = std::make_shared<const T>(parse(path, state, std::move(bytes)));
            } catch (...) {
                entry.watch = FileWatch();
                entry.value.reset();
                throw;
            }
        }
        return entry.value;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
    }

private:
    struct Entry {
        FileWatch watch;
        std::shared_ptr<const T> value;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

} // namespace orvex
