// Browser child windows against the fake engine: what their engine events
// do to the main window's indicators, activation, closing and the missing
// engine module.
#include "browser/ChildForm.h"
#include "browser/childIE.h"
#include "browser/childMoz.h"
#include "browser/untTab.h"
#include "core/FileIO.h"
#include "platform/UiServices.h"
#include "shell/Main.h"
#include "shell/TabStrip.h"
#include "support/MainHarness.h"
#include "support/Wait.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QProgressBar>
#include <algorithm>
#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::test;

namespace {

struct ChildWindowTest : ::testing::Test {
    MainHarness h;
    PageIndicators &ind() { return h.form->Indicators(); }
    void Open(const QString &address)
    {
        h.form->OpenNewWindow(h.form->ToolsEngine(), address, QStringLiteral("c"));
    }
};

TEST_F(ChildWindowTest, BackgroundWindowTitlesItsOwnWindowAndTabButLeavesTheIndicators)
{
    Open("http://one/");
    Open("http://two/");
    // The new window opens behind the one that was in front.
    ASSERT_EQ(h.form->ActiveChild(), h.Child(0));
    FakeEngine *background = h.EngineOf(h.Child(1));
    ind().ProgressBar1->setValue(40);
    ind().StatusPanel->setText(QStringLiteral("前"));
    ind().txtAddress->setText(QStringLiteral("http://typ")); // the user is typing

    background->RaiseStatus(QStringLiteral("リンク"));
    background->SetLocationURL(QStringLiteral("http://two/page"));
    background->RaiseTitle(QStringLiteral("二つ目"));
    background->RaiseProgress(50, 100);

    EXPECT_EQ(h.Child(1)->windowTitle(), QStringLiteral("二つ目"));
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading* 1:二つ目"));
    EXPECT_EQ(ind().txtAddress->text(), QStringLiteral("http://typ"));
    EXPECT_EQ(ind().StatusPanel->text(), QStringLiteral("前"));
    EXPECT_EQ(ind().ProgressBar1->value(), 40);
    // Moving goes to the window in front, with what the user typed.
    ind().txtAddress->setText(QStringLiteral("http://typed/"));
    h.form->btnMoveClick();
    EXPECT_EQ(h.EngineOf(h.Child(0))->LastCall(), "Navigate(http://typed/)");
    EXPECT_EQ(background->LastCall(), "Navigate(http://two/)");

    // The front window's own events still reach them.
    FakeEngine *front = h.EngineOf(h.Child(0));
    front->RaiseStatus(QStringLiteral("リンク"));
    front->SetLocationURL(QStringLiteral("http://one/page"));
    front->RaiseTitle(QStringLiteral("一つ目"));
    EXPECT_EQ(ind().StatusPanel->text(), QStringLiteral("リンク"));
    EXPECT_EQ(ind().txtAddress->text(), QStringLiteral("http://one/page"));
}

TEST_F(ChildWindowTest, ClosingWindowsBehindLeavesTheFrontWindowsStates)
{
    for (bool gecko : {false, true}) {
        if (gecko)
            h.form->Moz_ItemClick();
        Open("http://front/");
        Open("http://b1/");
        Open("http://b2/");
        TChildForm *front = h.Child(0);
        ASSERT_EQ(h.form->ActiveChild(), front);
        FakeEngine *e = h.EngineOf(front);
        e->RaiseCommandState(CSC_NAVIGATEBACK, true);
        e->RaiseProgress(30, 100);
        h.Child(1)->CloseWindow();
        h.Pump();
        // "これ以外を全て閉じる" on the front window's tab.
        h.form->Tabs().SetPopupTab(0);
        h.form->mnu_AllCloseNotMeClick();
        h.Pump();
        ASSERT_EQ(h.form->ChildCount(), 1);
        EXPECT_EQ(ind().txtAddress->text(), QStringLiteral("http://front/")) << "gecko=" << gecko;
        EXPECT_TRUE(ind().BackCtrl->isEnabled());
        EXPECT_TRUE(ind().ReLoadCtrl->isEnabled());
        EXPECT_EQ(ind().ProgressBar1->value(), 30);
        EXPECT_TRUE(ind().mnuEdit_Copy->isEnabled());
        EXPECT_TRUE(ind().mnuShow_Size->isEnabled());
        h.form->ReLoadCtrlClick();
        EXPECT_EQ(e->LastCall(), "Refresh()");
        front->CloseWindow();
        h.Pump();
    }
}

TEST_F(ChildWindowTest, APageThatAsksBeforeLeavingIsAskedWhenItsWindowCloses)
{
    Open("http://stay/");
    Open("http://other/");
    FakeEngine *asking = h.EngineOf(h.Child(0));
    asking->leaveHandler = true;
    PageMessageAnswer stay, leave;
    leave.accepted = true;

    // Staying keeps the window and its tab, whichever command closed it.
    h.ui.pageAnswers = {stay, stay, stay};
    EXPECT_FALSE(h.Child(0)->CloseWindow());
    h.Pump();
    h.form->Tabs().SetPopupTab(0);
    h.form->popTabCloseClick();
    h.Pump();
    h.form->mnu_AllCloseClick(); // the other window goes, the asking one stays
    h.Pump();
    ASSERT_EQ(h.ui.pageMessages.size(), 3u);
    EXPECT_EQ(h.ui.pageMessages[0].kind, PageMessageKind::LeavePage);
    EXPECT_EQ(h.form->ChildCount(), 1);
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading*"));
    EXPECT_EQ(h.form->ActiveChild(), h.Child(0));
    EXPECT_EQ(ind().txtAddress->text(), QStringLiteral("http://stay/"));

    // Quitting asks too; staying keeps the program.
    h.ui.pageAnswers = {stay};
    EXPECT_FALSE(h.form->close());
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 1);
    EXPECT_FALSE(FileExists(h.folder.File("Close.txt")));

    // Leaving closes it.
    h.ui.pageAnswers = {leave};
    EXPECT_TRUE(h.form->Controls().mnuFile_Close->isEnabled());
    h.form->mnuFile_CloseClick();
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 0);
    EXPECT_EQ(h.ui.pageMessages.size(), 5u);
}

// Quitting asks the pages in turn, each once, and the first that stays
// ends the asking; a second quit while they are asked adds no question.
TEST_F(ChildWindowTest, QuitAsksEachPageOnceInTurnUntilOneStays)
{
    h.Start();
    for (const char *address : {"http://a/", "http://b/", "http://c/"})
        Open(address);
    for (int i = 0; i < 3; ++i)
        h.EngineOf(h.Child(i))->leaveHandler = true;
    PageMessageAnswer stay, leave;
    leave.accepted = true;
    h.ui.pageAnswers = {leave, stay, leave};
    EXPECT_FALSE(h.form->close());
    EXPECT_FALSE(h.form->close());
    h.Pump();
    EXPECT_EQ(h.ui.pageMessages.size(), 2u) << "the page after the one that stayed is not asked";
    EXPECT_TRUE(h.form->isVisible());
    EXPECT_EQ(h.form->ChildCount(), 3);

    h.ui.pageAnswers = {leave, leave, leave};
    h.form->close();
    h.Pump();
    EXPECT_EQ(h.ui.pageMessages.size(), 5u);
    EXPECT_FALSE(h.form->isVisible());
}

TEST_F(ChildWindowTest, BackgroundCommandStateStaysWithItsOwnWindow)
{
    Open("http://one/");
    Open("http://two/");
    TChildForm *active = h.Child(0);
    ASSERT_EQ(h.form->ActiveChild(), active);
    EXPECT_FALSE(ind().ReLoadCtrl->isEnabled()); // a fresh window: reload off until the engine reports
    // A page loading behind the front one reports its history: the buttons
    // keep showing the front page, and the window behind keeps its own.
    h.EngineOf(h.Child(1))->RaiseCommandState(CSC_NAVIGATEBACK, true);
    EXPECT_FALSE(ind().BackCtrl->isEnabled());
    EXPECT_FALSE(ind().ReLoadCtrl->isEnabled());
    EXPECT_FALSE(active->BackState);
    EXPECT_TRUE(h.Child(1)->BackState);
    EXPECT_TRUE(h.Child(1)->ReLoadState);
    // Brought to the front, it shows them.
    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(1));
    EXPECT_TRUE(ind().BackCtrl->isEnabled());
    EXPECT_TRUE(ind().ReLoadCtrl->isEnabled());
    // The front window's own report moves the buttons and is saved in it.
    h.EngineOf(h.Child(1))->RaiseCommandState(CSC_NAVIGATEFORWARD, true);
    EXPECT_TRUE(ind().FrwrdCtrl->isEnabled());
    EXPECT_TRUE(h.Child(1)->FrwrdState);
}

TEST_F(ChildWindowTest, ProgressArithmeticOfTheIeWindow)
{
    Open("http://one/");
    FakeEngine *e = h.EngineOf(h.Child(0));
    e->RaiseProgress(50, 200);
    EXPECT_EQ(ind().ProgressBar1->value(), 25);
    EXPECT_EQ(h.Child(0)->ProgressPos, 25);
    e->RaiseProgress(-1, 200);
    EXPECT_EQ(ind().ProgressBar1->value(), 0);
    e->RaiseProgress(70, 100);
    e->RaiseProgress(5, 0); // no maximum: the position stays
    EXPECT_EQ(ind().ProgressBar1->value(), 70);
    e->RaiseProgress(0, 0);
    EXPECT_EQ(ind().ProgressBar1->value(), 0);
    e->RaiseProgress(300, 100); // clamps
    EXPECT_EQ(ind().ProgressBar1->value(), 100);
}

TEST_F(ChildWindowTest, GeckoWindowAtHundredShowsZeroAndStopsTheStopButton)
{
    h.form->Moz_ItemClick();
    Open("http://moz/");
    ASSERT_NE(qobject_cast<Tfrm_MZ *>(h.Child(0)), nullptr);
    FakeEngine *e = h.EngineOf(h.Child(0));
    e->RaiseProgress(50, 100);
    EXPECT_EQ(ind().ProgressBar1->value(), 50);
    EXPECT_TRUE(ind().StopCtrl->isEnabled());
    e->RaiseProgress(100, 100);
    EXPECT_EQ(ind().ProgressBar1->value(), 0);
    EXPECT_FALSE(ind().StopCtrl->isEnabled());
    EXPECT_EQ(h.Child(0)->ProgressPos, 0);
    // The engine scales the text: the window has its own size, like an IE page.
    EXPECT_TRUE(ind().mnuShow_Size->isEnabled());
    e->SetBusy(false);
    h.form->SetTextSize(4);
    EXPECT_EQ(e->LastCall(), "Zoom(4)");
    EXPECT_EQ(h.Child(0)->PageMojiSize, 4);
    EXPECT_TRUE(h.form->Controls().mnuSize_Max->isChecked());
}

TEST_F(ChildWindowTest, ActivationRestoresTheWindowsOwnStates)
{
    Open("http://one/");
    Open("http://two/");
    ASSERT_EQ(h.form->ActiveChild(), h.Child(0));
    h.EngineOf(h.Child(0))->RaiseCommandState(CSC_NAVIGATEBACK, true);
    h.EngineOf(h.Child(0))->RaiseProgress(30, 100);

    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(1));
    EXPECT_FALSE(ind().BackCtrl->isEnabled());
    EXPECT_EQ(ind().ProgressBar1->value(), 0);
    EXPECT_EQ(ind().txtAddress->text(), QStringLiteral("http://two/"));
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading 1:loading*"));

    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(0));
    EXPECT_TRUE(ind().BackCtrl->isEnabled());
    EXPECT_EQ(ind().ProgressBar1->value(), 30);
    EXPECT_EQ(ind().txtAddress->text(), QStringLiteral("http://one/"));
    EXPECT_TRUE(ind().mnuEdit_Copy->isEnabled());
    EXPECT_TRUE(ind().mnuShow_Size->isEnabled());
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading* 1:loading"));
}

TEST_F(ChildWindowTest, ConnectionIndicatorShowsTheFrontPagesConnection)
{
    Open("https://secure.example/");
    Open("http://plain.example/");
    QLabel *indicator = ind().Connection;
    ASSERT_TRUE(indicator);
    EXPECT_TRUE(indicator->isHidden()) << "no page has reported yet";
    h.EngineOf(h.Child(0))->Sink()->OnConnectionChange(ConnectionSecurity::Secure, "secure.example");
    // A page behind the front one leaves the indicator to the front page.
    h.EngineOf(h.Child(1))->Sink()->OnConnectionChange(ConnectionSecurity::Insecure, "plain.example");
    EXPECT_FALSE(indicator->isHidden());
    EXPECT_EQ(indicator->text(), QStringLiteral("保護された通信 secure.example"));
    EXPECT_TRUE(indicator->toolTip().contains(QStringLiteral("(https)")));

    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(1));
    EXPECT_EQ(indicator->text(), QStringLiteral("保護されていない通信"));
    EXPECT_TRUE(
        indicator->toolTip().contains(QStringLiteral("plain.example との通信は暗号化されていません")));
    h.EngineOf(h.Child(1))
        ->Sink()
        ->OnConnectionChange(ConnectionSecurity::CertificateException, "self.example");
    EXPECT_EQ(indicator->text(), QStringLiteral("証明書エラー self.example"));
    EXPECT_TRUE(indicator->toolTip().contains(QStringLiteral("「続行」")));
    h.EngineOf(h.Child(1))->Sink()->OnConnectionChange(ConnectionSecurity::None, QString());
    EXPECT_TRUE(indicator->isHidden()) << "a local page came over no connection";

    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(0));
    EXPECT_EQ(indicator->text(), QStringLiteral("保護された通信 secure.example"));
    h.Child(0)->CloseWindow();
    h.Pump();
    h.Child(0)->CloseWindow();
    h.Pump();
    EXPECT_TRUE(indicator->isHidden());
}

TEST_F(ChildWindowTest, ClosingTheLastWindowClearsEveryIndicator)
{
    for (bool gecko : {false, true}) {
        if (gecko)
            h.form->Moz_ItemClick();
        Open("http://x/");
        FakeEngine *e = h.EngineOf(h.Child(0));
        e->RaiseCommandState(CSC_NAVIGATEBACK, true);
        e->RaiseCommandState(CSC_NAVIGATEFORWARD, true);
        e->RaiseStatus(QStringLiteral("status"));
        e->RaiseProgress(20, 100);
        h.Child(0)->CloseWindow();
        h.Pump();
        EXPECT_EQ(h.form->ChildCount(), 0);
        EXPECT_TRUE(ind().txtAddress->text().isEmpty());
        EXPECT_TRUE(ind().StatusPanel->text().isEmpty());
        EXPECT_EQ(ind().ProgressBar1->value(), 0);
        for (QAction *a : {ind().BackCtrl, ind().FrwrdCtrl, ind().StopCtrl, ind().ReLoadCtrl,
                           ind().mnuEdit_Copy, ind().mnuFile_SaveAs})
            EXPECT_FALSE(a->isEnabled()) << a->text().toStdString() << " gecko=" << gecko;
        EXPECT_EQ(h.form->Controls().TabControl1->count(), 0);
        EXPECT_TRUE(h.form->Windows().WinTags().isEmpty());
    }
}

TEST_F(ChildWindowTest, StopFollowsLoadingOfTheWindowInFrontForEitherEngine)
{
    for (bool gecko : {false, true}) {
        if (gecko)
            h.form->Moz_ItemClick();
        Open("http://front/");
        Open("http://back/");
        TChildForm *front = h.Child(0);
        TChildForm *back = h.Child(1);
        ASSERT_EQ(h.form->ActiveChild(), front);

        back->OnDownloadBegin(); // a page loading behind leaves the button alone
        EXPECT_FALSE(ind().StopCtrl->isEnabled());
        EXPECT_TRUE(back->StopState);
        front->OnDownloadBegin();
        EXPECT_TRUE(ind().StopCtrl->isEnabled());
        front->OnDownloadComplete();
        EXPECT_FALSE(ind().StopCtrl->isEnabled());
        EXPECT_FALSE(front->StopState);

        h.form->Controls().mdiArea->setActiveSubWindow(back); // its own state comes with it
        EXPECT_TRUE(ind().StopCtrl->isEnabled()) << "gecko=" << gecko;
        front->OnDownloadBegin();
        back->OnDownloadComplete();
        EXPECT_FALSE(ind().StopCtrl->isEnabled());
        h.form->Controls().mdiArea->setActiveSubWindow(front);
        EXPECT_TRUE(ind().StopCtrl->isEnabled());
        front->CloseWindow();
        back->CloseWindow();
        h.Pump();
    }
}

TEST_F(ChildWindowTest, TheEleventhCloseDropsTheOldestAddress)
{
    for (int i = 1; i <= 11; ++i) {
        Open(QStringLiteral("http://page%1/").arg(i));
        h.Child(0)->CloseWindow();
        h.Pump();
    }
    const auto &entries = h.form->RecentlyClosed().Entries();
    ASSERT_EQ(entries.size(), 10u);
    EXPECT_EQ(entries.front(), "http://page2/");
    EXPECT_EQ(entries.back(), "http://page11/");
}

TEST_F(ChildWindowTest, MissingGeckoModuleLeavesNothingBehind)
{
    Open("http://ie/");
    h.form->Moz_ItemClick();
    FailNextCreate(EngineKind::Gecko);
    h.ui.messages.clear();
    Guarded([&] { h.form->FileNew1Execute(); });
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].startsWith(QStringLiteral("Orvex|")));
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("mozctl.so")));
    EXPECT_EQ(h.form->ChildCount(), 1);
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading*"));
    // The failed window's number is not reused, and the next open works.
    h.form->IE_ItemClick();
    Open("http://again/");
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading* 2:loading"));
}

TEST_F(ChildWindowTest, ANativeControlLeavesTheSystemMenuWithoutAWindowUntilShown)
{
    h.Start();
    FakeEngine::nativeControls = true;
    Open("http://native/");
    FakeEngine::nativeControls = false;
    TChildForm *child = h.Child(0);
    ASSERT_TRUE(test::WaitFor([&] { return child->isVisible(); }, 5000));
    EXPECT_NE(h.EngineOf(child)->Control()->internalWinId(), 0u);
    EXPECT_EQ(child->systemMenu()->internalWinId(), 0u);
    child->systemMenu()->popup(child->mapToGlobal(QPoint(0, 0)));
    EXPECT_NE(child->systemMenu()->internalWinId(), 0u);
    child->systemMenu()->close();
}

TEST_F(ChildWindowTest, LateEventsAfterCloseDoNothing)
{
    Open("http://x/");
    FakeEngine *e = h.EngineOf(h.Child(0));
    const auto made = std::find_if(CreatedFakes().begin(), CreatedFakes().end(),
                                   [e](const CreatedFake &fake) { return fake.engine == e; });
    ASSERT_NE(made, CreatedFakes().end());
    const size_t index = made - CreatedFakes().begin();
    h.Child(0)->CloseWindow();
    // The control was told to stop sending events before it went.
    ASSERT_TRUE(test::WaitFor(
        [&] { return h.form->ChildCount() == 0 && CreatedFakes()[index].engine == nullptr; }, 5000));
    EXPECT_EQ(CreatedFakes()[index].sinkAtEnd, nullptr);
}

} // namespace
