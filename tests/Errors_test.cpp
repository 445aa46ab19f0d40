#include "core/Errors.h"

#include <gtest/gtest.h>

using orvex::ErrorBoxText;
using orvex::FormatMessage;

namespace {

TEST(Errors, FullStopOnlyAfterCharactersSortingAfterIt)
{
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("Access denied"), "Access denied.");
    EXPECT_EQ(ErrorBoxText("done."), "done.");
    EXPECT_EQ(ErrorBoxText("path/"), "path/.");
    EXPECT_EQ(ErrorBoxText("why?"), "why?.");
    EXPECT_EQ(ErrorBoxText("stop!"), "stop!"); // "!" sorts before "."
    EXPECT_EQ(ErrorBoxText("(x)"), "(x)");
    EXPECT_EQ(ErrorBoxText("a-"), "a-");
    EXPECT_EQ(ErrorBoxText("end "), "end ");
    // Japanese text always gets it, whatever its last byte looks like.
    EXPECT_EQ(ErrorBoxText("書き込めません"), "書き込めません.");
    EXPECT_EQ(ErrorBoxText("文字（'x'）"), "文字（'x'）.");
    EXPECT_EQ(ErrorBoxText("🙂"), "🙂.");
    EXPECT_EQ(ErrorBoxText("\xE3\x81"), "\xE3\x81."); // a cut-off character
}

TEST(Errors, FormatReplacesTheFirstPlaceholderOnly)
{
    EXPECT_EQ(FormatMessage(orvex::msg::CannotWriteSettings, "/opt/orvex/config.ini"),
              "/opt/orvex/config.ini に書き込めません");
    EXPECT_EQ(FormatMessage("%s and %s", "%s"), "%s and %s");
    EXPECT_EQ(FormatMessage("no placeholder", "x"), "no placeholder");
    // Several in one pass: a path holding "%s" is not taken for a placeholder;
    // arguments beyond the placeholders are left out.
    EXPECT_EQ(FormatMessage("%s (%s)", {"/tmp/%s.so", "5"}), "/tmp/%s.so (5)");
    EXPECT_EQ(FormatMessage("%s", {"a", "b"}), "a");
}

} // namespace
