#include "bookmarks/EditWebList.h"

#include "platform/MainLink.h"
#include "support/FakeUi.h"
#include "support/QtApp.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace orvex {
namespace {

// A main window stand-in that only records the menu rebuilds it is asked for.
class RecordingMain : public MainLink {
public:
    explicit RecordingMain(std::string appDir) : appDir_(std::move(appDir)) {}
    std::string AppDir() const override { return appDir_; }
    QWidget *Window() override { return nullptr; }
    void SetGeckoItemEnabled(bool) override {}
    void ApplyTabWidth(int) override {}
    void ApplyTabType(int) override {}
    void BuildBookmarkMenu() override {}
    void BuildBookmarkBar() override {}
    void EnumFiles(const std::string &folder) override { enumerated.push_back(folder); }

    std::vector<std::string> enumerated;

private:
    std::string appDir_;
};

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class EditWebListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureQApp();
        ASSERT_TRUE(dir.isValid());
        appDir = dir.path() + "/";
        QDir(appDir).mkdir("WebList");
        listDir = appDir + "WebList";
        main = std::make_unique<RecordingMain>(appDir.toStdString());
        SetMainLink(main.get());
        form = std::make_unique<Tfrm_WebList>();
    }
    void TearDown() override
    {
        form.reset();
        SetMainLink(nullptr);
    }

    QTemporaryDir dir;
    QString appDir;
    QString listDir;
    std::unique_ptr<RecordingMain> main;
    test::FakeUi ui;
    std::unique_ptr<Tfrm_WebList> form;
};

TEST_F(EditWebListTest, WindowHasItsCaptionPlacesAndFolder)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("WebListの編集"));
    EXPECT_EQ(form->geometry(), QRect(342, 231, 403, 216));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()); // fixed border
    EXPECT_EQ(form->Label1->text(), QStringLiteral("名前："));
    EXPECT_EQ(form->Label1->pos(), QPoint(8, 8));
    EXPECT_EQ(form->lblName->pos(), QPoint(40, 8));
    EXPECT_TRUE(form->lblName->text().isEmpty());
    EXPECT_EQ(form->Memo1->geometry(), QRect(8, 24, 297, 185));
    const struct {
        QPushButton *button;
        const char *caption;
        int top;
    } buttons[] = {{form->btnLoad, "読み込み", 120},
                   {form->btnSave, "上書き保存", 144},
                   {form->btnSaveAs, "別名で保存", 168},
                   {form->btnClose, "閉じる", 192}};
    for (const auto &b : buttons) {
        EXPECT_EQ(b.button->text(), QString::fromUtf8(b.caption));
        EXPECT_EQ(b.button->geometry(), QRect(312, b.top, 81, 17)) << b.caption;
    }
    EXPECT_EQ(form->ListDir(), listDir);
}

TEST_F(EditWebListTest, LoadReplacesTheMemoWithTheFileLines)
{
    form->Memo1->setPlainText("old text");
    // CR only, LF only, CR LF, a blank line and a final break that adds no line.
    WriteBytes(listDir + "/mixed.wlf", "http://a/\rhttp://b/\n\r\n  spaced  \r\n");
    ui.openAnswers.push_back(listDir + "/mixed.wlf");
    form->btnLoad->click();

    ASSERT_EQ(ui.openRequests.size(), 1u);
    EXPECT_EQ(ui.openRequests[0].filter, QStringLiteral("WebListFile(*.wlf)|*.wlf|その他(*.*)|*.*"));
    EXPECT_EQ(ui.openRequests[0].initialDir, listDir);
    EXPECT_EQ(form->Memo1->toPlainText(), QStringLiteral("http://a/\nhttp://b/\n\n  spaced  "));
    EXPECT_EQ(form->lblName->text(), QStringLiteral("mixed.wlf"));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(EditWebListTest, CancelledOrFailedLoadChangesNothing)
{
    form->Memo1->setPlainText("keep me");
    ui.openAnswers.push_back(std::nullopt);
    form->btnLoad->click();
    EXPECT_EQ(form->Memo1->toPlainText(), QStringLiteral("keep me"));
    EXPECT_TRUE(form->lblName->text().isEmpty());

    const QString missing = listDir + "/gone.wlf";
    ui.openAnswers.push_back(missing);
    form->btnLoad->click();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0], "Orvex|ファイル " + missing + " は開けません.");
    EXPECT_EQ(form->Memo1->toPlainText(), QStringLiteral("keep me"));
    EXPECT_TRUE(form->lblName->text().isEmpty());
    // Nothing was loaded, so "上書き保存" still asks for a name.
    form->btnSave->click();
    EXPECT_EQ(ui.saveRequests.size(), 1u);
}

TEST_F(EditWebListTest, SaveAsWritesTheMemoExactlyWithCrLfBetweenLines)
{
    form->Memo1->setPlainText(QStringLiteral("http://a/\n\n 日本 \nlast"));
    const QString target = listDir + "/noext"; // no extension is added
    ui.saveAnswers.push_back(target);
    form->btnSaveAs->click();

    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].fileName, QStringLiteral("*.wlf"));
    EXPECT_EQ(ui.saveRequests[0].initialDir, listDir);
    EXPECT_EQ(ui.saveRequests[0].filter, QStringLiteral("WebListFile(*.wlf)|*.wlf|その他(*.*)|*.*"));
    // Shift-JIS on disk, no break after the last line.
    EXPECT_EQ(ReadBytes(target), QByteArray("http://a/\r\n\r\n \x93\xfa\x96\x7b \r\nlast"));
    EXPECT_FALSE(QFile::exists(target + ".wlf"));
    EXPECT_EQ(form->lblName->text(), QStringLiteral("noext"));
}

TEST_F(EditWebListTest, SaveWithoutALoadedFileAsksForAName)
{
    form->Memo1->setPlainText("x");
    ui.saveAnswers.push_back(std::nullopt);
    form->btnSave->click();
    EXPECT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_TRUE(QDir(listDir).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(form->lblName->text().isEmpty());
}

TEST_F(EditWebListTest, SaveOverwritesTheLoadedFileWithoutAsking)
{
    const QString path = listDir + "/news.wlf";
    WriteBytes(path, "one\r\ntwo\r\n");
    ui.openAnswers.push_back(path);
    form->btnLoad->click();
    form->Memo1->setPlainText("three");
    form->btnSave->click();
    EXPECT_TRUE(ui.saveRequests.empty());
    EXPECT_EQ(ReadBytes(path), QByteArray("three"));
}

// The name label shows the last file saved under a name, so "上書き保存"
// writes to that one, never back to a file loaded earlier.
TEST_F(EditWebListTest, SaveAfterSaveAsWritesTheShownFile)
{
    const QString loaded = listDir + "/a.wlf";
    const QString copy = listDir + "/b.wlf";
    WriteBytes(loaded, "original");
    ui.openAnswers.push_back(loaded);
    form->btnLoad->click();
    ui.saveAnswers.push_back(copy);
    form->btnSaveAs->click();
    form->Memo1->setPlainText("edited");
    form->btnSave->click();

    EXPECT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(form->lblName->text(), QStringLiteral("b.wlf"));
    EXPECT_EQ(ReadBytes(copy), QByteArray("edited"));
    EXPECT_EQ(ReadBytes(loaded), QByteArray("original"));
}

TEST_F(EditWebListTest, FailedSaveReportsTheFullPathAndKeepsTheName)
{
    const QString loaded = listDir + "/kept.wlf";
    WriteBytes(loaded, "x");
    ui.openAnswers.push_back(loaded);
    form->btnLoad->click();

    const QString bad = appDir + "no-such-folder/list.wlf";
    ui.saveAnswers.push_back(bad);
    form->btnSaveAs->click();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0], "Orvex|ファイル " + bad + " を作成できません.");
    EXPECT_EQ(ui.messageIcons[0], MessageIcon::Stop);
    EXPECT_EQ(form->lblName->text(), QStringLiteral("kept.wlf"));
    // The failed name did not become the target of "上書き保存".
    form->Memo1->setPlainText("y");
    form->btnSave->click();
    EXPECT_EQ(ReadBytes(loaded), QByteArray("y"));
}

TEST_F(EditWebListTest, CloseRebuildsTheMenuFromTheListFolderAndHides)
{
    form->show();
    form->btnClose->click();
    ASSERT_EQ(main->enumerated.size(), 1u);
    EXPECT_EQ(main->enumerated[0], listDir.toStdString());
    EXPECT_FALSE(form->isVisible());

    // The close box hides without a rebuild.
    form->show();
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(main->enumerated.size(), 1u);
}

} // namespace
} // namespace orvex
