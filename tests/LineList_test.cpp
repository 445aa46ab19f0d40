#include "platform/LineList.h"

#include "platform/Errors.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

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
    Lines lines{"kept"};
    EXPECT_FALSE(ReadLineList(missing, lines));
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

TEST(LineList, SaveTextFileKeepsTheTextAsGiven)
{
    TempFolder folder;
    SaveTextFile(folder.File("memo.wlf"), "a\nb");
    EXPECT_EQ(folder.Read("memo.wlf"), "a\nb");
}

} // namespace
