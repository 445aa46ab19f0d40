// The main window's construction from the settings, the start-up actions of
// its first resize, and shutdown.
#include "browser/ChildForm.h"
#include "browser/untTab.h"
#include "dialogs/Option.h"
#include "shell/BarLayout.h"
#include "shell/Main.h"
#include "support/MainHarness.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace orvex;
using namespace orvex::test;

namespace {

int VisibleOptionDialogs()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += qobject_cast<Tfrm_Option *>(w) != nullptr && w->isVisible();
    return n;
}

TEST(MainWindow, MenusCarryTheirCaptionsAndStartStates)
{
    MainHarness h;
    QStringList top;
    for (QAction *a : h.form->menuBar()->actions())
        top << a->text();
    EXPECT_EQ(top, (QStringList{"ファイル(&F)", "編集(&E)", "表示(&V)", "ブックマーク(&B)", "Webリスト(&L)",
                                "ツール(&T)", "ウィンドウ(&W)", "ヘルプ(&H)"}));
    EXPECT_EQ(h.form->windowTitle(), QStringLiteral("Orvex"));
    EXPECT_FALSE(h.form->Indicators().mnuFile_SaveAs->isEnabled());
    EXPECT_FALSE(h.form->Indicators().mnuEdit_Copy->isEnabled());
    EXPECT_FALSE(h.form->Indicators().mnuShow_Size->isEnabled());
    EXPECT_FALSE(h.form->Controls().mnuFile_Close->isEnabled());
    for (QAction *nav : {h.form->Indicators().BackCtrl, h.form->Indicators().FrwrdCtrl,
                         h.form->Indicators().StopCtrl, h.form->Indicators().ReLoadCtrl})
        EXPECT_FALSE(nav->isEnabled());
    for (QAction *cmd : h.form->Controls().windowCommands)
        EXPECT_FALSE(cmd->isEnabled());
    h.form->FileNew1Execute();
    EXPECT_TRUE(h.form->Controls().mnuFile_Close->isEnabled());
    EXPECT_TRUE(h.form->Controls().windowCommands.first()->isEnabled());
    EXPECT_EQ(h.form->Controls().mnuBookMark->actions().at(1)->text(),
              QStringLiteral("ブックマークを編集(&E)"));
    EXPECT_EQ(h.form->Controls().mnuSize_Min->text(), QStringLiteral("最小(A)"));
}

TEST(MainWindow, FirstStartWithoutSettingsUsesEveryDefault)
{
    MainHarness h("");
    EXPECT_TRUE(h.form->Controls().IE_item->isChecked());
    EXPECT_FALSE(h.form->Controls().Moz_Item->isChecked());
    EXPECT_FALSE(h.form->Controls().Moz_Item->isEnabled());
    EXPECT_EQ(h.form->Controls().TabControl1->FixedTabWidth(), 0);
    EXPECT_FALSE(h.form->Controls().TabControl1->ButtonStyle());
    EXPECT_EQ(h.form->ChildWinState(), ChildState::Normal);
    EXPECT_EQ(h.form->MojiSize(), 2);
    EXPECT_TRUE(h.form->Controls().mnuSize_middle->isChecked());
    for (QAction *view :
         {h.form->Controls().mnuShow_default, h.form->Controls().mnuShow_Address,
          h.form->Controls().mnuShow_Status, h.form->Controls().mnuShow_Tab, h.form->Controls().mnuShow_J})
        EXPECT_TRUE(view->isChecked());
    EXPECT_EQ(h.form->Bars().JBarWidth(), 153);
    EXPECT_EQ(VisibleOptionDialogs(), 0);
    h.Start();
    EXPECT_EQ(h.form->ChildCount(), 0);
    EXPECT_FALSE(h.form->FirstResize());
    EXPECT_EQ(VisibleOptionDialogs(), 1); // opened by itself on the first start
}

TEST(MainWindow, EngineChoiceFromTheSettings)
{
    {
        MainHarness h("[General]\r\nLastEngine=ie\r\n");
        EXPECT_TRUE(h.form->Controls().Moz_Item->isChecked());
        EXPECT_FALSE(h.form->Controls().IE_item->isChecked());
    }
    {
        MainHarness h("[General]\r\nLastEngine=Gecko\r\n[Option_Main]\r\nMozilla=0\r\n");
        EXPECT_TRUE(h.form->Controls().Moz_Item->isChecked());
        EXPECT_FALSE(h.form->Controls().Moz_Item->isEnabled());
        h.form->FileNew1Execute();
        EXPECT_EQ(h.Child(0)->Kind(), EngineKind::Gecko);
    }
}

TEST(MainWindow, WindowStateAndTabAppearanceFromTheSettings)
{
    MainHarness h("[General]\r\nWinSize=3\r\n[Option_Tab]\r\nfix=1\r\nMaxSize=90\r\nTabType=5\r\n");
    EXPECT_EQ(h.form->ChildWinState(), ChildState::Normal);
    EXPECT_EQ(h.form->Controls().TabControl1->FixedTabWidth(), 90);
    EXPECT_TRUE(h.form->Controls().TabControl1->ButtonStyle());
    ASSERT_TRUE(h.form->FormClose());
    EXPECT_NE(h.folder.Read("config.ini").find("WinSize=0\r\n"), std::string::npos);

    MainHarness max("[General]\r\nWinSize=1\r\n[Option_Tab]\r\nfix=yes\r\n");
    EXPECT_EQ(max.form->ChildWinState(), ChildState::Maximized);
    EXPECT_EQ(max.form->Controls().TabControl1->FixedTabWidth(), 0);
    max.form->FileNew1Execute();
    EXPECT_TRUE(max.Child(0)->isMaximized());
}

TEST(MainWindow, CommandLineAddressesOpenInOrderAndSuppressTheStartUpRule)
{
    MainHarness h("[General]\r\nLastEngine=IE\r\n[Option_StartUp]\r\nType=1\r\nPath=http://start/\r\n",
                  {"http://a/", "http://b/", "http://c/"});
    h.Start();
    ASSERT_EQ(h.form->ChildCount(), 3);
    EXPECT_TRUE(h.form->HasParams());
    const char *expected[] = {"Navigate(http://a/)", "Navigate(http://b/)", "Navigate(http://c/)"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(h.EngineOf(h.Child(i))->LastCall(), expected[i]);
        EXPECT_EQ(h.Child(i)->windowTitle(), QStringLiteral("londing"));
    }
}

TEST(MainWindow, StartUpTypesOneAndTwo)
{
    {
        MainHarness h("[General]\r\nLastEngine=IE\r\n[Option_StartUp]\r\nType=1\r\nPath=\r\n");
        h.Start();
        ASSERT_EQ(h.form->ChildCount(), 1);
        EXPECT_EQ(h.Engine(0)->LastCall(), "Navigate()");
        EXPECT_EQ(h.Child(0)->windowTitle(), QStringLiteral("Loading"));
    }
    {
        TempFolder lists;
        lists.Write("start.wlf", "http://one/\r\n\r\nhttp://three/\r\n");
        MainHarness h("[General]\r\nLastEngine=IE\r\n[Option_StartUp]\r\nType=258\r\nPath=" +
                      lists.File("start.wlf") + "\r\n");
        h.Start();
        ASSERT_EQ(h.form->ChildCount(), 3);
        EXPECT_EQ(h.EngineOf(h.Child(1))->LastCall(), "Navigate()");
        EXPECT_EQ(h.EngineOf(h.Child(2))->LastCall(), "Navigate(http://three/)");
        EXPECT_EQ(h.Child(2)->windowTitle(), QStringLiteral("londing"));
    }
    {
        MainHarness h("[General]\r\nLastEngine=IE\r\n[Option_StartUp]\r\nType=2\r\nPath=/no/such.wlf\r\n");
        h.Start();
        EXPECT_EQ(h.form->ChildCount(), 0);
        EXPECT_TRUE(h.ui.messages.isEmpty());
    }
}

// Counts the paint events of one window and its controls.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *window) : window_(window) { qApp->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == window_)
            ++paints;
        return false;
    }

private:
    QWidget *window_;
};

TEST(MainWindow, AFailedStartUpActionIsTriedAgainAtTheNextResize)
{
    MainHarness h("[General]\r\nLastEngine=IE\r\n", {"http://a/"});
    FailNextCreate(EngineKind::InternetExplorer);
    // The error box of a start-up action stands over a window already drawn,
    // after the errors held back while the forms were made.
    HoldErrorBoxes();
    ShowErrorBox(QStringLiteral("フォームのエラー"));
    EXPECT_TRUE(h.ui.messages.isEmpty());
    PaintCounter counter(h.form);
    int paintsBeforeMessage = -1;
    h.ui.onMessage = [&](const QString &, const QString &) {
        if (paintsBeforeMessage < 0)
            paintsBeforeMessage = counter.paints;
        h.form->resize(h.form->width() + 10, h.form->height()); // while the box is open
    };
    h.Start();
    EXPECT_TRUE(h.form->FirstResize());
    ASSERT_EQ(h.ui.messages.size(), 2);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("フォームのエラー")));
    EXPECT_GT(paintsBeforeMessage, 0);
    h.ui.onMessage = nullptr;
    h.folder.Write("config.ini", "[General]\r\nLastEngine=IE\r\n");
    h.form->resize(800, 500);
    h.Pump();
    EXPECT_FALSE(h.form->FirstResize());
    EXPECT_EQ(h.form->ChildCount(), 1);
}

TEST(MainWindow, ShutdownFromNothingWritesTheKeysInOrderAndAnEmptyCloseList)
{
    MainHarness h("");
    h.folder.Write("CloseURL.txt", "");
    ASSERT_TRUE(h.form->FormClose());
    const std::string ini = h.folder.Read("config.ini");
    const std::string general = "[General]\r\nLastEngine=IE\r\nLastMojiSize=2\r\nWinSize=0\r\n";
    ASSERT_EQ(ini.substr(0, general.size()), general);
    const char *barKeys[] = {"Band0ID=0",    "Band0Width=",  "Band0Break=1", "Band1ID=1",   "Band1Width=",
                             "Band1Break=1", "ToolBar=1",    "AddressBar=1", "StatusBar=1", "TabBar=1",
                             "JBar=1",       "JBarSize=153", "JBarMax=0"};
    size_t at = ini.find("[Bar]\r\n");
    ASSERT_NE(at, std::string::npos);
    for (const char *key : barKeys) {
        const size_t next = ini.find(key, at);
        ASSERT_NE(next, std::string::npos) << key;
        at = next;
    }
    EXPECT_EQ(ini.find('\n'), ini.find("\r\n") + 1); // CR LF line ends
    EXPECT_EQ(h.folder.Read("Close.txt"), "");
}

TEST(MainWindow, CloseListAtShutdownHoldsTheLastTen)
{
    MainHarness h;
    for (int i = 1; i <= 12; ++i) {
        h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://p%1/").arg(i),
                              QStringLiteral("c"));
        h.Child(0)->CloseWindow();
        h.Pump();
    }
    h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://still-open/"), QStringLiteral("c"));
    h.Start();
    h.form->close();
    h.Pump(); // the open page agrees to go
    std::string expected;
    for (int i = 3; i <= 12; ++i)
        expected += "http://p" + std::to_string(i) + "/\r\n";
    EXPECT_EQ(h.folder.Read("Close.txt"), expected); // the open window does not enter the list
}

TEST(MainWindow, ShutdownInAReadOnlyFolderShowsTheMessageAndStaysOpen)
{
    MainHarness h;
    h.Start();
    // A folder where config.ini should be: writing it fails even for root,
    // whom permission bits do not stop.
    ::unlink(h.ConfigPath().c_str());
    ::mkdir(h.ConfigPath().c_str(), 0755);
    EXPECT_FALSE(h.form->close());
    EXPECT_TRUE(h.form->isVisible());
    EXPECT_EQ(h.ui.LastMessageText(), QString::fromStdString(h.ConfigPath() + " に書き込めません."));
    ::rmdir(h.ConfigPath().c_str());
    EXPECT_TRUE(h.form->close());
}

} // namespace
