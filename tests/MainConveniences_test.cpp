// The conveniences beyond the design, through the main window with fake
// engines: searching from the address box, the tab keys, page zoom, adding a
// bookmark, dropped links, the session, the question before quitting, and
// config.ini left as the design writes it while none of their settings is
// touched.
#include "browser/ChildForm.h"
#include "browser/untTab.h"
#include "core/FileIO.h"
#include "dialogs/Option.h"
#include "shell/Main.h"
#include "shell/TabStrip.h"
#include "support/MainHarness.h"
#include "support/Wait.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMimeData>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::test;

namespace {

const std::string kSearchConfig =
    "[General]\r\nLastEngine=IE\r\n[Option_Ext]\r\nSearchURL=http://127.0.0.1:9/find?q=%s\r\n";

void Type(MainHarness &h, const QString &text)
{
    h.form->Controls().txtAddress->setText(text);
    h.form->btnMoveClick();
}

TEST(Conveniences, AddressBoxSearchesWordsAndLeavesAddressesAlone)
{
    MainHarness h(kSearchConfig);
    h.form->FileNew1Execute();
    FakeEngine *e = h.Engine(0);
    Type(h, QStringLiteral("example.com/a?b"));
    EXPECT_EQ(e->LastCall(), "Navigate(example.com/a?b)");
    Type(h, QStringLiteral("orvex  ブラウザ"));
    EXPECT_EQ(e->LastCall(),
              "Navigate(http://127.0.0.1:9/find?q=orvex++%E3%83%96%E3%83%A9%E3%82%A6%E3%82%B6)");
    // A single word: an address when it names a host (this machine's name
    // resolves), else words to search for.
    Type(h, QStringLiteral("orvex-no-such-host-x7q"));
    ASSERT_TRUE(WaitFor([&] {
        return e->LastCall() !=
               "Navigate(http://127.0.0.1:9/find?q=orvex++%E3%83%96%E3%83%A9%E3%82%A6%E3%82%B6)";
    }));
    // (A name server that answers every name makes it an address too.)
    const bool answersAll =
        !QHostInfo::fromName(QStringLiteral("orvex-no-such-host-x7q")).addresses().isEmpty();
    EXPECT_EQ(e->LastCall(), answersAll ? "Navigate(orvex-no-such-host-x7q)"
                                        : "Navigate(http://127.0.0.1:9/find?q=orvex-no-such-host-x7q)");
    const QString self = QHostInfo::localHostName();
    if (!QHostInfo::fromName(self).addresses().isEmpty() && !self.contains('.')) {
        Type(h, self);
        const std::string expected = "Navigate(" + self.toStdString() + ")";
        EXPECT_TRUE(WaitFor([&] { return e->LastCall() == expected; })) << e->LastCall();
    }
    // A window closed before the answer is left alone.
    Type(h, QStringLiteral("orvex-no-such-host-y8r"));
    h.Child(0)->CloseWindow();
    h.Pump();
    QHostInfo::fromName(QStringLiteral("orvex-no-such-host-y8r"));
    Pump(200);
    EXPECT_EQ(h.form->ChildCount(), 0);
    EXPECT_TRUE(h.ui.messages.isEmpty());
}

void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target =
        QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    QTest::keyClick(target, key, modifiers);
}

TEST(Conveniences, TabKeysFollowTabOrderNotActivation)
{
    MainHarness h;
    h.Start();
    QApplication::setActiveWindow(h.form);
    for (const char *address : {"http://a/", "http://b/", "http://c/"})
        h.form->OpenNewWindow(h.form->ToolsEngine(), QString::fromUtf8(address), QString::fromUtf8(address));
    // Activated 2, then 0: activation history would go back to 2.
    h.form->Controls().TabControl1->setCurrentIndex(2);
    h.form->Controls().TabControl1->setCurrentIndex(0);
    ASSERT_EQ(h.form->DescribeTabs(), "0:loading* 1:loading 2:loading");
    const auto selected = [&] { return h.form->Windows().Selected(); };
    const std::pair<std::pair<Qt::Key, Qt::KeyboardModifiers>, int> steps[] = {
        {{Qt::Key_Tab, Qt::ControlModifier}, 1},
        {{Qt::Key_PageDown, Qt::ControlModifier}, 2},
        {{Qt::Key_Tab, Qt::ControlModifier}, 0},
        {{Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier}, 2},
        {{Qt::Key_PageUp, Qt::ControlModifier}, 1},
        {{Qt::Key_1, Qt::AltModifier}, 0},
        {{Qt::Key_9, Qt::AltModifier}, 2},
        {{Qt::Key_5, Qt::AltModifier}, 2},
        {{Qt::Key_2, Qt::AltModifier}, 1},
    };
    for (const auto &[key, expected] : steps) {
        Key(key.first, key.second);
        EXPECT_EQ(selected(), expected) << key.first;
        EXPECT_EQ(h.form->ActiveChild(), h.Child(expected)) << key.first;
    }

    for (const auto &[key, modifiers] :
         {std::pair{Qt::Key_L, Qt::ControlModifier}, std::pair{Qt::Key_D, Qt::AltModifier},
          std::pair{Qt::Key_F6, Qt::NoModifier}}) {
        h.form->Controls().txtAddress->setText(QStringLiteral("typed"));
        h.Child(1)->widget()->setFocus();
        Key(key, modifiers);
        EXPECT_TRUE(h.form->Controls().txtAddress->hasFocus()) << key;
        // A page retitling itself leaves the selection the next key replaces.
        h.EngineOf(h.form->ActiveChild())->RaiseTitle(QStringLiteral("retitled"));
        EXPECT_EQ(h.form->Controls().txtAddress->selectedText(), QStringLiteral("typed")) << key;
    }

    // Ctrl+W closes the active window, Ctrl+Shift+T brings the closed ones
    // back newest first, Ctrl+T opens a blank one.
    h.EngineOf(h.Child(0))->SetLocationURL(QStringLiteral("http://a/"));
    h.EngineOf(h.Child(1))->SetLocationURL(QStringLiteral("http://b/"));
    Key(Qt::Key_W, Qt::ControlModifier);
    h.Pump();
    ASSERT_EQ(h.form->ChildCount(), 2);
    h.form->Tabs().SelectTabAt(0);
    Key(Qt::Key_W, Qt::ControlModifier);
    h.Pump();
    ASSERT_EQ(h.form->ChildCount(), 1);
    // Both keys bring their window to the front, though "NewWindow_Active"
    // is off.
    for (const char *expected : {"Navigate(http://a/)", "Navigate(http://b/)"}) {
        Key(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(h.Engine(h.LiveEngines() - 1)->log.back(), expected);
        EXPECT_EQ(h.form->ActiveChild(), h.Child(h.form->ChildCount() - 1)) << expected;
    }
    Key(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(h.form->ChildCount(), 3) << "nothing more to reopen";
    QLineEdit *address = h.form->Controls().txtAddress;
    address->setText(QStringLiteral("http://b/"));
    Key(Qt::Key_T, Qt::ControlModifier);
    ASSERT_EQ(h.form->ChildCount(), 4);
    EXPECT_EQ(h.form->ActiveChild(), h.Child(3));
    EXPECT_EQ(h.form->Windows().Selected(), 3);
    EXPECT_EQ(h.form->focusWidget(), address);
    // The blank page's own title, come late, leaves the emptied box empty.
    h.EngineOf(h.Child(3))->SetLocationURL(QStringLiteral("about:blank"));
    h.EngineOf(h.Child(3))->RaiseTitle(QStringLiteral("about:blank"));
    EXPECT_TRUE(address->text().isEmpty());

    // What the user types there stays while the page in front retitles
    // itself; once sent, the box follows the page again.
    QTest::keyClicks(address, QStringLiteral("http://c/"));
    h.EngineOf(h.Child(3))->RaiseTitle(QStringLiteral("(1) new message"));
    EXPECT_EQ(address->text(), QStringLiteral("http://c/"));
    h.form->btnMoveClick();
    h.EngineOf(h.Child(3))->SetLocationURL(QStringLiteral("http://c/page"));
    h.EngineOf(h.Child(3))->RaiseTitle(QStringLiteral("c"));
    EXPECT_EQ(address->text(), QStringLiteral("http://c/page"));

    // The mouse: the middle button closes the tab it hits; a double click
    // beside the tabs opens a blank window, on a tab it does nothing new.
    TTabControl *bar = h.form->Controls().TabControl1;
    QTest::mouseClick(bar, Qt::MiddleButton, {}, bar->tabRect(1).center());
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 3);
    QTest::mouseDClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    EXPECT_EQ(h.form->ChildCount(), 3);
    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 3, bar->height() / 2));
    EXPECT_EQ(h.form->ChildCount(), 4);
}

} // namespace

namespace {

TEST(Conveniences, ZoomIsPerWindowAndShownWhileNotAHundred)
{
    MainHarness h;
    h.Start();
    QApplication::setActiveWindow(h.form);
    h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://a/"), QStringLiteral("a"));
    h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://b/"), QStringLiteral("b"));
    FakeEngine *a = h.EngineOf(h.Child(0));
    FakeEngine *b = h.EngineOf(h.Child(1));
    QLabel *panel = h.form->Controls().ZoomPanel;
    EXPECT_FALSE(panel->isVisible());
    Key(Qt::Key_Plus, Qt::ControlModifier);
    Key(Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(a->LastCall(), "SetZoomFactor(1.25)");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->text(), QStringLiteral("ズーム: 125%"));
    // The other window keeps its own zoom; coming back shows this one's again.
    h.form->Tabs().SelectTabAt(1);
    EXPECT_FALSE(panel->isVisible());
    Key(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(b->LastCall(), "SetZoomFactor(0.9)");
    EXPECT_EQ(panel->text(), QStringLiteral("ズーム: 90%"));
    h.form->Tabs().SelectTabAt(0);
    EXPECT_EQ(panel->text(), QStringLiteral("ズーム: 125%"));
    // Ctrl+wheel over the page, to the ends of the steps and no further.
    a->RaiseZoomWheel(30);
    EXPECT_EQ(a->LastCall(), "SetZoomFactor(5)");
    a->RaiseZoomWheel(-2);
    EXPECT_EQ(a->LastCall(), "SetZoomFactor(3)");
    Key(Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(a->LastCall(), "SetZoomFactor(1)");
    EXPECT_FALSE(panel->isVisible());
    // The text size stays a command of its own.
    h.form->SetTextSize(4);
    EXPECT_EQ(a->LastCall(), "Zoom(4)");
    EXPECT_EQ(a->ZoomFactor(), 1.0);
}

} // namespace

namespace {

// Counts reads of its data (not of the kinds it offers).
class CountingMimeData : public QMimeData {
public:
    mutable int reads = 0;

protected:
    QVariant retrieveData(const QString &format, QVariant::Type type) const override
    {
        ++reads;
        return QMimeData::retrieveData(format, type);
    }
};

void Drop(QWidget *target, CountingMimeData *data)
{
    // As a drag does: entering and moving make the widget the target of the
    // drop, and are told from the kinds on offer alone (reading another
    // program's data waits for it, at every move).
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(QPoint(6, 6), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    EXPECT_TRUE(enter.isAccepted() && move.isAccepted());
    EXPECT_EQ(data->reads, 0);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    delete data;
}

TEST(Conveniences, DroppedLinksOpenWindowsOrNavigateFromTheAddressBox)
{
    MainHarness h(kSearchConfig);
    h.Start();
    auto links = [](std::initializer_list<const char *> urls) {
        auto *data = new CountingMimeData;
        QList<QUrl> list;
        for (const char *url : urls)
            list << QUrl(QString::fromUtf8(url));
        data->setUrls(list);
        return data;
    };
    Drop(h.form->Controls().TabControl1, links({"http://one/", "http://two/"}));
    Drop(h.form->Controls().mdiArea->viewport(), links({"http://three/img.png"}));
    auto *words = new CountingMimeData;
    words->setText(QStringLiteral("two words\nsecond line"));
    Drop(h.form->Controls().mdiArea->viewport(), words);
    ASSERT_EQ(h.form->ChildCount(), 4);
    EXPECT_EQ(h.Engine(0)->LastCall(), "Navigate(http://one/)");
    EXPECT_EQ(h.Engine(1)->LastCall(), "Navigate(http://two/)");
    EXPECT_EQ(h.Engine(2)->LastCall(), "Navigate(http://three/img.png)");
    EXPECT_EQ(h.Engine(3)->LastCall(), "Navigate(http://127.0.0.1:9/find?q=two+words)");

    // On the address box: the link replaces the text, not pasted into it,
    // and the active window goes there.
    h.form->Controls().txtAddress->setText(QStringLiteral("old"));
    Drop(h.form->Controls().txtAddress, links({"http://four/"}));
    EXPECT_EQ(h.form->Controls().txtAddress->text(), QStringLiteral("http://four/"));
    EXPECT_EQ(h.form->ChildCount(), 4);
    EXPECT_EQ(h.EngineOf(h.form->ActiveChild())->LastCall(), "Navigate(http://four/)");
}

} // namespace

namespace {

std::string SessionOf(MainHarness &h)
{
    return ReadFileBytes(h.folder.File("session.txt")).value_or(std::string());
}

TEST(Conveniences, SessionIsOfferedBackAfterACrashAndReopenedByTheOption)
{
    std::string crashed;
    {
        MainHarness h;
        h.Start();
        h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://a/"), QStringLiteral("a"));
        h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://b/日本"), QStringLiteral("b"));
        // Written aside, within about a second of the change.
        ASSERT_TRUE(
            WaitFor([&] { return SessionOf(h) == "ended=0\r\nhttp://a/\r\nhttp://b/日本\r\n"; }, 10000))
            << SessionOf(h);
        crashed = SessionOf(h);
        // The harness ends without the program's shutdown, as a crash does.
    }
    for (bool answer : {false, true}) {
        MainHarness h;
        h.folder.Write("session.txt", crashed);
        h.ui.askAnswers = {answer};
        h.Start();
        ASSERT_EQ(h.ui.questions.size(), 1u);
        EXPECT_EQ(h.ui.questions[0].text, QStringLiteral("前回のウィンドウを開き直しますか?"));
        ASSERT_EQ(h.form->ChildCount(), answer ? 2 : 0);
        if (answer) {
            EXPECT_EQ(h.Engine(1)->LastCall(), "Navigate(http://b/日本)");
        }
        // An orderly end says so, with the windows still open.
        ASSERT_TRUE(h.form->FormClose());
        EXPECT_EQ(SessionOf(h), answer ? "ended=1\r\nhttp://a/\r\nhttp://b/日本\r\n" : "ended=1\r\n");
    }
    // After an orderly end the windows come back only with the option, and
    // then in place of the start-up page.
    const std::string ended = "ended=1\r\nhttp://a/\r\n";
    for (const char *option : {"0", "1"}) {
        MainHarness h("[General]\r\nLastEngine=IE\r\n[Option_StartUp]\r\nType=1\r\nPath=http://start/\r\n"
                      "[Option_Ext]\r\nRestoreSession=" +
                      std::string(option) + "\r\n");
        h.folder.Write("session.txt", ended);
        h.Start();
        EXPECT_TRUE(h.ui.questions.empty());
        ASSERT_EQ(h.form->ChildCount(), 1);
        EXPECT_EQ(h.Engine(0)->LastCall(),
                  *option == '1' ? "Navigate(http://a/)" : "Navigate(http://start/)");
    }
}

TEST(Conveniences, QuitAsksWithSeveralWindowsOnlyWhenTheOptionIsOn)
{
    MainHarness h("[General]\r\nLastEngine=IE\r\n[Option_Ext]\r\nConfirmQuit=1\r\n");
    h.Start();
    h.form->FileNew1Execute();
    h.form->close();
    h.Pump(); // the pages agree to go
    EXPECT_TRUE(h.ui.questions.empty()) << "one window: no question";
    EXPECT_FALSE(h.form->isVisible());
    h.form->show();
    h.form->FileNew1Execute();
    h.form->FileNew1Execute();
    h.ui.askAnswers = {false, true};
    h.ui.askChecks = {false, true};
    h.form->close();
    ASSERT_EQ(h.ui.questions.size(), 1u);
    EXPECT_EQ(h.ui.questions[0].text, QStringLiteral("2 個のウィンドウが開いています。終了しますか?"));
    EXPECT_EQ(h.ui.questions[0].checkCaption, QStringLiteral("次回から確認しない"));
    EXPECT_TRUE(h.form->isVisible()) << "いいえ keeps it running";
    h.form->close();
    h.Pump();
    EXPECT_FALSE(h.form->isVisible());
    EXPECT_NE(h.folder.Read("config.ini").find("ConfirmQuit=0"), std::string::npos);
}

} // namespace

namespace {

// A config.ini as the design writes it, with every section it knows.
const std::string kDesignConfig = "[General]\r\nLastEngine=IE\r\nLastMojiSize=2\r\nWinSize=0\r\n"
                                  "[Option_Main]\r\nMozPath=\r\nMozilla=0\r\n"
                                  "[Option_Window]\r\nBookMark=0\r\nAddressBar=0\r\nNewWindow_Active=0\r\n"
                                  "[Option_StartUp]\r\nType=0\r\nPath=\r\n";

// A run that opens a page, OKs the options dialog and quits; `use` does more
// in between. Returns config.ini as the run left it.
std::string RunWith(const std::function<void(MainHarness &, Tfrm_Option &)> &use)
{
    MainHarness h(kDesignConfig);
    h.Start();
    h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://a/"), QStringLiteral("a"));
    Tfrm_Option options(*h.form, h.AppDir());
    use(h, options);
    options.Button1Click();
    EXPECT_TRUE(h.form->FormClose());
    return h.folder.Read("config.ini");
}

TEST(Conveniences, DesignConfigStaysByteForByteUntilAnOptionOfTheirsChanges)
{
    const std::string plain = RunWith([](MainHarness &, Tfrm_Option &) {});
    ASSERT_EQ(plain.find("Option_Ext"), std::string::npos);
    // Searching, zooming, the tab keys and the options dialog's own page
    // left as it is write nothing of their own.
    const std::string used = RunWith([](MainHarness &h, Tfrm_Option &options) {
        QApplication::setActiveWindow(h.form);
        Type(h, QStringLiteral("two words"));
        h.form->ZoomPage(2);
        h.form->Tabs().SelectTabBy(1);
        h.form->FileNew1Execute();
        options.TreeView1->setCurrentItem(options.TreeView1->topLevelItem(4));
        EXPECT_EQ(options.PageCTL->currentWidget(), options.TabSheet6);
    });
    EXPECT_EQ(used, plain);
    // Changed, only what changed is written, in a section of its own.
    const std::string changed = RunWith([](MainHarness &, Tfrm_Option &options) {
        options.txtSearchURL->setText(QStringLiteral("http://s/?q=%s"));
        options.chkConfirmQuit->setChecked(true);
        options.chkHistory->setChecked(false);
        options.spnSleepDiscard->setValue(5);
        // Off, the times and the budget cannot be edited.
        options.chkSleep->setChecked(false);
        EXPECT_FALSE(options.spnSleepFreeze->isEnabled());
    });
    const std::string section = "[Option_Ext]\r\nSearchURL=http://s/?q=%s\r\nConfirmQuit=1\r\n"
                                "History=0\r\nSleep=0\r\nSleepDiscardMinutes=5\r\n";
    const size_t at = changed.find(section);
    ASSERT_NE(at, std::string::npos) << changed;
    EXPECT_EQ(std::string(changed).erase(at, section.size()), plain);
}

TEST(Conveniences, MainWindowPlaceAndDownloadFolderAreRemembered)
{
    MainHarness h("[General]\r\nLastEngine=IE\r\n[Option_Ext]\r\nMainWindow=30,40,700,500,0\r\n");
    EXPECT_EQ(h.form->geometry(), QRect(30, 40, 700, 500));
    h.form->show();
    h.Pump();
    h.form->resize(760, 520);
    ASSERT_TRUE(h.form->FormClose());
    EXPECT_NE(h.folder.Read("config.ini").find("MainWindow=30,40,760,520,0"), std::string::npos)
        << h.folder.Read("config.ini");

    // The save dialog starts where the last file went.
    TempFolder elsewhere;
    h.form->FileNew1Execute();
    FakeEngine *e = h.Engine(0);
    h.ui.saveAnswers = {QString::fromStdString(elsewhere.File("one.bin")),
                        QString::fromStdString(elsewhere.File("two.bin"))};
    e->RaiseFileDownload(QUrl(QStringLiteral("http://a/one.bin")), QStringLiteral("one.bin"), "1");
    e->RaiseFileDownload(QUrl(QStringLiteral("http://a/two.bin")), QStringLiteral("two.bin"), "2");
    ASSERT_EQ(h.ui.saveRequests.size(), 2u);
    EXPECT_NE(h.ui.saveRequests[0].initialDir, QString::fromStdString(elsewhere.Path()));
    EXPECT_EQ(h.ui.saveRequests[1].initialDir, QString::fromStdString(elsewhere.Path()));
    EXPECT_NE(h.folder.Read("config.ini").find("DownloadFolder=" + elsewhere.Path() + "\r\n"),
              std::string::npos);
    h.Pump();
}

} // namespace
