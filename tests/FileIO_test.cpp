#include "platform/FileIO.h"

#include "support/TempFolder.h"

#include <csignal>
#include <gtest/gtest.h>
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
    ASSERT_TRUE(WriteFileAtomic(path, "first"));
    ASSERT_TRUE(WriteFileAtomic(path, std::string("se\0cond", 7)));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_EQ(bytes, std::string("se\0cond", 7));
    EXPECT_EQ(folder.Names(), Names{"a.txt"});
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(DirectoryExists(path));
    EXPECT_TRUE(DirectoryExists(folder.Path()));
    EXPECT_FALSE(ReadFileBytes(folder.File("missing"), bytes));
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

TEST(FileIO, SizeLimitAndDatedBackup)
{
    TempFolder folder;
    const std::string path = folder.File("CloseURL.txt");
    folder.Write("CloseURL.txt", "0123456789");
    std::string bytes;
    EXPECT_EQ(ReadFileLimited(path, 9, bytes), FileRead::TooLarge);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(ReadFileLimited(path, 10, bytes), FileRead::Read);
    EXPECT_EQ(ReadFileLimited(folder.File("none"), 10, bytes), FileRead::Missing);

    const std::string first = KeepDatedBackup(path);
    const std::string second = KeepDatedBackup(path);
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second) << "a second backup in the same second gets its own name";
    EXPECT_EQ(first.rfind(path + ".", 0), 0u);
    EXPECT_EQ(first.substr(first.size() - 4), ".bak");
    ASSERT_TRUE(ReadFileBytes(first, bytes));
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_EQ(folder.Read("CloseURL.txt"), "0123456789");
}

} // namespace
