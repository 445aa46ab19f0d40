#include "core/Settings.h"

#include "core/ColorText.h"
#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/ProfileFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using orvex::ParseLenientInt;
using orvex::SettingsFile;
using orvex::test::TempFolder;
namespace keys = orvex::keys;

namespace {

TEST(ParseLenientInt, AcceptsDecimalWithSignWithinRange)
{
    EXPECT_EQ(ParseLenientInt("0"), 0);
    EXPECT_EQ(ParseLenientInt("-1"), -1);
    EXPECT_EQ(ParseLenientInt("+5"), 5);
    EXPECT_EQ(ParseLenientInt(" 12"), 12);
    EXPECT_EQ(ParseLenientInt("\t 007"), 7);
    EXPECT_EQ(ParseLenientInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseLenientInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseLenientInt("0000000000000000042"), 42);

    EXPECT_EQ(ParseLenientInt("2147483648"), std::nullopt);
    EXPECT_EQ(ParseLenientInt("-2147483649"), std::nullopt);
    EXPECT_EQ(ParseLenientInt("99999999999999999999"), std::nullopt);
}

TEST(ParseLenientInt, AcceptsHexPrefixesAsA32BitPattern)
{
    EXPECT_EQ(ParseLenientInt("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseLenientInt("$ffffffff"), -1);
    EXPECT_EQ(ParseLenientInt("$80000000"), INT32_MIN);
    EXPECT_EQ(ParseLenientInt("0x10"), 16);
    EXPECT_EQ(ParseLenientInt("0X1f"), 31);
    EXPECT_EQ(ParseLenientInt("x1F"), 31);
    EXPECT_EQ(ParseLenientInt("X1"), 1);
    EXPECT_EQ(ParseLenientInt("$00FF8000"), 0x00FF8000);
    EXPECT_EQ(ParseLenientInt("  $A"), 10);

    EXPECT_EQ(ParseLenientInt("$123456789"), std::nullopt); // nine digits
    EXPECT_EQ(ParseLenientInt("$"), std::nullopt);
    EXPECT_EQ(ParseLenientInt("0x"), std::nullopt);
    EXPECT_EQ(ParseLenientInt("-$10"), std::nullopt); // no sign before a prefix
    EXPECT_EQ(ParseLenientInt("+0x10"), std::nullopt);
    EXPECT_EQ(ParseLenientInt("$G"), std::nullopt);
}

TEST(ParseLenientInt, RejectsEverythingElse)
{
    for (const char *text : {"", " ", "-", "+", "1a", "12 ", "1 2", "1.0", "yes", "0b1", "--1", "１"}) {
        EXPECT_EQ(ParseLenientInt(text), std::nullopt) << "'" << text << "'";
    }
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { orvex::ClearProfileCache(); }
    std::string Ini() const { return folder.File("config.ini"); }

    TempFolder folder;
    SettingsFile settings{folder.File("config.ini")};
};

TEST_F(SettingsFileTest, MissingFileGivesEveryDefault)
{
    EXPECT_EQ(settings.Read(keys::LastEngine), "IE");
    EXPECT_EQ(settings.Read(keys::LastMojiSize), 2);
    EXPECT_EQ(settings.Read(keys::TabMaxSize), 75);
    EXPECT_EQ(settings.Read(keys::BarJBarSize), 153);
    EXPECT_TRUE(settings.NonZero(keys::BarToolBar));
    EXPECT_FALSE(settings.NonZero(keys::Mozilla));
    EXPECT_EQ(settings.Color(keys::ActivateChColor), 0x80000008u);
    EXPECT_EQ(settings.Color(keys::DeActivateBGColor), 0x8000000Fu);
    EXPECT_FALSE(orvex::FileExists(Ini()));
}

TEST_F(SettingsFileTest, IntegersAreReadLenientlyWithTheReadersDefault)
{
    folder.Write("config.ini", "[N]\r\nHex=$FFFFFFFF\r\nJunk=1a\r\nEmpty=\r\nBig=2147483648\r\n"
                               "Padded=  12  \r\nPlus=+5\r\n");
    EXPECT_EQ(settings.ReadInteger("N", "Hex", 7), -1);
    EXPECT_EQ(settings.ReadInteger("N", "Junk", 7), 7);
    EXPECT_EQ(settings.ReadInteger("N", "Empty", 7), 7);
    EXPECT_EQ(settings.ReadInteger("N", "Big", 7), 7);
    EXPECT_EQ(settings.ReadInteger("N", "Padded", 7), 12); // the file trims values
    EXPECT_EQ(settings.ReadInteger("N", "Plus", 7), 5);
    EXPECT_EQ(settings.ReadInteger("N", "Missing", 7), 7);

    settings.WriteInteger("N", "Neg", -42);
    settings.WriteInteger("N", "Min", INT32_MIN);
    EXPECT_EQ(settings.ReadString("N", "Neg", ""), "-42");
    EXPECT_EQ(settings.ReadInteger("N", "Min", 0), INT32_MIN);
}

TEST_F(SettingsFileTest, ThreeWaysOfReadingAFlag)
{
    folder.Write("config.ini", "[F]\r\nTwo=2\r\nBig=257\r\nYes=yes\r\nHexOne=0x1\r\nZero=0\r\n");
    struct Case {
        const char *key;
        bool nonZero, one, lowByteOne;
    };
    for (const Case &c :
         {Case{"Two", true, false, false}, Case{"Big", true, false, true}, Case{"Yes", true, false, false},
          Case{"HexOne", true, true, true}, Case{"Zero", false, false, false}}) {
        // Non-zero uses the reader's default (1 here) for unreadable values.
        EXPECT_EQ(settings.ReadFlagNonZero("F", c.key, 1), c.nonZero) << c.key;
        EXPECT_EQ(settings.ReadFlagOne("F", c.key), c.one) << c.key;
        EXPECT_EQ(settings.ReadFlagLowByteOne("F", c.key), c.lowByteOne) << c.key;
    }
    EXPECT_FALSE(settings.ReadFlagNonZero("F", "Yes", 0));

    settings.WriteBool("F", "Two", true);
    settings.WriteBool("F", "Zero", false);
    EXPECT_EQ(settings.ReadString("F", "Two", ""), "1");
    EXPECT_EQ(settings.ReadString("F", "Zero", ""), "0");
}

TEST_F(SettingsFileTest, SameKeyInTwoSectionsStaysIndependent)
{
    settings.WriteFlag(keys::WindowAddressBar, true);
    settings.WriteFlag(keys::BarAddressBar, false);
    EXPECT_TRUE(settings.NonZero(keys::WindowAddressBar));
    EXPECT_FALSE(settings.NonZero(keys::BarAddressBar));
    EXPECT_EQ(folder.Read("config.ini"), "[Option_Window]\r\nAddressBar=1\r\n[Bar]\r\nAddressBar=0\r\n");
}

TEST_F(SettingsFileTest, ColoursRoundTripAndInvalidTextThrows)
{
    settings.WriteColor(keys::ActivateChColor, 0x00FF8000);
    settings.WriteColor(keys::ActivateBGColor, 0x8000000F);
    EXPECT_EQ(settings.Read(keys::ActivateChColor), "$00FF8000");
    EXPECT_EQ(settings.Read(keys::ActivateBGColor), "clBtnFace");
    EXPECT_EQ(settings.Color(keys::ActivateChColor), 0x00FF8000u);
    EXPECT_EQ(settings.Color(keys::ActivateBGColor), 0x8000000Fu);

    settings.Write(keys::DeActivateChColor, "CLRED");
    EXPECT_EQ(settings.Color(keys::DeActivateChColor), 0x000000FFu);

    settings.Write(keys::DeActivateBGColor, "reddish");
    try {
        settings.Color(keys::DeActivateBGColor);
        FAIL() << "no error for an invalid colour";
    } catch (const orvex::Error &e) {
        EXPECT_STREQ(e.what(), "'reddish' は整数ではありません");
    }
    // A stored empty value is not the default: it is invalid as well.
    settings.Write(keys::DeActivateBGColor, "");
    EXPECT_THROW(settings.Color(keys::DeActivateBGColor), orvex::Error);
}

TEST_F(SettingsFileTest, WriteFailureThrowsWithThePathAndKeepsEarlierKeys)
{
    settings.WriteInteger("S", "Before", 1);
    ASSERT_EQ(chmod(Ini().c_str(), 0444), 0);
    try {
        settings.WriteInteger("S", "After", 2);
        FAIL() << "no error for a read-only file";
    } catch (const orvex::Error &e) {
        EXPECT_EQ(std::string(e.what()), Ini() + " に書き込めません");
    }
    EXPECT_EQ(settings.ReadInteger("S", "Before", 0), 1);
    EXPECT_EQ(settings.ReadInteger("S", "After", 0), 0);
}

TEST_F(SettingsFileTest, ReadOnlyFolderMakesWriteThrow)
{
    ASSERT_EQ(chmod(folder.Path().c_str(), 0555), 0);
    const std::string expected = Ini() + " に書き込めません";
    // As an unprivileged user, for whom the folder's permissions hold.
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
                _exit(2);
            }
            try {
                settings.WriteBool("S", "K", true);
            } catch (const orvex::Error &e) {
                _exit(e.what() == expected ? 0 : 3);
            }
            _exit(1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(orvex::FileExists(Ini()));
}

} // namespace
