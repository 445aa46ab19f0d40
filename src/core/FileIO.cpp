#include "core/FileIO.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvex {

namespace {

bool WriteAll(int fd, std::string_view bytes)
{
    const char *p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// The permissions a newly created file gets: 0666 less the process umask.
// The umask is read from /proc: setting it to read it back leaves it at 0
// for a moment, and a file the engines' threads created in that moment would
// be writable by everyone. Only without /proc is it read that way.
mode_t NewFileMode()
{
    if (FILE *status = fopen("/proc/self/status", "re")) {
        char line[128];
        unsigned value = 0;
        bool found = false;
        while (!found && fgets(line, sizeof line, status))
            found = sscanf(line, "Umask: %o", &value) == 1;
        fclose(status);
        if (found)
            return 0666 & ~static_cast<mode_t>(value);
    }
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A link is followed, so that saving replaces the file it points to rather
// than the link itself.
std::string ResolveTarget(const std::string &path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

constexpr char kTempMarker[] = ".orvex-XXXXXX";

thread_local WriteFailure lastFailure = WriteFailure::None;

bool ReadAllAt(int fd, std::string &out)
{
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = pread(fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.append(buffer, static_cast<size_t>(n));
        at += n;
    }
}

bool WriteAllAt(int fd, std::string_view bytes)
{
    return lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, bytes) &&
           ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && fsync(fd) == 0;
}

// The file is rewritten where it stands: what the Windows service does when
// the folder refuses new files. Never leaves less than the old file: the
// space for the new bytes is reserved before anything is written, and on a
// failure after that the old bytes are put back.
bool WriteInPlace(const std::string &target, std::string_view bytes)
{
    const int fd = open(target.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    lastFailure = WriteFailure::OldKept;
    std::string old;
    bool written = ReadAllAt(fd, old);
    if (written && bytes.size() > old.size()) {
        const int reserved = posix_fallocate(fd, 0, static_cast<off_t>(bytes.size()));
        if (reserved != 0) {
            // The reservation may have grown the file before it failed.
            if (ftruncate(fd, static_cast<off_t>(old.size())) != 0) {
                WriteAllAt(fd, old);
            }
            written = false;
        }
    }
    if (written && !WriteAllAt(fd, bytes)) {
        written = false;
        lastFailure = WriteAllAt(fd, old) ? WriteFailure::OldKept : WriteFailure::OldLost;
    }
    return close(fd) == 0 && written;
}

bool IsTempSuffix(std::string_view s)
{
    if (s.size() != 6) {
        return false;
    }
    for (const char c : s) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

bool EqualsFolded(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// A temporary file of an earlier save of `name` that a crash left in
// `folder` (with its trailing "/", or "."): removed once it is old enough
// that no save can still be writing it. The data folder's are also swept at
// the start; this covers a file of ours anywhere else.
void RemoveOldTemporariesOf(const std::string &folder, const std::string &name)
{
    constexpr time_t kOldSeconds = 600;
    DIR *listing = opendir(folder.c_str());
    if (listing == nullptr) {
        return;
    }
    const std::string head = "." + name + std::string(kTempMarker, sizeof kTempMarker - 1 - 6);
    const time_t now = time(nullptr);
    std::vector<std::string> old;
    while (const dirent *entry = readdir(listing)) {
        const std::string_view each = entry->d_name;
        if (each.size() != head.size() + 6 || each.substr(0, head.size()) != head ||
            !IsTempSuffix(each.substr(head.size()))) {
            continue;
        }
        const std::string path = (folder == "." ? std::string() : folder) + std::string(each);
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_mtime < now - kOldSeconds) {
            old.push_back(path);
        }
    }
    closedir(listing);
    for (const std::string &path : old) {
        unlink(path.c_str());
    }
}

} // namespace

bool FileExists(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> ReadFileBytes(const std::string &path)
{
    FileContent content = ReadFileLimited(path);
    if (content.state != FileRead::Read) {
        return std::nullopt;
    }
    return std::move(content.bytes);
}

namespace {

// Opens a file to read it: -1, with `content` telling why, when it cannot be
// opened, is a folder or is larger than `limit`.
int OpenToRead(const std::string &path, size_t limit, FileContent &content, struct stat &st)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        content.state = errno == ENOENT || errno == ENOTDIR ? FileRead::Missing : FileRead::Unreadable;
        content.error = errno;
        return -1;
    }
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        content.state = FileRead::Unreadable;
        content.error = S_ISDIR(st.st_mode) ? EACCES : errno;
    } else if (st.st_size > 0 && static_cast<unsigned long long>(st.st_size) > limit) {
        content.state = FileRead::TooLarge;
        content.error = EFBIG;
    } else {
        content.state = FileRead::Read;
        return fd;
    }
    close(fd);
    return -1;
}

} // namespace

FileRead ProbeFile(const std::string &path, size_t limit)
{
    FileContent content;
    struct stat st {};
    const int fd = OpenToRead(path, limit, content, st);
    if (fd >= 0) {
        close(fd);
    }
    return content.state;
}

FileContent ReadFileLimited(const std::string &path, size_t limit)
{
    FileContent content;
    struct stat st {};
    const int fd = OpenToRead(path, limit, content, st);
    if (fd < 0) {
        return content;
    }
    if (st.st_size > 0) {
        content.bytes.reserve(static_cast<size_t>(st.st_size));
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // An error while reading, or a file that grew past the limit meanwhile.
        if (n < 0 || content.bytes.size() + static_cast<size_t>(n) > limit) {
            content.state = n < 0 ? FileRead::Unreadable : FileRead::TooLarge;
            content.error = n < 0 ? errno : EFBIG;
            content.bytes.clear();
            break;
        }
        if (n == 0) {
            break;
        }
        content.bytes.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return content;
}

WriteFailure LastWriteFailure()
{
    return lastFailure;
}

bool WriteFileAtomic(const std::string &path, std::string_view bytes)
{
    lastFailure = WriteFailure::None;
    const std::string target = ResolveTarget(path);
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty()) {
        return false;
    }

    mode_t mode = NewFileMode();
    struct stat old {};
    if (stat(target.c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode)) {
            return false;
        }
        // A file marked read-only for everyone stays unwritten, even for a
        // user whom the permissions would not stop.
        if ((old.st_mode & 0222) == 0) {
            return false;
        }
        mode = old.st_mode & 07777;
    }

    std::string tempName = (slash == std::string::npos ? std::string() : folder) + "." + name + kTempMarker;
    std::vector<char> temp(tempName.begin(), tempName.end());
    temp.push_back('\0');
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        const bool folderReadOnly = errno == EACCES || errno == EROFS || errno == EPERM;
        return folderReadOnly && (old.st_mode & S_IFMT) == S_IFREG && WriteInPlace(target, bytes);
    }
    const bool written = WriteAll(fd, bytes) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || rename(temp.data(), target.c_str()) != 0) {
        unlink(temp.data());
        return false;
    }
    // Make the rename itself durable.
    const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    RemoveOldTemporariesOf(folder, name);
    return true;
}

} // namespace orvex

namespace orvex {

std::string KeepDatedBackup(const std::string &path)
{
    const std::optional<std::string> bytes = ReadFileBytes(path);
    if (!bytes) {
        return std::string();
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int n = 1; n < 100; ++n) {
        const std::string backup =
            path + "." + stamp + (n == 1 ? std::string() : "-" + std::to_string(n)) + ".bak";
        const int fd = open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return std::string();
        }
        const bool written = WriteAll(fd, *bytes) && fsync(fd) == 0;
        if (close(fd) != 0 || !written) {
            unlink(backup.c_str());
            return std::string();
        }
        return backup;
    }
    return std::string();
}

int RemoveStaleTemporaryFiles(const std::string &folder, const std::vector<std::string> &oldStyleNames)
{
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    DIR *listing = opendir(prefix.empty() ? "." : prefix.c_str());
    if (listing == nullptr) {
        return 0;
    }
    const std::string_view marker(kTempMarker, sizeof kTempMarker - 1 - 6); // ".orvex-"
    std::vector<std::string> stale;
    while (const dirent *entry = readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name.size() < 8 || name.front() != '.' || !IsTempSuffix(name.substr(name.size() - 6))) {
            continue;
        }
        const std::string_view head = name.substr(0, name.size() - 6);
        bool ours = head.size() > marker.size() + 1 && head.substr(head.size() - marker.size()) == marker;
        for (size_t i = 0; !ours && i < oldStyleNames.size(); ++i) {
            ours = head.size() == oldStyleNames[i].size() + 2 && head.back() == '.' &&
                   EqualsFolded(head.substr(1, head.size() - 2), oldStyleNames[i]);
        }
        if (ours) {
            stale.emplace_back(name);
        }
    }
    closedir(listing);
    int removed = 0;
    for (const std::string &name : stale) {
        struct stat st {};
        const std::string path = prefix + name;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) == 0) {
            ++removed;
        }
    }
    return removed;
}

} // namespace orvex
