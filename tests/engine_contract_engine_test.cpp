// The engine contract, one suite for every engine: the fake engine the other
// tests use, iexplore.so (QtWebEngine) and mozctl.so (WebKitGTK). The real
// modules run under a real X display (xvfb-run) and load local pages only:
// files in a temporary folder and a small HTTP server on 127.0.0.1. Cases
// that need a page to render run on the real engines only.
#include "browser/EngineLoader.h"
#include "browser/WebBrowser.h"
#include "platform/Errors.h"
#include "platform/ProgramFolder.h"
#include "support/FakeEngine.h"

#include "support/Wait.h"
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

using namespace orvex;
using orvex::test::Pump;
using orvex::test::WaitFor;

namespace {

enum class Engine { Fake, IE, Gecko };

std::string EngineLabel(const ::testing::TestParamInfo<Engine> &info)
{
    switch (info.param) {
    case Engine::Fake:
        return "Fake";
    case Engine::IE:
        return "iexplore";
    case Engine::Gecko:
        return "mozctl";
    }
    return "unknown";
}

// Everything an engine reports, in order.
class Recorder : public WebBrowserEvents {
public:
    QStringList statuses, titles, beforeNavigate;
    std::vector<int> progress;
    std::vector<int> progressMax;
    std::vector<std::pair<int, bool>> commands;
    int newWindows = 0;
    int total = 0;
    // The answer to OnNewWindow2 (nullptr refuses) and to OnBeforeNavigate2.
    std::function<WebBrowser2 *()> catcher;
    bool cancelNavigation = false;
    std::function<void()> onBeforeNavigate;

    void OnStatusTextChange(const QString &text) override
    {
        ++total;
        statuses << text;
    }
    void OnProgressChange(int p, int max) override
    {
        ++total;
        progress.push_back(p);
        progressMax.push_back(max);
    }
    void OnCommandStateChange(int command, bool enable) override
    {
        ++total;
        commands.emplace_back(command, enable);
    }
    void OnTitleChange(const QString &text) override
    {
        ++total;
        titles << text;
    }
    void OnNewWindow2(WebBrowser2 *&ppDisp, bool &) override
    {
        ++total;
        ++newWindows;
        ppDisp = catcher ? catcher() : nullptr;
    }
    // A load beginning and ending reports both history states anew:
    // marked with command 0 between the states.
    void OnDownloadBegin() override { commands.emplace_back(0, true); }
    void OnDownloadComplete() override { commands.emplace_back(0, false); }
    void OnBeforeNavigate2(const QString &url, bool &cancel) override
    {
        ++total;
        beforeNavigate << url;
        cancel = cancelNavigation;
        if (onBeforeNavigate)
            onBeforeNavigate();
    }
    // The last state reported for a command, or -1 when none was.
    int LastState(int command) const
    {
        for (auto it = commands.rbegin(); it != commands.rend(); ++it)
            if (it->first == command)
                return it->second;
        return -1;
    }
};

// A local HTTP server on 127.0.0.1 (plain sockets: the tests link no Qt
// network module): "/slow" answers after three seconds, anything else at once
// with a small page titled "served <path>".
class LocalServer : public QObject {
public:
    LocalServer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(listener_, 16);
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length);
        port_ = ntohs(address.sin_port);
        auto *notifier = new QSocketNotifier(listener_, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] { Accept(); });
    }
    ~LocalServer() override
    {
        for (int fd : open_)
            ::close(fd);
        ::close(listener_);
    }
    QString Url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
    }

private:
    void Accept()
    {
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0)
            return;
        open_.insert(fd);
        auto *reader = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(reader, &QSocketNotifier::activated, this, [this, fd, reader] {
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            reader->setEnabled(false);
            reader->deleteLater();
            const QByteArray request(buffer, n > 0 ? int(n) : 0);
            if (!request.startsWith("GET ")) {
                Close(fd);
                return;
            }
            const QByteArray path = request.mid(4, request.indexOf(' ', 4) - 4);
            if (path == "/slow")
                QTimer::singleShot(3000, this, [this, fd, path] { Reply(fd, path); });
            else
                Reply(fd, path);
        });
    }
    void Reply(int fd, const QByteArray &path)
    {
        if (!open_.count(fd))
            return;
        const QByteArray body =
            "<html><head><title>served " + path + "</title></head><body>served</body></html>";
        const QByteArray reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                 QByteArray::number(body.size()) + "\r\n\r\n" + body;
        (void)!::write(fd, reply.constData(), reply.size());
        Close(fd);
    }
    void Close(int fd)
    {
        open_.erase(fd);
        ::close(fd);
    }
    int listener_ = -1;
    int port_ = 0;
    std::set<int> open_;
};

class EngineContract : public ::testing::TestWithParam<Engine> {
protected:
    static void SetUpTestSuite()
    {
        pages = new QTemporaryDir;
        Write("one.html", "<html><head><meta charset='utf-8'><title>日本語のタイトル</title></head>"
                          "<body><p>Orvex contract page one 日本語の本文</p>"
                          "<a id='two' href='two.html' style='display:block;width:600px;"
                          "height:200px;background:#ccc'>two</a></body></html>");
        Write("two.html", "<html><head><meta charset='utf-8'><title>Page two</title></head>"
                          "<body><p>Orvex contract page two</p></body></html>");
        Write("blank.html", "<html><head><title>opener</title></head><body>"
                            "<a id='l' href='two.html' target='_blank'>new</a>"
                            "<script>setTimeout(function(){document.getElementById('l').click();},50);"
                            "</script></body></html>");
        Write("open.html", "<html><head><title>opener</title></head><body><script>"
                           "setTimeout(function(){window.open('two.html?opened');},50);"
                           "</script></body></html>");
        Write("openempty.html", "<html><head><title>opener</title></head><body><script>"
                                "setTimeout(function(){window.open('');},50);"
                                "</script></body></html>");
        Write("script.html", "<html><head><title>static</title></head><body>"
                             "<script>document.title='scripted';</script></body></html>");
        Write("keys.html",
              "<html><head><title>keys</title></head><body>"
              "<input id='f' autofocus><script>"
              "document.addEventListener('keydown',function(e){"
              "document.title='key '+String.fromCharCode(e.keyCode).toLowerCase()+(e.ctrlKey?' ctrl':'');});"
              "</script></body></html>");
        Write("text.html", "<html><head><title>text</title></head><body style='margin:0;"
                           "background:#fff'><div style='font:20px sans-serif;color:#000'>"
                           "WWWWWWWWWW</div></body></html>");
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
        window.resize(800, 600);
        new QVBoxLayout(&window);
        window.layout()->setContentsMargins(0, 0, 0, 0);
        browser = Create(&window);
        window.layout()->addWidget(browser->Control());
        browser->SetEvents(&events);
        window.show();
    }
    void TearDown() override
    {
        browser.reset();
        catchers.clear();
        Pump(50);
    }

    bool Real() const { return GetParam() != Engine::Fake; }

    std::unique_ptr<WebBrowser2> Create(QWidget *parent)
    {
        if (GetParam() == Engine::Fake)
            return std::make_unique<test::FakeEngine>(parent);
        return CreateWebBrowser(GetParam() == Engine::IE ? EngineKind::InternetExplorer : EngineKind::Gecko,
                                parent);
    }

    // Navigates and waits until the page has loaded and its title arrived.
    bool Load(const QString &url, const QString &title)
    {
        browser->Navigate(url);
        return WaitFor([&] { return !browser->Busy() && events.titles.contains(title); });
    }

    // A hidden catcher of the same engine, as the host hands one back.
    WebBrowser2 *NewCatcher(Recorder &sink)
    {
        catchers.push_back(Create(&catcherParent));
        catchers.back()->SetEvents(&sink);
        return catchers.back().get();
    }

    // Bounding box of the dark pixels of the control's picture.
    QRect InkBox()
    {
        const QImage image = browser->Control()->grab().toImage();
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128)
                    box |= QRect(x, y, 1, 1);
        return box;
    }

    static QTemporaryDir *pages;
    QWidget window;
    QWidget catcherParent;
    Recorder events;
    std::unique_ptr<WebBrowser2> browser;
    std::vector<std::unique_ptr<WebBrowser2>> catchers;
};

QTemporaryDir *EngineContract::pages = nullptr;

// The cases that need a page to render: the real engines only.
class RenderedContract : public EngineContract {};

TEST_P(EngineContract, NavigateReportsTitleProgressAndAddress)
{
    if (!Real()) {
        browser->Navigate(Page("one.html"));
        EXPECT_EQ(browser->LocationURL(), Page("one.html"));
        return;
    }
    ASSERT_TRUE(Load(Page("one.html"), QStringLiteral("日本語のタイトル")))
        << events.titles.join(" | ").toStdString();
    EXPECT_EQ(browser->LocationURL(), Page("one.html"));
    ASSERT_FALSE(events.progress.empty());
    EXPECT_NE(std::find(events.progress.begin(), events.progress.end(), 100), events.progress.end());
    // The IE module ends a finished load with -1, as the Internet Explorer
    // control does; the Gecko module ends at 100.
    EXPECT_EQ(events.progress.back(), GetParam() == Engine::IE ? -1 : 100);
    for (size_t i = 0; i < events.progress.size(); ++i) {
        EXPECT_GE(events.progress[i], -1);
        EXPECT_LE(events.progress[i], 100);
        EXPECT_EQ(events.progressMax[i], 100);
    }
    // The main-frame navigation is announced before it begins.
    EXPECT_TRUE(events.beforeNavigate.contains(Page("one.html")));
    Pump(200);
    browser->Control()->grab().save(
        QStringLiteral("/tmp/orvex-%1-page.png").arg(GetParam() == Engine::IE ? "iexplore" : "mozctl"));
}

TEST_P(RenderedContract, PlainPathsAndEmptyAddressesLoad)
{
    // A plain path must show the file, not about:blank.
    ASSERT_TRUE(Load(pages->filePath("two.html"), "Page two"));
    EXPECT_EQ(browser->LocationURL(), Page("two.html"));

    browser->Navigate("");
    ASSERT_TRUE(WaitFor([&] { return browser->LocationURL() == "about:blank" && !browser->Busy(); }));
}

TEST_P(RenderedContract, BackAndForwardFollowHistory)
{
    ASSERT_TRUE(Load(Page("one.html"), QStringLiteral("日本語のタイトル")));
    EXPECT_NE(events.LastState(CSC_NAVIGATEBACK), 1) << "nothing to go back to yet";
    ASSERT_TRUE(Load(Page("two.html"), "Page two"));
    ASSERT_TRUE(WaitFor([&] { return events.LastState(CSC_NAVIGATEBACK) == 1; }));

    browser->GoBack();
    ASSERT_TRUE(WaitFor([&] { return browser->LocationURL() == Page("one.html") && !browser->Busy(); }));
    ASSERT_TRUE(WaitFor([&] {
        return events.LastState(CSC_NAVIGATEFORWARD) == 1 && events.LastState(CSC_NAVIGATEBACK) == 0;
    }));

    browser->GoForward();
    ASSERT_TRUE(WaitFor([&] { return browser->LocationURL() == Page("two.html"); }));
    ASSERT_TRUE(WaitFor([&] { return events.LastState(CSC_NAVIGATEFORWARD) == 0; }));

    // Within a load only real changes are reported: never the same state
    // twice in a row.
    std::map<int, int> last;
    for (const auto &[command, enable] : events.commands) {
        if (command == 0) {
            last[CSC_NAVIGATEBACK] = last[CSC_NAVIGATEFORWARD] = -1;
            continue;
        }
        EXPECT_NE(last.count(command) ? last[command] : 0, int(enable))
            << "repeated state for command " << command;
        last[command] = enable;
    }
}

TEST_P(RenderedContract, BusyWhileLoadingUntilStopped)
{
    LocalServer server;
    ASSERT_TRUE(Load(server.Url("/fast"), "served /fast"));
    EXPECT_FALSE(browser->Busy());
    browser->Navigate(server.Url("/slow"));
    ASSERT_TRUE(WaitFor([&] { return browser->Busy(); }, 2500));
    Pump(300);
    EXPECT_TRUE(browser->Busy()) << "the server has not answered yet";
    browser->Stop();
    ASSERT_TRUE(WaitFor([&] { return !browser->Busy(); }, 2500));
    Pump(3500);
    EXPECT_FALSE(events.titles.contains("served /slow")) << "stopped loads do not complete";
}

TEST_P(RenderedContract, RefreshReloadsThePage)
{
    ASSERT_TRUE(Load(Page("script.html"), "scripted"));
    events.beforeNavigate.clear();
    events.titles.clear();
    browser->Refresh();
    ASSERT_TRUE(WaitFor([&] { return events.titles.contains("scripted") && !browser->Busy(); }));
}

TEST_P(RenderedContract, SelectAllAndCopyFillTheClipboard)
{
    ASSERT_TRUE(Load(Page("one.html"), QStringLiteral("日本語のタイトル")));
    QApplication::clipboard()->setText("before");
    // The renderer takes the focus and the selection asynchronously; on a
    // busy machine the first round may be early, so the user's retry is allowed.
    bool copied = false;
    for (int attempt = 0; attempt < 5 && !copied; ++attempt) {
        browser->ExecWB(OLECMDID_SELECTALL, OLECMDEXECOPT_DODEFAULT);
        Pump(300 + 300 * attempt);
        browser->ExecWB(OLECMDID_COPY, OLECMDEXECOPT_DODEFAULT);
        copied = WaitFor([] { return QApplication::clipboard()->text().contains("Orvex contract page one"); },
                         2000);
    }
    EXPECT_TRUE(copied) << QApplication::clipboard()->text().toStdString();
}

TEST_P(RenderedContract, SaveAsWritesThePage)
{
    ASSERT_TRUE(Load(Page("one.html"), QStringLiteral("日本語のタイトル")));
    QTemporaryDir out;
    auto contains = [](const QString &path, const QByteArray &text) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(text);
    };

    // The dialog stands aside when a scripted path is set.
    const QString scripted = out.filePath("scripted.html");
    qputenv("ORVEX_SAVEAS_PATH", scripted.toLocal8Bit());
    browser->ExecWB(OLECMDID_SAVEAS, OLECMDEXECOPT_DODEFAULT);
    qunsetenv("ORVEX_SAVEAS_PATH");
    EXPECT_TRUE(WaitFor([&] { return contains(scripted, "Orvex contract page one"); }, 10000));
    // The Japanese title survives in a form a browser reads back.
    EXPECT_TRUE(contains(scripted, QStringLiteral("日本語のタイトル").toUtf8()) ||
                contains(scripted, "=E6=97=A5"));

    // A file name given as input is used without asking.
    const QString given = out.filePath("given.html");
    browser->ExecWB(OLECMDID_SAVEAS, OLECMDEXECOPT_DONTPROMPTUSER, given);
    EXPECT_TRUE(WaitFor([&] { return contains(given, "Orvex contract page one"); }, 10000));
}

TEST_P(RenderedContract, TextSizeScalesTheText)
{
    ASSERT_TRUE(Load(Page("text.html"), "text"));
    QRect normal;
    ASSERT_TRUE(WaitFor(
        [&] {
            normal = InkBox();
            return normal.width() > 100;
        },
        5000));

    browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 4);
    QRect large;
    EXPECT_TRUE(WaitFor(
        [&] {
            large = InkBox();
            return std::abs(large.width() / double(normal.width()) - 1.6) < 0.12;
        },
        5000))
        << normal.width() << " -> " << large.width();

    browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 0);
    QRect small;
    EXPECT_TRUE(WaitFor(
        [&] {
            small = InkBox();
            return std::abs(small.width() / double(normal.width()) - 0.6) < 0.08;
        },
        5000))
        << normal.width() << " -> " << small.width();

    QVariant level;
    browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, QVariant(), &level);
    EXPECT_EQ(level.toInt(), 0);

    const QString shot =
        QStringLiteral("/tmp/orvex-%1-text.png").arg(GetParam() == Engine::IE ? "iexplore" : "mozctl");
    browser->Control()->grab().save(shot);
}

TEST_P(EngineContract, UnknownCommandsAndBadTextSizesThrow)
{
    EXPECT_THROW(browser->ExecWB(99, OLECMDEXECOPT_DODEFAULT), std::runtime_error);
    EXPECT_THROW(browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 5), std::runtime_error);
    EXPECT_THROW(browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, -1), std::runtime_error);
    // A refused size leaves the size as it was.
    browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 3);
    EXPECT_THROW(browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 7), std::runtime_error);
    QVariant level;
    browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, QVariant(), &level);
    EXPECT_EQ(level.toInt(), 3);
}

TEST_P(RenderedContract, NewWindowRequestsGoToTheCatcher)
{
    Recorder catcherEvents;
    catcherEvents.cancelNavigation = true;
    events.catcher = [&] { return NewCatcher(catcherEvents); };

    // A link with a new-window target.
    browser->Navigate(Page("blank.html"));
    ASSERT_TRUE(WaitFor([&] { return !catcherEvents.beforeNavigate.isEmpty(); }))
        << "new windows asked: " << events.newWindows;
    EXPECT_EQ(events.newWindows, 1);
    EXPECT_EQ(catcherEvents.beforeNavigate.first(), Page("two.html"));

    // A script's window.open.
    catcherEvents.beforeNavigate.clear();
    browser->Navigate(Page("open.html"));
    ASSERT_TRUE(WaitFor([&] { return !catcherEvents.beforeNavigate.isEmpty(); }));
    EXPECT_EQ(events.newWindows, 2);
    EXPECT_EQ(catcherEvents.beforeNavigate.first(), Page("two.html") + "?opened");

    // window.open('') never navigates: the catcher reports about:blank.
    catcherEvents.beforeNavigate.clear();
    browser->Navigate(Page("openempty.html"));
    ASSERT_TRUE(WaitFor([&] { return !catcherEvents.beforeNavigate.isEmpty(); }));
    EXPECT_EQ(events.newWindows, 3);
    EXPECT_EQ(catcherEvents.beforeNavigate.first(), "about:blank");
    Pump(500);
    EXPECT_EQ(catcherEvents.beforeNavigate.size(), 1) << "reported once";
}

TEST_P(RenderedContract, RefusedOrForeignCatchersOpenNothing)
{
    // No catcher: the window is refused.
    browser->Navigate(Page("open.html"));
    ASSERT_TRUE(WaitFor([&] { return events.newWindows == 1; }));

    // A control of another engine cannot take the page.
    QWidget holder;
    test::FakeEngine foreign(&holder);
    events.catcher = [&]() -> WebBrowser2 * { return &foreign; };
    browser->Navigate(Page("blank.html"));
    ASSERT_TRUE(WaitFor([&] { return events.newWindows == 2; }));
    Pump(500);
    EXPECT_TRUE(foreign.log.empty());
    EXPECT_EQ(browser->LocationURL(), Page("blank.html"));
}

TEST_P(RenderedContract, HostMayCloseTheCatcherInsideItsEvent)
{
    Recorder catcherEvents;
    catcherEvents.cancelNavigation = true;
    QPointer<QWidget> catcherWidget;
    events.catcher = [&] {
        WebBrowser2 *catcher = NewCatcher(catcherEvents);
        catcherWidget = catcher->Control();
        return catcher;
    };
    catcherEvents.onBeforeNavigate = [&] { catchers.clear(); };
    browser->Navigate(Page("open.html"));
    ASSERT_TRUE(WaitFor([&] { return !catcherEvents.beforeNavigate.isEmpty(); }));
    EXPECT_TRUE(WaitFor([&] { return catcherWidget.isNull(); }, 3000));
    // The opener goes on working.
    ASSERT_TRUE(Load(Page("two.html"), "Page two"));
}

TEST_P(RenderedContract, NoScriptsOptionStopsScripts)
{
    ASSERT_TRUE(Load(Page("script.html"), "scripted"));
    HostOptions options;
    options.downloadControl = 0x70 | 0x80;
    browser->SetHostOptions(options);
    browser->Navigate(Page("two.html"));
    ASSERT_TRUE(WaitFor([&] { return !browser->Busy() && events.titles.contains("Page two"); }));
    events.titles.clear();
    browser->Navigate(Page("script.html"));
    ASSERT_TRUE(WaitFor([&] { return !browser->Busy() && events.titles.contains("static"); }));
    Pump(300);
    EXPECT_FALSE(events.titles.contains("scripted"));
}

// The widget that takes keys and the mouse: QtWebEngine's render widget,
// QtWebKit's view.
QWidget *InputTarget(QWidget *control)
{
    return control->focusProxy() ? control->focusProxy() : control;
}

TEST_P(RenderedContract, HoveredLinksShowInTheStatus)
{
    ASSERT_TRUE(Load(Page("one.html"), QStringLiteral("日本語のタイトル")));
    Pump(200);
    auto moveTo = [&](QPoint at) {
        QWidget *target = InputTarget(browser->Control());
        QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(target, &move);
    };
    moveTo({100, 100});
    ASSERT_TRUE(WaitFor(
        [&] { return !events.statuses.isEmpty() && events.statuses.last().endsWith("two.html"); }, 5000))
        << events.statuses.join(" | ").toStdString();
    moveTo({700, 500});
    EXPECT_TRUE(WaitFor([&] { return events.statuses.last().isEmpty(); }, 5000));
}

TEST_P(RenderedContract, AcceleratorOptionKeepsCtrlKeysFromThePage)
{
    ASSERT_TRUE(Load(Page("keys.html"), "keys"));
    QApplication::setActiveWindow(&window);
    browser->Control()->setFocus();
    Pump(300);
    auto type = [&](int key, const QString &text, Qt::KeyboardModifiers modifiers) {
        QWidget *target = InputTarget(browser->Control());
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    };
    type(Qt::Key_A, "a", Qt::NoModifier);
    ASSERT_TRUE(WaitFor([&] { return events.titles.contains("key a"); }, 5000))
        << events.titles.join(" | ").toStdString();
    type(Qt::Key_B, "\x02", Qt::ControlModifier);
    ASSERT_TRUE(WaitFor([&] { return events.titles.contains("key b ctrl"); }, 5000))
        << events.titles.join(" | ").toStdString();

    HostOptions options;
    options.enableAccelerator = false;
    browser->SetHostOptions(options);
    // A new renderer (another page) must be covered too.
    ASSERT_TRUE(Load(Page("two.html"), "Page two"));
    events.titles.clear();
    ASSERT_TRUE(Load(Page("keys.html"), "keys"));
    QApplication::setActiveWindow(&window);
    browser->Control()->setFocus();
    Pump(300);
    type(Qt::Key_D, "\x04", Qt::ControlModifier);
    type(Qt::Key_C, "c", Qt::NoModifier);
    ASSERT_TRUE(WaitFor([&] { return events.titles.contains("key c"); }, 5000))
        << events.titles.join(" | ").toStdString();
    EXPECT_FALSE(events.titles.contains("key d ctrl"));
}

TEST_P(RenderedContract, NoContextOptionSuppressesTheMenu)
{
    ASSERT_TRUE(Load(Page("two.html"), "Page two"));
    auto rightClick = [&] {
        QWidget *target =
            browser->Control()->focusProxy() ? browser->Control()->focusProxy() : browser->Control();
        const QPoint at(100, 100);
        const QPoint global = target->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, global);
        QApplication::sendEvent(target, &menu);
    };
    // QtWebKit runs its menu modally: a timer notes and closes any menu.
    bool menuShown = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            menuShown = true;
            popup->close();
        }
    });
    closer.start(50);
    rightClick();
    EXPECT_TRUE(WaitFor([&] { return menuShown; }, 5000)) << "the engine's own menu shows by default";

    HostOptions options;
    options.noContext = true;
    browser->SetHostOptions(options);
    menuShown = false;
    rightClick();
    Pump(1500);
    EXPECT_FALSE(menuShown);
}

TEST_P(EngineContract, ControlOwnsItsWidgetAndFallsSilentWhenDestroyed)
{
    QPointer<QWidget> widget = browser->Control();
    ASSERT_FALSE(widget.isNull());
    EXPECT_FALSE(browser->EngineName().isEmpty());
    if (Real()) {
        LocalServer server;
        browser->Navigate(server.Url("/slow"));
        ASSERT_TRUE(WaitFor([&] { return browser->Busy(); }, 2500));
        browser.reset();
        EXPECT_TRUE(widget.isNull());
        const int before = events.total;
        Pump(3500);
        EXPECT_EQ(events.total, before) << "an event arrived after destruction";
    } else {
        browser.reset();
        EXPECT_TRUE(widget.isNull());
    }

    // The parent may go first; the control then has nothing left to delete.
    auto parent = std::make_unique<QWidget>();
    std::unique_ptr<WebBrowser2> orphan = Create(parent.get());
    QPointer<QWidget> orphanWidget = orphan->Control();
    parent.reset();
    EXPECT_TRUE(orphanWidget.isNull());
    orphan.reset();
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineContract, ::testing::Values(Engine::Fake, Engine::IE, Engine::Gecko),
                         EngineLabel);
INSTANTIATE_TEST_SUITE_P(Engines, RenderedContract, ::testing::Values(Engine::IE, Engine::Gecko),
                         EngineLabel);

TEST(EngineNames, NameTheEngineAndItsVersion)
{
    QWidget parent;
    EXPECT_TRUE(
        CreateWebBrowser(EngineKind::InternetExplorer, &parent)->EngineName().startsWith("QtWebEngine 5."));
    EXPECT_TRUE(CreateWebBrowser(EngineKind::Gecko, &parent)->EngineName().startsWith("WebKitGTK 2."));
}

// The working directory and the program folder as the loader sees them.
class LoaderPlaces : public ::testing::Test {
protected:
    void SetUp() override { saved = QDir::currentPath(); }
    void TearDown() override
    {
        QDir::setCurrent(saved);
        SetProgramFolderOverride(BinDir());
    }
    static std::string BinDir();
    QString saved;
};

std::string LoaderPlaces::BinDir()
{
    const QByteArray dir = qgetenv("ORVEX_BIN_DIR");
    return dir.isEmpty() ? ProgramFolder() : dir.toStdString() + "/";
}

TEST_F(LoaderPlaces, MissingGeckoModuleNamesTheFile)
{
    QTemporaryDir empty;
    QDir::setCurrent(empty.path());
    SetProgramFolderOverride(empty.path().toStdString() + "/");
    QWidget parent;
    EXPECT_EQ(FindEngineModule(EngineKind::Gecko), "");
    try {
        CreateWebBrowser(EngineKind::Gecko, &parent);
        FAIL() << "a missing module must fail";
    } catch (const Error &e) {
        EXPECT_NE(std::string(e.what()).find("mozctl.so"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(parent.children().isEmpty()) << "nothing is left behind";
}

TEST_F(LoaderPlaces, GeckoModuleInTheWorkingDirectoryComesFirst)
{
    QTemporaryDir gecko;
    // A file that is no module: loading it must fail with its path.
    QFile bogus(gecko.filePath("mozctl.so"));
    ASSERT_TRUE(bogus.open(QIODevice::WriteOnly));
    bogus.write("not an ELF file");
    bogus.close();
    QDir::setCurrent(gecko.path());
    EXPECT_EQ(FindEngineModule(EngineKind::Gecko), gecko.filePath("mozctl.so").toStdString());
    QWidget parent;
    try {
        CreateWebBrowser(EngineKind::Gecko, &parent);
        FAIL() << "a broken module must fail";
    } catch (const Error &e) {
        EXPECT_NE(std::string(e.what()).find(gecko.filePath("mozctl.so").toStdString()), std::string::npos)
            << e.what();
    }
    // Without it the module beside the program is used.
    QDir::setCurrent(saved);
    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path());
    EXPECT_EQ(FindEngineModule(EngineKind::Gecko), BinDir() + "mozctl.so");
    EXPECT_EQ(FindEngineModule(EngineKind::InternetExplorer), BinDir() + "iexplore.so");
}

TEST(FakeEngineFactory, InstalledFakesAreRecordedByKind)
{
    auto &created = test::InstallFakeEngines();
    QWidget parent;
    auto ie = CreateWebBrowser(EngineKind::InternetExplorer, &parent);
    auto gecko = CreateWebBrowser(EngineKind::Gecko, &parent);
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0].kind, EngineKind::InternetExplorer);
    EXPECT_EQ(created[1].kind, EngineKind::Gecko);
    EXPECT_EQ(test::LiveFakes(EngineKind::Gecko).size(), 1u);
    gecko.reset();
    EXPECT_EQ(created[1].engine, nullptr);
    EXPECT_TRUE(test::LiveFakes(EngineKind::Gecko).empty());

    test::FailNextCreate(EngineKind::Gecko);
    EXPECT_THROW(CreateWebBrowser(EngineKind::Gecko, &parent), Error);
    EXPECT_NO_THROW(CreateWebBrowser(EngineKind::Gecko, &parent));
    test::RemoveFakeEngines();
}

} // namespace

int main(int argc, char **argv)
{
    // Engines loaded from modules need shared GL contexts, and QtWebEngine
    // refuses to run as root with its sandbox on.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QByteArray bin = qgetenv("ORVEX_BIN_DIR");
    if (!bin.isEmpty())
        SetProgramFolderOverride(bin.toStdString() + "/");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
