// The Gecko module (mozctl.so, WebKitGTK inside the Qt window) beyond the
// shared contract suite, under the Japanese locale: real X input (drags,
// the context menu) and the focus between the page and Qt's widgets, keys
// the page leaves to the host, the clipboard across the two X connections,
// many windows opened and closed, teardown in any order, and what the module
// does apart from the other engine (its own context menu handing over "save
// target as", the refused full screen, accepted upload types, printing, the
// profile and the rendering path). The services both engines share are in
// the contract suite. Runs under xvfb-run without a window manager.
#include "browser/EngineLoader.h"
#include "browser/WebBrowser.h"
#include "core/ProgramFolder.h"
#include "support/HttpServer.h"
#include "support/Wait.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QX11Info>

#include <clocale>
#include <cstdlib>
#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>
#include <libintl.h>
#include <locale.h>
#include <memory>
#include <xcb/xcb.h>

// After Qt: X11's macros collide with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace orvex;
using orvex::test::HttpReply;
using orvex::test::HttpRequest;
using orvex::test::HttpServer;
using orvex::test::Pump;
using orvex::test::WaitFor;

namespace {

// ---- real input through the X server ----

void Flush()
{
    XFlush(QX11Info::display());
    Pump(30);
}

void ClickAt(const QPoint &global, unsigned int button = 1)
{
    Display *display = QX11Info::display();
    XTestFakeMotionEvent(display, -1, global.x(), global.y(), CurrentTime);
    XTestFakeButtonEvent(display, button, True, CurrentTime);
    XTestFakeButtonEvent(display, button, False, CurrentTime);
    Flush();
}

void MovePointer(const QPoint &global)
{
    XTestFakeMotionEvent(QX11Info::display(), -1, global.x(), global.y(), CurrentTime);
    Flush();
}

void Key(KeySym symbol, bool control = false, bool alt = false)
{
    Display *display = QX11Info::display();
    const KeyCode ctrl = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode altKey = XKeysymToKeycode(display, XK_Alt_L);
    if (control)
        XTestFakeKeyEvent(display, ctrl, True, CurrentTime);
    if (alt)
        XTestFakeKeyEvent(display, altKey, True, CurrentTime);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, symbol), True, CurrentTime);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, symbol), False, CurrentTime);
    if (alt)
        XTestFakeKeyEvent(display, altKey, False, CurrentTime);
    if (control)
        XTestFakeKeyEvent(display, ctrl, False, CurrentTime);
    Flush();
}

// Presses at one point, moves to another in steps, releases: as a hand
// drags, with the motion events X makes of it.
void DragFromTo(const QPoint &from, const QPoint &to, int steps = 12)
{
    Display *display = QX11Info::display();
    XTestFakeMotionEvent(display, -1, from.x(), from.y(), CurrentTime);
    Flush();
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    Flush();
    for (int i = 1; i <= steps; ++i) {
        const QPoint at = from + (to - from) * i / steps;
        XTestFakeMotionEvent(display, -1, at.x(), at.y(), CurrentTime);
        Flush();
    }
    Pump(100);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    Flush();
}

// Lower-case letters, digits and spaces.
void Type(const char *text)
{
    for (const char *c = text; *c; ++c)
        Key(*c == ' ' ? XK_space : KeySym(*c));
}

// ---- counting what a run leaves behind ----

int CountXWindows(xcb_window_t window)
{
    xcb_connection_t *connection = QX11Info::connection();
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    if (!tree)
        return 0;
    int count = 1;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
        count += CountXWindows(children[i]);
    free(tree);
    return count;
}

// The parent of a process, 0 when it is gone.
int ParentOf(int pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // "pid (name) state ppid ...": the name may hold spaces and brackets.
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toInt();
}

// Web processes this test started (through the sandbox's own processes),
// not those of another WebKit program running beside it.
int CountWebProcesses()
{
    const int self = int(QCoreApplication::applicationPid());
    int count = 0;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(entry));
        if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith("WebKitWebProces"))
            continue;
        for (int pid = entry.toInt(); pid > 1; pid = ParentOf(pid)) {
            if (pid == self) {
                ++count;
                break;
            }
        }
    }
    return count;
}

// Open descriptors but those WebKit keeps for itself whatever the pages do:
// the event counters of its threads and the files of its memory monitor.
int CountDescriptors()
{
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (!target.contains(QLatin1String("eventfd")) && !target.startsWith(QLatin1String("/proc/")) &&
            !target.startsWith(QLatin1String("/sys/")))
            ++count;
    }
    return count;
}

// ---- the host side ----

class Host : public WebBrowserEvents {
public:
    QStringList titles;
    QString status;
    std::function<bool(const PageDialogRequest &, QString *)> dialog;
    std::function<QStringList(const FileChooserRequest &)> files;
    std::vector<PagePermission> asked;
    bool allow = false;
    std::vector<bool> fullScreen;
    std::function<void(Download *)> download;

    void OnStatusTextChange(const QString &text) override { status = text; }
    void OnProgressChange(int, int) override {}
    bool back = false;
    void OnCommandStateChange(int command, bool enabled) override
    {
        if (command == CSC_NAVIGATEBACK)
            back = enabled;
    }
    void OnTitleChange(const QString &text) override { titles << text; }
    void OnNewWindow2(WebBrowser2 *&, bool &) override {}
    void OnBeforeNavigate2(const QString &, bool &) override {}
    bool OnPageDialog(const PageDialogRequest &request, QString *text) override
    {
        return dialog ? dialog(request, text) : false;
    }
    QStringList OnChooseFiles(const FileChooserRequest &request) override
    {
        return files ? files(request) : QStringList();
    }
    bool OnPermissionRequest(const QUrl &, PagePermission permission) override
    {
        asked.push_back(permission);
        return allow;
    }
    void OnFullScreenChange(bool on) override { fullScreen.push_back(on); }
    std::vector<std::pair<bool, QString>> printed;
    void OnPrintFinished(bool ok, const QString &error) override { printed.emplace_back(ok, error); }
    void OnFileDownload(Download *item) override
    {
        if (download)
            download(item);
        else
            WebBrowserEvents::OnFileDownload(item);
    }
};

class Transfer : public DownloadEvents {
public:
    int progress = 0;
    int finished = 0;
    bool ok = false;
    QString error;
    void OnDownloadProgress(qint64, qint64) override { ++progress; }
    void OnDownloadFinished(bool success, const QString &why) override
    {
        ++finished;
        ok = success;
        error = why;
    }
};

QTemporaryDir *g_profile = nullptr;

class Gecko : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        pages = new QTemporaryDir;
        Write("form.html",
              "<html><head><title>form</title></head><body style='margin:0'>"
              "<input id='f' style='position:absolute;left:10px;top:10px;width:300px;height:30px'>"
              "<textarea id='t' style='position:absolute;left:10px;top:60px;width:300px;height:60px'>"
              "</textarea><script>"
              "f.oninput=function(){document.title='typed '+f.value;};"
              "t.oninput=function(){document.title='pasted '+t.value;};"
              "document.addEventListener('keydown',function(e){"
              "if(e.ctrlKey&&e.key=='j'){e.preventDefault();document.title='kept j';}});"
              "</script></body></html>");
        Write("text.html", "<html><head><meta charset='utf-8'><title>text</title></head><body><p>Copied from "
                           "the page 日本語</p>"
                           "<p>apple Apple APPLE pear</p></body></html>");
        Write("dialogs.html", "<html><head><title>dialogs</title></head><body><script>"
                              "setTimeout(function(){alert('hello');"
                              "var c=confirm('sure?');var p=prompt('name?','taro');"
                              "document.title='answers '+c+' '+p;},50);</script></body></html>");
        Write(
            "services.html",
            "<html><head><title>services</title></head><body style='margin:0'>"
            "<input type='file' id='file' multiple accept='image/png' "
            "style='position:absolute;left:10px;top:10px;width:200px;height:40px'>"
            "<button id='full' "
            "style='position:absolute;left:10px;top:80px;width:200px;height:40px'>full</button>"
            "<script>file.onchange=function(){document.title='files '+file.files.length+' "
            "'+file.files[0].name;};"
            "full.onclick=function(){var refused=function(){document.title='full refused';};"
            "try{document.documentElement.requestFullscreen().then(function(){document.title='full on';},"
            "refused);}catch(e){refused();}};"
            "function ask(){Notification.requestPermission().then(function(r){document.title='notify '+r;});}"
            "</script></body></html>");
    }
    static void TearDownTestSuite()
    {
        delete pages;
        pages = nullptr;
    }
    static void Write(const QString &name, const QByteArray &html)
    {
        QFile file(pages->filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(html);
    }
    static QString Page(const QString &name) { return QUrl::fromLocalFile(pages->filePath(name)).toString(); }

    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->setGeometry(0, 0, 800, 600);
        auto *layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        address = new QLineEdit(window.get());
        layout->addWidget(address);
        browser = CreateWebBrowser(EngineKind::Gecko, window.get());
        layout->addWidget(browser->Control());
        browser->SetEvents(&host);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(WaitFor([&] { return window->isActiveWindow(); }, 5000));
    }
    void TearDown() override
    {
        browser.reset();
        window.reset();
        Pump(50);
    }

    bool Load(const QString &url, const QString &title)
    {
        browser->Navigate(url);
        return WaitFor([&] { return !browser->Busy() && host.titles.contains(title); });
    }
    QPoint PagePoint(int x, int y) const { return browser->Control()->mapToGlobal(QPoint(x, y)); }
    // Runs a script of the page by address (the contract has no script call).
    void Run(const QString &script) { browser->Navigate(QStringLiteral("javascript:") + script); }

    static QTemporaryDir *pages;
    std::unique_ptr<QWidget> window;
    QLineEdit *address = nullptr;
    Host host;
    std::unique_ptr<WebBrowser2> browser;
};

QTemporaryDir *Gecko::pages = nullptr;

// A web list starts the engine in a turn of its own before its first window,
// once; the libraries may have been mapped, and GTK started, on a thread
// before that, and that start may still be under way.
TEST(GeckoStart, PreparesOnceThenControlsWork)
{
    PreloadEngineModule(EngineKind::Gecko);
    EXPECT_TRUE(PrepareEngine(EngineKind::Gecko));
    EXPECT_FALSE(PrepareEngine(EngineKind::Gecko));
    QWidget parent;
    std::unique_ptr<WebBrowser2> control = CreateWebBrowser(EngineKind::Gecko, &parent);
    ASSERT_TRUE(control);
    Host host;
    control->SetEvents(&host);
    control->Navigate(QStringLiteral("about:blank"));
    EXPECT_TRUE(WaitFor([&] { return !control->Busy() && control->LocationURL() == "about:blank"; }));
}

TEST_F(Gecko, TypingFollowsTheFocusBetweenPageAndQtWidgets)
{
    ASSERT_TRUE(Load(Page("form.html"), "form"));
    // A click gives the page X focus; typed keys reach it.
    ClickAt(PagePoint(50, 25));
    Type("abc");
    ASSERT_TRUE(WaitFor([&] { return host.titles.contains("typed abc"); }, 5000))
        << host.titles.join(" | ").toStdString();

    // Back in a Qt widget, keys go there, also while the pointer rests on
    // the page (X would hand them to the page's window).
    ClickAt(address->mapToGlobal(QPoint(20, 10)));
    ASSERT_TRUE(WaitFor([&] { return address->hasFocus(); }, 3000));
    MovePointer(PagePoint(200, 300));
    Type("xyz");
    EXPECT_TRUE(WaitFor([&] { return address->text() == "xyz"; }, 3000)) << address->text().toStdString();
    EXPECT_FALSE(host.titles.contains("typed abcx"));

    // And back to the page.
    ClickAt(PagePoint(50, 25));
    Key(XK_End);
    Type("d");
    EXPECT_TRUE(WaitFor([&] { return host.titles.contains("typed abcd"); }, 5000));
    EXPECT_EQ(address->text(), "xyz");
}

TEST_F(Gecko, KeysThePageLeavesReachTheHostsShortcuts)
{
    int hostK = 0, hostJ = 0;
    auto *k = new QAction(window.get());
    k->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    QObject::connect(k, &QAction::triggered, [&] { ++hostK; });
    auto *j = new QAction(window.get());
    j->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    QObject::connect(j, &QAction::triggered, [&] { ++hostJ; });
    int hostBack = 0;
    auto *back = new QAction(window.get());
    back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    QObject::connect(back, &QAction::triggered, [&] { ++hostBack; });
    window->addActions({k, j, back});

    ASSERT_TRUE(Load(Page("form.html"), "form"));
    ClickAt(PagePoint(50, 25));
    Type("a");
    ASSERT_TRUE(WaitFor([&] { return host.titles.contains("typed a"); }, 5000));
    Key(XK_k, true);
    EXPECT_TRUE(WaitFor([&] { return hostK == 1; }, 3000)) << "an unused key goes on to the host";
    // A page that takes the key keeps it.
    Key(XK_j, true);
    ASSERT_TRUE(WaitFor([&] { return host.titles.contains("kept j"); }, 3000));
    Pump(300);
    EXPECT_EQ(hostJ, 0);
    // Alt+Left is the host's (back), even where the page would scroll or
    // move the caret with it.
    Key(XK_Left, false, true);
    EXPECT_TRUE(WaitFor([&] { return hostBack == 1; }, 3000));
    // The page still has the focus.
    Type("b");
    EXPECT_TRUE(WaitFor([&] { return host.titles.contains("typed ab"); }, 3000));

    // With accelerators off, Ctrl keys never reach the page but still the host.
    HostOptions options;
    options.enableAccelerator = false;
    browser->SetHostOptions(options);
    host.titles.clear();
    Key(XK_j, true);
    EXPECT_TRUE(WaitFor([&] { return hostJ == 1; }, 3000));
    EXPECT_FALSE(host.titles.contains("kept j"));
}

TEST_F(Gecko, ClipboardWorksBothWaysWithoutStalls)
{
    ASSERT_TRUE(Load(Page("text.html"), "text"));
    QApplication::clipboard()->setText("before");
    browser->SelectAll();
    browser->Copy();
    // Every read answers at once, while GTK takes the selection and after.
    qint64 slowest = 0;
    const bool copied = WaitFor(
        [&] {
            QElapsedTimer timer;
            timer.start();
            const QString text = QApplication::clipboard()->text();
            slowest = std::max(slowest, timer.elapsed());
            return text.contains(QStringLiteral("Copied from the page 日本語"));
        },
        5000);
    EXPECT_TRUE(copied) << QApplication::clipboard()->text().toStdString();
    EXPECT_LT(slowest, 1000) << "a clipboard read waited for the other toolkit";

    // Qt to the page.
    ASSERT_TRUE(Load(Page("form.html"), "form"));
    QApplication::clipboard()->setText("from qt");
    ClickAt(PagePoint(50, 80));
    Key(XK_v, true);
    EXPECT_TRUE(WaitFor([&] { return host.titles.contains("pasted from qt"); }, 5000))
        << host.titles.join(" | ").toStdString();
}

TEST_F(Gecko, DragsSelectTextAndEndCleanly)
{
    Write("drag.html",
          "<html><head><title>drag</title></head><body style='margin:0;font:24px monospace'>"
          "<p id='p' style='position:absolute;left:10px;top:10px;margin:0'>drag select this line</p>"
          "<a id='a' href='#gone' style='position:absolute;left:10px;top:100px'>a link to drag</a>"
          "<button id='b' style='position:absolute;left:10px;top:200px;width:200px;height:40px' "
          "onclick='document.title=\"clicked\"'>b</button>"
          "<input id='i' style='position:absolute;left:10px;top:300px;width:400px;font:20px monospace' "
          "oninput='document.title=\"typed \"+this.value'><script>"
          "document.onmouseup=function(){document.title='selected '+getSelection().toString();};"
          "var drags=0;document.ondragend=function(){document.title='drag ended '+(++drags);};"
          "</script></body></html>");
    ASSERT_TRUE(Load(Page("drag.html"), "drag"));
    DragFromTo(PagePoint(12, 25), PagePoint(200, 25));
    ASSERT_TRUE(WaitFor([&] { return host.titles.filter("selected drag sel").size() > 0; }, 5000))
        << host.titles.join(" | ").toStdString();
    QApplication::clipboard()->setText("before");
    Key(XK_c, true);
    EXPECT_TRUE(WaitFor([&] { return QApplication::clipboard()->text().startsWith("drag sel"); }, 5000))
        << QApplication::clipboard()->text().toStdString();
    // A middle click pastes the page's selection into a Qt widget (Qt's
    // own read would wait for GTK and give up empty).
    ClickAt(address->mapToGlobal(QPoint(20, 10)), 2);
    EXPECT_TRUE(WaitFor([&] { return address->text().startsWith("drag sel"); }, 5000))
        << address->text().toStdString();

    // A link dragged off the page, dropped on a Qt widget that takes it,
    // then where nothing takes it: each drag ends at once and the next
    // click reaches its target.
    address->clear();
    DragFromTo(PagePoint(30, 112), address->mapToGlobal(QPoint(100, 10)), 20);
    EXPECT_TRUE(WaitFor([&] { return host.titles.contains("drag ended 1"); }, 5000))
        << host.titles.join(" | ").toStdString();
    EXPECT_EQ(address->text(), Page("drag.html") + "#gone");
    DragFromTo(PagePoint(30, 112), QPoint(1000, 800), 20);
    EXPECT_TRUE(WaitFor([&] { return host.titles.contains("drag ended 2"); }, 5000))
        << host.titles.join(" | ").toStdString();
    ClickAt(PagePoint(100, 220));
    EXPECT_TRUE(WaitFor([&] { return host.titles.contains("clicked"); }, 5000))
        << host.titles.join(" | ").toStdString();

    // Selected text dragged onto a field of the same page goes into it.
    DragFromTo(PagePoint(12, 25), PagePoint(200, 25));
    ASSERT_TRUE(WaitFor([&] { return host.titles.filter("selected drag sel").size() > 1; }, 5000))
        << host.titles.join(" | ").toStdString();
    DragFromTo(PagePoint(60, 25), PagePoint(50, 312), 20);
    EXPECT_TRUE(WaitFor([&] { return host.titles.filter("typed drag sel").size() > 0; }, 5000))
        << host.titles.join(" | ").toStdString();
}

// True when the screen shows the pixel at a point changing, as a page's
// animation there draws it: the view is painted on screen, not only run.
bool ScreenChangesAt(const QPoint &global)
{
    QSet<QRgb> seen;
    for (int i = 0; i < 20 && seen.size() < 3; ++i) {
        seen.insert(QGuiApplication::primaryScreen()
                        ->grabWindow(0, global.x(), global.y(), 1, 1)
                        .toImage()
                        .pixel(0, 0));
        Pump(80);
    }
    return seen.size() >= 3;
}

TEST_F(Gecko, ViewKeepsPaintingAfterEveryContextMenu)
{
    Write(
        "anim.html",
        "<html><head><title>anim</title></head><body style='margin:0'>"
        "<input id='f' value='some text' "
        "style='position:absolute;left:10px;top:10px;width:300px;height:30px'>"
        "<div id='box' style='position:absolute;left:10px;top:100px;width:100px;height:100px'></div><script>"
        "f.onselect=function(){document.title='selected "
        "'+f.value.substring(f.selectionStart,f.selectionEnd);};"
        "function step(t){box.style.background='hsl('+Math.floor(t/3)%360+',100%,50%)';"
        "requestAnimationFrame(step);}requestAnimationFrame(step);</script></body></html>");
    ASSERT_TRUE(Load(Page("anim.html"), "anim"));
    const QPoint box = PagePoint(60, 150);
    ASSERT_TRUE(ScreenChangesAt(box));
    struct Way {
        const char *name;
        std::function<void()> close;
    };
    const Way ways[] = {
        {"Esc", [] { Key(XK_Escape); }},
        {"a click elsewhere", [&] { ClickAt(PagePoint(400, 400)); }},
        {"a chosen item", [] { Key(XK_a); }},
    };
    Display *display = QX11Info::display();
    for (const Way &way : ways) {
        // Held as a hand holds it: the menu opens before the button comes up.
        MovePointer(PagePoint(50, 25));
        XTestFakeButtonEvent(display, 3, True, CurrentTime);
        Flush();
        ASSERT_TRUE(WaitFor([] { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); }, 5000))
            << way.name;
        XTestFakeButtonEvent(display, 3, False, CurrentTime);
        Flush();
        way.close();
        ASSERT_TRUE(WaitFor([] { return !QApplication::activePopupWidget(); }, 5000)) << way.name;
        EXPECT_TRUE(ScreenChangesAt(box)) << "frozen after closing the menu by " << way.name;
    }
    // The chosen item did its work.
    EXPECT_TRUE(WaitFor([&] { return host.titles.contains("selected some text"); }, 5000))
        << host.titles.join(" | ").toStdString();
}

TEST_F(Gecko, ManyWindowsLeaveNoWindowsDescriptorsOrProcesses)
{
    ASSERT_TRUE(Load(Page("text.html"), "text"));
    ASSERT_GE(CountWebProcesses(), 1);
    browser.reset();
    ASSERT_TRUE(WaitFor([] { return CountWebProcesses() == 0; }, 10000));
    Pump(300);
    const xcb_window_t root = QX11Info::appRootWindow();
    const int windows = CountXWindows(root);

    auto cycles = [&](int count) {
        for (int i = 0; i < count; ++i) {
            auto parent = std::make_unique<QWidget>();
            parent->resize(400, 300);
            auto *layout = new QVBoxLayout(parent.get());
            std::unique_ptr<WebBrowser2> control = CreateWebBrowser(EngineKind::Gecko, parent.get());
            layout->addWidget(control->Control());
            Host events;
            control->SetEvents(&events);
            parent->show();
            control->Navigate(Page("text.html"));
            ASSERT_TRUE(WaitFor([&] { return events.titles.contains("text"); }));
            // Either may go first.
            if (i % 2) {
                parent.reset();
                control.reset();
            } else {
                control.reset();
                parent.reset();
            }
            Pump(20);
        }
        EXPECT_TRUE(WaitFor([] { return CountWebProcesses() == 0; }, 15000)) << CountWebProcesses();
        EXPECT_TRUE(WaitFor([&] { return CountXWindows(root) <= windows; }, 10000))
            << CountXWindows(root) << " > " << windows;
    };
    cycles(10);
    Pump(300);
    const int descriptors = CountDescriptors();
    cycles(12);
    EXPECT_TRUE(WaitFor([&] { return CountDescriptors() <= descriptors; }, 10000))
        << CountDescriptors() << " > " << descriptors;
}

TEST_F(Gecko, HostMayDestroyTheControlInsideAnyQuestion)
{
    // The page waits in its alert while the host closes it.
    host.dialog = [&](const PageDialogRequest &, QString *) {
        browser.reset();
        return true;
    };
    browser->Navigate(Page("dialogs.html"));
    ASSERT_TRUE(WaitFor([&] { return !browser; }, 10000));
    Pump(500);
    // The engine goes on working.
    browser = CreateWebBrowser(EngineKind::Gecko, window.get());
    window->layout()->addWidget(browser->Control());
    browser->SetEvents(&host);
    host.dialog = nullptr;
    EXPECT_TRUE(Load(Page("text.html"), "text"));
}

TEST_F(Gecko, TransfersGoWhereTheHostSaysAndCancelCleanly)
{
    const QByteArray body(200000, 'x');
    HttpServer server([&](const HttpRequest &request) {
        if (request.path == "/page")
            return HttpReply::Page("links",
                                   "<a href='/linked' style='display:block;width:300px;height:100px'>"
                                   "save me</a>");
        HttpReply reply;
        reply.contentType = "application/octet-stream";
        reply.headers << "Content-Disposition: attachment; filename=\"data.bin\"";
        reply.body = body;
        if (request.path == "/endless") {
            // Announces more than it sends: the transfer never completes.
            reply.generatedSize = 10000000;
            reply.stallAfter = body.size();
        }
        return reply;
    });
    QTemporaryDir out;
    Transfer events;
    std::unique_ptr<Download> item;
    host.download = [&](Download *download) {
        item.reset(download);
        download->SetEvents(&events);
    };
    browser->Navigate(server.Url("/file"));
    ASSERT_TRUE(WaitFor([&] { return item != nullptr; }));
    EXPECT_EQ(item->SuggestedFileName(), "data.bin");
    EXPECT_EQ(item->Url().toString(), server.Url("/file"));
    EXPECT_EQ(item->TotalBytes(), body.size());
    // The host may choose the place a moment later (its dialog).
    Pump(300);
    item->Start(out.filePath("saved.bin"));
    ASSERT_TRUE(WaitFor([&] { return events.finished == 1; }));
    EXPECT_TRUE(events.ok) << events.error.toStdString();
    QFile saved(out.filePath("saved.bin"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), body);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList{"saved.bin"}) << "nothing else written";

    // Cancelled halfway: nothing stays behind.
    events = Transfer();
    item.reset();
    browser->Navigate(server.Url("/endless"));
    ASSERT_TRUE(WaitFor([&] { return item != nullptr; }));
    item->Start(out.filePath("partial.bin"));
    ASSERT_TRUE(WaitFor([&] { return item->ReceivedBytes() > 0; }));
    item->Cancel();
    ASSERT_TRUE(WaitFor([&] { return events.finished == 1; }));
    EXPECT_FALSE(events.ok);
    EXPECT_FALSE(events.error.isEmpty());
    Pump(500);
    EXPECT_FALSE(QFile::exists(out.filePath("partial.bin")));
    // "Save target as" from the page's menu hands over a transfer too.
    item.reset();
    ASSERT_TRUE(Load(server.Url("/page"), "links"));
    // The menu runs its own loop: the choice is made from a timer, by its
    // accelerator key, as a user would.
    QString offered;
    QTimer chooser;
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            chooser.stop();
            for (QAction *action : menu->actions())
                offered += action->text() + "|";
            Key(XK_a);
        }
    });
    chooser.start(50);
    ClickAt(PagePoint(50, 50), 3);
    ASSERT_TRUE(WaitFor([&] { return item != nullptr; })) << offered.toStdString();
    EXPECT_TRUE(offered.contains(QStringLiteral("対象をファイルに保存(&A)...")));
    EXPECT_EQ(item->Url().toString(), server.Url("/linked"));
    // The page that started them is still usable.
    EXPECT_TRUE(Load(Page("text.html"), "text"));
}

TEST_F(Gecko, UploadAndPermissionsAskTheHost)
{
    QTemporaryDir upload;
    QFile picture(upload.filePath("photo.png"));
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
    picture.write("not really a picture");
    picture.close();
    FileChooserRequest chooser;
    host.files = [&](const FileChooserRequest &request) {
        chooser = request;
        return QStringList{picture.fileName()};
    };
    ASSERT_TRUE(Load(Page("services.html"), "services"));
    ClickAt(PagePoint(60, 30));
    ASSERT_TRUE(WaitFor([&] { return host.titles.contains("files 1 photo.png"); }, 5000))
        << host.titles.join(" | ").toStdString();
    EXPECT_TRUE(chooser.multiple);
    EXPECT_EQ(chooser.acceptedTypes, QStringList{"image/png"});

    // Permissions are refused unless the host allows them.
    Run("ask()");
    ASSERT_TRUE(WaitFor([&] { return host.titles.contains("notify denied"); }, 5000));
    EXPECT_EQ(host.asked, std::vector<PagePermission>{PagePermission::Notifications});

    // A page's full screen is refused without a question (see the module),
    // and the status bar says so.
    host.allow = true;
    ClickAt(PagePoint(60, 100));
    ASSERT_TRUE(WaitFor([&] { return host.titles.contains("full refused"); }, 5000));
    EXPECT_EQ(host.asked.size(), 1u);
    EXPECT_TRUE(host.fullScreen.empty());
    EXPECT_EQ(host.status, QStringLiteral("このウィンドウでは全画面表示を使えません"));
}

// The engine's own texts in pages are Japanese whatever the locale: the
// notes of form checking come from the catalogue beside the module, which
// has the texts Debian's Japanese one lacks.
TEST_F(Gecko, FormCheckingSpeaksJapanese)
{
    Write("check.html", "<html><head><meta charset='utf-8'><title>check</title></head><body>"
                        "<input id='r' required><input id='e' type='email' value='x'><script>"
                        "document.title='notes '+r.validationMessage+'|'+e.validationMessage;"
                        "</script></body></html>");
    browser->Navigate(Page("check.html"));
    ASSERT_TRUE(WaitFor(
        [&] { return !browser->Busy() && host.titles.size() && host.titles.last().startsWith("notes"); }));
    EXPECT_EQ(host.titles.last().toStdString(),
              "notes このフィールドを入力してください。|メール アドレスを入力してください。");
}

TEST_F(Gecko, FindShowsTheFirstMatchAtOnce)
{
    Write("find.html", "<html><head><title>find</title></head><body><p>apple pear apple pear</p><script>"
                       "document.onselectionchange=function(){document.title='sel '+getSelection();};"
                       "</script></body></html>");
    ASSERT_TRUE(Load(Page("find.html"), "find"));
    browser->Find({"pear", false, false});
    EXPECT_TRUE(WaitFor([&] { return host.titles.contains("sel pear"); }, 5000))
        << host.titles.join(" | ").toStdString();
}

TEST_F(Gecko, PrintsToPdfUnderTheJapaneseLocale)
{
    // The suite runs in Japanese (see main), where GTK names its file
    // printer in Japanese.
    ASSERT_STREQ(setlocale(LC_MESSAGES, nullptr), "ja_JP.UTF-8");
    ASSERT_STRNE(dgettext("gtk30", "Print to File"), "Print to File");
    ASSERT_TRUE(Load(Page("text.html"), "text"));
    QTemporaryDir out;
    const QString pdf = out.filePath("ページ.pdf");
    browser->Print({QString(), pdf, false, 1});
    ASSERT_TRUE(WaitFor([&] { return !host.printed.empty(); }, 30000));
    EXPECT_TRUE(host.printed[0].first) << host.printed[0].second.toStdString();
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("%PDF"));
}

TEST_F(Gecko, ProfileLivesInTheDataFolderAndRenderingSuitsTheMachine)
{
    ASSERT_TRUE(Load(Page("text.html"), "text"));
    HttpServer server([](const HttpRequest &) {
        HttpReply reply = HttpReply::Page("cookie");
        reply.headers << "Set-Cookie: visit=1; Max-Age=3600";
        return reply;
    });
    ASSERT_TRUE(Load(server.Url("/"), "cookie"));
    EXPECT_TRUE(
        WaitFor([] { return QFile::exists(g_profile->filePath("mozctl-profile/cookies.sqlite")); }, 5000));
    EXPECT_TRUE(browser->EngineName().startsWith("WebKitGTK 2.")) << browser->EngineName().toStdString();
    // Xvfb has no GPU: the cheaper path without compositing is taken.
    EXPECT_EQ(qgetenv("WEBKIT_DISABLE_COMPOSITING_MODE"), "1");
}

// While a page sleeps discarded, a view with its web process started waits
// for the next page: a new window takes it and shows its first page with
// nothing to go back to, and the sleeping page comes back with its history.
TEST_F(Gecko, WhileAPageSleepsANewWindowStartsWithoutHistory)
{
    ASSERT_TRUE(Load(Page("text.html"), "text"));
    ASSERT_TRUE(Load(Page("form.html"), "form"));
    browser->SetLifecycle(PageLifecycle::Discarded);
    ASSERT_EQ(browser->Lifecycle(), PageLifecycle::Discarded);
    Pump(2000); // the waiting view's process starts

    QWidget window2;
    window2.setGeometry(0, 0, 400, 300);
    new QVBoxLayout(&window2);
    std::unique_ptr<WebBrowser2> second = CreateWebBrowser(EngineKind::Gecko, &window2);
    window2.layout()->addWidget(second->Control());
    Host secondHost;
    second->SetEvents(&secondHost);
    window2.show();
    second->Navigate(Page("text.html"));
    ASSERT_TRUE(WaitFor([&] { return !second->Busy() && secondHost.titles.contains("text"); }));
    EXPECT_FALSE(secondHost.back);

    // The sleeping page comes back in the next waiting view.
    Pump(2000);
    host.titles.clear();
    browser->SetLifecycle(PageLifecycle::Active);
    ASSERT_TRUE(WaitFor([&] { return !browser->Busy() && host.titles.contains("form"); }));
    EXPECT_TRUE(host.back);
    browser->GoBack();
    EXPECT_TRUE(WaitFor([&] { return host.titles.contains("text"); }));
}

} // namespace

// Runs the suite under the Japanese locale, as the program's users have it.
// A machine without it gets the locale generated once into the temporary
// folder, where later runs (one process per test) find it.
void UseJapaneseLocale()
{
    if (locale_t japanese = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", nullptr)) {
        freelocale(japanese);
    } else {
        const QString folder = QDir::temp().filePath(QStringLiteral("orvex-test-locales"));
        if (!QFile::exists(folder + "/ja_JP.UTF-8/LC_CTYPE")) {
            // Made aside and moved in whole: another run may be at it too.
            QTemporaryDir staging(folder + "-XXXXXX");
            const std::string made = staging.filePath("ja_JP.UTF-8").toStdString();
            if (std::system(("localedef -i ja_JP -f UTF-8 '" + made + "' 2>/dev/null").c_str()) == 0 &&
                QDir().mkpath(folder))
                QDir().rename(QString::fromStdString(made), folder + "/ja_JP.UTF-8");
        }
        qputenv("LOCPATH", QFile::encodeName(folder));
    }
    qunsetenv("LC_ALL");
    qunsetenv("LANGUAGE");
    qputenv("LANG", "ja_JP.UTF-8");
}

int main(int argc, char **argv)
{
    UseJapaneseLocale();
    QApplication app(argc, argv);
    const QByteArray bin = qgetenv("ORVEX_BIN_DIR");
    if (!bin.isEmpty())
        SetProgramFolderOverride(bin.toStdString() + "/");
    // The module gets its data folder before the loader's set-up, which it
    // then ignores: the profile goes to a folder of the test's own.
    g_profile = new QTemporaryDir;
    const std::string module = FindEngineModule(EngineKind::Gecko);
    if (void *handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (auto setup = reinterpret_cast<SetupEngineFn>(::dlsym(handle, SetupEngineSymbol))) {
            EngineEnvironment environment;
            environment.dataFolder = g_profile->path() + "/";
            setup(&environment);
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    delete g_profile;
    return result;
}
