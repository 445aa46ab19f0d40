#include "core/BookmarkStore.h"

#include "core/Errors.h"
#include "core/ProgramFolder.h"
#include "support/TempFolder.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

// Readable trees in failure messages.
void PrintTo(const BookmarkNode &node, std::ostream *out)
{
    *out << node.caption << (node.folder ? "/" : "=" + node.url);
    if (!node.children.empty()) {
        *out << "{";
        for (const BookmarkNode &child : node.children) {
            PrintTo(child, out);
            *out << " ";
        }
        *out << "}";
    }
}

namespace {

// The reading rule, anything that is no bookmark file giving no entries.
BookmarkTree ParseBookmarks(std::string_view bytes)
{
    return ParseBookmarkFile(bytes).value_or(BookmarkTree());
}
BookmarkTree ReadBookmarks()
{
    return ReadBookmarkFile()->tree;
}

BookmarkNode Mark(const std::string &name, const std::string &url)
{
    return {name, url, false, {}};
}
BookmarkNode Folder(const std::string &name, std::vector<BookmarkNode> children)
{
    return {name, kFolderMarker, true, std::move(children)};
}

// Each test runs in a fresh folder that is the data folder, where the
// bookmark file lives; the working directory is elsewhere.
class BookmarkStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = getcwd(nullptr, 0);
        ASSERT_EQ(chdir(elsewhere.Path().c_str()), 0);
        SetProgramFolderOverride(folder.Path() + "/");
    }
    void TearDown() override
    {
        SetProgramFolderOverride("");
        EXPECT_EQ(chdir(saved_), 0);
        free(saved_);
        EXPECT_TRUE(elsewhere.Names().empty());
    }
    std::vector<std::string> Files() const { return folder.Names(); }

    test::TempFolder folder;
    test::TempFolder elsewhere;
    char *saved_ = nullptr;
};

const BookmarkTree kExample = {
    Mark("A", "U1"),
    Folder("F", {Mark("B", "U2"), Folder("G", {Mark("C", "U3")})}),
    Mark("D", "U4"),
};

const char kExampleBytes[] = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
                             "<bookmark>\n"
                             "  <file>\n"
                             "    <name>A</name>\n"
                             "    <url>U1</url>\n"
                             "  </file>\n"
                             "  <directory>\n"
                             "    <name>F</name>\n"
                             "      <file>\n"
                             "        <name>B</name>\n"
                             "        <url>U2</url>\n"
                             "      </file>\n"
                             "    <directory>\n"
                             "        <name>G</name>\n"
                             "        <file>\n"
                             "          <name>C</name>\n"
                             "          <url>U3</url>\n"
                             "        </file></directory></directory>\n"
                             "  <file>\n"
                             "    <name>D</name>\n"
                             "    <url>U4</url>\n"
                             "  </file>\n"
                             "</bookmark>\n";

TEST_F(BookmarkStoreTest, WorkedExampleIsWrittenByteForByteAndReadBack)
{
    WriteBookmarks(kExample);
    EXPECT_EQ(Files(), std::vector<std::string>{"BookMark.xml"});
    EXPECT_EQ(folder.Read("BookMark.xml"), kExampleBytes);
    EXPECT_EQ(ReadBookmarks(), kExample);

    // Without any whitespace between the elements, or with other
    // whitespace, a hand-made file reads the same.
    EXPECT_EQ(ParseBookmarks("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><bookmark>"
                             "<file><name>A</name><url>U1</url></file>"
                             "<directory><name>F</name><file><name>B</name><url>U2</url></file>"
                             "<directory><name>G</name><file><name>C</name><url>U3</url></file>"
                             "</directory></directory><!-- note -->"
                             "<file><name>D</name><url>U4</url></file></bookmark>"),
              kExample);
    std::string loose = kExampleBytes;
    for (size_t at = 0; (at = loose.find('\n', at)) != std::string::npos; at += 3) {
        loose.replace(at, 1, "\r\n\t");
    }
    EXPECT_EQ(ParseBookmarks(loose), kExample);
}

TEST_F(BookmarkStoreTest, MarkupCharactersAndEmptyTextsRoundTrip)
{
    const BookmarkTree tree = {
        Mark("<b>Tom & \"Jerry\"</b>", "http://x/?a=1&b=<2>"),
        Mark("", ""),
        Mark("  spaced  ", " "),
        Folder("R&D", {Mark("x", "y")}),
    };
    const std::string bytes = SerializeBookmarks(tree);
    EXPECT_NE(bytes.find("&lt;b&gt;Tom &amp; \"Jerry\"&lt;/b&gt;"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("http://x/?a=1&amp;b=&lt;2&gt;"), std::string::npos) << bytes;
    EXPECT_EQ(ParseBookmarks(bytes), tree);

    // Control characters XML cannot carry would make the whole file
    // unreadable; they are dropped, and broken UTF-8 becomes U+FFFD.
    const std::string cleaned = SerializeBookmarks({Mark("a\x01\x1b"
                                                         "b\tc",
                                                         "u\xff"
                                                         "v")});
    EXPECT_EQ(ParseBookmarks(cleaned), (BookmarkTree{Mark("ab\tc", "u\xEF\xBF\xBDv")}));
}

TEST_F(BookmarkStoreTest, ChildlessFolderComesBackAsBookmarkWithItsUrl)
{
    const BookmarkTree written = {
        Folder("empty", {}),                           // read from the file or a sub-folder
        BookmarkNode{"new", "http://page/", true, {}}, // made while the URL box held an address
    };
    const std::string bytes = SerializeBookmarks(written);
    EXPECT_NE(bytes.find("<file>\n    <name>empty</name>\n    <url>\x83\x74\x83\x48\x83\x8b\x83\x5f</url>"),
              std::string::npos)
        << bytes;
    const BookmarkTree read = ParseBookmarks(bytes);
    EXPECT_EQ(read, (BookmarkTree{Mark("empty", "フォルダ"), Mark("new", "http://page/")}));
}

TEST_F(BookmarkStoreTest, ShiftJisIsReadAndWrittenAsCp932)
{
    // "～" is 0x8160 and "①" 0x8740 in CP932; strict Shift_JIS has neither.
    folder.Write("bookmark.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<bookmark>"
                                 "<file><name>\x81\x60\x87\x40\x93\xfa\x96\x7b</name>"
                                 "<url>http://x/~a</url></file></bookmark>");
    ASSERT_EQ(ReadBookmarks(), (BookmarkTree{Mark("～①日本", "http://x/~a")}));

    WriteBookmarks({Mark("～①日本", "http://x/~a")});
    const std::string bytes = folder.Read("bookmark.xml");
    EXPECT_NE(bytes.find("<name>\x81\x60\x87\x40\x93\xfa\x96\x7b</name>"), std::string::npos);
}

TEST_F(BookmarkStoreTest, CharactersOutsideCp932SurviveAsCharacterReferences)
{
    const BookmarkTree tree = {Mark("smile 😀 é", "http://x/😀")};
    WriteBookmarks(tree);
    const std::string bytes = folder.Read("BookMark.xml");
    EXPECT_EQ(bytes.find("\xF0\x9F\x98\x80"), std::string::npos) << "no raw UTF-8 in a Shift_JIS file";
    EXPECT_NE(bytes.find("&#"), std::string::npos);
    EXPECT_EQ(ReadBookmarks(), tree);
}

TEST_F(BookmarkStoreTest, FileIsFoundWhateverTheCaseOfItsName)
{
    WriteBookmarks({Mark("one", "1")});
    ASSERT_EQ(Files(), std::vector<std::string>{"BookMark.xml"});
    EXPECT_EQ(BookmarkFilePath(), folder.File("BookMark.xml"));
    EXPECT_EQ(ReadBookmarks().size(), 1u);

    // A file someone saved as "bookmark.xml" or "BOOKMARK.XML" is the same
    // file: it is replaced in place, no second file appears.
    rename(folder.File("BookMark.xml").c_str(), folder.File("BOOKMARK.XML").c_str());
    EXPECT_EQ(ReadBookmarks(), (BookmarkTree{Mark("one", "1")}));
    WriteBookmarks({Mark("two", "2")});
    EXPECT_EQ(Files(), std::vector<std::string>{"BOOKMARK.XML"});
    EXPECT_EQ(ReadBookmarks(), (BookmarkTree{Mark("two", "2")}));

    // A folder of that name is not the file.
    remove(folder.File("BOOKMARK.XML").c_str());
    mkdir(folder.File("bookmark.xml").c_str(), 0700);
    EXPECT_EQ(BookmarkFilePath(), folder.File("BookMark.xml"));
    EXPECT_TRUE(ReadBookmarks().empty());
}

TEST_F(BookmarkStoreTest, RefusedAndFailedSavesKeepTheOldFile)
{
    try {
        WriteBookmarks({});
        FAIL() << "an empty tree was written";
    } catch (const Error &e) {
        EXPECT_STREQ(e.what(), "不正なインデックス");
    }
    EXPECT_TRUE(Files().empty());

    WriteBookmarks({Mark("old", "o")});
    const std::string before = folder.Read("BookMark.xml");
    const std::string expected = "ファイル " + folder.File("BookMark.xml") + " を作成できません";

    EXPECT_THROW(WriteBookmarks({}), Error);
    EXPECT_EQ(folder.Read("BookMark.xml"), before);

    chmod(folder.File("BookMark.xml").c_str(), 0444);
    try {
        WriteBookmarks({Mark("new", "n")});
        FAIL() << "a read-only file was replaced";
    } catch (const Error &e) {
        EXPECT_EQ(std::string(e.what()), expected);
    }
    EXPECT_EQ(folder.Read("BookMark.xml"), before);
    EXPECT_EQ(Files(), std::vector<std::string>{"BookMark.xml"}) << "no temporary file left";
}

TEST_F(BookmarkStoreTest, FoldersHoldAnyNumberOfEntries)
{
    std::vector<BookmarkNode> many;
    for (int i = 0; i < 1000; ++i) {
        many.push_back(Mark("n" + std::to_string(i), "http://x/" + std::to_string(i)));
    }
    BookmarkTree tree = many;
    tree.push_back(Folder("big", many));
    WriteBookmarks(tree);
    const BookmarkTree read = ReadBookmarks();
    ASSERT_EQ(read.size(), 1001u);
    EXPECT_EQ(read.back().children.size(), 1000u);
    EXPECT_EQ(read, tree);
}

TEST_F(BookmarkStoreTest, UnusableFilesReadAsEmpty)
{
    EXPECT_TRUE(ReadBookmarks().empty()) << "missing";
    for (const char *bytes : {"", "<bookmark><file><name>A</name>", "not xml at all",
                              "<?xml version=\"1.0\"?><other><file><name>A</name><url>U</url></file></other>",
                              "<?xml version=\"1.0\"?><bookmark/>"}) {
        folder.Write("bookmark.xml", bytes);
        EXPECT_TRUE(ReadBookmarks().empty()) << bytes;
    }
    // A file declaring entities is refused: external ones are never fetched,
    // internal ones never expanded.
    folder.Write("secret.txt", "SECRET");
    folder.Write("bookmark.xml",
                 "<?xml version=\"1.0\"?><!DOCTYPE bookmark [<!ENTITY x SYSTEM \"secret.txt\">]>"
                 "<bookmark><file><name>&x;</name><url>u</url></file></bookmark>");
    EXPECT_TRUE(ReadBookmarks().empty());
}

// Characters whose CP932 round trip is not exact go as references, and
// every other character as CP932; so the text reads back unchanged and a
// second write gives the same bytes.
TEST_F(BookmarkStoreTest, LookalikeCharactersSurviveAsReferences)
{
    const BookmarkTree tree = {Mark("¥980 セール〜50% ‖", "http://example.jp/¥/‾"),
                               Folder("−—¢£¬ ～∥－―", {Mark("🙂 ﾃｽﾄ", "a&b<c>")})};
    const std::string bytes = SerializeBookmarks(tree);
    EXPECT_NE(bytes.find("&#165;980 \x83\x5A\x81\x5B\x83\x8B&#12316;50% &#8214;"), std::string::npos);
    EXPECT_NE(bytes.find("http://example.jp/&#165;/&#8254;"), std::string::npos);
    EXPECT_NE(bytes.find("&#128578; \xC3\xBD\xC4"), std::string::npos) << "emoji as reference, kana as CP932";
    EXPECT_EQ(ParseBookmarks(bytes), tree);
    EXPECT_EQ(SerializeBookmarks(ParseBookmarks(bytes)), bytes);
}

// A file that is valid XML in another encoding than it declares is read in
// the one it has, when that is plain: UTF-8, with or without a mark.
TEST_F(BookmarkStoreTest, Utf8DeclaringShiftJisIsReadAsUtf8)
{
    const std::string body =
        "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<bookmark><file><name>日本語</name>"
        "<url>http://例え.jp/</url></file></bookmark>";
    const BookmarkTree expected = {Mark("日本語", "http://例え.jp/")};
    EXPECT_EQ(ParseBookmarks(body), expected);
    EXPECT_EQ(ParseBookmarks("\xEF\xBB\xBF" + body), expected);
}

// One internal entity referenced 5 000 times: refused at once, not
// expanded into a 100 MB caption; the reader says why and where.
TEST_F(BookmarkStoreTest, EntityAmplificationIsRefused)
{
    std::string file = "<?xml version=\"1.0\"?>\n<!DOCTYPE bookmark [<!ENTITY big \"" +
                       std::string(20000, 'x') + "\">]>\n<bookmark><file><name>";
    for (int i = 0; i < 5000; ++i) {
        file += "&big;";
    }
    file += "</name><url>u</url></file></bookmark>";
    BookmarkFault fault;
    EXPECT_EQ(ParseBookmarkFile(file, &fault), std::nullopt);
    EXPECT_EQ(fault.line, 2);
    EXPECT_EQ(fault.reason, msg::ReasonEntities);

    // Nested entities (the "billion laughs") stop inside the parser.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE bookmark [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" + std::string() + [&] {
            std::string refs;
            for (int k = 0; k < 10; ++k) {
                refs += "&l" + std::to_string(i - 1) + ";";
            }
            return refs;
        }() + "\">";
    }
    laughs += "]><bookmark><file><name>&l9;</name><url>u</url></file></bookmark>";
    EXPECT_EQ(ParseBookmarkFile(laughs), std::nullopt);
}

TEST_F(BookmarkStoreTest, AFileLeftInTheGeckoFolderIsMovedOnceIntoTheDataFolder)
{
    test::TempFolder gecko;
    gecko.Write("bookmark.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<bookmark>"
                                "<file><name>A</name><url>U</url></file></bookmark>");
    const std::string message = AdoptBookmarkFile(DataFolder(), gecko.Path());
    EXPECT_EQ(message, "ブックマークのファイル " + gecko.File("bookmark.xml") + " を " +
                           folder.File("BookMark.xml") + " に移しました。これからはこのファイルを使います");
    EXPECT_TRUE(gecko.Names().empty());
    EXPECT_EQ(ReadBookmarks(), (BookmarkTree{Mark("A", "U")}));
    // Never over a file the data folder has, nor from the data folder itself.
    gecko.Write("BOOKMARK.XML", "other");
    EXPECT_EQ(AdoptBookmarkFile(DataFolder(), gecko.Path()), "");
    EXPECT_EQ(AdoptBookmarkFile(DataFolder(), folder.Path() + "/."), "");
    EXPECT_EQ(AdoptBookmarkFile(DataFolder(), ""), "");
    EXPECT_EQ(gecko.Read("BOOKMARK.XML"), "other");
    EXPECT_EQ(Files(), std::vector<std::string>{"BookMark.xml"});
}

} // namespace
} // namespace orvex
