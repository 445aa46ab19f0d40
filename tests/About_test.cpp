#include "dialogs/About.h"

#include "core/ProgramFolder.h"
#include "core/VersionResource.h"
#include "support/FakeUi.h"
#include "support/QtApp.h"
#include "support/TempFolder.h"
#include "support/TestImages.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cstdlib>

namespace orvex {
namespace {

std::string EngineModule(const std::string &fileVersion)
{
    VersionBlockContents c;
    c.tables = {{"041104B0", {{"FileVersion", fileVersion}}}, {"040904B0", {{"FileVersion", fileVersion}}}};
    c.translations = {{0x0411, 0x04B0}, {0x0409, 0x04B0}};
    return test::BuildElf({{".text", "code"}, {kVersionSectionName, BuildVersionBlock(c)}});
}

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureQApp();
        SetProgramFolderOverride(dir.Path() + "/");
        setenv("LC_ALL", "ja_JP.UTF-8", 1);
        QDir().mkpath(QString::fromStdString(dir.File("gecko")));
    }
    void TearDown() override
    {
        SetProgramFolderOverride("");
        unsetenv("LC_ALL");
    }
    void SetMozPath(const std::string &path)
    {
        dir.Write("config.ini", "[Option_Main]\r\nMozPath=" + path + "\r\n");
    }

    test::TempFolder dir;
    test::FakeUi ui;
};

TEST_F(AboutTest, ShowsBothEngineVersions)
{
    dir.Write("iexplore.so", EngineModule("5.15.8"));
    dir.Write("gecko/mozctl.so", EngineModule("5.212.0"));
    SetMozPath(dir.File("gecko"));
    TAboutBox box(DataFolder());
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(box.Label3->text(), QStringLiteral("Version：5.15.8"));
    EXPECT_EQ(box.Label5->text(), QStringLiteral("Version：5.212.0"));
    EXPECT_EQ(box.Version->text(), QStringLiteral("Version：1.0β7"));
    EXPECT_EQ(box.windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_TRUE(box.OKButton->isDefault());
    EXPECT_EQ(box.size(), QSize(274, 180));
    // The folder in use: here the program folder, a portable copy's own.
    const QString folder = QString::fromStdString(dir.Path() + "/");
    EXPECT_EQ(box.lblDataFolder->text(), QStringLiteral("保存先：") + folder);
    EXPECT_EQ(box.lblDataFolder->toolTip(), folder);
    EXPECT_LE(box.lblDataFolder->geometry().right(), box.Panel1->width());
}

TEST_F(AboutTest, MissingGeckoModuleIsNoError)
{
    dir.Write("iexplore.so", EngineModule("5.15.8"));
    SetMozPath(dir.File("gecko")); // folder without mozctl.so
    TAboutBox box(DataFolder());
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(box.Label5->text(), QStringLiteral("未導入"));

    // MozPath empty: "/mozctl.so" at the root, normally missing.
    SetMozPath("");
    TAboutBox rootBox(DataFolder());
    EXPECT_EQ(rootBox.Label5->text(), QStringLiteral("未導入"));
}

TEST_F(AboutTest, GeckoLineFollowsTheModuleAtEachShowing)
{
    dir.Write("iexplore.so", EngineModule("5.15.8"));
    SetMozPath(dir.File("gecko"));
    TAboutBox box(DataFolder());
    EXPECT_EQ(box.Label4->text(), QStringLiteral("mozctl.so"));
    EXPECT_EQ(box.Label5->text(), QStringLiteral("未導入"));
    // Found where the engine loader finds it: beside the program too.
    dir.Write("mozctl.so", EngineModule("2.50.1"));
    box.show();
    EXPECT_EQ(box.Label5->text(), QStringLiteral("Version：2.50.1"));
    box.hide();
    dir.Write("gecko/mozctl.so", EngineModule("2.50.4"));
    box.show();
    EXPECT_EQ(box.Label5->text(), QStringLiteral("Version：2.50.4"));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(AboutTest, AnErrorSkipsTheRemainingLines)
{
    // No engine module beside the program: both lines keep their designed texts.
    dir.Write("gecko/mozctl.so", EngineModule("5.212.0"));
    SetMozPath(dir.File("gecko"));
    {
        TAboutBox box(DataFolder());
        ASSERT_EQ(ui.messages.size(), 1);
        EXPECT_EQ(ui.messages[0],
                  QStringLiteral("Orvex|QueryVersionInfo:指定されたファイルが見つかりません."));
        EXPECT_EQ(box.Label3->text(), QStringLiteral("Label3"));
        EXPECT_EQ(box.Label5->text(), QStringLiteral("Label5"));
    }

    // A Gecko module without a version resource: the first line is filled.
    dir.Write("iexplore.so", EngineModule("5.15.8"));
    dir.Write("gecko/mozctl.so", test::BuildElf({{".text", "code"}}));
    TAboutBox box(DataFolder());
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.LastMessageText(),
              QString::fromStdString(
                  "QueryVersionInfo:" + VersionLoadErrorText(VersionLoadError::NoVersionResource) + "."));
    EXPECT_EQ(box.Label3->text(), QStringLiteral("Version：5.15.8"));
    EXPECT_EQ(box.Label5->text(), QStringLiteral("Label5"));
}

} // namespace
} // namespace orvex
