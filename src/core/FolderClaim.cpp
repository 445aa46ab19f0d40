#include "core/FolderClaim.h"

#include "core/FileIO.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <unistd.h>

namespace orvex {

int ClaimFolder(const std::string &folder)
{
    static std::mutex mutex;
    static std::set<std::string> claimed;
    std::lock_guard<std::mutex> lock(mutex);
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    if (!claimed.insert(prefix).second) {
        return -1; // this process has it already
    }
    // Kept open for the whole run: the lock goes with the process.
    const int fd = open((prefix + ".orvex.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return -1;
    }
    int removed = -1;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        removed =
            RemoveStaleTemporaryFiles(prefix, {"config.ini", "Close.txt", "CloseURL.txt", "bookmark.xml"}) +
            RemoveStaleTemporaryFiles(prefix + "WebList", {});
    }
    flock(fd, LOCK_SH);
    return removed;
}

bool FolderInUse(const std::string &folder)
{
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    const int fd = open((prefix + ".orvex.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    // Another open file of the lock: fails against any holder, this
    // process's own claim included.
    const bool inUse = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return inUse;
}

} // namespace orvex
