// New windows asked for by pages become tabs through the catcher, unless the
// block list says otherwise; recently closed pages are offered again.
#include "browser/ChildForm.h"
#include "browser/tmpWeb.h"
#include "browser/untTab.h"
#include "shell/Main.h"
#include "support/MainHarness.h"

#include <QAction>
#include <QMenu>
#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::test;

namespace {

std::string Config(const std::string &body)
{
    return "[General]\r\nLastEngine=IE\r\n" + body;
}

// A page in child window `index` asks for a new window for `url`.
FakeEngine *RequestPopup(MainHarness &h, int index, const QString &url, bool *cancel = nullptr)
{
    WebBrowser2 *target = nullptr;
    EXPECT_FALSE(h.EngineOf(h.Child(index))->RaiseNewWindow(target));
    auto *catcher = dynamic_cast<FakeEngine *>(target);
    EXPECT_NE(catcher, nullptr);
    if (!catcher)
        return nullptr;
    const bool cancelled = catcher->RaiseBeforeNavigate(url);
    if (cancel)
        *cancel = cancelled;
    h.Pump();
    return catcher;
}

TEST(NewWindows, APopupIsAdoptedWithItsPageAsANewTabAndTheCatcherIsReleased)
{
    MainHarness h;
    h.form->FileNew1Execute();
    bool cancel = true;
    FakeEngine *catcher = RequestPopup(h, 0, QStringLiteral("http://popup/"), &cancel);
    EXPECT_FALSE(cancel); // the page loads on, with its request as the engine made it
    ASSERT_EQ(h.form->ChildCount(), 2);
    EXPECT_EQ(h.EngineOf(h.Child(1)), catcher);
    EXPECT_EQ(catcher->Sink(), h.Child(1));
    EXPECT_EQ(catcher->CountOf("Navigate("), 0);
    EXPECT_EQ(h.Child(1)->windowTitle(), QStringLiteral("Internet Explorer"));
    EXPECT_EQ(Tfrm_tmpWeb::LiveCount(), 0);
    EXPECT_EQ(h.LiveEngines(), 2);
    // NewWindow_Active is off: the requester stays in front.
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading* 1:loading"));
    // From here the window's own page goes where it likes.
    EXPECT_FALSE(catcher->RaiseBeforeNavigate(QStringLiteral("http://next/")));
}

TEST(NewWindows, ACaughtPageOpensNoWindowsOfItsOwnAndLoadsOnUntilAdopted)
{
    MainHarness h;
    h.form->FileNew1Execute();
    WebBrowser2 *target = nullptr;
    h.EngineOf(h.Child(0))->RaiseNewWindow(target);
    auto *catcher = dynamic_cast<FakeEngine *>(target);
    ASSERT_NE(catcher, nullptr);
    WebBrowser2 *nested = nullptr;
    EXPECT_TRUE(catcher->RaiseNewWindow(nested));
    EXPECT_FALSE(catcher->RaiseBeforeNavigate(QStringLiteral("http://first/")));
    EXPECT_FALSE(catcher->RaiseBeforeNavigate(QStringLiteral("http://redirect/")));
    catcher->RaiseTitle(QStringLiteral("caught title"));
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 2);
    EXPECT_EQ(Tfrm_tmpWeb::LiveCount(), 0);
    // A title that came while the page was caught is the window's caption.
    EXPECT_EQ(h.Child(1)->Caption(), QStringLiteral("caught title"));
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading* 1:caught title"));
}

TEST(NewWindows, WindowCloseFromTheOpenerClosesTheAdoptedWindowAndItsTab)
{
    MainHarness h;
    h.form->FileNew1Execute();
    FakeEngine *popup = RequestPopup(h, 0, QStringLiteral("http://popup/"));
    ASSERT_EQ(h.form->ChildCount(), 2);
    popup->RaiseWindowClosing();
    EXPECT_EQ(h.form->ChildCount(), 2) << "closed only once the engine's call has returned";
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 1);
    EXPECT_EQ(h.form->DescribeTabs(), QStringLiteral("0:loading*"));
    EXPECT_EQ(h.LiveEngines(), 1);

    // Closed while still caught: nothing opens.
    WebBrowser2 *target = nullptr;
    h.EngineOf(h.Child(0))->RaiseNewWindow(target);
    auto *catcher = dynamic_cast<FakeEngine *>(target);
    ASSERT_NE(catcher, nullptr);
    catcher->RaiseWindowClosing();
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 1);
    EXPECT_EQ(Tfrm_tmpWeb::LiveCount(), 0);
    EXPECT_EQ(h.LiveEngines(), 1);
}

TEST(NewWindows, ABlankPopupIsAdoptedAndTheBlockListLooksAtItsFirstAddress)
{
    MainHarness h(Config("[Option_advertisemen]\r\nCloseURL=1\r\n"));
    h.folder.Write("CloseURL.txt", "*doubleclick*\r\nabout:*\r\n");
    h.form->FileNew1Execute();
    FakeEngine *written = RequestPopup(h, 0, QStringLiteral("about:blank"));
    ASSERT_EQ(h.form->ChildCount(), 2);
    EXPECT_FALSE(written->RaiseBeforeNavigate(QStringLiteral("http://example.org/")));
    EXPECT_FALSE(written->RaiseBeforeNavigate(QStringLiteral("http://doubleclick.net/")))
        << "only the first address is checked";

    FakeEngine *ad = RequestPopup(h, 0, QStringLiteral("about:blank"));
    ASSERT_EQ(h.form->ChildCount(), 3);
    EXPECT_TRUE(ad->RaiseBeforeNavigate(QStringLiteral("http://ad.DoubleClick.net/")));
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 2);
    EXPECT_EQ(h.EngineOf(h.Child(1)), written);
    EXPECT_TRUE(h.ui.messages.isEmpty());
}

TEST(NewWindows, BlockListSuppressesMatchingAddressesInAnyCase)
{
    MainHarness h(Config("[Option_advertisemen]\r\nCloseURL=1\r\n"));
    h.folder.Write("CloseURL.txt", "*doubleclick*\r\n");
    h.form->FileNew1Execute();
    RequestPopup(h, 0, QStringLiteral("http://ad.DoubleClick.net/x"));
    EXPECT_EQ(h.form->ChildCount(), 1);
    RequestPopup(h, 0, QStringLiteral("http://example.org/"));
    EXPECT_EQ(h.form->ChildCount(), 2);
    EXPECT_EQ(Tfrm_tmpWeb::LiveCount(), 0);
}

TEST(NewWindows, WithBlockingOffTheFileIsNeverRead)
{
    MainHarness h(Config("[Option_advertisemen]\r\nCloseURL=0\r\n"));
    h.folder.Write("CloseURL.txt", "[unclosed\r\n*\r\n");
    h.form->FileNew1Execute();
    RequestPopup(h, 0, QStringLiteral("http://anything/"));
    EXPECT_EQ(h.form->ChildCount(), 2);
    EXPECT_TRUE(h.ui.messages.isEmpty());
}

TEST(NewWindows, BlockListErrorsAreShownAndOpenNothing)
{
    MainHarness h(Config("[Option_advertisemen]\r\nCloseURL=1\r\n"));
    h.form->FileNew1Execute();
    RequestPopup(h, 0, QStringLiteral("http://a/"));
    EXPECT_EQ(h.ui.LastMessageText(),
              QString::fromStdString("ファイル " + h.folder.File("CloseURL.txt") + " は開けません."));
    h.folder.Write("CloseURL.txt", "*a*\r\nab[c\r\n");
    RequestPopup(h, 0, QStringLiteral("http://a/"));
    EXPECT_EQ(h.ui.LastMessageText(), QStringLiteral("3 番目の文字（'ab[c'）は正しくないマスク文字です."));
    EXPECT_EQ(h.form->ChildCount(), 1);
    EXPECT_EQ(Tfrm_tmpWeb::LiveCount(), 0);
    h.folder.Write("CloseURL.txt", "");
    RequestPopup(h, 0, QStringLiteral("http://a/"));
    EXPECT_EQ(h.form->ChildCount(), 2);
}

TEST(NewWindows, TheNewWindowTakesTheToolsMenusEngineNotTheRequesters)
{
    MainHarness h;
    h.form->Moz_ItemClick();
    h.form->FileNew1Execute();
    h.form->IE_ItemClick();
    WebBrowser2 *target = nullptr;
    h.EngineOf(h.Child(0))->RaiseNewWindow(target);
    auto *catcher = dynamic_cast<FakeEngine *>(target);
    ASSERT_NE(catcher, nullptr);
    EXPECT_EQ(catcher->Kind(), EngineKind::Gecko); // a page hands itself only to its own engine
    // The page cannot cross engines: its load stops and the address opens anew.
    EXPECT_TRUE(catcher->RaiseBeforeNavigate(QStringLiteral("http://from-gecko/")));
    h.Pump();
    ASSERT_EQ(h.form->ChildCount(), 2);
    EXPECT_EQ(h.Child(1)->Kind(), EngineKind::InternetExplorer);
    EXPECT_EQ(h.EngineOf(h.Child(1))->LastCall(), "Navigate(http://from-gecko/)");
    EXPECT_EQ(Tfrm_tmpWeb::LiveCount(), 0);

    // A page's source view has no address to load anew: it stays in its engine.
    bool cancel = true;
    FakeEngine *source = RequestPopup(h, 0, QStringLiteral("view-source:http://page/"), &cancel);
    EXPECT_FALSE(cancel);
    ASSERT_EQ(h.form->ChildCount(), 3);
    EXPECT_EQ(h.EngineOf(h.Child(2)), source);
    EXPECT_EQ(h.Child(2)->Caption(), QStringLiteral("Gecko"));
    EXPECT_EQ(h.Child(1)->windowTitle(), QStringLiteral("Internet Explorer"));
}

TEST(NewWindows, AtTheTabLimitAPopupOpensNothing)
{
    MainHarness h(Config("[Option_Tab]\r\nLen=1\r\nMaxLen=1\r\n"));
    h.form->FileNew1Execute();
    RequestPopup(h, 0, QStringLiteral("http://popup/"));
    EXPECT_EQ(h.form->ChildCount(), 1);
    EXPECT_EQ(Tfrm_tmpWeb::LiveCount(), 0);
    EXPECT_TRUE(h.ui.messages.isEmpty());
}

// ---- recently closed ----

QStringList MenuCaptions(QMenu *menu)
{
    QStringList captions;
    for (QAction *a : menu->actions())
        captions << a->text();
    return captions;
}

TEST(RecentlyClosed, TwelveClosesShowTheLastTenNumberedOldestFirst)
{
    MainHarness h;
    for (int i = 1; i <= 12; ++i) {
        h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://p%1/").arg(i),
                              QStringLiteral("c"));
        h.Child(0)->CloseWindow();
        h.Pump();
    }
    h.form->mnuLeastURLClick();
    h.form->mnuLeastURLClick(); // opening twice shows each entry once
    QStringList expected;
    for (int i = 3; i <= 12; ++i)
        expected << QStringLiteral("&%1．http://p%2/").arg(i - 2).arg(i);
    expected << QString(); // the placeholder stays last
    EXPECT_EQ(MenuCaptions(h.form->Controls().mnuLeastURL), expected);
    EXPECT_EQ(h.form->Controls().mnuLeastURL->actions().last(), h.form->Controls().mnuLeastURL_Child);

    QAction *first = h.form->Controls().mnuLeastURL->actions().first();
    EXPECT_EQ(first->statusTip(), QStringLiteral("http://p3/"));
    first->trigger();
    ASSERT_EQ(h.form->ChildCount(), 1);
    EXPECT_EQ(h.EngineOf(h.Child(0))->LastCall(), "Navigate(http://p3/)");
    EXPECT_EQ(h.form->RecentlyClosed().Entries().front(), "http://p3/"); // reopening keeps the entry
}

TEST(RecentlyClosed, EmptyListShowsOnlyThePlaceholder)
{
    MainHarness h;
    h.form->mnuLeastURLClick();
    EXPECT_EQ(MenuCaptions(h.form->Controls().mnuLeastURL), QStringList{QString()});
}

} // namespace
