#include "core/ColorText.h"

#include <gtest/gtest.h>
#include <set>

using orvex::ColorToRgb;
using orvex::ColorToString;
using orvex::StringToColor;

namespace {

TEST(ColorText, EveryNameRoundTripsToADistinctValue)
{
    const char *names[] = {"clBlack",        "clMaroon",      "clGreen",         "clOlive",
                           "clNavy",         "clPurple",      "clTeal",          "clGray",
                           "clSilver",       "clRed",         "clLime",          "clYellow",
                           "clBlue",         "clFuchsia",     "clAqua",          "clWhite",
                           "clScrollBar",    "clBackground",  "clActiveCaption", "clInactiveCaption",
                           "clMenu",         "clWindow",      "clWindowFrame",   "clMenuText",
                           "clWindowText",   "clCaptionText", "clActiveBorder",  "clInactiveBorder",
                           "clAppWorkSpace", "clHighlight",   "clHighlightText", "clBtnFace",
                           "clBtnShadow",    "clGrayText",    "clBtnText",       "clInactiveCaptionText",
                           "clBtnHighlight", "cl3DDkShadow",  "cl3DLight",       "clInfoText",
                           "clInfoBk",       "clNone"};
    std::set<uint32_t> values;
    for (const char *name : names) {
        const auto value = StringToColor(name);
        ASSERT_TRUE(value) << name;
        EXPECT_EQ(ColorToString(*value), name);
        values.insert(*value);
    }
    EXPECT_EQ(values.size(), 42u);
}

TEST(ColorText, NamesAndNumbersReadInAnyCase)
{
    EXPECT_EQ(StringToColor("clRed"), 0x000000FFu);
    EXPECT_EQ(StringToColor("CLRED"), 0x000000FFu);
    EXPECT_EQ(StringToColor("clwindowtext"), 0x80000008u);
    EXPECT_EQ(StringToColor("cl3ddkshadow"), 0x80000015u);
    EXPECT_EQ(StringToColor("clnone"), orvex::clNone);
    EXPECT_EQ(StringToColor("$00FF8000"), 0x00FF8000u);
    EXPECT_EQ(StringToColor("$00ff8000"), 0x00FF8000u);
    EXPECT_EQ(StringToColor("255"), 0x000000FFu);
    EXPECT_EQ(StringToColor("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(StringToColor("0x80000005"), 0x80000005u);

    EXPECT_EQ(StringToColor(""), std::nullopt);
    EXPECT_EQ(StringToColor("red"), std::nullopt);
    EXPECT_EQ(StringToColor("clRed "), std::nullopt);
    EXPECT_EQ(StringToColor("$100000000"), std::nullopt);
}

TEST(ColorText, UnnamedColoursAreWrittenAsEightUpperCaseHexDigits)
{
    EXPECT_EQ(ColorToString(0x00FF8000), "$00FF8000"); // red 00, green 80, blue FF
    EXPECT_EQ(ColorToString(0x00000001), "$00000001");
    EXPECT_EQ(ColorToString(0xFFFFFFFF), "$FFFFFFFF");
    EXPECT_EQ(ColorToString(0x80000019), "$80000019"); // past the system colours
    EXPECT_EQ(ColorToString(0x00C0C0C0), "clSilver");
    for (uint32_t c : {0x00123456u, 0x00ABCDEFu, 0x8000FFFFu}) {
        EXPECT_EQ(StringToColor(ColorToString(c)), c);
    }
}

TEST(ColorText, RgbSwapsPlainColoursAndMapsSystemColours)
{
    EXPECT_EQ(ColorToRgb(0x000000FF), 0xFF0000u); // clRed
    EXPECT_EQ(ColorToRgb(0x00FF8000), 0x0080FFu);
    EXPECT_EQ(ColorToRgb(0x00FF0000), 0x0000FFu); // clBlue
    EXPECT_EQ(ColorToRgb(0x80000008), 0x000000u); // clWindowText
    EXPECT_EQ(ColorToRgb(0x8000000F), 0xD4D0C8u); // clBtnFace
    EXPECT_EQ(ColorToRgb(0x80000005), 0xFFFFFFu); // clWindow
    EXPECT_EQ(ColorToRgb(0x80000018), 0xFFFFE1u); // clInfoBk
    EXPECT_EQ(ColorToRgb(0x80000019), 0x000000u); // unknown system colour
    EXPECT_EQ(ColorToRgb(orvex::clNone), 0xFFFFFFu);
}

} // namespace
