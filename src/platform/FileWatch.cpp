#include "platform/FileWatch.h"

#include <functional>
#include <string_view>

namespace orvex {

namespace {

bool operator==(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

FileStamp StampOf(const struct stat &st)
{
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool SameStamp(const FileStamp &a, const FileStamp &b)
{
    return a.dev == b.dev && a.ino == b.ino && a.size == b.size && a.mtime == b.mtime && a.ctime == b.ctime;
}

timespec NowRealtime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

// File systems with sub-second stamps move in clock ticks, so a tenth of a
// second is enough there; whole-second stamps (or two-second ones on some
// file systems) need three seconds.
bool StampTrusted(const FileStamp &stamp, const timespec &verifiedAt)
{
    const timespec &changed =
        (stamp.mtime.tv_sec > stamp.ctime.tv_sec ||
         (stamp.mtime.tv_sec == stamp.ctime.tv_sec && stamp.mtime.tv_nsec > stamp.ctime.tv_nsec))
            ? stamp.mtime
            : stamp.ctime;
    const long long sinceNs = (static_cast<long long>(verifiedAt.tv_sec) - changed.tv_sec) * 1000000000LL +
                              (verifiedAt.tv_nsec - changed.tv_nsec);
    const bool fineStamps = stamp.mtime.tv_nsec != 0 || stamp.ctime.tv_nsec != 0;
    const long long marginNs = fineStamps ? 100000000LL : 3000000000LL;
    return sinceNs > marginNs;
}

bool FileWatch::Changed(const std::string &path, size_t limit, FileRead &state, std::string &bytes)
{
    bytes.clear();
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        state = FileRead::Missing;
        const bool changed = !known_ || state_ != FileRead::Missing;
        known_ = true;
        state_ = state;
        return changed;
    }
    const FileStamp stamp = StampOf(st);
    if (known_ && SameStamp(stamp_, stamp) && StampTrusted(stamp, verifiedAt_)) {
        state = state_;
        return false;
    }
    const timespec readAt = NowRealtime();
    state = ReadFileLimited(path, limit, bytes);
    const size_t hash = std::hash<std::string_view>()(bytes);
    const bool changed = !known_ || state != state_ || hash != hash_;
    known_ = true;
    state_ = state;
    stamp_ = stamp;
    verifiedAt_ = readAt;
    hash_ = hash;
    return changed;
}

} // namespace orvex
