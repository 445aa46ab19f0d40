#include "core/LineList.h"

#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/FileProblems.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvex;
using orvex::test::TempFolder;
using Lines = std::vector<std::string>;

namespace {

TEST(LineList, SplitsAtAnyLineBreak)
{
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a"), Lines{"a"});
    EXPECT_EQ(SplitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\rb\r"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\rb\nc\r\nd"), (Lines{"a", "b", "c", "d"}));
    // Blank lines and spaces are kept; only the very last break is dropped.
    EXPECT_EQ(SplitLines("\r\n"), Lines{""});
    EXPECT_EQ(SplitLines("a\r\n\r\n  \r\n"), (Lines{"a", "", "  "}));
    EXPECT_EQ(SplitLines("a\n\r"), (Lines{"a", ""})); // LF then a lone CR: two breaks
}

TEST(LineList, JoinEndsEveryLineWithCrLf)
{
    EXPECT_EQ(JoinLines({}), "");
    EXPECT_EQ(JoinLines({""}), "\r\n");
    EXPECT_EQ(JoinLines({"a", "", " b "}), "a\r\n\r\n b \r\n");
}

TEST(LineList, SavesCp932AndReadsBack)
{
    TempFolder folder;
    const std::string path = folder.File("CloseURL.txt");
    SaveLineList(path, {"*doubleclick*", "http://例え.jp/", ""});
    EXPECT_EQ(folder.Read("CloseURL.txt"), "*doubleclick*\r\nhttp://\x97\xE1\x82\xA6.jp/\r\n\r\n");
    EXPECT_EQ(LoadLineList(path), (Lines{"*doubleclick*", "http://例え.jp/", ""}));

    SaveLineList(path, {"http://x/🙂"});
    EXPECT_EQ(folder.Read("CloseURL.txt"), "\xEF\xBB\xBFhttp://x/🙂\r\n");
    EXPECT_EQ(LoadLineList(path), Lines{"http://x/🙂"});

    SaveLineList(path, {});
    EXPECT_EQ(folder.Read("CloseURL.txt"), "");
    EXPECT_EQ(LoadLineList(path), Lines{});
}

TEST(LineList, ReadsFilesWrittenElsewhere)
{
    TempFolder folder;
    folder.Write("mac.wlf", "http://a/\rhttp://b/\r");
    folder.Write("unix.wlf", "http://\x83\x65/\nhttp://b/");
    EXPECT_EQ(LoadLineList(folder.File("mac.wlf")), (Lines{"http://a/", "http://b/"}));
    EXPECT_EQ(LoadLineList(folder.File("unix.wlf")), (Lines{"http://テ/", "http://b/"}));
}

TEST(LineList, FailuresCarryTheFileName)
{
    TempFolder folder;
    const std::string missing = folder.File("none.wlf");
    try {
        LoadLineList(missing);
        FAIL();
    } catch (const Error &e) {
        EXPECT_EQ(std::string(e.what()), "ファイル " + missing + " は開けません");
    }
    const std::string unwritable = folder.File("no-such-folder/list.wlf");
    try {
        SaveTextFile(unwritable, "a\r\n");
        FAIL();
    } catch (const Error &e) {
        EXPECT_EQ(std::string(e.what()), "ファイル " + unwritable + " を作成できません");
    }
}

// Byte pairs without a CP932 character read as U+FFFD; saving over them
// first keeps the file as it was, once, and says where.
TEST(LineList, UndefinedCp932PairsAreKeptBeforeSaving)
{
    TempFolder folder;
    std::vector<std::string> told;
    SetFileProblemSink([&](const std::string &message) { told.push_back(message); });
    const std::string path = folder.File("CloseURL.txt");
    folder.Write("CloseURL.txt", "*\x85\x40*\r\n*\x83\x65*\r\n");
    const Lines lines = LoadLineList(path);
    EXPECT_EQ(lines, (Lines{"*\uFFFD*", "*テ*"}));
    SaveLineList(path, lines);
    SaveLineList(path, lines);
    SetFileProblemSink(nullptr);

    ASSERT_EQ(folder.Names().size(), 2u);
    const std::string backup =
        folder.File(folder.Names()[0] == "CloseURL.txt" ? folder.Names()[1] : folder.Names()[0]);
    EXPECT_EQ(ReadFileBytes(backup), "*\x85\x40*\r\n*\x83\x65*\r\n");
    EXPECT_EQ(told, std::vector<std::string>{"ファイル " + path +
                                             " には文字として読めないバイトがあるため、元のファイルを " +
                                             backup + " に残しました"});
    EXPECT_EQ(LoadLineList(path), lines);
}

TEST(LineList, SaveTextFileKeepsTheTextAsGiven)
{
    TempFolder folder;
    SaveTextFile(folder.File("memo.wlf"), "a\nb");
    EXPECT_EQ(folder.Read("memo.wlf"), "a\nb");
}

} // namespace

namespace {

// A list over the limit is refused with the file and the limit named, left
// untouched, and kept as a backup before anything is saved over it. A list
// that changes is read again at once.
TEST(LineList, OverTheLimitIsRefusedAndKept)
{
    TempFolder folder;
    const std::string path = folder.File("CloseURL.txt");
    folder.Write("CloseURL.txt", "*a*\r\n");
    EXPECT_EQ(LoadLineList(path), Lines{"*a*"});
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(kMaxListFileBytes) + 1), 0);
    try {
        LoadLineList(path);
        ADD_FAILURE() << "read a list over the limit";
    } catch (const Error &error) {
        EXPECT_EQ(std::string(error.what()), "ファイル " + path + " は 32 MB を超えているため読み込みません");
    }
    SaveLineList(path, {"*b*"});
    EXPECT_EQ(folder.Read("CloseURL.txt"), "*b*\r\n");
    EXPECT_EQ(LoadLineList(path), Lines{"*b*"});
    int backups = 0;
    for (const std::string &name : folder.Names()) {
        if (name.rfind("CloseURL.txt.", 0) == 0) {
            struct stat st {};
            ASSERT_EQ(stat(folder.File(name).c_str(), &st), 0);
            EXPECT_EQ(st.st_size, static_cast<off_t>(kMaxListFileBytes) + 1);
            ++backups;
        }
    }
    EXPECT_EQ(backups, 1);
}

} // namespace
