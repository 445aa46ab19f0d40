// The conveniences beyond the design, through the main window with fake
// engines: searching from the address box, the tab keys, page zoom, adding a
// bookmark, dropped links, the session, the question before quitting, and
// config.ini left as the design writes it while none of their settings is
// touched.
#include "browser/ChildForm.h"
#include "browser/untTab.h"
#include "shell/Main.h"
#include "support/MainHarness.h"
#include "support/Wait.h"

#include <QAction>
#include <QApplication>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMimeData>
#include <QTest>
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
    EXPECT_EQ(e->LastCall(), "Navigate(http://127.0.0.1:9/find?q=orvex-no-such-host-x7q)");
    const QString self = QHostInfo::localHostName();
    if (!QHostInfo::fromName(self).addresses().isEmpty() && !self.contains('.')) {
        Type(h, self);
        ASSERT_TRUE(WaitFor(
            [&] { return e->LastCall() != "Navigate(http://127.0.0.1:9/find?q=orvex-no-such-host-x7q)"; }));
        EXPECT_EQ(e->LastCall(), "Navigate(" + self.toStdString() + ")");
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
        h.form->OpenNewWindow(QString::fromUtf8(address), QString::fromUtf8(address));
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
        EXPECT_EQ(h.form->Controls().txtAddress->selectedText(), QStringLiteral("typed")) << key;
    }

    // Ctrl+W closes the active window, Ctrl+Shift+T brings the closed ones
    // back newest first, Ctrl+T opens a blank one.
    h.EngineOf(h.Child(0))->SetLocationURL(QStringLiteral("http://a/"));
    h.EngineOf(h.Child(1))->SetLocationURL(QStringLiteral("http://b/"));
    Key(Qt::Key_W, Qt::ControlModifier);
    h.Pump();
    ASSERT_EQ(h.form->ChildCount(), 2);
    h.form->SelectTabAt(0);
    Key(Qt::Key_W, Qt::ControlModifier);
    h.Pump();
    ASSERT_EQ(h.form->ChildCount(), 1);
    for (const char *expected : {"Navigate(http://a/)", "Navigate(http://b/)"}) {
        Key(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(h.Engine(h.LiveEngines() - 1)->log.back(), expected);
    }
    Key(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(h.form->ChildCount(), 3) << "nothing more to reopen";
    Key(Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(h.form->ChildCount(), 4);

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
    h.form->OpenNewWindow(QStringLiteral("a"), QStringLiteral("http://a/"));
    h.form->OpenNewWindow(QStringLiteral("b"), QStringLiteral("http://b/"));
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
    h.form->SelectTabAt(1);
    EXPECT_FALSE(panel->isVisible());
    Key(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(b->LastCall(), "SetZoomFactor(0.9)");
    EXPECT_EQ(panel->text(), QStringLiteral("ズーム: 90%"));
    h.form->SelectTabAt(0);
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
    EXPECT_EQ(a->LastCall(), "ExecWB(19,2,4)");
    EXPECT_EQ(a->ZoomFactor(), 1.0);
}

} // namespace

namespace {

void Drop(QWidget *target, QMimeData *data)
{
    // As a drag does: entering makes the widget the target of the drop.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    delete data;
}

TEST(Conveniences, DroppedLinksOpenWindowsOrNavigateFromTheAddressBox)
{
    MainHarness h(kSearchConfig);
    h.Start();
    auto links = [](std::initializer_list<const char *> urls) {
        auto *data = new QMimeData;
        QList<QUrl> list;
        for (const char *url : urls)
            list << QUrl(QString::fromUtf8(url));
        data->setUrls(list);
        return data;
    };
    Drop(h.form->Controls().TabControl1, links({"http://one/", "http://two/"}));
    Drop(h.form->Controls().mdiArea->viewport(), links({"http://three/img.png"}));
    auto *words = new QMimeData;
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
