// The main window with the real engine modules, on local pages: command-line
// addresses, start-up web lists, tab styles, pop-ups caught as tabs and the
// block list, in both engines. Runs under a real (virtual) display and
// leaves screenshots in /tmp for a person to look at.
#include "browser/ChildForm.h"
#include "browser/tmpWeb.h"
#include "browser/untTab.h"
#include "core/ProgramFolder.h"
#include "platform/UiServices.h"
#include "shell/Entry.h"
#include "shell/Main.h"
#include "shell/SleepPolicy.h"
#include "support/FakeUi.h"
#include "support/HttpServer.h"
#include "support/QtApp.h"
#include "support/TempFolder.h"
#include "support/Wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QThread>
#include <climits>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

using namespace orvex;
using namespace orvex::test;

namespace {

void StartApp()
{
    if (QCoreApplication::instance())
        return;
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    PrepareEnvironment();
    EnsureQApp();
    ChooseQuickBackend();
}

// A portable program folder holding the real engine modules, used as the
// working folder too, with pages to open.
class RealMain : public ::testing::Test {
protected:
    TempFolder folder;
    TempFolder pages;
    FakeUi ui;
    TMainForm *form = nullptr;
    std::string oldCwd;

    void SetUp() override
    {
        StartApp();
        // The modules sit beside the test programs unless ORVEX_BIN_DIR says otherwise.
        const char *env = std::getenv("ORVEX_BIN_DIR");
        const std::string bin = env ? std::string(env) + "/" : ProgramFolder();
        for (const char *module : {"iexplore.so", "mozctl.so"}) {
            const std::string target = bin + module;
            ASSERT_EQ(::symlink(target.c_str(), folder.File(module).c_str()), 0) << target;
        }
        folder.Write("CloseURL.txt", "");
        char cwd[PATH_MAX];
        oldCwd = ::getcwd(cwd, sizeof cwd) ? cwd : "";
        SetProgramFolderOverride(folder.Path() + "/");
        ASSERT_EQ(::chdir(folder.Path().c_str()), 0);
        for (int i = 1; i <= 3; ++i)
            pages.Write("p" + std::to_string(i) + ".html",
                        "<html><head><meta charset='utf-8'><title>ページ " + std::to_string(i) +
                            "</title></head><body style='background:#e8f0ff'><h1>こんにちは " +
                            std::to_string(i) + "</h1></body></html>");
        pages.Write("blank.html", "<html><head><title>opener</title></head><body>"
                                  "<a id='l' href='p2.html' target='_blank'>new</a>"
                                  "<script>setTimeout(function(){document.getElementById('l').click();},100);"
                                  "</script></body></html>");
        pages.Write("open.html",
                    "<html><head><title>opener</title></head><body><script>"
                    "setTimeout(function(){window.open('p3.html');},100);</script></body></html>");
        pages.Write("ad.html", "<html><head><title>opener</title></head><body><script>"
                               "setTimeout(function(){window.open('http://ad.DoubleClick.invalid/x');},100);"
                               "</script></body></html>");
    }

    void TearDown() override
    {
        delete form;
        Pump(200);
        SetProgramFolderOverride("");
        if (!oldCwd.empty() && ::chdir(oldCwd.c_str()) != 0) {
        }
    }

    QString Page(const std::string &name) const
    {
        return QStringLiteral("file://") + QString::fromStdString(pages.File(name));
    }

    void Start(const std::string &config, const QStringList &params = {})
    {
        folder.Write("config.ini", "[General]\r\n" + config);
        form = new TMainForm(params);
        form->resize(1000, 700);
        form->show();
        Pump(100);
    }

    bool WaitForTabs(const QStringList &captions)
    {
        return WaitFor([&] {
            if (form->Controls().TabControl1->count() != captions.size())
                return false;
            for (int i = 0; i < captions.size(); ++i)
                if (form->Controls().TabControl1->Caption(i) != captions[i])
                    return false;
            return true;
        });
    }

    void Shot(const char *name)
    {
        Pump(300);
        form->grab().save(QStringLiteral("/tmp/%1.png").arg(name));
    }
};

TEST_F(RealMain, CommandLineAddressesOpenInArgumentOrderInTheIeEngine)
{
    Start("LastEngine=IE\r\n", {Page("p1.html"), Page("p2.html"), Page("p3.html")});
    ASSERT_TRUE(WaitForTabs({"ページ 1", "ページ 2", "ページ 3"})) << form->DescribeTabs().toStdString();
    EXPECT_EQ(form->DescribeTabs(), QStringLiteral("0:ページ 1* 1:ページ 2 2:ページ 3"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(form->Children()[i]->Kind(), EngineKind::InternetExplorer);
    EXPECT_EQ(form->ActiveChild()->Browser()->LocationURL(), Page("p1.html"));
    Shot("orvex-tabs-bottom");
}

TEST_F(RealMain, CommandLineAddressesInTheGeckoEngineWithButtonsAtTheTop)
{
    Start("LastEngine=Gecko\r\nWinSize=1\r\n[Option_Tab]\r\nfix=1\r\nMaxSize=90\r\nTabType=1\r\n"
          "ActivateBGColor=$0080FFFF\r\nActivateChColor=clNavy\r\nDeActivateBGColor=$00FFE0C0\r\n"
          "DeActivateChColor=clMaroon\r\n",
          {Page("p1.html"), Page("p2.html"), Page("p3.html")});
    ASSERT_TRUE(WaitForTabs({"ページ 1", "ページ 2", "ページ 3"})) << form->DescribeTabs().toStdString();
    EXPECT_EQ(form->Children()[0]->Kind(), EngineKind::Gecko);
    EXPECT_TRUE(form->Controls().TabControl1->ButtonStyle());
    EXPECT_EQ(form->Controls().TabControl1->tabRect(2).width(), 90);
    EXPECT_TRUE(form->ActiveChild()->isMaximized());
    EXPECT_EQ(form->ChildWinState(), ChildState::Maximized);
    // Xvfb has no GPU: both engines are told the software choice the
    // program made, and the Gecko module draws without compositing.
    EXPECT_EQ(qgetenv("ORVEX_RENDERING"), "software");
    EXPECT_EQ(qgetenv("WEBKIT_DISABLE_COMPOSITING_MODE"), "1");
    EXPECT_EQ(qgetenv("GDK_GL"), "disable");
    Shot("orvex-tabs-top-buttons");
}

// The environments of the processes this one started, at their start, by
// process id: children and their children (page processes run under
// bubblewrap).
std::map<int, QByteArray> DescendantEnvironments()
{
    std::map<int, QByteArray> environments;
    for (int pid : sleep::ProgramProcesses()) {
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (pid != getpid() && environ.open(QIODevice::ReadOnly))
            environments[pid] = environ.readAll();
    }
    return environments;
}

// GTK is told to leave OpenGL out where nothing composites; WebGL, drawn by
// the page process without GTK, still works. The system's allocator is this
// process's alone: the page and network processes keep WebKit's.
TEST_F(RealMain, GeckoPagesInTheProgramsEnvironment)
{
    pages.Write("webgl.html", "<html><head><title>wait</title></head><body><canvas id=c></canvas><script>"
                              "var gl=document.getElementById('c').getContext('webgl');"
                              "if(gl){gl.clearColor(1,0,0,1);gl.clear(gl.COLOR_BUFFER_BIT);}"
                              "document.title=gl&&!gl.getError()?'webgl':'no webgl';</script></body></html>");
    Start("LastEngine=Gecko\r\n", {Page("webgl.html")});
    EXPECT_TRUE(WaitForTabs({"webgl"})) << form->DescribeTabs().toStdString();

    EXPECT_FALSE(qEnvironmentVariableIsSet(UiAllocatorVariable));
    const std::map<int, QByteArray> helpers = DescendantEnvironments();
    EXPECT_GE(helpers.size(), 2u); // a page process and the network process at least
    for (const auto &[pid, environment] : helpers) {
        EXPECT_FALSE(environment.startsWith("Malloc=") || environment.contains(QByteArray("\0Malloc=", 8)))
            << "process " << pid;
    }
}

// Windows opened behind a maximised window: the tab of one brings it to the
// front, maximised with its page shown (under X a window that had been a
// top-level window of its own for a moment kept a stale active state and
// stayed behind).
TEST_F(RealMain, TabOfAWindowOpenedBehindAMaximisedOneBringsItToTheFront)
{
    Start("LastEngine=IE\r\nWinSize=1\r\n");
    for (int i = 0; i < 4; ++i)
        form->FileNew1Execute();
    Pump(100);
    TChildForm *third = form->Children()[2];
    form->Controls().TabControl1->setCurrentIndex(2);
    Pump(100);
    EXPECT_EQ(form->ActiveChild(), third);
    EXPECT_TRUE(third->isMaximized());
    EXPECT_TRUE(third->widget()->isVisible());
    EXPECT_FALSE(form->Children()[0]->widget()->isVisible());
}

TEST_F(RealMain, StartUpWebListOpensEveryLine)
{
    pages.Write("start.wlf", FromQ(Page("p2.html")) + "\r\n" + FromQ(Page("p3.html")) + "\r\n");
    Start("LastEngine=IE\r\n[Option_StartUp]\r\nType=2\r\nPath=" + pages.File("start.wlf") + "\r\n");
    ASSERT_TRUE(WaitForTabs({"ページ 2", "ページ 3"})) << form->DescribeTabs().toStdString();
}

TEST_F(RealMain, StartUpAddress)
{
    Start("LastEngine=Gecko\r\n[Option_StartUp]\r\nType=1\r\nPath=" + pages.File("p1.html") + "\r\n");
    ASSERT_TRUE(WaitForTabs({"ページ 1"})) << form->DescribeTabs().toStdString();
}

TEST_F(RealMain, IeAndGeckoWindowsSideBySide)
{
    Start("LastEngine=IE\r\n");
    form->OpenNewWindow(form->ToolsEngine(), Page("p1.html"), QStringLiteral("IE"));
    form->Moz_ItemClick();
    form->OpenNewWindow(form->ToolsEngine(), Page("p2.html"), QStringLiteral("Gecko"));
    ASSERT_TRUE(WaitForTabs({"ページ 1", "ページ 2"}));
    form->TileWindows(false);
    EXPECT_EQ(form->Children()[0]->Kind(), EngineKind::InternetExplorer);
    EXPECT_EQ(form->Children()[1]->Kind(), EngineKind::Gecko);
    Shot("orvex-ie-and-gecko");
}

TEST_F(RealMain, BlankGeckoPagesCaptionTheirOwnTabs)
{
    Start("LastEngine=Gecko\r\n");
    form->FileNew1Execute();
    form->FileNew1Execute();
    ASSERT_TRUE(WaitForTabs({"about:blank", "about:blank"})) << form->DescribeTabs().toStdString();
    for (TChildForm *child : form->Children())
        EXPECT_EQ(child->Caption(), QStringLiteral("about:blank"));
}

class RealPopups : public RealMain, public ::testing::WithParamInterface<EngineKind> {
protected:
    void OpenOpener(const char *page)
    {
        if (GetParam() == EngineKind::Gecko)
            form->Moz_ItemClick();
        else
            form->IE_ItemClick();
        form->OpenNewWindow(form->ToolsEngine(), Page(page), QStringLiteral("opener"));
        // New windows take the Tools menu's engine: IE from here on.
        form->IE_ItemClick();
    }
};

TEST_P(RealPopups, LinksAndScriptsOpenNewTabsAndTheBlockListStopsAds)
{
    Start("LastEngine=IE\r\n[Option_advertisemen]\r\nCloseURL=1\r\n");
    folder.Write("CloseURL.txt", "*doubleclick*\r\n");

    OpenOpener("blank.html");
    ASSERT_TRUE(WaitFor([&] { return form->ChildCount() == 2; })) << form->DescribeTabs().toStdString();
    ASSERT_TRUE(WaitForTabs({"opener", "ページ 2"})) << form->DescribeTabs().toStdString();
    EXPECT_EQ(form->Children()[1]->Kind(), EngineKind::InternetExplorer);
    EXPECT_EQ(form->Children()[1]->Browser()->LocationURL(), Page("p2.html"));

    OpenOpener("open.html");
    ASSERT_TRUE(WaitFor([&] { return form->ChildCount() == 4; })) << form->DescribeTabs().toStdString();
    ASSERT_TRUE(
        WaitFor([&] { return form->Controls().TabControl1->Caption(3) == QStringLiteral("ページ 3"); }));

    OpenOpener("ad.html");
    ASSERT_TRUE(WaitFor(
        [&] { return form->ChildCount() == 5 && form->Controls().TabControl1->Caption(4) == "opener"; }));
    Pump(1500);
    EXPECT_EQ(form->ChildCount(), 5) << "the blocked pop-up opened: " << form->DescribeTabs().toStdString();
    EXPECT_EQ(Tfrm_tmpWeb::LiveCount(), 0);
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join('\n').toStdString();
}

TEST_P(RealPopups, AtTheTabLimitAPopUpOpensNothing)
{
    Start("LastEngine=IE\r\n[Option_Tab]\r\nLen=1\r\nMaxLen=1\r\n");
    OpenOpener("open.html");
    Pump(2500);
    EXPECT_EQ(form->ChildCount(), 1);
    EXPECT_EQ(Tfrm_tmpWeb::LiveCount(), 0);
}

TEST_P(RealPopups, APopUpOpeningBehindLeavesTheFocusInTheAddressBar)
{
    Start("LastEngine=IE\r\n");
    pages.Write("late.html", "<html><head><title>opener</title></head><body><script>"
                             "setTimeout(function(){window.open('p3.html');},1500);</script></body></html>");
    OpenOpener("late.html");
    // The pop-up opens in the same engine, so that both engines' new pages load behind.
    if (GetParam() == EngineKind::Gecko)
        form->Moz_ItemClick();
    ASSERT_TRUE(WaitForTabs({"opener"})) << form->DescribeTabs().toStdString();
    form->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return form->isActiveWindow(); }));
    form->Controls().txtAddress->setFocus();
    ASSERT_TRUE(WaitFor([&] { return form->Controls().txtAddress->hasFocus(); }));
    QStringList moves;
    QObject watching; // ends the recording before moves goes
    QObject::connect(qApp, &QApplication::focusChanged, &watching, [&](QWidget *, QWidget *now) {
        moves << (now ? QString::fromLatin1(now->metaObject()->className()) : QStringLiteral("none"));
    });
    ASSERT_TRUE(WaitForTabs({"opener", "ページ 3"})) << form->DescribeTabs().toStdString();
    Pump(1500); // the new page has loaded and shown itself
    EXPECT_TRUE(moves.isEmpty()) << moves.join(' ').toStdString();
    EXPECT_EQ(QApplication::focusWidget(), form->Controls().txtAddress);
    EXPECT_EQ(form->ActiveChild(), form->Children()[0]);
}

// A pop-up opened in its opener's engine keeps its page: it talks with its
// opener, and the opener's close() takes its window and tab away.
TEST_P(RealPopups, AnAdoptedPopUpTalksWithItsOpenerAndClosesWithIt)
{
    HttpServer server([](const HttpRequest &request) {
        if (request.path == "/opener.html")
            return HttpReply::Page("opener",
                                   "<script>var w;window.onmessage=function(e){"
                                   "document.title='got '+e.data+' closed='+w.closed;"
                                   "e.source.postMessage('オープナーからのメッセージです','*');"
                                   "setTimeout(function(){w.close();},4000);};"
                                   "setTimeout(function(){w=window.open('/popchild.html');},100);</script>");
        return HttpReply::Page("popchild", "<h1 id='m'>…</h1><script>window.onmessage=function(e){"
                                           "document.getElementById('m').textContent=e.data;"
                                           "document.title='child got '+e.data;};"
                                           "window.opener.postMessage('hello','*');</script>");
    });
    Start("LastEngine=IE\r\n");
    if (GetParam() == EngineKind::Gecko)
        form->Moz_ItemClick();
    form->OpenNewWindow(form->ToolsEngine(), server.Url("/opener.html"), QStringLiteral("opener"));
    ASSERT_TRUE(WaitForTabs({"got hello closed=false", "child got オープナーからのメッセージです"}))
        << form->DescribeTabs().toStdString();
    EXPECT_EQ(form->Children()[1]->Kind(), GetParam());
    EXPECT_EQ(Tfrm_tmpWeb::LiveCount(), 0);
    form->TileWindows(false);
    Shot(GetParam() == EngineKind::Gecko ? "orvex-adopted-popup-gecko" : "orvex-adopted-popup-ie");
    ASSERT_TRUE(WaitForTabs({"got hello closed=false"})) << form->DescribeTabs().toStdString();
    EXPECT_EQ(form->ChildCount(), 1);
}

// An empty pop-up the opener writes into stays; one it then sends to a
// blocked address goes, whichever moment the engine tells the address at.
TEST_P(RealPopups, BlankPopUpsAreKeptUntilTheyGoToABlockedAddress)
{
    Start("LastEngine=IE\r\n[Option_advertisemen]\r\nCloseURL=1\r\n");
    folder.Write("CloseURL.txt", "*doubleclick*\r\n");
    pages.Write("writer.html", "<html><head><title>opener</title></head><body><script>"
                               "setTimeout(function(){var w=window.open('');"
                               "w.document.write('<title>written</title>');w.document.close();"
                               "var a=window.open('');setTimeout(function(){"
                               "a.location='http://ad.doubleclick.invalid/';},1000);},100);"
                               "</script></body></html>");
    if (GetParam() == EngineKind::Gecko)
        form->Moz_ItemClick();
    form->OpenNewWindow(form->ToolsEngine(), Page("writer.html"), QStringLiteral("opener"));
    const QString kept = QStringLiteral("0:opener* 1:written");
    ASSERT_TRUE(WaitFor([&] { return form->DescribeTabs() == kept; })) << form->DescribeTabs().toStdString();
    Pump(2500); // the second pop-up has gone on to its address
    EXPECT_EQ(form->DescribeTabs(), kept);
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, RealPopups,
                         ::testing::Values(EngineKind::InternetExplorer, EngineKind::Gecko),
                         [](const ::testing::TestParamInfo<EngineKind> &info) {
                             return info.param == EngineKind::Gecko ? std::string("mozctl")
                                                                    : std::string("iexplore");
                         });

} // namespace
