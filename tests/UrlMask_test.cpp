#include "core/UrlMask.h"

#include "core/Errors.h"

#include <gtest/gtest.h>

using orvex::MatchesURLMask;

namespace {

std::string MaskError(const std::string &mask)
{
    try {
        MatchesURLMask("anything", mask);
    } catch (const orvex::Error &e) {
        return e.what();
    }
    return "(no error)";
}

TEST(UrlMask, StarAndQuestionMark)
{
    EXPECT_TRUE(MatchesURLMask("http://ad.doubleclick.net/x", "*doubleclick*"));
    EXPECT_TRUE(MatchesURLMask("http://AD.DoubleClick.NET/x", "*doubleclick*"));
    EXPECT_FALSE(MatchesURLMask("http://example.com/", "*doubleclick*"));
    EXPECT_TRUE(MatchesURLMask("", "*"));
    EXPECT_TRUE(MatchesURLMask("", "**"));
    EXPECT_TRUE(MatchesURLMask("", ""));
    EXPECT_FALSE(MatchesURLMask("a", ""));

    EXPECT_TRUE(MatchesURLMask("ab", "a?"));
    EXPECT_FALSE(MatchesURLMask("a", "a?")); // "?" needs a character
    EXPECT_FALSE(MatchesURLMask("abc", "a?"));
    EXPECT_TRUE(MatchesURLMask("abc", "a*c"));
    EXPECT_TRUE(MatchesURLMask("ac", "a*c"));
    EXPECT_TRUE(MatchesURLMask("abcbc", "*bc"));
    EXPECT_TRUE(MatchesURLMask("aXbXc", "a*b*c"));
    EXPECT_FALSE(MatchesURLMask("aXbXcX", "a*b*c"));
    EXPECT_TRUE(MatchesURLMask("mississippi", "m*iss*ppi"));
    EXPECT_FALSE(MatchesURLMask("mississippi", "m*iss*ppx"));
}

TEST(UrlMask, WholeAddressMustMatch)
{
    EXPECT_FALSE(MatchesURLMask("http://example.com/ad", "example.com"));
    EXPECT_FALSE(MatchesURLMask("http://example.com/ad", "http://example.com"));
    EXPECT_TRUE(MatchesURLMask("http://example.com/ad", "http://example.com/ad"));
    EXPECT_TRUE(MatchesURLMask("HTTP://EXAMPLE.COM/AD", "http://example.com/ad"));
}

TEST(UrlMask, SetsRangesAndNegation)
{
    EXPECT_TRUE(MatchesURLMask("ad1.com", "ad[0-9].com"));
    EXPECT_FALSE(MatchesURLMask("adx.com", "ad[0-9].com"));
    EXPECT_TRUE(MatchesURLMask("adx.com", "ad[!0-9].com"));
    EXPECT_FALSE(MatchesURLMask("ad5.com", "ad[!0-9].com"));
    EXPECT_TRUE(MatchesURLMask("b", "[abc]"));
    EXPECT_TRUE(MatchesURLMask("B", "[abc]")); // letters in any case
    EXPECT_TRUE(MatchesURLMask("q", "[A-Z]"));
    EXPECT_FALSE(MatchesURLMask("q", "[!A-Z]"));
    EXPECT_TRUE(MatchesURLMask("-", "[-a]")); // a leading hyphen is itself
    EXPECT_TRUE(MatchesURLMask("*", "[*?]")); // no wildcards inside a set
    EXPECT_FALSE(MatchesURLMask("x", "[*?]"));
    EXPECT_TRUE(MatchesURLMask("a]", "a]")); // a lone "]" is an ordinary character
    EXPECT_FALSE(MatchesURLMask("a", "[]")); // the empty set matches nothing
    EXPECT_TRUE(MatchesURLMask("a", "[!]"));
    EXPECT_FALSE(MatchesURLMask("m", "[z-a]"));
    EXPECT_FALSE(MatchesURLMask("", "[a-z]")); // a set needs a character
}

TEST(UrlMask, MultiByteCharactersCountAsOne)
{
    EXPECT_TRUE(MatchesURLMask("http://例え.jp/", "http://??.jp/"));
    EXPECT_FALSE(MatchesURLMask("http://例え.jp/", "http://?.jp/"));
    EXPECT_TRUE(MatchesURLMask("あ", "[ぁ-ん]"));
    EXPECT_FALSE(MatchesURLMask("ア", "[ぁ-ん]"));
    EXPECT_TRUE(MatchesURLMask("ア", "[!ぁ-ん]"));
    EXPECT_TRUE(MatchesURLMask("x🙂y", "x?y"));
}

TEST(UrlMask, MalformedMaskNamesMaskAndPosition)
{
    EXPECT_EQ(MaskError("*.ad[abc"), "5 番目の文字（'*.ad[abc'）は正しくないマスク文字です");
    EXPECT_EQ(MaskError("["), "1 番目の文字（'['）は正しくないマスク文字です");
    EXPECT_EQ(MaskError("[!"), "1 番目の文字（'[!'）は正しくないマスク文字です");
    EXPECT_EQ(MaskError("ab[a-]"), "6 番目の文字（'ab[a-]'）は正しくないマスク文字です");
    EXPECT_EQ(MaskError("ab[a-"), "3 番目の文字（'ab[a-'）は正しくないマスク文字です");
    // Positions count characters, not bytes.
    EXPECT_EQ(MaskError("広告[x"), "3 番目の文字（'広告[x'）は正しくないマスク文字です");
    // A mask holding the message's own placeholders is shown as it is.
    EXPECT_EQ(MaskError("%1:d[%0:s"), "5 番目の文字（'%1:d[%0:s'）は正しくないマスク文字です");
    // A malformed mask fails even when the address is empty.
    EXPECT_THROW(MatchesURLMask("", "[a"), orvex::Error);
}

TEST(UrlMask, HostileMaskStaysPolynomial)
{
    std::string mask;
    for (int i = 0; i < 30; ++i) {
        mask += "*a";
    }
    mask += "*b";
    const std::string address(10000, 'a');
    EXPECT_FALSE(MatchesURLMask(address, mask));
    EXPECT_TRUE(MatchesURLMask(address + "b", mask));
    EXPECT_FALSE(MatchesURLMask(address, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*?b"));
}

} // namespace

#include "support/MaskReference.h"

#include <random>

namespace {

// Up to `maxLength` pieces of `alphabet`, drawn by `random`.
std::string RandomText(std::mt19937 &random, const std::vector<std::string> &alphabet, size_t maxLength)
{
    std::string text;
    const size_t length = random() % (maxLength + 1);
    for (size_t i = 0; i < length; ++i)
        text += alphabet[random() % alphabet.size()];
    return text;
}

// The piecewise matcher gives the answer of plain backtracking on every
// mask and address of a small alphabet (stars, sets, ranges, case, UTF-8).
TEST(UrlMask, SameAnswersAsBacktracking)
{
    const std::vector<std::string> alphabet = {"a", "b", "A", "*", "?", "[", "]", "!", "-", "あ", "\xFF"};
    std::mt19937 random(12345);
    const auto make = [&](size_t maxLength) { return RandomText(random, alphabet, maxLength); };
    for (int round = 0; round < 20000; ++round) {
        const std::string mask = make(8);
        const std::string address = make(10);
        const std::vector<uint32_t> m = orvex::test::ReferenceDecode(mask);
        bool thrown = false;
        bool matched = false;
        try {
            matched = MatchesURLMask(address, mask);
        } catch (const orvex::Error &) {
            thrown = true;
        }
        ASSERT_EQ(thrown, !orvex::test::ReferenceMaskValid(m)) << mask;
        if (!thrown) {
            ASSERT_EQ(matched, orvex::test::ReferenceMatch(m, 0, orvex::test::ReferenceDecode(address), 0))
                << mask << " on " << address;
        }
    }
}

} // namespace

namespace {

// A compiled list, which files each mask under a window of plain characters,
// answers as trying every mask would, whatever windows the masks have.
TEST(UrlMask, ListAnswersAsEveryMaskInTurn)
{
    const std::vector<std::string> alphabet = {"a", "b", "A", "*", "?", "[ab]", "あ", "\xFF", "ab", "bab"};
    std::mt19937 random(777);
    const auto make = [&](size_t maxLength) { return RandomText(random, alphabet, maxLength); };
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> masks;
        for (int i = 0; i < 20; ++i) {
            masks.push_back(make(12));
        }
        const orvex::MaskList list(masks);
        for (int check = 0; check < 50; ++check) {
            std::string address = make(24);
            address = address.substr(0, random() % 2 ? address.size() : 0) + masks[random() % masks.size()];
            bool any = false;
            for (const std::string &mask : masks) {
                any = any || MatchesURLMask(address, mask);
            }
            ASSERT_EQ(list.MatchesAny(address), any) << address;
        }
    }
}

} // namespace
