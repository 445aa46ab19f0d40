// Opening pages, the tab bar and the commands on the active page, with fake
// engines: tab limit, numbering, the address bar, tab commands, colours read
// at every drawing, text sizes.
#include "browser/ChildForm.h"
#include "browser/FindBar.h"
#include "browser/childIE.h"
#include "browser/untTab.h"
#include "core/ColorText.h"
#include "shell/Main.h"
#include "shell/TabStrip.h"
#include "support/MainHarness.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHash>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QPainter>
#include <QPlatformSurfaceEvent>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <QWindow>
#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::test;

namespace {

std::string Config(const std::string &body)
{
    return "[General]\r\nLastEngine=IE\r\n" + body;
}

TEST(OpenPages, TabLimitRefusesSilentlyAtExactlyMaxLen)
{
    MainHarness h(Config("[Option_Tab]\r\nLen=1\r\nMaxLen=3\r\n"));
    for (int i = 0; i < 4; ++i)
        h.form->FileNew1Execute();
    EXPECT_EQ(h.form->ChildCount(), 3);
    EXPECT_TRUE(h.ui.messages.isEmpty());
    h.form->Tabs().CloseTab(0);
    h.Pump();
    h.form->FileNew1Execute();
    EXPECT_EQ(h.form->ChildCount(), 3);
    EXPECT_EQ(h.form->Windows().WinTags(), (QStringList{"1", "2", "3"}));
}

TEST(OpenPages, MaxLenZeroAndMaxLenTwoFiftySixBothMeanNoTabs)
{
    for (const char *maxLen : {"0", "256"}) {
        MainHarness h(Config(std::string("[Option_Tab]\r\nLen=1\r\nMaxLen=") + maxLen + "\r\n"));
        h.form->FileNew1Execute();
        EXPECT_EQ(h.form->ChildCount(), 0) << maxLen;
    }
    // Lowered below the open count, the limit no longer matches exactly.
    MainHarness h(Config("[Option_Tab]\r\nLen=0\r\nMaxLen=1\r\n"));
    h.form->FileNew1Execute();
    h.form->FileNew1Execute();
    h.folder.Write("config.ini", Config("[Option_Tab]\r\nLen=1\r\nMaxLen=1\r\n"));
    h.form->FileNew1Execute();
    EXPECT_EQ(h.form->ChildCount(), 3);
}

TEST(OpenPages, NumbersStartAtZeroAndAreNeverReused)
{
    MainHarness h;
    h.form->FileNew1Execute();
    h.form->FileNew1Execute();
    EXPECT_EQ(h.Child(0)->Tag, 0);
    EXPECT_EQ(h.Child(1)->Tag, 1);
    h.Child(0)->CloseWindow();
    h.Pump();
    h.form->FileNew1Execute();
    EXPECT_EQ(h.form->Windows().WinTags(), (QStringList{"1", "2"}));
    EXPECT_EQ(h.Child(1)->Tag, 2);
}

TEST(OpenPages, BlankPageDependsOnTheCheckedEngine)
{
    MainHarness h;
    h.form->FileNew1Execute();
    EXPECT_EQ(h.Engine(0)->Kind(), EngineKind::InternetExplorer);
    EXPECT_TRUE(h.Engine(0)->Called("Navigate()"));
    EXPECT_EQ(h.Child(0)->windowTitle(), QStringLiteral("Internet Explorer"));
    h.form->Moz_ItemClick();
    h.form->FileNew1Execute();
    EXPECT_EQ(h.Engine(1)->Kind(), EngineKind::Gecko);
    EXPECT_TRUE(h.Engine(1)->Called("Navigate(about:blank)"));
    EXPECT_EQ(h.Child(1)->windowTitle(), QStringLiteral("Gecko"));
    // The engine is the caller's value: a caption naming the other engine
    // changes nothing.
    h.form->OpenNewWindow(EngineKind::InternetExplorer, QStringLiteral("http://x/"), QStringLiteral("Gecko"));
    EXPECT_EQ(h.Engine(2)->Kind(), EngineKind::InternetExplorer);
    EXPECT_TRUE(h.form->Controls().Moz_Item->isChecked());
}

TEST(OpenPages, AddressBarWithNoWindowOpensOneAndShowsTheAddressThere)
{
    MainHarness h; // "AddressBar" is 0
    h.form->Controls().txtAddress->setText(QStringLiteral("http://typed/"));
    h.form->txtAddressKeyDown(13);
    ASSERT_EQ(h.form->ChildCount(), 1);
    EXPECT_EQ(h.Engine(0)->log.back(), "Navigate(http://typed/)");
}

TEST(OpenPages, AddressBarNewWindowModeLeavesTheBlankWindowBehind)
{
    MainHarness h(Config("[Option_Window]\r\nAddressBar=1\r\nNewWindow_Active=0\r\n"));
    h.form->FileNew1Execute();
    h.form->Controls().txtAddress->setText(QStringLiteral("http://typed/"));
    h.form->btnMoveClick();
    ASSERT_EQ(h.form->ChildCount(), 2);
    EXPECT_EQ(h.EngineOf(h.Child(0))->LastCall(), "Navigate(http://typed/)");
    EXPECT_EQ(h.EngineOf(h.Child(1))->LastCall(), "Navigate()");
    EXPECT_EQ(h.form->ActiveChild(), h.Child(0));
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading* 1:loading"));
}

TEST(OpenPages, NewWindowActiveSelectsTheNewTab)
{
    MainHarness h(Config("[Option_Window]\r\nNewWindow_Active=1\r\n"));
    h.form->FileNew1Execute();
    h.form->FileNew1Execute();
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading 1:loading*"));
    EXPECT_EQ(h.form->ActiveChild(), h.Child(1));
}

TEST(OpenPages, EmptyAddressLeavesThePageUnchanged)
{
    MainHarness h;
    h.form->Moz_ItemClick();
    h.form->FileNew1Execute();
    const size_t calls = h.Engine(0)->log.size();
    h.form->Controls().txtAddress->clear();
    h.form->txtAddressKeyDown(13);
    EXPECT_EQ(h.Engine(0)->log.size(), calls);
    EXPECT_EQ(h.form->ChildCount(), 1);
}

TEST(OpenPages, ClipboardAndOpenFile)
{
    MainHarness h;
    h.ui.clipboard = QStringLiteral("not really an address");
    h.form->mnuNew_CilpClick();
    EXPECT_EQ(h.Engine(0)->LastCall(), "Navigate(not really an address)");
    h.ui.openAnswers.push_back(QStringLiteral("/tmp/page.html"));
    h.ui.openAnswers.push_back(std::nullopt);
    h.form->FileOpen1Execute();
    h.form->FileOpen1Execute(); // cancelled
    EXPECT_EQ(h.form->ChildCount(), 2);
    EXPECT_EQ(h.Engine(1)->LastCall(), "Navigate(/tmp/page.html)");
    EXPECT_EQ(h.ui.openRequests[0].filter, QStringLiteral("すべてのファイル(*.*)|*.*"));
    EXPECT_EQ(h.Child(1)->windowTitle(), QString());
}

TEST(OpenPages, NavigateErrorIsShownAndWindowsStayPaired)
{
    MainHarness h;
    h.form->FileNew1Execute();
    h.form->FileNew1Execute();
    h.EngineOf(h.form->ActiveChild())->FailNextNavigate("navigation refused");
    h.form->Controls().txtAddress->setText(QStringLiteral("http://x/"));
    EXPECT_FALSE(Guarded([&] { h.form->btnMoveClick(); }));
    EXPECT_EQ(h.ui.LastMessageText(), QStringLiteral("navigation refused."));
    ASSERT_EQ(h.form->ChildCount(), h.form->Controls().TabControl1->count());
    for (int i = 0; i < h.form->ChildCount(); ++i)
        EXPECT_EQ(h.form->Windows().WinTags()[i].toInt(), h.Child(i)->Tag);
}

TEST(OpenPages, TheGeckoFolderNeitherBlocksWindowsNorMovesTheWorkingFolder)
{
    MainHarness h(Config("[Option_Main]\r\nMozilla=1\r\nMozPath=/nonexistent/gecko\r\n"));
    char before[4096];
    ASSERT_NE(::getcwd(before, sizeof before), nullptr);
    h.form->FileNew1Execute();
    h.form->Moz_ItemClick();
    h.form->FileNew1Execute();
    EXPECT_EQ(h.form->ChildCount(), 2);
    EXPECT_TRUE(h.ui.messages.isEmpty());

    TempFolder gecko;
    h.folder.Write("config.ini", Config("[Option_Main]\r\nMozilla=1\r\nMozPath=" + gecko.Path() + "\r\n"));
    h.form->FileNew1Execute();
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), std::string(before));
}

TEST(OpenPages, NewWindowsCascadeInsideTheVisibleAreaAndWrapToTheTopLeft)
{
    MainHarness h;
    h.Start();
    h.form->resize(1280, 900);
    h.Pump();
    const QRect area = h.form->Controls().mdiArea->viewport()->rect();
    for (int i = 0; i < 5; ++i)
        h.form->FileNew1Execute();
    h.Pump();
    const QPoint first = h.Child(0)->pos();
    EXPECT_EQ(first, QPoint(0, 0));
    const int step = h.Child(1)->x() - first.x();
    EXPECT_GT(step, 10); // a title bar's height
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(area.contains(h.Child(i)->geometry())) << i;
        EXPECT_EQ(h.Child(i)->pos(), first + QPoint(step, step) * i) << i;
    }
    // The cascade starts again at the top left before a window would leave the area.
    for (int i = 0; i < 30; ++i)
        h.form->FileNew1Execute();
    h.Pump();
    int wrapped = 0;
    for (TChildForm *child : h.form->Children()) {
        EXPECT_TRUE(area.contains(child->geometry())) << child->Tag;
        wrapped += child->pos() == QPoint(0, 0);
    }
    EXPECT_GE(wrapped, 2);
    // The area's own cascade gives every window the same default size,
    // whatever its engine's view would ask for.
    h.form->Controls().mdiArea->cascadeSubWindows();
    for (TChildForm *child : h.form->Children())
        EXPECT_EQ(child->size(), DefaultWindowSize(area.size())) << child->Tag;
}

TEST(OpenPages, ATitleReportedDuringNavigateGoesToTheNewWindowsTab)
{
    // The Gecko engine reports the page's title while it navigates, before
    // the open is complete.
    MainHarness h("[General]\r\nLastEngine=Gecko\r\n");
    DuringNavigate() = [](FakeEngine &engine, const QString &url) { engine.RaiseTitle(url); };
    h.form->FileNew1Execute();
    h.form->FileNew1Execute();
    h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://third/"), QStringLiteral("c"));
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:about:blank* 1:about:blank 2:http://third/"));
    EXPECT_EQ(h.Child(2)->windowTitle(), QStringLiteral("http://third/"));
}

TEST(OpenPages, WindowsOpenedBehindLeaveTheKeyboardFocusWhereTheUserTypes)
{
    for (const char *state : {"0", "1"}) { // normal and maximised windows
        MainHarness h(Config(std::string("WinSize=") + state + "\r\n"));
        h.Start();
        h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://front/"),
                              QStringLiteral("front"));
        h.form->activateWindow();
        h.Pump();
        h.form->Controls().txtAddress->setFocus();
        ASSERT_TRUE(h.form->Controls().txtAddress->hasFocus()) << state;
        h.form->Controls().txtAddress->setText(QStringLiteral("half-typed"));
        h.form->Controls().txtAddress->setSelection(4, 5); // "-type", the cursor after it
        int focusMoves = 0;
        QObject watching; // ends the counting before focusMoves goes
        QObject::connect(qApp, &QApplication::focusChanged, &watching, [&] { ++focusMoves; });
        for (int i = 0; i < 3; ++i)
            h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://behind/"),
                                  QStringLiteral("behind"));
        h.Pump();
        EXPECT_EQ(focusMoves, 0) << state;
        EXPECT_EQ(QApplication::focusWidget(), h.form->Controls().txtAddress) << state;
        EXPECT_EQ(h.form->Controls().txtAddress->text(), QStringLiteral("half-typed"))
            << state << " what was typed";
        EXPECT_EQ(h.form->Controls().txtAddress->selectedText(), QStringLiteral("-type")) << state;
        EXPECT_EQ(h.form->Controls().txtAddress->cursorPosition(), 9) << state;
        EXPECT_EQ(h.form->ActiveChild(), h.Child(0)) << state;
        EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading* 1:loading 2:loading 3:loading"))
            << state;
        // The front window stays first in the area's order of activation:
        // closed, another window comes to the front with its tab.
        h.Child(0)->CloseWindow();
        h.Pump();
        ASSERT_NE(h.form->ActiveChild(), nullptr) << state;
        EXPECT_EQ(h.form->Controls().TabControl1->currentIndex(),
                  h.form->Tabs().FindTab(h.form->ActiveChild()->Tag))
            << state;
    }
}

// ---- tab bar ----

struct TabBarTest : ::testing::Test {
    MainHarness h;
    void OpenN(int n)
    {
        for (int i = 0; i < n; ++i)
            h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://page%1/").arg(i),
                                  QStringLiteral("c"));
    }
};

TEST_F(TabBarTest, ClosingTheFrontWindowSelectsTheNextWindowsTab)
{
    OpenN(3);
    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(2));
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading 1:loading 2:loading*"));
    h.Child(2)->CloseWindow();
    h.Pump();
    TChildForm *front = h.form->ActiveChild();
    ASSERT_NE(front, nullptr);
    EXPECT_EQ(h.form->Controls().TabControl1->currentIndex(), h.form->Tabs().FindTab(front->Tag));
    EXPECT_EQ(h.form->Controls().TabControl1->count(), 2);
}

TEST_F(TabBarTest, ClickingATabBringsItsWindowToTheFront)
{
    OpenN(3);
    h.form->Controls().TabControl1->setCurrentIndex(1); // as a click does: raises the change handler
    EXPECT_EQ(h.form->ActiveChild(), h.Child(1));
}

TEST_F(TabBarTest, CloseAllButThisKeepsThePointedTabOrTheLastFor255)
{
    OpenN(5);
    h.form->Tabs().SetPopupTab(2);
    h.form->mnu_AllCloseNotMeClick();
    h.Pump();
    EXPECT_EQ(h.form->Windows().WinTags(), QStringList{"2"});
    EXPECT_EQ(h.form->ChildCount(), 1);

    OpenN(3);
    h.form->Tabs().SetPopupTab(255);
    h.form->mnu_AllCloseNotMeClick();
    h.Pump();
    EXPECT_EQ(h.form->Windows().WinTags(), QStringList{"7"});
}

TEST_F(TabBarTest, CloseAllAddsOneClosedAddressPerWindowInTabOrder)
{
    OpenN(4);
    h.form->mnu_AllCloseClick();
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 0);
    EXPECT_EQ(h.form->Controls().TabControl1->count(), 0);
    const std::vector<std::string> expected{"http://page0/", "http://page1/", "http://page2/",
                                            "http://page3/"};
    EXPECT_EQ(h.form->RecentlyClosed().Entries(), expected);
    EXPECT_EQ(h.form->Windows().AllClosing(), -1);
    OpenN(1);
    EXPECT_EQ(h.form->Windows().AllClosing(), 0);
}

TEST_F(TabBarTest, RightPressOnEmptyBarSetsPopupTab255)
{
    OpenN(2);
    h.Start();
    h.form->TabControl1MouseDown(Qt::MiddleButton, QPoint(h.form->Controls().TabControl1->width() - 2, 5));
    EXPECT_EQ(h.form->Tabs().PopupTab(), 255);
    h.form->TabControl1MouseDown(Qt::MiddleButton, h.form->Controls().TabControl1->tabRect(1).center());
    EXPECT_EQ(h.form->Tabs().PopupTab(), 1);
}

TEST_F(TabBarTest, AddCloseUrlAppendsTheAddressAndClosesOnlyWhenTheFileExists)
{
    OpenN(2);
    h.form->Tabs().SetPopupTab(1);
    // No CloseURL.txt: the message, and the tab stays.
    EXPECT_FALSE(Guarded([&] { h.form->popAddCloseClick(); }));
    EXPECT_EQ(h.form->ChildCount(), 2);
    EXPECT_EQ(h.ui.LastMessageText(),
              QString::fromStdString("ファイル " + h.folder.File("CloseURL.txt") + " は開けません."));

    h.folder.Write("CloseURL.txt", "*ads*\r\n");
    h.form->popAddCloseClick();
    h.Pump();
    EXPECT_EQ(h.folder.Read("CloseURL.txt"), "*ads*\r\nhttp://page1/\r\n");
    EXPECT_EQ(h.form->Windows().WinTags(), QStringList{"0"});
}

TEST_F(TabBarTest, ColoursAreReadFromTheFileAtEveryDrawing)
{
    OpenN(2);
    QImage image(100, 30, QImage::Format_RGB32);
    auto draw = [&](bool active) {
        image.fill(Qt::black);
        QPainter p(&image);
        h.form->TabControl1DrawTab(p, 0, QRect(0, 0, 100, 30), active);
    };
    draw(false);
    const QColor btnFace(QRgb(ColorToRgb(0x8000000F)));
    EXPECT_EQ(QColor(image.pixel(2, 2)), btnFace);
    h.folder.Write("config.ini",
                   Config("[Option_Tab]\r\nDeActivateBGColor=clRed\r\nActivateBGColor=$00FF0000\r\n"));
    draw(false);
    EXPECT_EQ(QColor(image.pixel(2, 2)), QColor(255, 0, 0));
    draw(true);
    EXPECT_EQ(QColor(image.pixel(2, 2)), QColor(0, 0, 255));
    // A colour that cannot be read draws with the default instead of failing.
    h.folder.Write("config.ini", Config("[Option_Tab]\r\nDeActivateBGColor=nonsense\r\n"));
    draw(false);
    EXPECT_EQ(QColor(image.pixel(2, 2)), btnFace);
    EXPECT_TRUE(h.ui.messages.isEmpty());
}

TEST_F(TabBarTest, TitleBecomesTheTabCaptionAndFixedWidthApplies)
{
    OpenN(2);
    h.EngineOf(h.Child(1))->RaiseTitle(QStringLiteral("とても長いページのタイトルがここにあります"));
    EXPECT_EQ(h.form->Controls().TabControl1->Caption(1),
              QStringLiteral("とても長いページのタイトルがここにあります"));
    h.form->ApplyTabWidth(120);
    EXPECT_EQ(h.form->Controls().TabControl1->tabRect(0).width(), 120);
    EXPECT_EQ(h.form->Controls().TabControl1->tabRect(1).width(), 120);
    h.form->ApplyTabType(1);
    EXPECT_TRUE(h.form->Controls().TabControl1->ButtonStyle());
}

TEST_F(TabBarTest, TitlesShowLiterallyInTabsCaptionsAndMenus)
{
    const QString title = QStringLiteral("AT&Tools [*] <b>&&</b>");
    h.Start();
    OpenN(2);
    h.form->activateWindow();
    h.Pump();
    h.EngineOf(h.Child(1))->RaiseTitle(title);
    EXPECT_EQ(h.form->Controls().TabControl1->Caption(1), title);
    EXPECT_EQ(h.Child(1)->Caption(), title);
    // The tab takes no access key: Alt+T opens the Tools menu and leaves the tabs alone.
    QTest::keyClick(h.form, Qt::Key_T, Qt::AltModifier);
    QAction *active = h.form->menuBar()->activeAction();
    EXPECT_TRUE(active && active->text() == QStringLiteral("ツール(&T)"));
    EXPECT_EQ(h.form->Controls().TabControl1->currentIndex(), 0);
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    // The window list shows the caption, and the item keeps its number as access key.
    emit h.form->Controls().mnuWindow->aboutToShow();
    const QList<QAction *> items = h.form->Controls().mnuWindow->actions();
    EXPECT_EQ(items.last()->text(), QStringLiteral("&2 AT&&Tools [*] <b>&&&&</b>"));
    EXPECT_EQ(QKeySequence::mnemonic(items.last()->text()), QKeySequence(Qt::ALT | Qt::Key_2));
    // Maximised, the page's caption shows in the main window's title as written.
    h.Child(1)->showMaximized();
    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(1));
    h.Pump();
    EXPECT_TRUE(h.form->windowHandle()->title().contains(title))
        << h.form->windowHandle()->title().toStdString();
    // Recently closed: the address after the item's own access key.
    h.EngineOf(h.Child(1))->SetLocationURL(QStringLiteral("http://x/?a=1&b=2"));
    h.Child(1)->CloseWindow();
    h.Pump();
    emit h.form->Controls().mnuLeastURL->aboutToShow();
    const QString closed = h.form->Controls().mnuLeastURL->actions().first()->text();
    EXPECT_EQ(closed, QStringLiteral("&1．http://x/?a=1&&b=2"));
    EXPECT_EQ(QKeySequence::mnemonic(closed), QKeySequence(Qt::ALT | Qt::Key_1));
}

TEST_F(TabBarTest, HoveringATabShowsItsWholeTitle)
{
    h.form->ApplyTabWidth(60);
    h.Start();
    OpenN(2);
    const QString title = QStringLiteral("とても長い <b>ページ</b> & そのタイトル");
    h.EngineOf(h.Child(1))->RaiseTitle(title);
    TTabControl *tabs = h.form->Controls().TabControl1;
    auto hover = [&](const QPoint &pos) {
        QHelpEvent help(QEvent::ToolTip, pos, tabs->mapToGlobal(pos));
        QApplication::sendEvent(tabs, &help);
    };
    hover(tabs->tabRect(1).center());
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText(), title);
    hover(tabs->tabRect(0).center());
    EXPECT_EQ(QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText(), QStringLiteral("loading"));
}

// The image of one tab of the bar as drawn.
QImage TabImage(TTabControl *tabs, int index)
{
    return tabs->grab(tabs->tabRect(index)).toImage();
}

TEST_F(TabBarTest, TheSelectedTabStandsOutInBothStylesWhateverTheColours)
{
    h.form->ApplyTabWidth(80);
    h.Start();
    OpenN(5);
    TTabControl *tabs = h.form->Controls().TabControl1;
    const std::string same = "[Option_Tab]\r\nActivateBGColor=$00C0FFFF\r\nDeActivateBGColor=$00C0FFFF\r\n";
    for (const std::string &colours : {std::string(), same}) {
        for (int type : {0, 1}) {
            h.folder.Write("config.ini", Config(colours));
            h.form->ApplyTabType(type);
            h.Pump();
            // Tabs 2 and 3 have the same caption, width and neighbours; only
            // the selection tells them apart.
            EXPECT_EQ(TabImage(tabs, 2), TabImage(tabs, 3)) << type << colours;
            tabs->setCurrentIndex(2);
            EXPECT_NE(TabImage(tabs, 2), TabImage(tabs, 3)) << type << colours;
            // Inside its frame the tab still shows the colour of the drawing rule.
            const QRect face = tabs->ContentsRect(2);
            const uint32_t expected = colours.empty() ? ColorToRgb(0x8000000F) : 0xFFFFC0;
            EXPECT_EQ(tabs->grab().toImage().pixelColor(face.left() + 2, face.center().y()),
                      QColor(QRgb(expected)))
                << type << colours;
            tabs->setCurrentIndex(0);
        }
    }
}

TEST_F(TabBarTest, ThreeHundredWindowsKeepEveryTabOnItsWindow)
{
    OpenN(300);
    ASSERT_EQ(h.form->ChildCount(), 300);
    // Close every third window by its close box and every other third by its tab.
    for (int number = 0; number < 300; number += 3)
        h.form->FindChild(number)->CloseWindow();
    for (int number = 1; number < 300; number += 3)
        h.form->Tabs().CloseTab(h.form->Tabs().FindTab(number));
    h.Pump();
    ASSERT_EQ(h.form->ChildCount(), 100);
    ASSERT_EQ(h.form->Controls().TabControl1->count(), 100);
    for (int i = 0; i < 100; ++i) {
        const int number = h.form->Windows().WinTags()[i].toInt();
        EXPECT_EQ(number % 3, 2);
        ASSERT_NE(h.form->FindChild(number), nullptr);
        h.form->Controls().TabControl1->setCurrentIndex(i);
        EXPECT_EQ(h.form->ActiveChild()->Tag, number);
    }
}

// ---- commands on the active page ----

TEST(Commands, NavigationAndEditCommandsGoToTheActiveEngine)
{
    MainHarness h;
    h.form->BackCtrlClick(); // no window: nothing happens
    h.form->FileNew1Execute();
    FakeEngine *e = h.Engine(0);
    h.form->BackCtrlClick();
    h.form->FrwrdCtrlClick();
    h.form->StopCtrlClick();
    h.form->ReLoadCtrlClick();
    h.form->mnuEdit_CopyClick();
    h.form->mnuEdit_slrAllClick();
    h.form->mnuFile_SaveAsClick();
    const std::vector<std::string> tail(e->log.end() - 7, e->log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"GoBack()", "GoForward()", "Stop()", "Refresh()", "Copy()",
                                              "SelectAll()", "SaveTo()"}));
    e->FailNextCommand("コピーできません");
    EXPECT_FALSE(Guarded([&] { h.form->mnuEdit_CopyClick(); }));
    EXPECT_EQ(h.ui.LastMessageText(), QStringLiteral("コピーできません."));
    // A save that fails later shows the engine's message the same way.
    h.Child(0)->OnSaveFinished(false, QStringLiteral("ページを保存できません: /ro/a.html"));
    EXPECT_EQ(h.ui.LastMessageText(), QStringLiteral("ページを保存できません: /ro/a.html."));
}

TEST(Commands, TextSizeIsIgnoredWhileBusyAndErrorsAreSwallowed)
{
    MainHarness h;
    h.form->FileNew1Execute();
    FakeEngine *e = h.Engine(0);
    const int zoomsAtOpen = e->CountOf("Zoom(");
    e->SetBusy(true);
    h.form->Controls().mnuSize_Max->trigger();
    EXPECT_EQ(h.form->MojiSize(), 2);
    EXPECT_FALSE(h.form->Controls().mnuSize_Max->isChecked());
    EXPECT_TRUE(h.form->Controls().mnuSize_middle->isChecked());
    EXPECT_EQ(e->CountOf("Zoom("), zoomsAtOpen);

    e->SetBusy(false);
    e->FailNextCommand("zoom failed");
    h.form->Controls().mnuSize_Small->trigger();
    EXPECT_TRUE(h.ui.messages.isEmpty());
    EXPECT_EQ(h.form->MojiSize(), 1);
    EXPECT_EQ(qobject_cast<Tfrm_IE *>(h.Child(0))->PageMojiSize, 1);
    EXPECT_TRUE(h.form->Controls().mnuSize_Small->isChecked());
    EXPECT_FALSE(h.form->Controls().mnuSize_middle->isChecked());
    h.form->Controls().mnuSize_Max->trigger();
    EXPECT_EQ(e->LastCall(), "Zoom(4)");
}

TEST(Commands, KeysFindBarAndPrintActOnTheActiveWindow)
{
    MainHarness h;
    h.Start();
    QApplication::setActiveWindow(h.form);
    auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(h.form, k, m); };
    // No window open: the keys do nothing.
    for (Qt::Key k : {Qt::Key_F5, Qt::Key_Escape})
        key(k);
    key(Qt::Key_F, Qt::ControlModifier);
    key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_FALSE(h.form->Controls().FindBar1->isVisible());
    EXPECT_TRUE(h.ui.printDocuments.isEmpty());

    h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://one/"), QStringLiteral("one"));
    h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://two/"), QStringLiteral("two"));
    FakeEngine *front = h.EngineOf(h.Child(0));
    FakeEngine *back = h.EngineOf(h.Child(1));
    ASSERT_EQ(h.form->ActiveChild(), h.Child(0));
    front->RaiseCommandState(CSC_NAVIGATEBACK, true);
    front->RaiseCommandState(CSC_NAVIGATEFORWARD, true);
    h.Child(0)->OnDownloadBegin();
    front->log.clear();
    key(Qt::Key_F5);
    key(Qt::Key_Escape);
    key(Qt::Key_Left, Qt::AltModifier);
    key(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(front->log, (std::vector<std::string>{"Refresh()", "Stop()", "GoBack()", "GoForward()"}));
    EXPECT_EQ(back->CountOf("Refresh") + back->CountOf("Stop") + back->CountOf("Go"), 0);

    // The find bar searches as the text changes and shows the engine's count.
    TFindBar *bar = h.form->Controls().FindBar1;
    key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->Target(), h.Child(0));
    front->log.clear();
    QTest::keyClicks(bar->txtFind, QStringLiteral("ab"));
    h.Child(0)->OnFindResult(QStringLiteral("ab"), 3);
    h.Child(0)->OnFindResult(QStringLiteral("a"), 9); // late answer to an older text
    EXPECT_EQ(bar->lblMatches->text(), QStringLiteral("3 件"));
    QTest::keyClick(bar->txtFind, Qt::Key_Return, Qt::ShiftModifier);
    bar->chkMatchCase->click();
    EXPECT_EQ(front->log,
              (std::vector<std::string>{"Find(a)", "Find(ab)", "Find(ab,back)", "Find(ab,case)"}));

    // Another window in front: the highlighting moves with it; Esc in the bar
    // closes it and clears, and does not stop the page.
    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(1));
    EXPECT_EQ(front->LastCall(), "Find()");
    EXPECT_EQ(back->LastCall(), "Find(ab,case)");
    h.Child(1)->OnDownloadBegin();
    QTest::keyClick(bar->txtFind, Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(back->LastCall(), "Find()");
    EXPECT_EQ(back->CountOf("Stop"), 0);

    // Print: the dialog's choice goes to the engine; not while the page loads.
    PrintChoice pdf;
    pdf.outputFile = QStringLiteral("/tmp/page.pdf");
    h.ui.printAnswers = {pdf, pdf};
    key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(back->LastCall(), "Print(,/tmp/page.pdf)");
    EXPECT_EQ(h.ui.printDocuments, QStringList{"two"});
    back->SetBusy(true);
    key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(h.ui.printDocuments.size(), 1);
    h.Child(1)->OnPrintFinished(false, QStringLiteral("用紙がありません"));
    EXPECT_EQ(h.ui.LastMessageText(), QStringLiteral("印刷できません（用紙がありません）."));
}

TEST(Commands, NewIeWindowsShowTheCheckedSize)
{
    {
        MainHarness h(Config("LastMojiSize=1\r\n"));
        EXPECT_TRUE(h.form->Controls().mnuSize_Small->isChecked());
        h.form->FileNew1Execute();
        EXPECT_EQ(qobject_cast<Tfrm_IE *>(h.Child(0))->PageMojiSize, 1);
        EXPECT_EQ(h.Engine(0)->zoom, 1);
        // Sized before the page loads.
        const std::vector<std::string> &log = h.Engine(0)->log;
        const auto zoom = std::find(log.begin(), log.end(), "Zoom(1)");
        EXPECT_LT(zoom, std::find(log.begin(), log.end(), "Navigate()"));
        // A Gecko window has no text size.
        h.form->Moz_ItemClick();
        h.form->FileNew1Execute();
        EXPECT_EQ(h.Engine(1)->CountOf("Zoom("), 0);
    }
    // A size no item stands for is not sent.
    MainHarness h(Config("LastMojiSize=9\r\n"));
    h.form->FileNew1Execute();
    EXPECT_EQ(h.Engine(0)->CountOf("Zoom("), 0);
    EXPECT_EQ(qobject_cast<Tfrm_IE *>(h.Child(0))->PageMojiSize, 9);
}

} // namespace

namespace {

TEST(CoveredPages, PagesBehindAMaximisedWindowAreHiddenUntilItIsRestored)
{
    MainHarness h("[General]\r\nLastEngine=IE\r\nWinSize=1\r\n");
    h.Start();
    h.form->FileNew1Execute();
    h.form->FileNew1Execute();
    h.form->FileNew1Execute();
    TChildForm *front = h.form->ActiveChild();
    ASSERT_NE(front, nullptr);
    ASSERT_TRUE(front->isMaximized());
    for (TChildForm *child : h.form->Children())
        EXPECT_EQ(child->widget()->isVisibleTo(child), child == front) << child->Tag;
    front->showNormal();
    h.Pump();
    for (TChildForm *child : h.form->Children())
        EXPECT_TRUE(child->widget()->isVisibleTo(child)) << child->Tag;
    EXPECT_EQ(h.form->ActiveChild(), front) << "a page shown again activates nothing";
}

TEST(CoveredPages, APageWhollyCoveredByANormalWindowIsHiddenWhileItIsCovered)
{
    MainHarness h("[General]\r\nLastEngine=IE\r\nWinSize=0\r\n");
    h.Start();
    h.form->FileNew1Execute();
    h.form->FileNew1Execute();
    h.Pump();
    TChildForm *back = h.Child(0);
    TChildForm *front = h.Child(1);
    h.form->Controls().mdiArea->setActiveSubWindow(front);
    front->widget()->setFocus();
    front->setGeometry(back->geometry().adjusted(0, 10, 0, 10)); // back's title bar shows
    h.Pump();
    EXPECT_FALSE(back->widget()->isVisibleTo(back));
    front->move(front->pos() + QPoint(30, 0)); // a strip of back's page shows
    h.Pump();
    EXPECT_TRUE(back->widget()->isVisibleTo(back));
    front->move(back->pos());
    h.Pump();
    ASSERT_FALSE(back->widget()->isVisibleTo(back));
    front->close();
    h.Pump();
    EXPECT_TRUE(back->widget()->isVisibleTo(back));
}

// Shows, hides and resizes per object, and native windows made for child
// windows, while it is installed.
class WindowEvents : public QObject {
public:
    WindowEvents() { qApp->installEventFilter(this); }
    QHash<QObject *, int> shows, hides, resizes;
    int nativeChildWindows = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            ++shows[watched];
        else if (event->type() == QEvent::Hide)
            ++hides[watched];
        else if (event->type() == QEvent::Resize)
            ++resizes[watched];
        else if (event->type() == QEvent::PlatformSurface && qobject_cast<TChildForm *>(watched) &&
                 static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType() ==
                     QPlatformSurfaceEvent::SurfaceCreated)
            ++nativeChildWindows;
        return false;
    }
};

TEST(CoveredPages, OpeningBehindAMaximisedWindowLeavesItAndShowsNoNewPage)
{
    MainHarness h("[General]\r\nLastEngine=IE\r\nWinSize=1\r\n");
    h.Start();
    WindowEvents events;
    h.form->FileNew1Execute();
    h.Pump();
    QWidget *frontPage = h.Child(0)->widget();
    events.hides.clear();
    events.resizes.clear();
    // Nor do their windows come over it: each would show above the front
    // page for as long as its opening takes.
    QMdiArea *area = h.Child(0)->mdiArea();
    int activations = 0;
    QObject::connect(area, &QMdiArea::subWindowActivated, area, [&] { ++activations; });
    for (int i = 0; i < 3; ++i)
        h.form->FileNew1Execute();
    h.Pump();
    EXPECT_EQ(activations, 0);
    EXPECT_EQ(area->subWindowList(QMdiArea::StackingOrder).last(), h.Child(0));
    // The window in front stays as it is: its page is neither hidden nor
    // resized. The pages opened behind it are never shown, not for a moment.
    EXPECT_EQ(events.hides.value(frontPage), 0);
    EXPECT_EQ(events.resizes.value(frontPage), 0);
    ASSERT_EQ(h.form->ChildCount(), 4);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(events.shows.value(h.Child(i)->widget()), 0) << i;
        EXPECT_FALSE(h.Child(i)->widget()->isVisibleTo(h.Child(i))) << i;
    }
    EXPECT_EQ(h.form->ActiveChild(), h.Child(0));
    EXPECT_TRUE(h.Child(0)->isMaximized());
    // A window goes straight into the area, never through a top-level window
    // of its own.
    EXPECT_EQ(events.nativeChildWindows, 0);
    // The front window closed, the one right behind it comes forward, and
    // no other page is shown.
    const QList<QMdiSubWindow *> stacked = area->subWindowList(QMdiArea::StackingOrder);
    auto *behind = qobject_cast<TChildForm *>(stacked.at(stacked.size() - 2));
    h.Child(0)->CloseWindow();
    h.Pump();
    EXPECT_EQ(h.form->ActiveChild(), behind);
    for (TChildForm *child : h.form->Children()) {
        EXPECT_EQ(child->widget()->isVisibleTo(child), child == behind) << child->Tag;
        if (child != behind) {
            EXPECT_EQ(events.shows.value(child->widget()), 0) << child->Tag;
        }
    }
}

} // namespace
