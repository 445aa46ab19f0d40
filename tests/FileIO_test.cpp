#include "core/FileIO.h"

#include "support/TempFolder.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvex;
using orvex::test::TempFolder;
using Names = std::vector<std::string>;

namespace {

TEST(FileIO, AtomicWriteCreatesAndReplaces)
{
    TempFolder folder;
    const std::string path = folder.File("a.txt");
    // A new file gets 0666 less the umask, whatever the umask is.
    const mode_t oldMask = umask(027);
    const bool made = WriteFileAtomic(path, "first");
    umask(oldMask);
    ASSERT_TRUE(made);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_TRUE(WriteFileAtomic(path, std::string("se\0cond", 7)));
    EXPECT_EQ(ReadFileBytes(path), std::string("se\0cond", 7));
    EXPECT_EQ(folder.Names(), Names{"a.txt"});
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(DirectoryExists(path));
    EXPECT_TRUE(DirectoryExists(folder.Path()));
    EXPECT_EQ(ReadFileBytes(folder.File("missing")), std::nullopt);
}

TEST(FileIO, ReplacingKeepsPermissionsAndFollowsLinks)
{
    TempFolder folder;
    const std::string path = folder.File("a.txt");
    folder.Write("a.txt", "old");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(symlink("a.txt", folder.File("link.txt").c_str()), 0);

    ASSERT_TRUE(WriteFileAtomic(folder.File("link.txt"), "new"));
    struct stat st {};
    ASSERT_EQ(lstat(folder.File("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(folder.Read("a.txt"), "new");
}

TEST(FileIO, FailedWriteKeepsTheOldFileAndNoTemporary)
{
    TempFolder folder;
    const std::string path = folder.File("a.txt");
    folder.Write("a.txt", "old");

    // A file-size limit makes the write itself fail half way.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = WriteFileAtomic(path, std::string(1000, 'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(folder.Read("a.txt"), "old");
    EXPECT_EQ(folder.Names(), Names{"a.txt"});

    // A read-only file, a folder in the way, a missing folder.
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_FALSE(WriteFileAtomic(path, "new"));
    EXPECT_EQ(folder.Read("a.txt"), "old");
    EXPECT_FALSE(WriteFileAtomic(folder.Path(), "x"));
    EXPECT_FALSE(WriteFileAtomic(folder.File("none/a.txt"), "x"));
    EXPECT_EQ(folder.Names(), Names{"a.txt"});
}

} // namespace

namespace {

// Where the folder refuses new files but the file itself is writable, the
// file is rewritten in place. Run as another user when the tests run as root,
// whom permissions do not stop.
TEST(FileIO, ReadOnlyFolderWritableFileIsWrittenInPlace)
{
    TempFolder folder;
    const std::string path = folder.File("config.ini");
    folder.Write("config.ini", "[General]\r\nLastEngine=IE\r\nWinSize=0\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(chmod(folder.Path().c_str(), 0555), 0);
    const auto save = [&] {
        return WriteFileAtomic(path, "short") && !WriteFileAtomic(folder.File("new.txt"), "x");
    };
    bool saved = false;
    if (geteuid() == 0) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            _exit(setgid(65534) == 0 && setuid(65534) == 0 && save() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        saved = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    } else {
        saved = save();
    }
    chmod(folder.Path().c_str(), 0700);
    EXPECT_TRUE(saved);
    EXPECT_EQ(folder.Read("config.ini"), "short"); // the old tail cut off
    EXPECT_EQ(folder.Names(), Names{"config.ini"});
}

// A save sweeps the temporary files of earlier saves of the same file that a
// crash left, wherever the file lives, once no save can still be writing them.
TEST(FileIO, SavingSweepsOldTemporaryFilesOfTheSameFile)
{
    TempFolder folder;
    for (const char *name : {".a.txt.orvex-Ab12Cd", ".a.txt.orvex-Zz99Yy", ".b.txt.orvex-Ab12Cd"})
        folder.Write(name, "left");
    const timespec old[2] = {{0, UTIME_OMIT}, {time(nullptr) - 3600, 0}};
    for (const char *name : {".a.txt.orvex-Ab12Cd", ".b.txt.orvex-Ab12Cd"})
        ASSERT_EQ(utimensat(AT_FDCWD, folder.File(name).c_str(), old, 0), 0);
    ASSERT_TRUE(WriteFileAtomic(folder.File("a.txt"), "new"));
    Names names = folder.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Names{".a.txt.orvex-Zz99Yy", ".b.txt.orvex-Ab12Cd", "a.txt"}));
}

TEST(FileIO, SizeLimitAndDatedBackup)
{
    TempFolder folder;
    const std::string path = folder.File("CloseURL.txt");
    folder.Write("CloseURL.txt", "0123456789");
    const FileContent over = ReadFileLimited(path, 9);
    EXPECT_EQ(over.state, FileRead::TooLarge);
    EXPECT_EQ(over.bytes, "");
    EXPECT_EQ(ReadFileLimited(path, 10).bytes, "0123456789");
    const FileContent none = ReadFileLimited(folder.File("none"), 10);
    EXPECT_EQ(none.state, FileRead::Missing);
    EXPECT_EQ(none.error, ENOENT);
    // A folder is no file: refused as Windows refuses it, access denied.
    const FileContent folderRead = ReadFileLimited(folder.Path());
    EXPECT_EQ(folderRead.state, FileRead::Unreadable);
    EXPECT_EQ(folderRead.error, EACCES);

    const std::string first = KeepDatedBackup(path);
    const std::string second = KeepDatedBackup(path);
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second) << "a second backup in the same second gets its own name";
    EXPECT_EQ(first.rfind(path + ".", 0), 0u);
    EXPECT_EQ(first.substr(first.size() - 4), ".bak");
    EXPECT_EQ(ReadFileBytes(first), "0123456789");
    EXPECT_EQ(folder.Read("CloseURL.txt"), "0123456789");
}

} // namespace

namespace {

// Runs `check` in a child process holding a private 1 MB tmpfs at `disk`, as
// the user nobody: permissions bind it as they bind a normal user. The exit
// code of the child is check's result, 77 when the disk cannot be had.
int OnSmallDisk(const std::string &disk, const std::function<int()> &prepare,
                const std::function<int()> &check)
{
    const pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("orvex-test", disk.c_str(), "tmpfs", 0, "size=1m,mode=0777") != 0) {
            _exit(77);
        }
        const int prepared = prepare();
        _exit(prepared != 0 ? prepared : setgid(65534) != 0 || setuid(65534) != 0 ? 78 : check());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// Fills the disk of `folder` to its last byte.
bool FillDisk(const std::string &folder)
{
    const int fd = open((folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const std::string block(4096, 'f');
    while (fd >= 0 && write(fd, block.data(), block.size()) > 0) {
    }
    while (fd >= 0 && write(fd, block.data(), 1) > 0) {
    }
    return fd >= 0 && close(fd) == 0;
}

// A save that must go in place (the folder refuses new files) onto a full
// disk: the larger text is refused before a byte of the old one is touched,
// a smaller one still goes in.
TEST(FileIO, InPlaceWriteOnAFullDiskKeepsTheOldFile)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a small tmpfs and running as another user needs root; not tested here";
    }
    TempFolder folder;
    ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
    const std::string disk = folder.File("disk");
    ASSERT_EQ(mkdir(disk.c_str(), 0777), 0);
    const std::string path = disk + "/bookmark.xml";
    std::string old;
    for (int i = 0; old.size() < 300000; ++i) {
        old += "<item name=\"" + std::to_string(i) + "\"/>\r\n";
    }
    const int result = OnSmallDisk(
        disk,
        [&] {
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
            const bool made = fd >= 0 &&
                              write(fd, old.data(), old.size()) == static_cast<ssize_t>(old.size()) &&
                              close(fd) == 0 && chown(path.c_str(), 65534, 65534) == 0 && FillDisk(disk) &&
                              chmod(disk.c_str(), 0555) == 0;
            return made ? 0 : 10;
        },
        [&] {
            if (WriteFileAtomic(path, old + std::string(200000, 'n'))) {
                return 20;
            }
            if (ReadFileBytes(path) != old) {
                return 21;
            }
            const std::string shorter = old.substr(0, 1000);
            if (!WriteFileAtomic(path, shorter) || ReadFileBytes(path) != shorter) {
                return 22;
            }
            return 0;
        });
    if (result == 77) {
        GTEST_SKIP() << "no private mount of a small tmpfs here; not tested";
    }
    EXPECT_EQ(result, 0) << "10: setup, 20: the larger save succeeded, 21: the old file changed, "
                            "22: the smaller save failed";
}

} // namespace
