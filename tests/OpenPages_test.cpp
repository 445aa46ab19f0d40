// Opening pages, the tab bar and the commands on the active page, with fake
// engines: tab limit, numbering, the address bar, tab commands, colours read
// at every drawing, text sizes.
#include "browser/ChildForm.h"
#include "browser/childIE.h"
#include "browser/untTab.h"
#include "settings/ColorText.h"
#include "shell/Main.h"
#include "support/MainHarness.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QPainter>
#include <QPlatformSurfaceEvent>
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
    h.form->CloseTab(0);
    h.form->FileNew1Execute();
    EXPECT_EQ(h.form->ChildCount(), 3);
    EXPECT_EQ(h.form->WinTags, (QStringList{"1", "2", "3"}));
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
    EXPECT_EQ(h.form->WinTags, (QStringList{"1", "2"}));
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
}

TEST(OpenPages, AddressBarWithNoWindowOpensOneAndShowsTheAddressThere)
{
    MainHarness h; // "AddressBar" is 0
    h.form->txtAddress->setText(QStringLiteral("http://typed/"));
    h.form->txtAddressKeyDown(13);
    ASSERT_EQ(h.form->ChildCount(), 1);
    EXPECT_EQ(h.Engine(0)->log.back(), "Navigate(http://typed/)");
}

TEST(OpenPages, AddressBarNewWindowModeLeavesTheBlankWindowBehind)
{
    MainHarness h(Config("[Option_Window]\r\nAddressBar=1\r\nNewWindow_Active=0\r\n"));
    h.form->FileNew1Execute();
    h.form->txtAddress->setText(QStringLiteral("http://typed/"));
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
    h.form->txtAddress->clear();
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
    h.form->txtAddress->setText(QStringLiteral("http://x/"));
    EXPECT_FALSE(Guarded([&] { h.form->btnMoveClick(); }));
    EXPECT_EQ(h.ui.LastMessageText(), QStringLiteral("navigation refused."));
    ASSERT_EQ(h.form->ChildCount(), h.form->TabControl1->count());
    for (int i = 0; i < h.form->ChildCount(); ++i)
        EXPECT_EQ(h.form->WinTags[i].toInt(), h.Child(i)->Tag);
}

TEST(OpenPages, GeckoFolderBecomesTheWorkingFolderAndAFailureOpensNothing)
{
    MainHarness h(Config("[Option_Main]\r\nMozilla=1\r\nMozPath=/nonexistent/gecko\r\n"));
    EXPECT_FALSE(Guarded([&] { h.form->FileNew1Execute(); }));
    EXPECT_EQ(h.form->ChildCount(), 0);
    EXPECT_EQ(h.form->WinCount, -1);
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("/nonexistent/gecko")));

    TempFolder gecko;
    h.folder.Write("config.ini", Config("[Option_Main]\r\nMozilla=1\r\nMozPath=" + gecko.Path() + "\r\n"));
    h.form->FileNew1Execute();
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), gecko.Path());
}

// ---- tab bar ----

struct TabBarTest : ::testing::Test {
    MainHarness h;
    void OpenN(int n)
    {
        for (int i = 0; i < n; ++i)
            h.form->OpenNewWindow(QStringLiteral("c"), QStringLiteral("http://page%1/").arg(i));
    }
};

TEST_F(TabBarTest, ClosingTheFrontWindowSelectsTheNextWindowsTab)
{
    OpenN(3);
    h.form->mdiArea->setActiveSubWindow(h.Child(2));
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading 1:loading 2:loading*"));
    h.Child(2)->CloseWindow();
    h.Pump();
    TChildForm *front = h.form->ActiveChild();
    ASSERT_NE(front, nullptr);
    EXPECT_EQ(h.form->TabControl1->currentIndex(), h.form->FindTab(front->Tag));
    EXPECT_EQ(h.form->TabControl1->count(), 2);
}

TEST_F(TabBarTest, ClickingATabBringsItsWindowToTheFront)
{
    OpenN(3);
    h.form->TabControl1->setCurrentIndex(1); // as a click does: raises the change handler
    EXPECT_EQ(h.form->ActiveChild(), h.Child(1));
}

TEST_F(TabBarTest, CloseAllButThisKeepsThePointedTabOrTheLastFor255)
{
    OpenN(5);
    h.form->PopupTab = 2;
    h.form->mnu_AllCloseNotMeClick();
    h.Pump();
    EXPECT_EQ(h.form->WinTags, QStringList{"2"});
    EXPECT_EQ(h.form->ChildCount(), 1);

    OpenN(3);
    h.form->PopupTab = 255;
    h.form->mnu_AllCloseNotMeClick();
    h.Pump();
    EXPECT_EQ(h.form->WinTags, QStringList{"7"});
}

TEST_F(TabBarTest, CloseAllAddsOneClosedAddressPerWindowInTabOrder)
{
    OpenN(4);
    h.form->mnu_AllCloseClick();
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 0);
    EXPECT_EQ(h.form->TabControl1->count(), 0);
    const std::vector<std::string> expected{"http://page0/", "http://page1/", "http://page2/",
                                            "http://page3/"};
    EXPECT_EQ(h.form->closedList.Entries(), expected);
    EXPECT_EQ(AllClosing, -1);
    OpenN(1);
    EXPECT_EQ(AllClosing, 0);
}

TEST_F(TabBarTest, RightPressOnEmptyBarSetsPopupTab255)
{
    OpenN(2);
    h.Start();
    h.form->TabControl1MouseDown(Qt::MiddleButton, QPoint(h.form->TabControl1->width() - 2, 5));
    EXPECT_EQ(h.form->PopupTab, 255);
    h.form->TabControl1MouseDown(Qt::MiddleButton, h.form->TabControl1->tabRect(1).center());
    EXPECT_EQ(h.form->PopupTab, 1);
}

TEST_F(TabBarTest, AddCloseUrlAppendsTheAddressAndClosesOnlyWhenTheFileExists)
{
    OpenN(2);
    h.form->PopupTab = 1;
    // No CloseURL.txt: the message, and the tab stays.
    EXPECT_FALSE(Guarded([&] { h.form->popAddCloseClick(); }));
    EXPECT_EQ(h.form->ChildCount(), 2);
    EXPECT_EQ(h.ui.LastMessageText(),
              QString::fromStdString("ファイル " + h.folder.File("CloseURL.txt") + " は開けません."));

    h.folder.Write("CloseURL.txt", "*ads*\r\n");
    h.form->popAddCloseClick();
    EXPECT_EQ(h.folder.Read("CloseURL.txt"), "*ads*\r\nhttp://page1/\r\n");
    EXPECT_EQ(h.form->WinTags, QStringList{"0"});
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
    EXPECT_EQ(h.form->TabControl1->tabText(1), QStringLiteral("とても長いページのタイトルがここにあります"));
    h.form->ApplyTabWidth(120);
    EXPECT_EQ(h.form->TabControl1->tabRect(0).width(), 120);
    EXPECT_EQ(h.form->TabControl1->tabRect(1).width(), 120);
    h.form->ApplyTabType(1);
    EXPECT_TRUE(h.form->TabControl1->ButtonStyle());
}

TEST_F(TabBarTest, ThreeHundredWindowsKeepEveryTabOnItsWindow)
{
    OpenN(300);
    ASSERT_EQ(h.form->ChildCount(), 300);
    // Close every third window by its close box and every other third by its tab.
    for (int number = 0; number < 300; number += 3)
        h.form->FindChild(number)->CloseWindow();
    for (int number = 1; number < 300; number += 3)
        h.form->CloseTab(h.form->FindTab(number));
    h.Pump();
    ASSERT_EQ(h.form->ChildCount(), 100);
    ASSERT_EQ(h.form->TabControl1->count(), 100);
    for (int i = 0; i < 100; ++i) {
        const int number = h.form->WinTags[i].toInt();
        EXPECT_EQ(number % 3, 2);
        ASSERT_NE(h.form->FindChild(number), nullptr);
        h.form->TabControl1->setCurrentIndex(i);
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
    EXPECT_EQ(tail, (std::vector<std::string>{"GoBack()", "GoForward()", "Stop()", "Refresh()",
                                              "ExecWB(12,0)", "ExecWB(17,0)", "ExecWB(4,0)"}));
    e->FailNextExecWB("コピーできません");
    EXPECT_FALSE(Guarded([&] { h.form->mnuEdit_CopyClick(); }));
    EXPECT_EQ(h.ui.LastMessageText(), QStringLiteral("コピーできません."));
}

TEST(Commands, TextSizeIsIgnoredWhileBusyAndErrorsAreSwallowed)
{
    MainHarness h;
    h.form->FileNew1Execute();
    FakeEngine *e = h.Engine(0);
    e->SetBusy(true);
    h.form->mnuSize_Max->trigger();
    EXPECT_EQ(h.form->MojiSize(), 2);
    EXPECT_FALSE(h.form->mnuSize_Max->isChecked());
    EXPECT_TRUE(h.form->mnuSize_middle->isChecked());
    EXPECT_EQ(e->CountOf("ExecWB(19"), 0);

    e->SetBusy(false);
    e->FailNextExecWB("zoom failed");
    h.form->mnuSize_Small->trigger();
    EXPECT_TRUE(h.ui.messages.isEmpty());
    EXPECT_EQ(h.form->MojiSize(), 1);
    EXPECT_EQ(qobject_cast<Tfrm_IE *>(h.Child(0))->PageMojiSize, 1);
    EXPECT_TRUE(h.form->mnuSize_Small->isChecked());
    EXPECT_FALSE(h.form->mnuSize_middle->isChecked());
    h.form->mnuSize_Max->trigger();
    EXPECT_EQ(e->LastCall(), "ExecWB(19,2,4)");
}

TEST(Commands, NewIeWindowRecordsTheSizeWithoutAZoomCommand)
{
    MainHarness h(Config("LastMojiSize=1\r\n"));
    EXPECT_TRUE(h.form->mnuSize_Small->isChecked());
    h.form->FileNew1Execute();
    EXPECT_EQ(qobject_cast<Tfrm_IE *>(h.Child(0))->PageMojiSize, 1);
    EXPECT_EQ(h.Engine(0)->CountOf("ExecWB(19"), 0);
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
    for (int i = 0; i < 3; ++i)
        h.form->FileNew1Execute();
    h.Pump();
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
}

} // namespace
