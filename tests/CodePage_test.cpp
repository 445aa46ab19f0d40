#include "platform/CodePage.h"

#include <gtest/gtest.h>

using namespace orvex;

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::string ToCp932(const std::string &utf8)
{
    std::string out;
    EXPECT_TRUE(Utf8ToCp932(utf8, out)) << utf8;
    return out;
}

TEST(CodePage, Cp932RoundTripsIncludingWindowsOnlyCharacters)
{
    struct Case {
        const char *utf8;
        const char *cp932;
    };
    for (const Case &c :
         {Case{"テスト", "\x83\x65\x83\x58\x83\x67"}, Case{"～", "\x81\x60"}, // U+FF5E, Windows' mapping
          Case{"①", "\x87\x40"},                                              // NEC special character
          Case{"ｱ", "\xB1"},                                                  // half-width katakana
          Case{"C:\\a~b", "C:\\a~b"},                                         // ASCII stays ASCII
          Case{"髙", "\xFB\xFC"}}) {                                          // IBM extension
        EXPECT_EQ(ToCp932(c.utf8), c.cp932) << c.utf8;
        EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.utf8;
    }
}

TEST(CodePage, CharactersWithoutACp932FormAreRefused)
{
    std::string out;
    EXPECT_FALSE(Utf8ToCp932("🙂", out));
    EXPECT_FALSE(Utf8ToCp932("abc 한국어", out));
    EXPECT_FALSE(Utf8ToCp932("\xFF", out)); // not UTF-8 at all
}

TEST(CodePage, UndefinedCp932BytesBecomeReplacementCharacters)
{
    EXPECT_EQ(Cp932ToUtf8("a\x80z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Cp932ToUtf8("a\x82"), "a\xEF\xBF\xBD"); // lead byte cut off at the end
    EXPECT_EQ(Cp932ToUtf8("\x82\xA0\xFF\x82\xA2"), "あ\xEF\xBF\xBDい");
}

TEST(CodePage, Utf8Validation)
{
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("日本語🙂"));
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));         // overlong
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));     // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // past U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE3\x81"));         // cut short
    EXPECT_FALSE(IsValidUtf8("\x83\x65"));         // CP932 "テ"
}

TEST(CodePage, FileTextIsCp932UnlessThatWouldLoseSomething)
{
    EXPECT_EQ(EncodeFileText("abc"), "abc");
    EXPECT_EQ(EncodeFileText("～①"), "\x81\x60\x87\x40");
    EXPECT_EQ(EncodeFileText("a🙂"), kBom + "a🙂");
    // "ﾃｽ" in CP932 is C3 BD, which is also valid UTF-8 ("ý"): marked UTF-8.
    EXPECT_EQ(EncodeFileText("ﾃｽ"), kBom + "ﾃｽ");

    for (const std::string text : {"abc\r\n", "～①\r\nテスト", "a🙂", "ﾃｽ", "ｱｲｳ", ""}) {
        EXPECT_EQ(DecodeFileText(EncodeFileText(text)), text) << text;
    }
}

TEST(CodePage, ReadingTakesMarkThenUtf8ThenCp932)
{
    EXPECT_EQ(DecodeFileText(kBom + "テスト"), "テスト");
    EXPECT_EQ(DecodeFileText("テスト"), "テスト");
    EXPECT_EQ(DecodeFileText("\x83\x65\x83\x58\x83\x67"), "テスト");
    EXPECT_EQ(DecodeFileText(kBom), "");
    EXPECT_EQ(DecodeFileText(kBom + "a\x83\x65"), "a\xEF\xBF\xBD"
                                                  "e"); // marked, yet not UTF-8
}

} // namespace
