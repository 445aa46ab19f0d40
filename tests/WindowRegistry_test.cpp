// The window list against what the user sees. A scripted run of opens and
// closes of every kind; after each step the tab bar, the child windows in
// the MDI area and WinTags agree with the list, the selected tab is the
// front window's, and window numbers only grow.
#include "browser/ChildForm.h"
#include "browser/untTab.h"
#include "core/Errors.h"
#include "shell/Main.h"
#include "shell/TabStrip.h"
#include "support/MainHarness.h"

#include <QMdiArea>
#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::test;

namespace {

class Agreement {
public:
    explicit Agreement(MainHarness &h) : h_(h) {}

    // `expected`: the tabs as "0:loading* 3:Title", '*' on the selected one.
    void Check(const std::string &expected)
    {
        h_.Pump();
        const WindowRegistry &list = h_.form->Windows();
        const MainControls &ui = h_.form->Controls();
        EXPECT_EQ(list.Describe().toStdString(), expected);

        // The tab bar as drawn, with the numbers the list gives its tabs.
        QStringList shown;
        for (int i = 0; i < ui.TabControl1->count(); ++i) {
            const QString number = i < list.Count() ? QString::number(list.At(i).number) : "?";
            shown << number + ':' + ui.TabControl1->Caption(i) +
                         (i == ui.TabControl1->currentIndex() ? "*" : "");
        }
        EXPECT_EQ(shown.join(' ').toStdString(), expected);

        QStringList numbers;
        for (const QString &tab : QString::fromStdString(expected).split(' ', Qt::SkipEmptyParts))
            numbers << tab.section(':', 0, 0);
        EXPECT_EQ(list.WinTags(), numbers);

        // Every tab has its live window, with its number and engine, and the
        // MDI area holds no other.
        std::vector<TChildForm *> inArea;
        for (QMdiSubWindow *window : ui.mdiArea->subWindowList(QMdiArea::CreationOrder))
            inArea.push_back(qobject_cast<TChildForm *>(window));
        EXPECT_EQ(inArea, h_.form->Children());
        for (int i = 0; i < list.Count(); ++i) {
            const WindowRegistry::Entry &entry = list.At(i);
            ASSERT_NE(entry.child, nullptr) << i;
            EXPECT_EQ(entry.child->Tag, entry.number);
            EXPECT_EQ(entry.child->Kind(), entry.kind);
            EXPECT_TRUE(i == 0 || list.At(i - 1).number < entry.number);
            EXPECT_LE(entry.number, list.WinCount());
        }
        if (TChildForm *front = h_.form->ActiveChild()) {
            EXPECT_EQ(list.Selected(), list.IndexOfChild(front));
        }

        EXPECT_GE(list.WinCount(), winCount_);
        winCount_ = list.WinCount();
    }

private:
    MainHarness &h_;
    int32_t winCount_ = -1;
};

TEST(WindowRegistry, TabsWindowsAndNumbersAgreeThroughEveryWayOfOpeningAndClosing)
{
    MainHarness h("[General]\r\nLastEngine=IE\r\n[Option_Tab]\r\nLen=1\r\nMaxLen=4\r\n");
    Agreement agree(h);
    auto open = [&](const QString &address) {
        h.form->OpenNewWindow(h.form->ToolsEngine(), address, QStringLiteral("c"));
    };

    open("http://a/");
    h.form->Moz_ItemClick();
    open("http://b/");
    h.form->IE_ItemClick();
    open("http://c/");
    agree.Check("0:loading* 1:loading 2:loading");

    // A title the engine reports while it navigates goes to the new tab.
    DuringNavigate() = [](FakeEngine &engine, const QString &url) { engine.RaiseTitle(url); };
    open("http://titled/");
    DuringNavigate() = nullptr;
    agree.Check("0:loading* 1:loading 2:loading 3:http://titled/");

    // At the tab limit nothing opens and no number is used.
    open("http://refused/");
    agree.Check("0:loading* 1:loading 2:loading 3:http://titled/");
    EXPECT_EQ(h.form->Windows().WinCount(), 3);

    // A click on a tab brings its window to the front; its close box takes
    // its tab, and the window that comes forward selects its own.
    h.form->Controls().TabControl1->setCurrentIndex(2);
    agree.Check("0:loading 1:loading 2:loading* 3:http://titled/");
    h.form->ActiveChild()->CloseWindow();
    agree.Check("0:loading 1:loading 3:http://titled/*");

    // A window that cannot be made leaves no tab, and its number stays used.
    FailNextCreate(EngineKind::InternetExplorer);
    EXPECT_FALSE(Guarded([&] { open("http://failed/"); }));
    agree.Check("0:loading 1:loading 3:http://titled/*");
    open("http://e/");
    agree.Check("0:loading 1:loading 3:http://titled/* 5:loading");

    h.form->Tabs().CloseTab(1);
    agree.Check("0:loading 3:http://titled/* 5:loading");

    h.form->Tabs().SetPopupTab(1);
    h.form->mnu_AllCloseNotMeClick();
    agree.Check("3:http://titled/*");

    // Pointing at no tab (255), every tab but the last goes.
    open("http://f/");
    open("http://g/");
    agree.Check("3:http://titled/* 6:loading 7:loading");
    h.form->Tabs().SetPopupTab(255);
    h.form->mnu_AllCloseNotMeClick();
    agree.Check("7:loading*");

    open("http://h/");
    h.form->mnu_AllCloseClick();
    agree.Check("");
    EXPECT_EQ(h.form->Windows().AllClosing(), -1);
    open("http://i/");
    agree.Check("9:loading*");
    EXPECT_EQ(h.form->Windows().AllClosing(), 0);
}

} // namespace
