// The IE host control: its flag tables, the options it hands to the engine,
// and the application-message hook with the per-control key filter. Runs on
// the fake engine.
#include "browser/UIWebBrowser.h"
#include "core/Errors.h"
#include "support/FakeEngine.h"
#include "support/QtApp.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>
#include <gtest/gtest.h>

using namespace orvex;
using orvex::test::FakeEngine;

namespace {

class UIWebBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureQApp();
        test::InstallFakeEngines();
        hook = THookApplicationMessage::Instance();
        baseCount = hook->Count();
    }
    void TearDown() override { test::RemoveFakeEngines(); }

    FakeEngine *FakeOf(TUIWebBrowser &control) { return dynamic_cast<FakeEngine *>(control.Browser()); }

    THookApplicationMessage *hook = nullptr;
    int baseCount = 0;
};

// Records what reaches it and marks handled when told to.
struct Recorder {
    std::vector<std::string> seen;
    bool markHandled = false;
    bool eat = false;
    bool keysOnly = false;
    static bool Handle(void *object, QObject *, QEvent *event, bool &handled)
    {
        auto *self = static_cast<Recorder *>(object);
        if (handled)
            return false;
        if (self->keysOnly && event->type() != QEvent::KeyPress)
            return false;
        self->seen.push_back(std::to_string(event->type()));
        if (self->markHandled)
            handled = true;
        return self->eat;
    }
};

bool SendKey(QWidget *target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             const QString &text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    return press.isAccepted();
}

} // namespace

TEST(DownloadControlFlags, MembersMapToTheirFlagsInDeclarationOrder)
{
    EXPECT_EQ(DownloadControlFlags(0), 0u);
    const TDownLoadControl windowDefault =
        DownLoadMember(CS_Images) | DownLoadMember(CS_Videos) | DownLoadMember(CS_BGSounds);
    EXPECT_EQ(DownloadControlFlags(windowDefault), 0x70u);

    // The members whose flags do not follow their order are where a table
    // goes wrong: the cache and frame flags are swapped, the last four jump.
    EXPECT_EQ(DownloadControlFlags(DownLoadMember(CS_NoScripts)), 0x80u);
    EXPECT_EQ(DownloadControlFlags(DownLoadMember(CS_NoActiveXRun)), 0x200u);
    EXPECT_EQ(DownloadControlFlags(DownLoadMember(CS_DownLoadOnly)), 0x800u);
    EXPECT_EQ(DownloadControlFlags(DownLoadMember(CS_ReSynchronize)), 0x2000u);
    EXPECT_EQ(DownloadControlFlags(DownLoadMember(CS_NoCash)), 0x4000u);
    EXPECT_EQ(DownloadControlFlags(DownLoadMember(CS_NoFrame)), 0x1000u);
    EXPECT_EQ(DownloadControlFlags(DownLoadMember(CS_ForceOffLine)), 0x10000000u);
    EXPECT_EQ(DownloadControlFlags(DownLoadMember(CS_OffLine)), 0x80000000u);

    EXPECT_EQ(DownloadControlFlags(0x7fff), 0xF0007FF0u);
    // Bits past the fifteen members name nothing.
    EXPECT_EQ(DownloadControlFlags(0xffff8000u), 0u);
}

TEST_F(UIWebBrowserTest, HostFlagsFollowTheOptions)
{
    QWidget parent;
    TUIWebBrowser control(&parent);
    EXPECT_EQ(control.HostFlags(), 0x4000u);
    EXPECT_EQ(control.DownloadControl(), 0x70u);

    control.IeSCROLL_hidden = true;
    control.IeNO3DBORDER = true;
    control.IeDontSCRIPT = true;
    control.IeNoBehavior = true;
    EXPECT_EQ(control.HostFlags(), 0x441Cu);
    control.IeAutoComplete = false;
    EXPECT_EQ(control.HostFlags(), 0x041Cu);
}

TEST_F(UIWebBrowserTest, CreatesTheIeEngineAndHandsItTheOptions)
{
    QWidget parent;
    TUIWebBrowser control(&parent);
    ASSERT_EQ(test::CreatedFakes().size(), 1u);
    EXPECT_EQ(test::CreatedFakes()[0].kind, EngineKind::InternetExplorer);
    EXPECT_EQ(test::CreatedFakes()[0].parent, &parent);
    FakeEngine *fake = FakeOf(control);
    ASSERT_NE(fake, nullptr);
    EXPECT_EQ(control.Control(), fake->Control());

    // The window's options reach the engine from the start.
    EXPECT_TRUE(fake->Called("SetHostOptions(accel=1,noContext=0,flags=0x4000,dl=0x70)"));

    control.IeEnableAccelerator = false;
    control.IeNoContext = true;
    control.IeSCROLL_hidden = true;
    control.DownLoadControl = DownLoadMember(CS_NoScripts) | DownLoadMember(CS_Images);
    control.ApplyOptions();
    EXPECT_EQ(fake->LastCall(), "SetHostOptions(accel=0,noContext=1,flags=0x4008,dl=0x90)");
    EXPECT_FALSE(fake->hostOptions.enableAccelerator);
    EXPECT_TRUE(fake->hostOptions.noContext);
}

TEST_F(UIWebBrowserTest, MissingModuleThrowsAndRegistersNothing)
{
    test::FailNextCreate(EngineKind::InternetExplorer);
    QWidget parent;
    try {
        TUIWebBrowser control(&parent);
        FAIL() << "creation should fail";
    } catch (const Error &e) {
        EXPECT_NE(std::string(e.what()).find("iexplore.so"), std::string::npos);
    }
    EXPECT_EQ(hook->Count(), baseCount);
}

TEST_F(UIWebBrowserTest, HookCallsPairsInOrderUntilOneHandles)
{
    Recorder first, second, third;
    hook->AddHandler(&Recorder::Handle, &first);
    hook->AddHandler(&Recorder::Handle, &second);
    hook->AddHandler(&Recorder::Handle, &third);
    EXPECT_EQ(hook->Count(), baseCount + 3);

    QEvent event(QEvent::User);
    EXPECT_FALSE(hook->CallHandlers(nullptr, &event));
    EXPECT_EQ(first.seen.size(), 1u);
    EXPECT_EQ(third.seen.size(), 1u);

    second.markHandled = true;
    EXPECT_TRUE(hook->CallHandlers(nullptr, &event));
    EXPECT_EQ(first.seen.size(), 2u);
    EXPECT_EQ(second.seen.size(), 2u);
    EXPECT_EQ(third.seen.size(), 1u) << "a handled message goes no further";

    // The same pair twice: RemoveHandler takes only the first.
    hook->AddHandler(&Recorder::Handle, &first);
    hook->RemoveHandler(&Recorder::Handle, &first);
    EXPECT_EQ(hook->Count(), baseCount + 3);
    hook->CallHandlers(nullptr, &event);
    EXPECT_EQ(first.seen.size(), 2u) << "the first pair was removed; the copy sits after second";

    hook->RemoveHandler(&Recorder::Handle, &second);
    hook->RemoveHandler(&Recorder::Handle, &third);
    hook->RemoveHandler(&Recorder::Handle, &first);
    // Removing a pair that is not there changes nothing.
    hook->RemoveHandler(&Recorder::Handle, &first);
    EXPECT_EQ(hook->Count(), baseCount);
}

TEST_F(UIWebBrowserTest, HookSeesApplicationEventsAndMayEatThem)
{
    Recorder recorder;
    hook->AddHandler(&Recorder::Handle, &recorder);
    QLineEdit edit;
    SendKey(&edit, Qt::Key_A, Qt::NoModifier, "a");
    EXPECT_FALSE(recorder.seen.empty()) << "installed on the application";
    EXPECT_EQ(edit.text(), "a");

    recorder.eat = true;
    SendKey(&edit, Qt::Key_B, Qt::NoModifier, "b");
    EXPECT_EQ(edit.text(), "a") << "a handler returning true keeps the event from its target";
    hook->RemoveHandler(&Recorder::Handle, &recorder);
}

TEST_F(UIWebBrowserTest, KeysInAControlAreTakenByThatControlsFilterOnly)
{
    QWidget window;
    auto *first = new TUIWebBrowser(&window);
    auto *second = new TUIWebBrowser(&window);
    EXPECT_EQ(hook->Count(), baseCount + 2);
    // A later handler, as the main window's own would be.
    Recorder later;
    later.keysOnly = true;
    hook->AddHandler(&Recorder::Handle, &later);

    // An editable field inside the second control's page.
    auto *field = new QLineEdit(second->Control());
    SendKey(field, Qt::Key_X, Qt::NoModifier, "x");
    EXPECT_EQ(field->text(), "x") << "the key still reaches the page";
    EXPECT_TRUE(later.seen.empty()) << "handled by the second control's filter";

    // Backspace is left to the page.
    SendKey(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), "");
    EXPECT_TRUE(later.seen.empty());

    // A widget outside every IE control: its keys pass the filters untouched.
    QLineEdit address;
    SendKey(&address, Qt::Key_Y, Qt::NoModifier, "y");
    EXPECT_EQ(address.text(), "y");
    EXPECT_FALSE(later.seen.empty());

    delete first;
    delete second;
    hook->RemoveHandler(&Recorder::Handle, &later);
    EXPECT_EQ(hook->Count(), baseCount);
}

TEST_F(UIWebBrowserTest, PageKeysWinOverHostShortcutsInsideTheControl)
{
    QWidget window;
    TUIWebBrowser control(&window);
    QWidget outside;
    for (int key : {Qt::Key_Tab, Qt::Key_Left, Qt::Key_Down, Qt::Key_Backspace}) {
        QKeyEvent inside(QEvent::ShortcutOverride, key, Qt::NoModifier);
        inside.ignore();
        QApplication::sendEvent(control.Control(), &inside);
        EXPECT_TRUE(inside.isAccepted()) << "key " << key;

        QKeyEvent other(QEvent::ShortcutOverride, key, Qt::NoModifier);
        other.ignore();
        QApplication::sendEvent(&outside, &other);
        EXPECT_FALSE(other.isAccepted()) << "key " << key << " outside the control";
    }
    // The clipboard shortcuts stay with the host's menus.
    QKeyEvent copy(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier);
    copy.ignore();
    QApplication::sendEvent(control.Control(), &copy);
    EXPECT_FALSE(copy.isAccepted());
}

TEST_F(UIWebBrowserTest, HookStaysInstalledWhenTheLastControlCloses)
{
    {
        QWidget window;
        TUIWebBrowser control(&window);
        EXPECT_EQ(hook->Count(), baseCount + 1);
    }
    EXPECT_EQ(THookApplicationMessage::Instance(), hook);
    EXPECT_EQ(hook->Count(), baseCount);
    // Messages then pass through unhandled.
    QEvent event(QEvent::User);
    EXPECT_FALSE(hook->CallHandlers(nullptr, &event));
    Recorder recorder;
    hook->AddHandler(&Recorder::Handle, &recorder);
    QLineEdit edit;
    SendKey(&edit, Qt::Key_Z, Qt::NoModifier, "z");
    EXPECT_FALSE(recorder.seen.empty()) << "the hook is still on the application";
    EXPECT_EQ(edit.text(), "z");
    hook->RemoveHandler(&Recorder::Handle, &recorder);
}
