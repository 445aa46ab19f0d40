// What the main window does with its files when they fail: a bookmark file
// that cannot be read is kept through start-up, an editor OK and a restart;
// a shutdown whose writes fail still lets the user quit.
#include "bookmarks/BookMark.h"
#include "core/BookmarkStore.h"
#include "core/FileIO.h"
#include "shell/Main.h"
#include "support/MainHarness.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace orvex;
using namespace orvex::test;

namespace {

// Hand-written, with one "&" left unescaped on line 3.
const std::string kStray = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<bookmark>\n"
                           "<file><name>A</name><url>http://a/?x=1&y=2</url></file>\n"
                           "<file><name>B</name><url>http://b/</url></file>\n</bookmark>\n";

std::string Backup(const TempFolder &folder)
{
    for (const std::string &name : folder.Names())
        if (name.rfind("bookmark.xml.", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".bak")
            return name;
    return std::string();
}

TEST(MainFiles, UnreadableBookmarkFileIsToldOnceAndKeptBeforeTheFirstSave)
{
    MainHarness h;
    h.folder.Write("bookmark.xml", kStray);
    // Start-up reads it three times: menu, side bar, editor.
    h.form->BuildBookmarkMenu();
    h.form->BuildBookmarkBar();
    Tfrm_BMEdit editor(*h.form);
    const QString told = QString::fromStdString("Orvex|ファイル " + h.folder.File("bookmark.xml") +
                                                " を読み込めません（3 行目: XML の書式が正しくありません）。"
                                                "ファイルはそのまま残します.");
    EXPECT_EQ(h.ui.messages, QStringList{told});
    EXPECT_EQ(h.form->Controls().mnuBookMark->actions().size(), 3);
    EXPECT_EQ(h.form->Controls().TreeView1->topLevelItemCount(), 0);
    EXPECT_EQ(h.folder.Read("bookmark.xml"), kStray);

    // The editor's OK: the unreadable original is kept beside it first.
    editor.txtName->setText(QStringLiteral("New"));
    editor.txtURL->setText(QStringLiteral("http://new/"));
    editor.btnAdd->click();
    editor.btnOK->click();
    const std::string backup = Backup(h.folder);
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(h.folder.Read(backup), kStray) << "byte for byte";
    ASSERT_EQ(h.ui.messages.size(), 2);
    EXPECT_EQ(h.ui.messages[1], QString::fromStdString("Orvex|読み込めなかった元のファイルを " +
                                                       h.folder.File(backup) + " に残しました."));
    EXPECT_EQ(ParseBookmarkFile(h.folder.Read("bookmark.xml")).value_or(BookmarkTree()).size(), 1u);

    // The next reading (a restart reads the same way) finds the new file,
    // without a word, and the backup stays.
    h.form->BuildBookmarkMenu();
    EXPECT_EQ(h.form->Controls().mnuBookMark->actions().size(), 4);
    EXPECT_EQ(h.ui.messages.size(), 2);
    EXPECT_EQ(h.folder.Read(backup), kStray);
}

TEST(MainFiles, FailedShutdownWriteAsksAndQuitsOnlyOnYes)
{
    MainHarness h;
    h.Start();
    // config.ini that cannot be written: a folder of that name.
    ASSERT_EQ(std::remove(h.ConfigPath().c_str()), 0);
    ASSERT_EQ(mkdir(h.ConfigPath().c_str(), 0700), 0);
    const QString error = QString::fromStdString("Orvex|" + h.ConfigPath() + " に書き込めません.");
    auto asked = [&] {
        QStringList texts;
        for (const Question &q : h.ui.questions)
            texts << q.title + '|' + q.text + '|' + q.refuseCaption;
        return texts;
    };
    const QString question = QStringLiteral("Orvex|保存せずに終了しますか？|いいえ");

    h.ui.askAnswers = {false};
    h.form->close();
    EXPECT_TRUE(h.form->isVisible()) << "いいえ keeps the window";
    EXPECT_EQ(h.ui.messages, QStringList{error});
    EXPECT_EQ(asked(), QStringList{question});
    EXPECT_FALSE(FileExists(h.folder.File("Close.txt")));

    h.ui.askAnswers = {true};
    h.form->close();
    EXPECT_FALSE(h.form->isVisible()) << "はい ends the program";
    EXPECT_EQ(asked(), (QStringList{question, question}));
    EXPECT_TRUE(FileExists(h.folder.File("Close.txt"))) << "the closed pages are still saved";
}

} // namespace
