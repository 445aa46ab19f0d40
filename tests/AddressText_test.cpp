// Typed address-box text: address, search or host lookup; the search address.
#include "core/AddressText.h"

#include <gtest/gtest.h>

using namespace orvex;

namespace {

TEST(AddressText, AddressesSearchesAndWordsToLookUp)
{
    for (const char *address : {"http://a b/", "about:blank", "file:///tmp/x.html", "example.com",
                                "www.example.com/a?q=1+2", "localhost:8080/x", "LOCALHOST", "[::1]:80/",
                                "192.168.0.1", "/home/user/page.html", "user@mail.example.org", "  a.b  "})
        EXPECT_EQ(ClassifyTypedText(address).kind, TypedText::Address) << address;
    for (const char *words :
         {"orvex browser", "example.com/a b", "what: is this", "?orvex", "日本 語", "a.b c"})
        EXPECT_EQ(ClassifyTypedText(words).kind, TypedText::Search) << words;
    // A word alone, with a port or a path: the host decides.
    for (const char *word : {"intranet", "intranet:8080", "intranet/wiki", "日本語"})
        EXPECT_EQ(ClassifyTypedText(word).kind, TypedText::HostOrSearch) << word;
    EXPECT_EQ(ClassifyTypedText("intranet:8080/wiki").host, "intranet");
}

TEST(AddressText, SearchAddressEncodesTheWordsAsUtf8)
{
    EXPECT_EQ(SearchAddress("http://s/?q=%s&x=1", " a b&c/日 "), "http://s/?q=a+b%26c%2F%E6%97%A5&x=1");
    EXPECT_EQ(SearchAddress("http://s/search?q=", "x%y"), "http://s/search?q=x%25y");
    EXPECT_EQ(SearchAddress("http://s/%s/%s", "z"), "http://s/z/z");
}

} // namespace
