#include "platform/FileIO.h"

#include "support/TempFolder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

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
