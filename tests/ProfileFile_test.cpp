#include "core/ProfileFile.h"

#include "support/TempFolder.h"

#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using orvex::GetPrivateProfileString;
using orvex::ReadProfileValue;
using orvex::WritePrivateProfileString;
using orvex::test::TempFolder;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override { orvex::ClearProfileCache(); }

    std::string Ini() const { return folder.File("config.ini"); }
    void Put(const std::string &bytes) const { folder.Write("config.ini", bytes); }
    std::string Bytes() const { return folder.Read("config.ini"); }
    std::optional<std::string> Get(const std::string &section, const std::string &key) const
    {
        return ReadProfileValue(Ini(), section, key);
    }
    bool Set(const std::string &section, const std::string &key, const std::string &value) const
    {
        return WritePrivateProfileString(section, key, value, Ini());
    }

    TempFolder folder;
};

TEST_F(ProfileFileTest, ReadsWithWindowsRules)
{
    Put("Orphan=before any section\r\n"
        "; comment line\r\n"
        "[General]\r\n"
        "  LastEngine  =  Gecko  \r\n"
        "lastengine=IE\r\n"
        "Quoted=\"  spaced  \"\r\n"
        "Single='x'\r\n"
        "Unmatched=\"abc'\r\n"
        ";Commented=yes\r\n"
        "  ; Indented=yes\r\n"
        "Empty=\r\n"
        "NoEquals\r\n"
        "Eq=a=b\r\n"
        "[ general ]\r\n"
        "Other=2\r\n"
        "[Tab]\n"
        "Width=5");

    EXPECT_EQ(Get("GENERAL", "lastENGINE"), "Gecko"); // case, trimming, first match
    EXPECT_EQ(Get("General", "Quoted"), "  spaced  ");
    EXPECT_EQ(Get("General", "Single"), "x");
    EXPECT_EQ(Get("General", "Unmatched"), "\"abc'");
    EXPECT_EQ(Get("General", "Eq"), "a=b");
    EXPECT_EQ(Get("General", "Empty"), "");
    EXPECT_EQ(Get("General", ";Commented"), std::nullopt);
    EXPECT_EQ(Get("General", "; Indented"), std::nullopt);
    EXPECT_EQ(Get("General", "NoEquals"), std::nullopt);
    EXPECT_EQ(Get("General", "Orphan"), std::nullopt);
    // Only the first section of a name is consulted.
    EXPECT_EQ(Get("General", "Other"), std::nullopt);
    EXPECT_EQ(Get("Tab", "Width"), "5"); // LF-only line and no final break

    EXPECT_EQ(GetPrivateProfileString("General", "Empty", "dflt", Ini()), "");
    EXPECT_EQ(GetPrivateProfileString("General", "Missing", "dflt", Ini()), "dflt");
    EXPECT_EQ(GetPrivateProfileString("Nowhere", "Width", "dflt", Ini()), "dflt");
    EXPECT_EQ(GetPrivateProfileString("General", "LastEngine", "dflt", folder.File("none.ini")), "dflt");
}

TEST_F(ProfileFileTest, ReadIsCappedAt2047BytesWithoutSplittingACharacter)
{
    const std::string longAscii(3000, 'a');
    std::string wide; // "あ" is two bytes in CP932
    for (int i = 0; i < 600; ++i) {
        wide += "あ";
    }
    std::string halfWidth; // "ｱ" is one byte in CP932
    for (int i = 0; i < 100; ++i) {
        halfWidth += "ｱ";
    }
    ASSERT_TRUE(Set("S", "Ascii", longAscii));
    ASSERT_TRUE(Set("S", "Wide", std::string(1024, 'a') + wide));
    ASSERT_TRUE(Set("S", "Half", std::string(2000, 'a') + halfWidth));
    ASSERT_TRUE(Set("S", "Exact", std::string(2047, 'b')));

    EXPECT_EQ(Get("S", "Ascii"), std::string(2047, 'a'));
    // 1024 + 2 * 511 = 2046; one more "あ" would make 2048.
    EXPECT_EQ(Get("S", "Wide"), std::string(1024, 'a') + wide.substr(0, 511 * 3));
    EXPECT_EQ(Get("S", "Half"), std::string(2000, 'a') + halfWidth.substr(0, 47 * 3));
    EXPECT_EQ(Get("S", "Exact"), std::string(2047, 'b'));
}

TEST_F(ProfileFileTest, ReplacesValueInPlaceKeepingEveryOtherByte)
{
    const std::string head = "; settings by hand\r\n"
                             "[Main]  \r\n"
                             "\tmode = 1\r\n";
    const std::string tail = "\r\n"
                             "; the other one\r\n"
                             "[Other]\n"
                             "Path=keep me\n";
    Put(head + "  PATH =  C:\\old folder   \r\n" + tail);

    ASSERT_TRUE(Set("main", "path", "/new/folder"));
    EXPECT_EQ(Bytes(), head + "  PATH =  /new/folder\r\n" + tail);
    EXPECT_EQ(Get("Main", "Path"), "/new/folder");
    EXPECT_EQ(Get("Other", "Path"), "keep me");

    // Only the first of two equal keys is replaced.
    Put("[A]\r\nk=1\r\nK=2\r\n");
    ASSERT_TRUE(Set("A", "k", "3"));
    EXPECT_EQ(Bytes(), "[A]\r\nk=3\r\nK=2\r\n");
}

TEST_F(ProfileFileTest, NewKeyGoesAfterTheLastKeyOfItsSection)
{
    Put("[A]\r\nk=1\r\n; about B\r\n\r\n[B]\r\nx=1\r\n");
    ASSERT_TRUE(Set("a", "New", "v"));
    EXPECT_EQ(Bytes(), "[A]\r\nk=1\r\nNew=v\r\n; about B\r\n\r\n[B]\r\nx=1\r\n");

    Put("[A]\r\n\r\n[B]\r\n");
    ASSERT_TRUE(Set("A", "first", "1"));
    EXPECT_EQ(Bytes(), "[A]\r\nfirst=1\r\n\r\n[B]\r\n");

    // The last line of the file has no break yet.
    Put("[A]\r\nk=1");
    ASSERT_TRUE(Set("A", "n", "2"));
    EXPECT_EQ(Bytes(), "[A]\r\nk=1\r\nn=2\r\n");

    // A duplicate section later in the file does not take new keys.
    Put("[A]\r\nk=1\r\n[a]\r\nz=9\r\n");
    ASSERT_TRUE(Set("A", "n", "2"));
    EXPECT_EQ(Bytes(), "[A]\r\nk=1\r\nn=2\r\n[a]\r\nz=9\r\n");
}

TEST_F(ProfileFileTest, NewSectionAndNewFileGoAtTheEnd)
{
    ASSERT_TRUE(Set("Option_Main", "MozPath", ""));
    ASSERT_TRUE(Set("Option_Main", "Mozilla", "0"));
    ASSERT_TRUE(Set("Option_Window", "BookMark", "1"));
    EXPECT_EQ(Bytes(), "[Option_Main]\r\nMozPath=\r\nMozilla=0\r\n"
                       "[Option_Window]\r\nBookMark=1\r\n");

    Put("[A]\nk=1"); // no final break
    ASSERT_TRUE(Set("B", "x", "y"));
    EXPECT_EQ(Bytes(), "[A]\nk=1\r\n[B]\r\nx=y\r\n");
}

TEST_F(ProfileFileTest, WrittenValuesReadBackUnchanged)
{
    ASSERT_TRUE(Set("S", "Padded", "  two spaces  "));
    ASSERT_TRUE(Set("S", "Quoted", "\"q\""));
    ASSERT_TRUE(Set("S", "Lone", "\""));
    EXPECT_EQ(Get("S", "Padded"), "  two spaces  ");
    EXPECT_EQ(Get("S", "Quoted"), "\"q\"");
    EXPECT_EQ(Get("S", "Lone"), "\"");

    // A line break in a value must not add lines (or sections) to the file.
    ASSERT_TRUE(Set("S", "Evil", "a\r\n[Injected]\r\nx=1"));
    EXPECT_EQ(Get("Injected", "x"), std::nullopt);
    EXPECT_EQ(Get("S", "Evil"), "a  [Injected]  x=1");

    EXPECT_FALSE(Set("", "k", "v"));
    EXPECT_FALSE(Set("S", " ", "v"));
    EXPECT_FALSE(Set("S", "a=b", "v"));
    EXPECT_FALSE(Set("S\r\n[T]", "k", "v"));
}

TEST_F(ProfileFileTest, StoresCp932AndFallsBackToUtf8ForTheWholeFile)
{
    ASSERT_TRUE(Set("S", "Path", "/home/テスト"));
    EXPECT_EQ(Bytes(), "[S]\r\nPath=/home/\x83\x65\x83\x58\x83\x67\r\n");
    EXPECT_EQ(Get("S", "Path"), "/home/テスト");

    // A character CP932 lacks moves the whole file to UTF-8 with a mark.
    ASSERT_TRUE(Set("S", "Mark", "🙂"));
    EXPECT_EQ(Bytes(), "\xEF\xBB\xBF[S]\r\nPath=/home/テスト\r\nMark=🙂\r\n");
    EXPECT_EQ(Get("S", "Path"), "/home/テスト");
    EXPECT_EQ(Get("S", "Mark"), "🙂");

    // A marked file stays marked, and keeps its other bytes.
    ASSERT_TRUE(Set("S", "Path", "x"));
    EXPECT_EQ(Bytes(), "\xEF\xBB\xBF[S]\r\nPath=x\r\nMark=🙂\r\n");

    // A CP932 file with a byte pair that has no character is kept as it was
    // before it moves to UTF-8.
    Put("[S]\r\nOdd=\x85\x40\r\n");
    ASSERT_TRUE(Set("S", "Mark", "🙂"));
    EXPECT_EQ(Bytes(), "\xEF\xBB\xBF[S]\r\nOdd=\uFFFD\r\nMark=🙂\r\n");
    std::vector<std::string> names = folder.Names();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(folder.Read(names[0] == "config.ini" ? names[1] : names[0]), "[S]\r\nOdd=\x85\x40\r\n");

    // Half-width katakana in CP932 can look like UTF-8 ("ﾃｽ" is C3 BD): such a
    // file is marked, or it would read back as another text.
    Put("");
    ASSERT_TRUE(Set("S", "Kana", "ﾃｽ"));
    EXPECT_EQ(Get("S", "Kana"), "ﾃｽ");
}

TEST_F(ProfileFileTest, HandWrittenCp932LinesKeepTheirExactBytes)
{
    // 0xED40 and 0xFA5C are the same character in CP932; a conversion round
    // trip would turn one into the other.
    const std::string comment = "; \xED\x40 \x87\x40\r\n";
    Put(comment + "[\x83\x65\x83\x58\x83\x67]\r\nKey=\x82\xA0\r\n");
    EXPECT_EQ(Get("テスト", "key"), "あ");
    ASSERT_TRUE(Set("テスト", "Key", "い"));
    EXPECT_EQ(Bytes(), comment + "[\x83\x65\x83\x58\x83\x67]\r\nKey=\x82\xA2\r\n");
}

TEST_F(ProfileFileTest, CacheSeesEveryChangeBehindItsBack)
{
    Put("[S]\r\nK=1111\r\n");
    EXPECT_EQ(Get("S", "K"), "1111");

    // Same size, same inode, rewritten at once: time stamps may not move.
    Put("[S]\r\nK=2222\r\n");
    EXPECT_EQ(Get("S", "K"), "2222");

    // Same size and modification time set back by hand.
    struct stat before {};
    ASSERT_EQ(stat(Ini().c_str(), &before), 0);
    Put("[S]\r\nK=3333\r\n");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, Ini().c_str(), times, 0), 0);
    EXPECT_EQ(Get("S", "K"), "3333");

    // Replaced by rename, as editors and our own writer do.
    folder.Write("edit.tmp", "[S]\r\nK=4444\r\n");
    ASSERT_EQ(std::rename(folder.File("edit.tmp").c_str(), Ini().c_str()), 0);
    EXPECT_EQ(Get("S", "K"), "4444");

    // Our own write, then a hand edit, then removal.
    ASSERT_TRUE(Set("S", "K", "5555"));
    EXPECT_EQ(Get("S", "K"), "5555");
    Put("[S]\r\nK=6666\r\n");
    EXPECT_EQ(Get("S", "K"), "6666");
    ASSERT_EQ(unlink(Ini().c_str()), 0);
    EXPECT_EQ(Get("S", "K"), std::nullopt);
}

TEST_F(ProfileFileTest, OldFileIsTrustedByItsStampAndStillSeesChanges)
{
    // A file last changed long ago is served from the cache by its stamp;
    // any change moves the stamp (size, inode or change time).
    Put("[S]\r\nK=old\r\n");
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Ini().c_str(), old, 0), 0);
    EXPECT_EQ(Get("S", "K"), "old");
    EXPECT_EQ(Get("S", "K"), "old");
    Put("[S]\r\nK=new\r\n");
    ASSERT_EQ(utimensat(AT_FDCWD, Ini().c_str(), old, 0), 0);
    EXPECT_EQ(Get("S", "K"), "new");
}

TEST_F(ProfileFileTest, FailedWritesReturnFalseAndLeaveNoTrace)
{
    // A read-only file is never replaced, whoever runs the program.
    Put("[S]\r\nK=1\r\n");
    ASSERT_EQ(chmod(Ini().c_str(), 0444), 0);
    EXPECT_FALSE(Set("S", "K", "2"));
    EXPECT_EQ(Bytes(), "[S]\r\nK=1\r\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"config.ini"});

    // A folder in the file's place; a folder that does not exist.
    ASSERT_EQ(mkdir(folder.File("dir.ini").c_str(), 0755), 0);
    EXPECT_FALSE(WritePrivateProfileString("S", "K", "1", folder.File("dir.ini")));
    EXPECT_FALSE(WritePrivateProfileString("S", "K", "1", folder.File("missing/config.ini")));
    EXPECT_EQ(folder.Names().size(), 2u);
}

TEST_F(ProfileFileTest, ReadOnlyFolderRefusesTheWrite)
{
    Put("[S]\r\nK=1\r\n");
    ASSERT_EQ(chmod(folder.Path().c_str(), 0555), 0);
    const std::string ini = Ini();
    const std::string fresh = folder.File("fresh.ini");
    // Run as an unprivileged user, for whom the folder's permissions hold.
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
                _exit(2);
            }
            const bool replaced = WritePrivateProfileString("S", "K", "2", ini);
            const bool created = WritePrivateProfileString("S", "K", "2", fresh);
            _exit(!replaced && !created ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(Bytes(), "[S]\r\nK=1\r\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"config.ini"});
}

} // namespace

namespace {

// "[" and "]" can be the second byte of a CP932 character: a header is
// found by characters, and a write that moves the file to UTF-8 changes
// what no other key reads.
TEST_F(ProfileFileTest, TrailBytesNeverMakeOrHideASection)
{
    Put("[General]\r\n[\x83]\r\nLastEngine=Gecko\r\n[\x83\x5B\x83]\r\nInside=1\r\n");
    EXPECT_EQ(Get("General", "LastEngine"), "Gecko"); // "[\x83]" is "[" and one character
    EXPECT_EQ(Get("General", "Inside"), "1");         // so is the header-looking line after it
    ASSERT_TRUE(Set("Other", "Plain", "x"));          // stays CP932
    EXPECT_EQ(Get("General", "LastEngine"), "Gecko");
    ASSERT_TRUE(Set("Other", "Smile", "🙂")); // the whole file moves to UTF-8
    EXPECT_EQ(Bytes().substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(Get("General", "LastEngine"), "Gecko");
    EXPECT_EQ(Get("General", "Inside"), "1");
    EXPECT_EQ(Get("Other", "Plain"), "x");
}

// A batch leaves exactly the bytes the same writes leave one by one, the
// move to UTF-8 included, and reads in between see the batch.
TEST_F(ProfileFileTest, BatchWritesTheBytesOfKeyByKeyWrites)
{
    const std::string start = "[Bar]\r\nJBar=0\r\n[General]\r\nLastEngine=IE";
    const auto writeAll = [&] {
        EXPECT_TRUE(Set("General", "LastEngine", "Gecko"));
        EXPECT_TRUE(Set("General", "LastMojiSize", "3"));
        EXPECT_TRUE(Set("Bar", "JBar", "1"));
        EXPECT_EQ(Get("Bar", "JBar"), "1");
        EXPECT_TRUE(Set("Bar", "Path", "ﾃｽﾄ🙂"));
        EXPECT_TRUE(Set("New", "Key", "値"));
        EXPECT_EQ(Get("General", "LastEngine"), "Gecko");
        EXPECT_EQ(Get("Bar", "Path"), "ﾃｽﾄ🙂");
    };
    Put(start);
    writeAll();
    const std::string oneByOne = Bytes();

    orvex::ClearProfileCache();
    Put(start);
    {
        orvex::ProfileBatch batch(Ini());
        writeAll();
        EXPECT_EQ(Bytes(), start) << "nothing written before Commit";
        ASSERT_TRUE(batch.Commit());
    }
    EXPECT_EQ(Bytes(), oneByOne);

    { // dropped without Commit: nothing written
        orvex::ProfileBatch batch(Ini());
        EXPECT_TRUE(Set("General", "LastEngine", "Dropped"));
    }
    EXPECT_EQ(Bytes(), oneByOne);
    EXPECT_EQ(Get("General", "LastEngine"), "Gecko");
}

} // namespace
