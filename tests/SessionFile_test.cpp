// session.txt: its form, and text of another form refused.
#include "core/SessionFile.h"

#include <gtest/gtest.h>

using namespace orvex;

namespace {

TEST(SessionFile, RoundTripsAndRefusesOtherText)
{
    Session session;
    session.addresses = {"http://a/", "", "http://b/\r\nended=1", "file:///tmp/日本.html"};
    const std::string text = FormatSession(session);
    EXPECT_EQ(text, "ended=0\r\nhttp://a/\r\nfile:///tmp/日本.html\r\n") << "empty and broken lines left out";
    const std::optional<Session> back = ParseSession("ended=1\nhttp://a/\n\nhttp://c/");
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->ended);
    EXPECT_EQ(back->addresses, (std::vector<std::string>{"http://a/", "http://c/"}));
    for (const char *other : {"", "ended=2\r\n", "[General]\r\nended=1\r\n"})
        EXPECT_FALSE(ParseSession(other)) << other;
}

} // namespace
