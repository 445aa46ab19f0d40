#include "core/VersionResource.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <random>

using namespace orvex;
using orvex::test::BuildElf;
using orvex::test::BuildPeWithoutResources;
using orvex::test::BuildPeWithResource;

namespace {

VersionBlockContents TwoLanguages()
{
    VersionBlockContents c;
    c.fixedVersion = std::array<uint16_t, 4>{6, 0, 2900, 5512};
    c.tables = {{"040904B0", {{"FileVersion", "6.0 (en)"}, {"CompanyName", "Orvex"}}},
                {"041104B0", {{"FileVersion", "6.0 (ja)"}, {"FileDescription", "閲覧エンジン"}}}};
    c.translations = {{0x0409, 0x04B0}, {0x0411, 0x04B0}};
    return c;
}

std::string Text(const std::optional<VersionValue> &v)
{
    return v ? Utf16TextToUtf8(v->bytes) : "<none>";
}

} // namespace

TEST(VersionBlock, QueriesStringsTranslationAndFixedInfo)
{
    const std::string block = BuildVersionBlock(TwoLanguages());
    ASSERT_EQ(block.size() % 4, 0u);
    EXPECT_EQ(static_cast<uint8_t>(block[0]) | (static_cast<uint8_t>(block[1]) << 8),
              static_cast<int>(block.size())); // wLength of the root

    EXPECT_EQ(Text(QueryVersionValue(block, "\\StringFileInfo\\041104B0\\FileVersion")), "6.0 (ja)");
    EXPECT_EQ(Text(QueryVersionValue(block, "\\StringFileInfo\\040904B0\\FileVersion")), "6.0 (en)");
    EXPECT_EQ(Text(QueryVersionValue(block, "\\StringFileInfo\\041104B0\\FileDescription")), "閲覧エンジン");
    // Keys match without regard to case, as VerQueryValue does.
    EXPECT_EQ(Text(QueryVersionValue(block, "\\stringfileinfo\\041104b0\\fileversion")), "6.0 (ja)");
    EXPECT_FALSE(QueryVersionValue(block, "\\StringFileInfo\\041104B0\\CompanyName"));
    EXPECT_FALSE(QueryVersionValue(block, "\\StringFileInfo\\041204B0\\FileVersion"));

    auto translation = QueryVersionValue(block, "\\VarFileInfo\\Translation");
    ASSERT_TRUE(translation);
    EXPECT_FALSE(translation->isText);
    EXPECT_EQ(translation->bytes, std::string("\x09\x04\xB0\x04\x11\x04\xB0\x04", 8));
    auto entries = ParseTranslations(translation->bytes);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1], (std::pair<uint16_t, uint16_t>(0x0411, 0x04B0)));

    auto fixed = QueryVersionValue(block, "\\");
    ASSERT_TRUE(fixed);
    ASSERT_EQ(fixed->bytes.size(), 52u);
    EXPECT_EQ(fixed->bytes.substr(0, 4), std::string("\xBD\x04\xEF\xFE", 4));
    EXPECT_EQ(fixed->bytes.substr(8, 8), std::string("\x00\x00\x06\x00\x88\x15\x54\x0B",
                                                     8)); // 6.0.2900.5512: MS then LS, low word first
}

TEST(VersionBlock, FoundInPeResourcesAndElfSections)
{
    const std::string block = BuildVersionBlock(TwoLanguages());
    VersionLoadError why = VersionLoadError::NoResourceSection;

    auto fromPe = FindVersionBlock(BuildPeWithResource(kRtVersion, 0x0411, block), &why);
    ASSERT_TRUE(fromPe);
    EXPECT_EQ(*fromPe, block);
    EXPECT_EQ(why, VersionLoadError::None);

    // The section may be padded after the block; the block alone comes back.
    auto fromElf = FindVersionBlock(
        BuildElf({{".text", "\x90\x90"}, {kVersionSectionName, block + std::string(12, '\0')}}));
    ASSERT_TRUE(fromElf);
    EXPECT_EQ(*fromElf, block);

    auto fromElf32 = FindVersionBlock(BuildElf({{kVersionSectionName, block}}, false));
    ASSERT_TRUE(fromElf32);
    EXPECT_EQ(*fromElf32, block);
}

TEST(VersionBlock, FilesWithoutAVersionResource)
{
    const std::string block = BuildVersionBlock(TwoLanguages());
    VersionLoadError why = VersionLoadError::None;

    EXPECT_FALSE(FindVersionBlock(BuildPeWithResource(3 /* RT_ICON */, 0x0411, block), &why));
    EXPECT_EQ(why, VersionLoadError::NoVersionResource);
    EXPECT_FALSE(FindVersionBlock(BuildPeWithoutResources(), &why));
    EXPECT_EQ(why, VersionLoadError::NoResourceSection);
    EXPECT_FALSE(FindVersionBlock(BuildElf({{".text", "code"}}), &why));
    EXPECT_EQ(why, VersionLoadError::NoVersionResource);
    EXPECT_FALSE(FindVersionBlock("plain text, not an executable", &why));
    EXPECT_EQ(why, VersionLoadError::NoResourceSection);
    // A section of the right name holding something else is no version resource.
    EXPECT_FALSE(FindVersionBlock(
        BuildElf({{kVersionSectionName, std::string("\x20\x00\x00\x00\x00\x00", 6) + std::string(26, 'x')}}),
        &why));
    EXPECT_EQ(why, VersionLoadError::NoVersionResource);
}

// Damaged files must read as "not found" (or as a block within the data),
// never past the end of the buffer; AddressSanitizer or valgrind would see it.
TEST(VersionBlock, DamagedImagesAreReadSafely)
{
    const std::string block = BuildVersionBlock(TwoLanguages());
    const std::vector<std::string> images = {BuildPeWithResource(kRtVersion, 0x0411, block),
                                             BuildElf({{kVersionSectionName, block}})};
    std::mt19937 random(12345);
    for (const std::string &image : images) {
        for (size_t cut = 0; cut < image.size(); cut += 7) {
            const std::string truncated = image.substr(0, cut);
            auto found = FindVersionBlock(truncated);
            if (found) {
                EXPECT_LE(found->size(), truncated.size());
            }
        }
        for (int round = 0; round < 3000; ++round) {
            std::string damaged = image;
            for (int k = 0; k < 4; ++k)
                damaged[random() % damaged.size()] = static_cast<char>(random());
            if (auto found = FindVersionBlock(damaged)) {
                EXPECT_LE(found->size(), damaged.size());
                QueryVersionValue(*found, "\\VarFileInfo\\Translation");
                QueryVersionValue(*found, "\\StringFileInfo\\041104B0\\FileVersion");
            }
        }
    }
    // Blocks whose lengths lie.
    std::string lying = block;
    lying[0] = '\xFF';
    lying[1] = '\x7F';
    EXPECT_FALSE(QueryVersionValue(lying, "\\StringFileInfo\\041104B0\\FileVersion"));
    std::string shortKey = block.substr(0, 10);
    EXPECT_FALSE(QueryVersionValue(shortKey, "\\VarFileInfo\\Translation"));
}

TEST(VersionBlock, TextValuesAndTheirLengths)
{
    VersionBlockContents c;
    c.tables = {{"041104B0", {{"FileVersion", std::string("1.0β7\0\0", 9)}, {"Empty", ""}}}};
    c.translations = {{0x0411, 0x04B0}};
    const std::string block = BuildVersionBlock(c);
    // A stored NUL ends the text.
    EXPECT_EQ(Text(QueryVersionValue(block, "\\StringFileInfo\\041104B0\\FileVersion")), "1.0β7");
    EXPECT_EQ(Text(QueryVersionValue(block, "\\StringFileInfo\\041104B0\\Empty")), "");

    // Characters outside the basic plane survive the round trip.
    EXPECT_EQ(Utf16TextToUtf8(Utf8ToUtf16Le("a😀b")), "a😀b");
    // Malformed UTF-8 becomes U+FFFD instead of being dropped or overrunning.
    EXPECT_EQ(Utf16TextToUtf8(Utf8ToUtf16Le("x\xE3\x81")), "x\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(VersionBlock, DottedVersions)
{
    EXPECT_EQ(ParseDottedVersion("1.2.3.4"), (std::array<uint16_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(ParseDottedVersion("5.15"), (std::array<uint16_t, 4>{5, 15, 0, 0}));
    EXPECT_FALSE(ParseDottedVersion("1.0β7"));
    EXPECT_FALSE(ParseDottedVersion("1..2"));
    EXPECT_FALSE(ParseDottedVersion("1.2.3.4.5"));
    EXPECT_FALSE(ParseDottedVersion("70000"));
    EXPECT_FALSE(ParseDottedVersion(""));
}
