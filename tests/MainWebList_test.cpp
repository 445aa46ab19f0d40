// The web list menu of the main window: items from the files of the web list
// folder, opening a list as one window per line, and the editor's close
// bringing newly saved lists into the menu.
#include "bookmarks/EditWebList.h"
#include "browser/ChildForm.h"
#include "shell/Main.h"
#include "support/MainHarness.h"
#include "support/Wait.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace orvex;
using namespace orvex::test;

namespace {

// The generated part of the menu as "caption|hint" entries.
QStringList WebListItems(TMainForm &form)
{
    QStringList items;
    const QList<QAction *> actions = form.Controls().mnuWebList->actions();
    for (int i = 2; i < actions.size(); ++i)
        items << actions[i]->text() + "|" + actions[i]->statusTip();
    return items;
}

QAction *WebListItem(TMainForm &form, int index)
{
    return form.Controls().mnuWebList->actions().value(2 + index);
}

class MainWebListTest : public ::testing::Test {
protected:
    void SetUp() override { ::mkdir(h.folder.File("WebList").c_str(), 0700); }

    void WriteList(const std::string &name, const std::string &bytes)
    {
        h.folder.Write("WebList/" + name, bytes);
    }
    void Rebuild() { h.form->EnumFiles(h.AppDir() + "WebList"); }

    // The addresses the live windows were navigated to, in opening order.
    QStringList Navigations()
    {
        QStringList calls;
        for (int i = 0; TChildForm *child = h.Child(i); ++i) {
            QString navigate = "?";
            if (FakeEngine *engine = h.EngineOf(child)) {
                for (const std::string &call : engine->log)
                    if (call.rfind("Navigate(", 0) == 0)
                        navigate = QString::fromStdString(call);
            }
            calls << navigate;
        }
        return calls;
    }

    MainHarness h;
};

TEST_F(MainWebListTest, EveryFileGivesAnItemInNameOrderIgnoringCase)
{
    WriteList("news.wlf", "http://n/\r\n");
    WriteList("Zoo.wlf", "http://z/\r\n");
    WriteList("memo.txt", "http://m/\r\n");
    WriteList(".hidden.wlf", "");
    ::mkdir(h.folder.File("WebList/Sub.wlf").c_str(), 0700);
    h.folder.Write("WebList/Sub.wlf/inner.wlf", "x");
    Rebuild();

    EXPECT_EQ(WebListItems(*h.form),
              (QStringList{"&.hidden|.hidden.wlf", "&memo|memo.txt", "&news|news.wlf", "&Zoo|Zoo.wlf"}));
    const QList<QAction *> actions = h.form->Controls().mnuWebList->actions();
    EXPECT_EQ(actions[0], h.form->Controls().mnuWebList_Edit);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Webリストを編集(&E)"));
    EXPECT_TRUE(actions[1]->isSeparator());
    for (int i = 2; i < actions.size(); ++i) {
        EXPECT_FALSE(actions[i]->icon().isNull());
        EXPECT_TRUE(actions[i]->isVisible() && actions[i]->isEnabled());
    }
}

TEST_F(MainWebListTest, NamesWithoutAnExtensionAreShownWhole)
{
    WriteList("abcd", "");
    WriteList("ab", "");
    WriteList("日本語リスト", "");
    Rebuild();
    EXPECT_EQ(WebListItems(*h.form), (QStringList{"&ab|ab", "&abcd|abcd", "&日本語リスト|日本語リスト"}));
}

TEST_F(MainWebListTest, RebuildReplacesTheGeneratedItemsOnly)
{
    WriteList("one.wlf", "");
    WriteList("two.wlf", "");
    Rebuild();
    Rebuild();
    EXPECT_EQ(WebListItems(*h.form), (QStringList{"&one|one.wlf", "&two|two.wlf"}));
    ::remove(h.folder.File("WebList/one.wlf").c_str());
    Rebuild();
    EXPECT_EQ(WebListItems(*h.form), (QStringList{"&two|two.wlf"}));

    h.form->EnumFiles(h.AppDir() + "NoSuchFolder/");
    EXPECT_TRUE(WebListItems(*h.form).isEmpty());
    EXPECT_EQ(h.form->Controls().mnuWebList->actions().size(), 2);
}

TEST_F(MainWebListTest, ListOpensOneWindowPerLineInOrder)
{
    WriteList("three.wlf", "http://a/\r\nhttp://b/\r\nhttp://c/\r\n");
    Rebuild();
    WebListItem(*h.form, 0)->trigger();

    ASSERT_EQ(h.form->ChildCount(), 3);
    EXPECT_EQ(Navigations(),
              (QStringList{"Navigate(http://a/)", "Navigate(http://b/)", "Navigate(http://c/)"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(h.Child(i)->windowTitle(), QStringLiteral("londing"));
    EXPECT_EQ(h.form->Windows().WinTags(), (QStringList{"0", "1", "2"}));
    EXPECT_TRUE(h.ui.messages.isEmpty());
}

TEST_F(MainWebListTest, LinesAreSplitAtCrOrLfAndBlankLinesOpenToo)
{
    WriteList("1cr.wlf", "http://a/\r\rhttp://b/");
    WriteList("2lf.wlf", "http://c/\n\nhttp://d/\n");
    Rebuild();
    WebListItem(*h.form, 0)->trigger();
    WebListItem(*h.form, 1)->trigger();
    EXPECT_EQ(Navigations(), (QStringList{"Navigate(http://a/)", "Navigate()", "Navigate(http://b/)",
                                          "Navigate(http://c/)", "Navigate()", "Navigate(http://d/)"}));
}

TEST_F(MainWebListTest, LongListOpensAFewWindowsATurnInOrderAndStopsWhenTheProgramCloses)
{
    h.form->openSliceMs = 0; // one window a turn
    std::string ten;
    for (int i = 0; i < 10; ++i)
        ten += "http://p" + std::to_string(i) + "/\r\n";
    WriteList("ten.wlf", ten);
    WriteList("two.wlf", "http://x/\r\nhttp://y/\r\n");
    Rebuild();
    WebListItem(*h.form, 0)->trigger();
    EXPECT_EQ(h.form->ChildCount(), 1) << "the rest wait for the event loop";
    WebListItem(*h.form, 1)->trigger();
    EXPECT_EQ(h.form->ChildCount(), 1) << "a second list waits behind the first";
    ASSERT_TRUE(WaitFor([&] { return h.form->ChildCount() == 12; }));
    QStringList expected;
    for (int i = 0; i < 10; ++i)
        expected << QStringLiteral("Navigate(http://p%1/)").arg(i);
    expected << QStringLiteral("Navigate(http://x/)") << QStringLiteral("Navigate(http://y/)");
    EXPECT_EQ(Navigations(), expected);

    WebListItem(*h.form, 0)->trigger();
    ASSERT_TRUE(h.form->FormClose());
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 13);
}

// Opens a web list of these lines whose pages stay loading until a test
// says otherwise.
void OpenListOfBusyPages(MainHarness &h, const char *lines)
{
    DuringNavigate() = [](FakeEngine &engine, const QString &) { engine.SetBusy(true); };
    ::mkdir(h.folder.File("WebList").c_str(), 0700);
    h.folder.Write("WebList/busy.wlf", lines);
    h.form->EnumFiles(h.AppDir() + "WebList");
    WebListItem(*h.form, 0)->trigger();
}

// Every "Gecko" page starts a page process: a list's "Gecko" windows open as
// its pages finish loading.
TEST(MainWebList, NextGeckoWindowWaitsWhileAsManyOfTheListsPagesLoadAsAllowed)
{
    MainHarness h("[General]\r\nLastEngine=Gecko\r\n[Option_Main]\r\nMozilla=1\r\n");
    ASSERT_EQ(h.form->ToolsEngine(), EngineKind::Gecko);
    h.form->openLoadsAtOnce = 2;
    OpenListOfBusyPages(h, "http://a/\r\nhttp://b/\r\nhttp://c/\r\nhttp://d/\r\n");
    Pump(300);
    EXPECT_EQ(h.form->ChildCount(), 2) << "two pages loading hold the rest";
    h.EngineOf(h.Child(0))->SetBusy(false);
    ASSERT_TRUE(WaitFor([&] { return h.form->ChildCount() == 3; }));
    // Pages that stay busy hold the list back for a few seconds, not for
    // ever.
    QElapsedTimer held;
    held.start();
    ASSERT_TRUE(WaitFor([&] { return h.form->ChildCount() == 4; }, 8000));
    EXPECT_GE(held.elapsed(), 1500);
    EXPECT_TRUE(h.EngineOf(h.Child(3))->Called("Navigate(http://d/)"));
    DuringNavigate() = nullptr;
}

TEST(MainWebList, NextInternetExplorerWindowWaitsOnlyForItsOwnLongerAllowance)
{
    MainHarness h("[General]\r\nLastEngine=IE\r\n");
    ASSERT_EQ(h.form->ToolsEngine(), EngineKind::InternetExplorer);
    h.form->openLoadsAtOnce = 1;
    h.form->openIeLoadsAtOnce = 2;
    OpenListOfBusyPages(h, "http://a/\r\nhttp://b/\r\nhttp://c/\r\n");
    Pump(300);
    EXPECT_EQ(h.form->ChildCount(), 2);
    h.EngineOf(h.Child(1))->SetBusy(false);
    EXPECT_TRUE(WaitFor([&] { return h.form->ChildCount() == 3; }));
    DuringNavigate() = nullptr;
}

TEST_F(MainWebListTest, EmptyListOpensNothing)
{
    WriteList("empty.wlf", "");
    Rebuild();
    WebListItem(*h.form, 0)->trigger();
    EXPECT_EQ(h.form->ChildCount(), 0);
    EXPECT_TRUE(h.ui.messages.isEmpty());
}

TEST_F(MainWebListTest, UnreadableListShowsItsFullPathAndOpensNothing)
{
    WriteList("gone.wlf", "http://a/\r\n");
    Rebuild();
    ::remove(h.folder.File("WebList/gone.wlf").c_str());
    WebListItem(*h.form, 0)->trigger();
    EXPECT_EQ(h.form->ChildCount(), 0);
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_EQ(h.ui.messages[0],
              QString::fromStdString("Orvex|ファイル " + h.AppDir() + "WebList/gone.wlf は開けません."));
}

TEST_F(MainWebListTest, SavedListAppearsAfterCloseNotBefore)
{
    Tfrm_WebList editor(*h.form, h.AppDir());
    frm_WebList = &editor;
    h.form->Controls().mnuWebList_Edit->trigger();
    EXPECT_TRUE(editor.isVisible());

    editor.Memo1->setPlainText("http://x/\nhttp://y/");
    h.ui.saveAnswers.push_back(QString::fromStdString(h.AppDir() + "WebList/saved.wlf"));
    editor.btnSaveAs->click();
    EXPECT_EQ(h.folder.Read("WebList/saved.wlf"), "http://x/\r\nhttp://y/");
    EXPECT_TRUE(WebListItems(*h.form).isEmpty());

    // The close box hides without a rebuild; "閉じる" rebuilds, then hides.
    editor.close();
    EXPECT_TRUE(WebListItems(*h.form).isEmpty());
    editor.show();
    editor.btnClose->click();
    EXPECT_FALSE(editor.isVisible());
    ASSERT_EQ(WebListItems(*h.form), (QStringList{"&saved|saved.wlf"}));
    WebListItem(*h.form, 0)->trigger();
    EXPECT_EQ(Navigations(), (QStringList{"Navigate(http://x/)", "Navigate(http://y/)"}));
    frm_WebList = nullptr;
}

TEST_F(MainWebListTest, ListSavedWithoutExtensionGetsOneAndShowsItsWholeName)
{
    Tfrm_WebList editor(*h.form, h.AppDir());
    editor.Memo1->setPlainText("http://x/");
    h.ui.saveAnswers.push_back(QString::fromStdString(h.AppDir() + "WebList/朝のニュースと天気予報"));
    editor.btnSaveAs->click();
    EXPECT_EQ(h.folder.Read("WebList/朝のニュースと天気予報.wlf"), "http://x/");
    WriteList("夕.wlf", "");
    WriteList("ab", "");
    editor.btnClose->click();
    EXPECT_EQ(WebListItems(*h.form),
              (QStringList{"&ab|ab", "&夕|夕.wlf", "&朝のニュースと天気予報|朝のニュースと天気予報.wlf"}));
}

} // namespace
