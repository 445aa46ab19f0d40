#include "core/Errors.h"
#include "core/OtVersInfo.h"
#include "core/ProgramFolder.h"
#include "core/VersionResource.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace orvex;
using orvex::test::TempDir;
using orvex::test::WriteBytes;

namespace {

// Sets the locale variables for one test and restores them afterwards.
class LocaleScope {
public:
    explicit LocaleScope(const char *lcAll)
    {
        for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char *v = std::getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(name);
        }
        if (lcAll)
            setenv("LC_ALL", lcAll, 1);
    }
    ~LocaleScope()
    {
        for (const auto &[name, value] : saved_) {
            if (value)
                setenv(name, value->c_str(), 1);
            else
                unsetenv(name);
        }
    }

private:
    std::vector<std::pair<const char *, std::optional<std::string>>> saved_;
};

std::string VersionFile(const TempDir &dir, const std::string &name, const std::string &image)
{
    const std::string path = dir.Path() + "/" + name;
    WriteBytes(path, image);
    return path;
}

VersionBlockContents EnglishAndJapanese()
{
    VersionBlockContents c;
    c.tables = {{"040904B0", {{"FileVersion", "6.0 en"}, {"CompanyName", "Orvex Inc."}}},
                {"041104B0", {{"FileVersion", "6.0 ja"}, {"CompanyName", "オルヴェクス"}}}};
    c.translations = {{0x0409, 0x04B0}, {0x0411, 0x04B0}};
    return c;
}

std::string Query(const std::string &path, int index)
{
    TOtVersInfo info;
    info.SetFileName(path);
    return info.Value(index);
}

std::string ErrorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const Error &e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace

TEST(OtVersInfo, PicksTheUsersLanguageElseTheFirstEntry)
{
    TempDir dir;
    const std::string pe =
        VersionFile(dir, "engine.exe",
                    test::BuildPeWithResource(kRtVersion, 0x0411, BuildVersionBlock(EnglishAndJapanese())));
    const std::string elf = VersionFile(
        dir, "engine.so", test::BuildElf({{kVersionSectionName, BuildVersionBlock(EnglishAndJapanese())}}));
    {
        LocaleScope japanese("ja_JP.UTF-8");
        EXPECT_EQ(Query(pe, TOtVersInfo::FileVersion), "6.0 ja");
        EXPECT_EQ(Query(elf, TOtVersInfo::CompanyName), "オルヴェクス");
    }
    {
        LocaleScope german("de_DE.UTF-8"); // not in the table of the file: first entry
        EXPECT_EQ(Query(pe, TOtVersInfo::FileVersion), "6.0 en");
        EXPECT_EQ(Query(elf, TOtVersInfo::FileVersion), "6.0 en");
    }

    // Japanese first and only Japanese strings: an English user gets them too.
    VersionBlockContents japaneseFirst = EnglishAndJapanese();
    std::swap(japaneseFirst.translations[0], japaneseFirst.translations[1]);
    const std::string jaFirst =
        VersionFile(dir, "ja.so", test::BuildElf({{kVersionSectionName, BuildVersionBlock(japaneseFirst)}}));
    LocaleScope english("en_US.UTF-8");
    EXPECT_EQ(Query(jaFirst, TOtVersInfo::FileVersion), "6.0 en");
    {
        LocaleScope c("C");
        EXPECT_EQ(Query(jaFirst, TOtVersInfo::FileVersion), "6.0 en");
    }
    LocaleScope korean("ko_KR.UTF-8");
    EXPECT_EQ(Query(jaFirst, TOtVersInfo::FileVersion), "6.0 ja");
}

TEST(OtVersInfo, TextEndsAtTheFirstNul)
{
    TempDir dir;
    VersionBlockContents c;
    c.tables = {{"041104B0", {{"FileVersion", std::string("1.0β7\0junk", 12)}}}};
    c.translations = {{0x0411, 0x04B0}};
    const std::string path =
        VersionFile(dir, "m.so", test::BuildElf({{kVersionSectionName, BuildVersionBlock(c)}}));
    LocaleScope japanese("ja_JP");
    EXPECT_EQ(Query(path, TOtVersInfo::FileVersion), "1.0β7");
}

TEST(OtVersInfo, ErrorsNameTheQuery)
{
    TempDir dir;
    LocaleScope japanese("ja_JP.UTF-8");
    const std::string noSection = VersionFile(dir, "plain.so", test::BuildElf({{".text", "code"}}));
    EXPECT_EQ(ErrorOf([&] { Query(noSection, TOtVersInfo::FileVersion); }),
              "QueryVersionInfo:" + VersionLoadErrorText(VersionLoadError::NoVersionResource));
    const std::string text = VersionFile(dir, "readme.txt", "hello");
    EXPECT_EQ(ErrorOf([&] { Query(text, TOtVersInfo::FileVersion); }),
              "QueryVersionInfo:" + VersionLoadErrorText(VersionLoadError::NoResourceSection));
    EXPECT_EQ(ErrorOf([&] { Query(dir.Path() + "/missing.so", TOtVersInfo::FileVersion); }),
              "QueryVersionInfo:指定されたファイルが見つかりません");

    // The resource is there but lacks the key, or lacks the translation table.
    const std::string noKey = VersionFile(
        dir, "nokey.so", test::BuildElf({{kVersionSectionName, BuildVersionBlock(EnglishAndJapanese())}}));
    EXPECT_EQ(ErrorOf([&] { Query(noKey, TOtVersInfo::InternalName); }),
              "QueryVersionInfo:" + VersionValueNotFoundText());
    VersionBlockContents noTranslation = EnglishAndJapanese();
    noTranslation.translations.clear();
    const std::string noVar = VersionFile(
        dir, "novar.so", test::BuildElf({{kVersionSectionName, BuildVersionBlock(noTranslation)}}));
    EXPECT_EQ(ErrorOf([&] { Query(noVar, TOtVersInfo::FileVersion); }),
              "QueryVersionInfo:" + VersionValueNotFoundText());
}

TEST(OtVersInfo, ResourceIsLoadedOnceAndKept)
{
    TempDir dir;
    LocaleScope japanese("ja_JP.UTF-8");
    const std::string path = VersionFile(
        dir, "m.so", test::BuildElf({{kVersionSectionName, BuildVersionBlock(EnglishAndJapanese())}}));
    TOtVersInfo info;
    info.SetFileName(path);
    EXPECT_EQ(info.Value(TOtVersInfo::FileVersion), "6.0 ja");
    std::filesystem::remove(path);
    info.SetFileName(dir.Path() + "/elsewhere.so"); // not seen once loaded
    EXPECT_EQ(info.Value(TOtVersInfo::CompanyName), "オルヴェクス");
}

TEST(OtVersInfo, DefaultFileNameIsTheProgramItself)
{
    TOtVersInfo info;
    EXPECT_EQ(info.FileName(), std::filesystem::canonical("/proc/self/exe").string());
    EXPECT_FALSE(info.IsFileNameStored());
    info.SetFileName("/usr/bin/../bin/true");
    EXPECT_TRUE(info.IsFileNameStored());
}

TEST(OtVersInfo, LanguageOfTheLocale)
{
    EXPECT_EQ(LangIdFromLocale("ja_JP.UTF-8"), 0x0411);
    EXPECT_EQ(LangIdFromLocale("ja_JP.eucJP@euro"), 0x0411);
    EXPECT_EQ(LangIdFromLocale("en_US"), 0x0409);
    EXPECT_EQ(LangIdFromLocale("en_GB.UTF-8"), 0x0809);
    EXPECT_EQ(LangIdFromLocale("en_IE.UTF-8"), 0x0409); // territory not listed: the language's own
    EXPECT_EQ(LangIdFromLocale("zh_TW"), 0x0404);
    EXPECT_EQ(LangIdFromLocale("xx_YY"), 0);
    {
        LocaleScope none(nullptr);
        EXPECT_EQ(UserDefaultLangID(), 0x0409);
        setenv("LANG", "ja_JP.UTF-8", 1);
        EXPECT_EQ(UserDefaultLangID(), 0x0411);
        setenv("LC_MESSAGES", "fr_FR.UTF-8", 1); // before LANG
        EXPECT_EQ(UserDefaultLangID(), 0x040C);
        setenv("LC_ALL", "POSIX", 1); // before everything
        EXPECT_EQ(UserDefaultLangID(), 0x0409);
    }
}

TEST(LongFullPathName, ResolvesDotsAndTakesTheNamesOnDisk)
{
    TempDir dir;
    const std::string root = std::filesystem::canonical(dir.Path()).string();
    std::filesystem::create_directories(root + "/Program Files/Orvex");
    WriteBytes(root + "/Program Files/Orvex/IExplore.so", "x");

    EXPECT_EQ(LongFullPathName(root + "/program files/./ORVEX/../orvex/iexplore.SO"),
              root + "/Program Files/Orvex/IExplore.so");
    // A missing last part stays as written; the parts above it still convert.
    EXPECT_EQ(LongFullPathName(root + "/PROGRAM FILES//orvex/mozctl.so"),
              root + "/Program Files/Orvex/mozctl.so");
    // Below a missing folder nothing more can be looked up.
    EXPECT_EQ(LongFullPathName(root + "/nowhere/PROGRAM FILES"), root + "/nowhere/PROGRAM FILES");
    // An exact name wins over a case-insensitive one.
    std::filesystem::create_directories(root + "/Program Files/orvex");
    EXPECT_EQ(LongFullPathName(root + "/program files/orvex"), root + "/Program Files/orvex");
    EXPECT_EQ(LongFullPathName(root + "/program files/ORVEX"), root + "/Program Files/Orvex");

    // Relative names start at the working directory; ".." never climbs above "/".
    const std::string saved = std::filesystem::current_path().string();
    std::filesystem::current_path(root + "/Program Files");
    EXPECT_EQ(LongFullPathName("orvex/../Orvex/iexplore.so"), root + "/Program Files/Orvex/IExplore.so");
    std::filesystem::current_path(saved);
    EXPECT_EQ(LongFullPathName("/../../tmp/."), "/tmp");
    EXPECT_EQ(LongFullPathName("/"), "/");
}

TEST(LongFullPathName, NamesThatCannotBeExpanded)
{
    EXPECT_EQ(ErrorOf([] { LongFullPathName(""); }),
              "GetFullPathName:ファイル名、ディレクトリ名、またはボリューム ラベルの構文が間違っています");
    EXPECT_EQ(ErrorOf([] { LongFullPathName(std::string("a\0b", 3)); }).rfind("GetFullPathName:", 0), 0u);
}

// The engine modules carry the block the build embeds; checked when the
// engines were built into this tree.
TEST(OtVersInfo, BuiltEngineModulesCarryTheirVersion)
{
    // The modules sit beside the test programs unless ORVEX_BIN_DIR says otherwise.
    const char *env = std::getenv("ORVEX_BIN_DIR");
    const std::string bin = env ? std::string(env) + "/" : orvex::ProgramFolder();
    int checked = 0;
    for (const char *module : {"iexplore.so", "mozctl.so"}) {
        const std::string path = bin + module;
        if (!std::filesystem::exists(path))
            continue;
        LocaleScope japanese("ja_JP.UTF-8");
        TOtVersInfo info;
        info.SetFileName(path);
        EXPECT_TRUE(ParseDottedVersion(info.Value(TOtVersInfo::FileVersion))) << path;
        EXPECT_EQ(info.Value(TOtVersInfo::CompanyName), "Orvex");
        EXPECT_EQ(info.Value(TOtVersInfo::OriginalFilename), module);
        ++checked;
    }
    if (checked == 0)
        GTEST_SKIP() << "engine modules not built";
}
