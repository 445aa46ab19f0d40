#include "bookmarks/EditWebList.h"

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

// The menu rebuild on "閉じる" is the main window's (MainWebList_test).
class NoMain : public WebListHost {
public:
    void EnumFiles(const std::string &) override {}
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
        form = std::make_unique<Tfrm_WebList>(main, appDir.toStdString());
    }
    void TearDown() override { form.reset(); }

    QTemporaryDir dir;
    QString appDir;
    QString listDir;
    NoMain main;
    test::FakeUi ui;
    std::unique_ptr<Tfrm_WebList> form;
};

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
    // Nothing was loaded, so "上書き保存" asks for a name; cancelled, nothing is written.
    form->btnSave->click();
    EXPECT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_TRUE(QDir(listDir).entryList(QDir::Files).isEmpty());
}

TEST_F(EditWebListTest, SaveAsWritesTheMemoExactlyWithCrLfBetweenLines)
{
    form->Memo1->setPlainText(QStringLiteral("http://a/\n\n 日本 \nlast"));
    const QString target = listDir + "/noext.wlf"; // a name without an extension gets ".wlf"
    ui.saveAnswers.push_back(listDir + "/noext");
    form->btnSaveAs->click();

    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].fileName, QStringLiteral("*.wlf"));
    EXPECT_EQ(ui.saveRequests[0].initialDir, listDir);
    EXPECT_EQ(ui.saveRequests[0].filter, QStringLiteral("WebListFile(*.wlf)|*.wlf|その他(*.*)|*.*"));
    // Shift-JIS on disk, no break after the last line.
    EXPECT_EQ(ReadBytes(target), QByteArray("http://a/\r\n\r\n \x93\xfa\x96\x7b \r\nlast"));
    EXPECT_FALSE(QFile::exists(listDir + "/noext"));
    EXPECT_EQ(form->lblName->text(), QStringLiteral("noext.wlf"));
}

// "上書き保存" writes the loaded file without asking; after "別名で保存" it
// writes the file the name label shows, never back to the one loaded earlier.
TEST_F(EditWebListTest, SaveWritesTheShownFile)
{
    const QString loaded = listDir + "/a.wlf";
    const QString copy = listDir + "/b.wlf";
    WriteBytes(loaded, "one\r\ntwo\r\n");
    ui.openAnswers.push_back(loaded);
    form->btnLoad->click();
    form->Memo1->setPlainText("original");
    form->btnSave->click();
    EXPECT_TRUE(ui.saveRequests.empty());
    EXPECT_EQ(ReadBytes(loaded), QByteArray("original"));
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

} // namespace
} // namespace orvex
