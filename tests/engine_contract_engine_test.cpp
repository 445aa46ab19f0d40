// The engine contract, one suite for every engine: the fake engine the other
// tests use, iexplore.so (QtWebEngine) and mozctl.so (WebKitGTK). The real
// modules run under a real X display (xvfb-run) and load local pages only:
// files in a temporary folder, a small HTTP server on 127.0.0.1 and, for
// certificates, `openssl s_server` with a certificate made for the run. Cases
// that need a page to render run on the real engines only.
#include "browser/EngineLoader.h"
#include "browser/WebBrowser.h"
#include "core/Errors.h"
#include "core/ProgramFolder.h"
#include "support/FakeEngine.h"
#include "support/HttpServer.h"

#include "support/Wait.h"
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>

#include <QLabel>
#include <QNetworkInterface>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
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
    int windowClosings = 0;
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
    void OnBeforeNavigate2(const QString &url, bool &cancel) override
    {
        ++total;
        beforeNavigate << url;
        cancel = cancelNavigation;
        if (onBeforeNavigate)
            onBeforeNavigate();
    }
    // The host services. Each question is recorded and answered as set here.
    int downloadBegins = 0, downloadCompletes = 0;
    std::vector<PageDialogRequest> dialogs;
    std::function<bool(const PageDialogRequest &, QString *)> answerDialog;
    std::vector<AuthenticationRequest> signIns;
    bool signIn = false; // answer user / secret, else cancel
    std::vector<CertificateErrorInfo> certificateErrors;
    bool allowCertificate = false;
    std::vector<std::pair<QUrl, PagePermission>> permissions;
    bool allowPermission = false;
    std::vector<bool> fullScreen;
    std::vector<FileChooserRequest> fileRequests;
    QStringList chosenFiles;
    std::vector<std::pair<QString, int>> findResults;
    std::vector<std::pair<bool, QString>> printResults;
    // Transfers are started into downloadFolder as <suggested name>.part
    // (the host's temporary name), or refused when it is empty.
    QString downloadFolder;
    struct Transfer : DownloadEvents {
        std::unique_ptr<Download> download;
        qint64 received = 0;
        bool finished = false, ok = false;
        QString error;
        void OnDownloadProgress(qint64 bytes, qint64) override { received = bytes; }
        void OnDownloadFinished(bool success, const QString &why) override
        {
            finished = true;
            ok = success;
            error = why;
        }
    };
    std::vector<std::unique_ptr<Transfer>> transfers;

    std::vector<std::pair<QString, bool>> documents; // DocumentComplete: address, ok
    void OnDownloadBegin() override { ++downloadBegins; }
    void OnDownloadComplete() override { ++downloadCompletes; }
    void OnDocumentComplete(const QString &url, bool ok) override { documents.emplace_back(url, ok); }
    bool OnPageDialog(const PageDialogRequest &request, QString *text) override
    {
        dialogs.push_back(request);
        return answerDialog && answerDialog(request, text);
    }
    bool OnAuthenticate(const AuthenticationRequest &request, QString &user, QString &password) override
    {
        signIns.push_back(request);
        user = "user";
        password = "secret";
        return signIn;
    }
    bool OnCertificateError(const CertificateErrorInfo &error) override
    {
        certificateErrors.push_back(error);
        return allowCertificate;
    }
    void OnFileDownload(Download *download) override
    {
        transfers.push_back(std::make_unique<Transfer>());
        Transfer &transfer = *transfers.back();
        transfer.download.reset(download);
        download->SetEvents(&transfer);
        if (downloadFolder.isEmpty())
            download->Cancel();
        else
            download->Start(downloadFolder + "/" + download->SuggestedFileName() + ".part");
    }
    bool OnPermissionRequest(const QUrl &origin, PagePermission permission) override
    {
        permissions.emplace_back(origin, permission);
        return allowPermission;
    }
    void OnFullScreenChange(bool on) override { fullScreen.push_back(on); }
    QStringList OnChooseFiles(const FileChooserRequest &request) override
    {
        fileRequests.push_back(request);
        return chosenFiles;
    }
    void OnFindResult(const QString &text, int matches) override { findResults.emplace_back(text, matches); }
    void OnPrintFinished(bool ok, const QString &error) override { printResults.emplace_back(ok, error); }
    std::vector<std::pair<bool, QString>> saveResults;
    void OnSaveFinished(bool ok, const QString &error) override { saveResults.emplace_back(ok, error); }
    std::vector<bool> closeAnswers;
    void OnCloseAnswer(bool mayClose) override { closeAnswers.push_back(mayClose); }
    std::vector<std::pair<ConnectionSecurity, QString>> connections;
    void OnConnectionChange(ConnectionSecurity security, const QString &host) override
    {
        connections.emplace_back(security, host);
    }
    void OnWindowClosing() override { ++windowClosings; }

    // The last state reported for a command, or -1 when none was.
    int LastState(int command) const
    {
        for (auto it = commands.rbegin(); it != commands.rend(); ++it)
            if (it->first == command)
                return it->second;
        return -1;
    }
};

// What the local HTTP server answers: "/slow" after three seconds; files to
// download; a page behind basic authentication; anything else at once a
// small page titled "served <path>".
constexpr qint64 kFileSize = 3 * 1024 * 1024 + 7;
// The memory a page may use in this run (main sets it for both modules).
constexpr int kMemoryLimitMb = 512;
// Requests that must never arrive: what a local page read.
std::atomic<int> g_leaks{0};

// Every request the server got, as "METHOD path body", for the pop-up cases.
std::mutex requestLogMutex;
QByteArrayList requestLog;

QByteArrayList RequestsFor(const QByteArray &path)
{
    std::lock_guard<std::mutex> lock(requestLogMutex);
    QByteArrayList found;
    for (const QByteArray &entry : requestLog)
        if (entry.split(' ').value(1) == path)
            found << entry;
    return found;
}

// "日本語のページ" in the older Japanese encodings.
const QByteArray kSjisTitle = "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x79\x81\x5B\x83\x57";
const QByteArray kEucTitle = "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xA5\xDA\xA1\xBC\xA5\xB8";
const QByteArray kJisTitle = "\x1B\x24\x42\x46\x7C\x4B\x5C\x38\x6C\x24\x4E\x25\x5A\x21\x3C\x25\x38"
                             "\x1B\x28\x42";

// Pages that name no character set (/ja/...), one of them in Latin-1, a
// Shift_JIS one whose header says UTF-8 (/ja/declared), and a form that
// posts itself to the Shift_JIS page (/ja/form).
std::optional<test::HttpReply> JapanesePage(const QByteArray &path)
{
    const std::map<QByteArray, QByteArray> titles = {
        {"/ja/sjis", kSjisTitle},     {"/ja/euc", kEucTitle},
        {"/ja/jis", kJisTitle},       {"/ja/utf8", "日本語のページ"},
        {"/ja/declared", kSjisTitle}, {"/ja/latin", "Caf\xE9 cr\xE8me na\xEFve"}};
    const auto title = titles.find(path);
    if (title == titles.end() && path != "/ja/form")
        return std::nullopt;
    test::HttpReply reply;
    if (path == "/ja/form") {
        reply.body = "<form id=f method=post action='/ja/sjis'><input name=q></form>"
                     "<script>document.getElementById('f').submit();</script>";
        return reply;
    }
    reply.contentType = path == "/ja/declared" ? "text/html; charset=utf-8" : "text/html";
    reply.body = "<html><head><title>" + title->second + "</title></head><body><p>" + title->second +
                 "</p></body></html>";
    return reply;
}

// Pages that open windows: a pop-up that talks with its opener, a form
// posted into a new window, a written empty window, a blocked one, and one
// the opener closes again.
QByteArray PopupPage(const QByteArray &path)
{
    if (path == "/opener.html")
        return "var w;window.onmessage=function(e){"
               "document.title='got '+e.data+' closed='+w.closed;e.source.postMessage('こんにちは','*');};"
               "setTimeout(function(){w=window.open('/popchild.html');},50);";
    if (path == "/popchild.html")
        return "window.onmessage=function(e){document.title='child got '+e.data;"
               "document.body.textContent='オープナーから: '+e.data;};"
               "window.opener.postMessage('hello','*');";
    if (path == "/postform.html")
        return "document.write(\"<form id=f method=post action='/posted' target=_blank>"
               "<input name=a value='x y'><input name=b value=42></form>\");"
               "setTimeout(function(){document.getElementById('f').submit();},50);";
    if (path == "/writer.html")
        return "setTimeout(function(){var w=window.open('');w.document.write("
               "\"<title>written</title><body style='margin:0'><div style='background:#000;"
               "width:300px;height:200px'></div>\");w.document.close();},50);";
    if (path == "/blocked.html")
        return "setTimeout(function(){window.open('/ad');},50);";
    if (path == "/closer.html")
        return "setTimeout(function(){var w=window.open('/popchild.html');"
               "setTimeout(function(){document.title='closing '+w.closed;w.close();},1500);},50);";
    return QByteArray();
}

test::HttpReply Serve(const test::HttpRequest &request)
{
    using test::HttpReply;
    const QByteArray &path = request.path;
    {
        std::lock_guard<std::mutex> lock(requestLogMutex);
        requestLog << request.method + ' ' + path + ' ' + request.body;
    }
    if (const auto page = JapanesePage(path))
        return *page;
    if (const QByteArray script = PopupPage(path); !script.isEmpty())
        return HttpReply::Page(path.mid(1), "<script>" + script + "</script>");
    if (path == "/source.html") {
        HttpReply page = HttpReply::Page("source", "<p>ソース</p><script>fetch('/ran');</script>");
        page.headers << "Cache-Control: no-store";
        return page;
    }
    if (path == "/posted")
        return HttpReply::Page("posted " + request.method + " " + request.body);
    HttpReply reply = HttpReply::Page("served " + path, "served");
    auto download = [&](const QByteArray &disposition, qint64 size) {
        reply = HttpReply();
        reply.contentType = "application/octet-stream";
        if (!disposition.isEmpty())
            reply.headers << "Content-Disposition: " + disposition;
        reply.generatedSize = size;
    };
    if (path.startsWith("/leak")) {
        ++g_leaks;
    } else if (path == "/runaway") {
        // Takes 16 MB more every 50 ms and keeps it, without end.
        reply = HttpReply::Page("runaway", "<script>var kept=[];setInterval(function(){"
                                           "var a=new Uint8Array(16<<20);a.fill(7);kept.push(a);"
                                           "document.title='runaway '+kept.length*16;},50);</script>");
    } else if (path == "/slow") {
        reply.delayMs = 3000;
    } else if (path == "/file.bin") {
        download("attachment; filename=\"data.bin\"", kFileSize);
    } else if (path == "/plain.bin") {
        download(QByteArray(), kFileSize);
    } else if (path == "/stall.bin") {
        download("attachment; filename=\"stall.bin\"", 64 * 1024 * 1024);
        reply.stallAfter = 1024 * 1024;
    } else if (path.startsWith("/auth")) {
        if (request.Header("Authorization") == "Basic " + QByteArray("user:secret").toBase64()) {
            reply = HttpReply::Page("signed in");
        } else {
            reply = HttpReply::Page("denied", "the server's own refusal");
            reply.status = 401;
            reply.headers << "WWW-Authenticate: Basic realm=\"Orvex test\"";
        }
    } else if (path == "/setcookie") {
        reply = HttpReply::Page("cookie set");
        reply.headers << "Set-Cookie: orvex=kept; Max-Age=3600; Path=/";
    } else if (path.startsWith("/cookie")) {
        reply = HttpReply::Page("cookie [" + request.Header("Cookie") + "]");
    } else if (path == "/geo.html") {
        reply = HttpReply::Page("geo", "<script>navigator.geolocation.getCurrentPosition("
                                       "function(p){document.title='position';},"
                                       "function(e){document.title='no position '+e.code;});</script>");
    } else if (path == "/language") {
        reply = HttpReply::Page("language " + request.Header("Accept-Language"));
    } else if (path == "/links.html") {
        reply = HttpReply::Page("links",
                                "<a id='d' download='named.bin' href='/plain.bin'>file</a>"
                                "<script>setTimeout(function(){document.getElementById('d').click();},50);"
                                "</script>");
    } else if (path == "/menu.html") {
        reply = HttpReply::Page("menu", "<a href='/file.bin' style='display:block;width:400px;height:200px;"
                                        "background:#ccc'>リンク</a>");
    }
    return reply;
}

// An HTTPS server with a self-signed certificate made for this run:
// `openssl s_server` serving the files of its own folder.
// A self-signed certificate for 127.0.0.1 in `folder` (key.pem, cert.pem).
bool MakeCertificate(const QString &folder)
{
    return QProcess::execute("openssl",
                             {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                              "-nodes", "-keyout", folder + "/key.pem", "-out", folder + "/cert.pem", "-days",
                              "2", "-subj", "/CN=127.0.0.1", "-addext",
                              "subjectAltName=IP:127.0.0.1,DNS:localhost"}) == 0;
}

// A certificate the IE module trusts in this run, made in main before the
// engine starts: Chromium takes certificates with the listed public key as
// valid. WebKitGTK trusts only the system's authorities.
QTemporaryDir *g_trusted = nullptr;

// Serves the files of a folder over TLS on every address (IPv4 and IPv6),
// each connection in a thread of its own, the handshake in it too.
constexpr const char *kTlsServerScript = R"(
import http.server, socket, ssl, sys, os
folder, cert, key = sys.argv[1:4]
os.chdir(folder)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
class Server(http.server.ThreadingHTTPServer):
    address_family = socket.AF_INET6
    daemon_threads = True
    def server_bind(self):
        self.socket.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
        super().server_bind()
    def finish_request(self, request, client_address):
        try:
            request = context.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError):
            return
        self.RequestHandlerClass(request, client_address, self)
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
server = Server(('::', 0), Quiet)
print('ACCEPT [::]:%d' % server.server_address[1], flush=True)
server.serve_forever()
)";

class TlsServer {
public:
    // `trusted`: serve with the run's trusted certificate, else a new one.
    explicit TlsServer(bool trusted = false)
    {
        const QString from = trusted ? g_trusted->path() : folder_.path();
        if (!trusted && !MakeCertificate(from))
            return;
        const QString key = from + "/key.pem", cert = from + "/cert.pem";
        process_.setWorkingDirectory(folder_.path());
        process_.setProcessChannelMode(QProcess::MergedChannels);
        // A threaded server: openssl's s_server serves one connection at a
        // time, and an engine holding a second one open stalled its next load.
        process_.start("python3", {"-c", QString::fromLatin1(kTlsServerScript), folder_.path(), cert, key});
        // It names the port it took: "ACCEPT [::]:40203".
        WaitFor([&] {
            process_.waitForReadyRead(50);
            output_ += process_.readAll();
            const int at = output_.indexOf("ACCEPT");
            const int end = output_.indexOf('\n', at);
            if (at >= 0 && end > at)
                port_ =
                    output_.mid(output_.lastIndexOf(':', end) + 1, end - output_.lastIndexOf(':', end) - 1)
                        .trimmed()
                        .toInt();
            return port_ > 0 || process_.state() == QProcess::NotRunning;
        });
    }
    ~TlsServer()
    {
        process_.kill();
        process_.waitForFinished();
    }
    bool Running() const { return port_ > 0; }
    int Port() const { return port_; }
    QString Url(const QString &file, const QString &host = QStringLiteral("127.0.0.1")) const
    {
        return QStringLiteral("https://%1:%2/%3").arg(host).arg(port_).arg(file);
    }
    void Write(const QString &name, const QByteArray &content)
    {
        QFile file(folder_.filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
    }

private:
    QTemporaryDir folder_;
    QProcess process_;
    QByteArray output_;
    int port_ = 0;
};

// The processes of this test's own tree (its children, theirs...) whose
// command line holds `marker`, leaves of that set only (not a sandbox
// launcher that names the process it starts), newest first. `parentIs`, when
// given, must hold for the parent's command line (processes forked from a
// zygote keep its command line).
std::vector<pid_t> OwnProcesses(const QByteArray &marker,
                                const std::function<bool(const QByteArray &)> &parentIs = {})
{
    struct Process {
        pid_t parent;
        qulonglong started;
        QByteArray command;
        bool marked;
    };
    std::map<pid_t, Process> all;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        QFile stat("/proc/" + entry + "/stat"), cmdline("/proc/" + entry + "/cmdline");
        if (!stat.open(QIODevice::ReadOnly) || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // After the name in parentheses: state, parent, ... start time (22nd field).
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 20)
            continue;
        const QByteArray command = cmdline.readAll();
        all[pid] = {pid_t(fields[1].toInt()), fields[19].toULongLong(), command, command.contains(marker)};
    }
    auto ownedByUs = [&](pid_t pid) {
        for (int depth = 0; pid > 1 && depth < 64; ++depth) {
            auto it = all.find(pid);
            if (it == all.end())
                return false;
            pid = it->second.parent;
            if (pid == getpid())
                return true;
        }
        return false;
    };
    std::vector<pid_t> found;
    for (const auto &[pid, process] : all) {
        if (!process.marked || !ownedByUs(pid))
            continue;
        if (parentIs && !(all.count(process.parent) && parentIs(all[process.parent].command)))
            continue;
        const bool launcher = std::any_of(all.begin(), all.end(), [&, p = pid](const auto &other) {
            return other.second.parent == p && other.second.marked;
        });
        if (!launcher)
            found.push_back(pid);
    }
    std::sort(found.begin(), found.end(), [&](pid_t a, pid_t b) { return all[a].started > all[b].started; });
    return found;
}

// The anonymous resident memory of a process, in MB (0 when it is gone).
qint64 AnonymousMb(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("RssAnon:"))
            return line.mid(8).simplified().split(' ').value(0).toLongLong() / 1024;
    return 0;
}

// A listener on this machine's first address outside the loopback network
// (engines count loopback addresses as secure), counting plain-http
// requests for "/mixed.png".
class OutsideListener {
public:
    OutsideListener()
    {
        for (const QHostAddress &address : QNetworkInterface::allAddresses())
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback() &&
                server_.listen(address))
                break;
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (socket->readAll().startsWith("GET /mixed.png"))
                        ++requests;
                    socket->close();
                });
            }
        });
    }
    bool Listening() const { return server_.isListening(); }
    QString Url(const QString &path) const
    {
        return QStringLiteral("http://%1:%2%3")
            .arg(server_.serverAddress().toString())
            .arg(server_.serverPort())
            .arg(path);
    }
    int requests = 0;

private:
    QTcpServer server_;
};

class EngineContract : public ::testing::TestWithParam<Engine> {
protected:
    static void SetUpTestSuite()
    {
        server = new test::HttpServer(Serve);
        pages = new QTemporaryDir;
        // No character set named: the engines read it as UTF-8.
        Write("undeclared.html", "<html><head><title>宣言のない日本語</title></head><body></body></html>");
        Write("sjis.html", "<html><head><title>" + kSjisTitle + "</title></head><body></body></html>");
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
        Write("dialogs.html", "<html><head><meta charset='utf-8'><title>dialogs</title></head><body><script>"
                              "setTimeout(function(){alert('こんにちは');var c=confirm('続けますか?');"
                              "var p=prompt('お名前は?','既定');document.title='c='+c+' p='+p;},0);"
                              "</script></body></html>");
        Write("leave.html", "<html><head><title>leave</title></head><body style='height:600px'><script>"
                            "window.onbeforeunload=function(e){e.preventDefault();e.returnValue='';};"
                            "</script></body></html>");
        Write("ask.html",
              "<html><head><title>ask</title></head><body style='margin:0'>"
              "<input type='file' id='f' multiple style='width:300px;height:40px'>"
              "<div id='fs' style='height:40px'></div><div id='nt' style='height:40px'></div><script>"
              "document.getElementById('f').onchange=function(){"
              "document.title='files '+this.files.length+' '+this.files[0].name;};"
              "document.getElementById('nt').onclick=function(){"
              "Notification.requestPermission().then(function(p){document.title='notify '+p;});};"
              "document.getElementById('fs').onclick=function(){"
              "document.documentElement.requestFullscreen().then(function(){document.title='full';});};"
              "document.onfullscreenchange=function(){if(!document.fullscreenElement)"
              "document.title='left';};"
              "</script></body></html>");
        Write("seen.html", "<html><head><title>visible</title></head><body><script>var n=0;"
                           "setInterval(function(){document.title=document.visibilityState+' '+(++n);},300);"
                           "</script></body></html>");
        Write("tick.html",
              "<html><head><title>tick 0</title></head><body><script>var n=0;"
              "setInterval(function(){document.title='tick '+(++n);},100);</script></body></html>");
        // Scrolls itself on a first visit only and reports where it stands.
        Write("tall.html", "<html><head><title>tall</title></head><body style='height:5000px'><script>"
                           "if(performance.navigation.type==0)setTimeout(function(){scrollTo(0,1500);},0);"
                           "setInterval(function(){document.title='y '+Math.round(scrollY);},100);"
                           "</script></body></html>");
        // What a page would lose: typed text, a "leave" handler added with
        // addEventListener, audio playing (a tone made in the page, played
        // on a click).
        const QByteArray keep =
            "<html><head><title>keep</title></head><body><input id='t' value='a'><script>";
        Write("keep.html", keep + "</script></body></html>");
        Write("typed.html", keep + "document.getElementById('t').value='typed';</script></body></html>");
        Write(
            "listen.html",
            keep +
                "addEventListener('beforeunload',function(e){e.preventDefault();});</script></body></html>");
        Write("media.html",
              keep + "var n=8000,b=new DataView(new ArrayBuffer(44+n));"
                     "var w=function(o,s){for(var i=0;i<s.length;++i)b.setUint8(o+i,s.charCodeAt(i));};"
                     "w(0,'RIFF');b.setUint32(4,36+n,true);w(8,'WAVEfmt ');b.setUint32(16,16,true);"
                     "b.setUint16(20,1,true);b.setUint16(22,1,true);b.setUint32(24,8000,true);"
                     "b.setUint32(28,8000,true);b.setUint16(32,1,true);b.setUint16(34,8,true);w(36,'data');"
                     "b.setUint32(40,n,true);for(var i=0;i<n;++i)b.setUint8(44+i,128+100*Math.sin(i/3));"
                     "var a=new Audio(URL.createObjectURL(new Blob([b],{type:'audio/wav'})));a.loop=true;"
                     "document.onclick=function(){a.play().then(function(){document.title='playing';},"
                     "function(e){document.title='refused '+e;});};"
                     "</script><div style='height:300px'></div></body></html>");
        Write("find.html", "<html><head><title>find</title></head><body>"
                           "<p>apple Apple APPLE</p><p>pineapple</p></body></html>");
        Write("width.html", "<html><head></head><body><script>"
                            "function show(){document.title='width '+innerWidth;}"
                            "onresize=show;show();</script></body></html>");
        Write("text.html", "<html><head><title>text</title></head><body style='margin:0;"
                           "background:#fff'><div style='font:20px sans-serif;color:#000'>"
                           "WWWWWWWWWW</div></body></html>");
    }
    static void TearDownTestSuite()
    {
        delete pages;
        pages = nullptr;
        delete server;
        server = nullptr;
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
    test::FakeEngine *Fake() { return static_cast<test::FakeEngine *>(browser.get()); }
    // A click into the page, as the user's.
    void Click(QPoint at, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers modifiers = {})
    {
        QWidget *target =
            browser->Control()->focusProxy() ? browser->Control()->focusProxy() : browser->Control();
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, target->mapToGlobal(at), button,
                              type == QEvent::MouseButtonPress ? button : Qt::NoButton, modifiers);
            QApplication::sendEvent(target, &event);
        }
    }
    static QByteArray ReadFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

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

    // The page processes of this test, newest first.
    std::vector<pid_t> PageProcesses() const
    {
        // QtWebEngine's renderers are forked from its sandboxed zygote (the
        // other one starts utility processes).
        if (GetParam() == Engine::IE)
            return OwnProcesses("--type=zygote", [](const QByteArray &parent) {
                return parent.contains("--type=zygote") && !parent.contains("--no-zygote-sandbox");
            });
        return OwnProcesses("WebKitWebProcess");
    }
    // The crash page over the control, when it shows.
    QWidget *CrashPageShown() const
    {
        auto *page = browser->Control()->findChild<QWidget *>("CrashPage");
        return page && page->isVisible() ? page : nullptr;
    }
    static QString Texts(QWidget *widget)
    {
        QStringList texts;
        for (QLabel *label : widget->findChildren<QLabel *>())
            texts << label->text();
        return texts.join('\n');
    }
    QString Shot(const QString &what) const
    {
        return QStringLiteral("/tmp/orvex-%1-%2.png")
            .arg(GetParam() == Engine::IE ? "iexplore" : "mozctl", what);
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
    static test::HttpServer *server;
    QWidget window;
    QWidget catcherParent;
    Recorder events;
    std::unique_ptr<WebBrowser2> browser;
    std::vector<std::unique_ptr<WebBrowser2>> catchers;
};

QTemporaryDir *EngineContract::pages = nullptr;
test::HttpServer *EngineContract::server = nullptr;

// The cases that need a page to render: the real engines only.
class RenderedContract : public EngineContract {};

TEST_P(EngineContract, PagesNamingNoCharacterSetAreReadInTheirOwnEncoding)
{
    if (!Real())
        return; // the fake reads no page
    EXPECT_TRUE(Load(Page("undeclared.html"), QStringLiteral("宣言のない日本語")))
        << events.titles.join(" | ").toStdString();
    {
        std::lock_guard<std::mutex> lock(requestLogMutex);
        requestLog.clear();
    }
    const QString title = QStringLiteral("日本語のページ");
    const std::pair<QString, QString> cases[] = {
        {server->Url("/ja/utf8"), title}, {server->Url("/ja/sjis"), title},
        {server->Url("/ja/euc"), title},  {server->Url("/ja/jis"), title},
        {Page("sjis.html"), title},       {server->Url("/ja/latin"), QStringLiteral("Café crème naïve")}};
    for (const auto &[url, shown] : cases) {
        events.titles.clear();
        EXPECT_TRUE(Load(url, shown)) << url.toStdString() << ": " << events.titles.join(" | ").toStdString();
    }
    // A named character set holds even when it is wrong, UTF-8 is read
    // once, and a form's answer is never asked for again.
    events.titles.clear();
    browser->Navigate(server->Url("/ja/declared"));
    ASSERT_TRUE(WaitFor([&] { return !browser->Busy() && !events.titles.isEmpty(); }));
    EXPECT_FALSE(events.titles.contains(title));
    auto posts = [] {
        const QByteArrayList answers = RequestsFor("/ja/sjis");
        return std::count_if(answers.begin(), answers.end(),
                             [](const QByteArray &request) { return request.startsWith("POST"); });
    };
    browser->Navigate(server->Url("/ja/form"));
    ASSERT_TRUE(WaitFor([&] { return posts() > 0 && !browser->Busy(); }));
    Pump(1000);
    EXPECT_EQ(posts(), 1);
    EXPECT_EQ(RequestsFor("/ja/declared").size(), 1);
    EXPECT_EQ(RequestsFor("/ja/utf8").size(), 1);
}

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
}

TEST_P(RenderedContract, BusyWhileLoadingUntilStopped)
{
    ASSERT_TRUE(Load(server->Url("/fast"), "served /fast"));
    EXPECT_FALSE(browser->Busy());
    browser->Navigate(server->Url("/slow"));
    EXPECT_TRUE(browser->Busy()) << "busy from the request on";
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
        browser->SelectAll();
        Pump(300 + 300 * attempt);
        browser->Copy();
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

    // A file name given is used without asking; the end is reported once
    // the file is whole, and so is a save that cannot be written.
    ASSERT_TRUE(WaitFor([&] { return !events.saveResults.empty(); }, 10000));
    events.saveResults.clear();
    const QString given = out.filePath("given.html");
    browser->SaveTo(given);
    ASSERT_TRUE(WaitFor([&] { return !events.saveResults.empty(); }, 10000));
    EXPECT_EQ(events.saveResults[0], std::make_pair(true, QString()));
    EXPECT_TRUE(contains(given, "Orvex contract page one"));
    const QString nowhere = given + "/page.html"; // under a file: no engine makes that folder
    browser->SaveTo(nowhere);
    ASSERT_TRUE(WaitFor([&] { return events.saveResults.size() == 2; }, 10000));
    EXPECT_FALSE(events.saveResults[1].first);
    EXPECT_TRUE(events.saveResults[1].second.startsWith(QStringLiteral("ページを保存できません")));
    EXPECT_FALSE(QFile::exists(nowhere));
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

    browser->Zoom(4);
    QRect large;
    EXPECT_TRUE(WaitFor(
        [&] {
            large = InkBox();
            return std::abs(large.width() / double(normal.width()) - 1.6) < 0.12;
        },
        5000))
        << normal.width() << " -> " << large.width();

    browser->Zoom(0);
    QRect small;
    EXPECT_TRUE(WaitFor(
        [&] {
            small = InkBox();
            return std::abs(small.width() / double(normal.width()) - 0.6) < 0.08;
        },
        5000))
        << normal.width() << " -> " << small.width();

    EXPECT_EQ(browser->ZoomLevel(), 0);

    const QString shot =
        QStringLiteral("/tmp/orvex-%1-text.png").arg(GetParam() == Engine::IE ? "iexplore" : "mozctl");
    browser->Control()->grab().save(shot);
}

// Page zoom scales the page's layout: its width in CSS pixels shrinks, for
// the control's next page too, and the text size works beside it.
TEST_P(RenderedContract, PageZoomChangesThePageWidth)
{
    const auto width = [&] { return events.titles.isEmpty() ? -1 : events.titles.last().mid(6).toInt(); };
    browser->Navigate(Page("width.html"));
    ASSERT_TRUE(WaitFor([&] { return !browser->Busy() && width() > 0; }));
    const int normal = width();
    ASSERT_GT(normal, 400);
    EXPECT_DOUBLE_EQ(browser->ZoomFactor(), 1.0);
    browser->SetZoomFactor(2.0);
    EXPECT_DOUBLE_EQ(browser->ZoomFactor(), 2.0);
    EXPECT_TRUE(WaitFor([&] { return std::abs(width() - normal / 2) <= 2; }, 10000))
        << normal << " -> " << width();
    // A text size at a zoomed page scales the page whole in both engines;
    // each change is waited for, so that no late title of this page is taken
    // for one of the next.
    const int zoomed = width();
    browser->Zoom(3);
    ASSERT_TRUE(WaitFor([&] { return width() > 0 && width() < zoomed; })) << width();
    browser->Zoom(2);
    ASSERT_TRUE(WaitFor([&] { return width() == zoomed; })) << width();
    events.titles.clear();
    ASSERT_TRUE(Load(Page("width.html") + "?next", "width " + QString::number(zoomed)));
    EXPECT_NEAR(width(), normal / 2, 2)
        << "the zoom stays for the next page: " << events.titles.join(" | ").toStdString();
    const QString shot =
        QStringLiteral("/tmp/orvex-%1-zoom.png").arg(GetParam() == Engine::IE ? "iexplore" : "mozctl");
    browser->Control()->grab().save(shot);
    browser->SetZoomFactor(1.0);
    EXPECT_TRUE(WaitFor([&] { return std::abs(width() - normal) <= 2; }, 10000)) << width();
    EXPECT_THROW(browser->SetZoomFactor(0), std::runtime_error);
}

TEST_P(EngineContract, UnknownCommandsAndBadTextSizesThrow)
{
    EXPECT_THROW(browser->ExecWB(99, OLECMDEXECOPT_DODEFAULT), std::runtime_error);
    EXPECT_THROW(browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 5), std::runtime_error);
    EXPECT_THROW(browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, -1), std::runtime_error);
    EXPECT_THROW(browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, QStringLiteral("大")),
                 std::runtime_error);
    // A refused size leaves the size as it was, through either call.
    browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 3);
    EXPECT_THROW(browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 7), std::runtime_error);
    EXPECT_THROW(browser->Zoom(-1), std::runtime_error);
    QVariant level;
    browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, QVariant(), &level);
    EXPECT_EQ(level.toInt(), 3);
    EXPECT_EQ(browser->ZoomLevel(), 3);
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

// A link opened with the middle button or with Ctrl held goes to a new
// window; the page stays.
TEST_P(RenderedContract, MiddleAndControlClickedLinksOpenNewWindows)
{
    Recorder catcherEvents;
    catcherEvents.cancelNavigation = true;
    events.catcher = [&] { return NewCatcher(catcherEvents); };
    ASSERT_TRUE(Load(Page("one.html"), QStringLiteral("日本語のタイトル")));
    Pump(300);
    Click({100, 120}, Qt::MiddleButton);
    ASSERT_TRUE(WaitFor([&] { return !catcherEvents.beforeNavigate.isEmpty(); }, 5000))
        << "new windows asked: " << events.newWindows;
    EXPECT_EQ(catcherEvents.beforeNavigate.first(), Page("two.html"));
    catcherEvents.beforeNavigate.clear();
    Click({100, 120}, Qt::LeftButton, Qt::ControlModifier);
    ASSERT_TRUE(WaitFor([&] { return !catcherEvents.beforeNavigate.isEmpty(); }, 5000));
    EXPECT_EQ(catcherEvents.beforeNavigate.first(), Page("two.html"));
    Pump(300);
    EXPECT_EQ(browser->LocationURL(), Page("one.html"));
    EXPECT_EQ(events.newWindows, 2);
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

// A catcher that lets its page load keeps it as the engine made it: the
// pop-up talks with its opener, a form's POST arrives with its fields, and
// what the opener writes into an empty window shows.
TEST_P(RenderedContract, CaughtPagesKeepTheirOpenerPostAndWrittenContent)
{
    Recorder caught;
    events.catcher = [&] { return NewCatcher(caught); };

    ASSERT_TRUE(Load(server->Url("/opener.html"), "got hello closed=false"))
        << events.titles.join(" | ").toStdString();
    ASSERT_EQ(caught.beforeNavigate.value(0), server->Url("/popchild.html"));
    EXPECT_TRUE(WaitFor([&] { return caught.titles.contains(QStringLiteral("child got こんにちは")); }))
        << caught.titles.join(" | ").toStdString();

    Recorder posted;
    events.catcher = [&] { return NewCatcher(posted); };
    {
        std::lock_guard<std::mutex> lock(requestLogMutex);
        requestLog.clear();
    }
    browser->Navigate(server->Url("/postform.html"));
    EXPECT_TRUE(WaitFor([&] { return posted.titles.contains("posted POST a=x+y&b=42"); }))
        << posted.titles.join(" | ").toStdString();
    EXPECT_EQ(RequestsFor("/posted"), QByteArrayList{"POST /posted a=x+y&b=42"});

    Recorder written;
    events.catcher = [&] { return NewCatcher(written); };
    browser->Navigate(server->Url("/writer.html"));
    ASSERT_TRUE(WaitFor([&] { return written.titles.contains("written"); }))
        << written.titles.join(" | ").toStdString();
    ASSERT_TRUE(WaitFor([&] { return !written.beforeNavigate.isEmpty(); }));
    EXPECT_EQ(written.beforeNavigate, QStringList{"about:blank"});
    // Shown in a window of its own, the written page draws.
    QWidget shown;
    shown.resize(400, 300);
    auto *layout = new QVBoxLayout(&shown);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(catchers.back()->Control());
    shown.show();
    EXPECT_TRUE(WaitFor([&] {
        const QImage image = catchers.back()->Control()->grab().toImage();
        return !image.isNull() && qGray(image.pixel(100, 100)) < 64;
    }));
    catchers.clear();
}

// A catcher that cancels its first navigation sends no request at all; a
// script's close() of a window reaches the catcher's host.
TEST_P(RenderedContract, BlockedPopupsSendNothingAndCloseReachesTheHost)
{
    Recorder caught;
    caught.cancelNavigation = true;
    events.catcher = [&] { return NewCatcher(caught); };
    ASSERT_TRUE(Load(server->Url("/blocked.html"), "blocked.html"));
    ASSERT_TRUE(WaitFor([&] { return !caught.beforeNavigate.isEmpty(); }));
    Pump(1000);
    EXPECT_TRUE(RequestsFor("/ad").isEmpty());
    EXPECT_TRUE(caught.titles.isEmpty());

    Recorder popup;
    events.catcher = [&] { return NewCatcher(popup); };
    ASSERT_TRUE(Load(server->Url("/closer.html"), "closing false"));
    EXPECT_TRUE(WaitFor([&] { return popup.windowClosings == 1; }));
    EXPECT_EQ(events.windowClosings, 0);
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
// the container of WebKitGTK's view.
QWidget *InputTarget(QWidget *control)
{
    return control->focusProxy() ? control->focusProxy() : control;
}

// A right click at `at` of the control, with the context-menu event that
// follows it.
void RightClick(QWidget *control, QPoint at)
{
    QWidget *target = InputTarget(control);
    const QPoint global = target->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, global);
    QApplication::sendEvent(target, &menu);
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
    auto rightClick = [&] { RightClick(browser->Control(), QPoint(100, 100)); };
    // A menu may run modally (the Gecko module shows a Qt menu with exec): a
    // timer notes and closes any menu.
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
        browser->Navigate(server->Url("/slow"));
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

TEST_P(EngineContract, DownloadsAreSavedWholeAndCancelledOnesLeaveNothing)
{
    QTemporaryDir folder;
    events.downloadFolder = folder.path();
    const QByteArray content = test::HttpServer::GeneratedBytes(0, kFileSize);
    auto finished = [&](size_t count) {
        return WaitFor(
            [&] { return events.transfers.size() >= count && events.transfers[count - 1]->finished; }, 30000);
    };
    auto saved = [&](size_t index, const QString &name) {
        const auto &transfer = *events.transfers[index];
        EXPECT_TRUE(transfer.ok) << transfer.error.toStdString();
        EXPECT_EQ(transfer.download->SuggestedFileName(), name);
        const QByteArray bytes = ReadFile(folder.filePath(name + ".part"));
        EXPECT_TRUE(bytes == content) << name.toStdString() << ": " << bytes.size() << " bytes";
    };

    // A response to save rather than show, then a link with a download name.
    if (Real())
        browser->Navigate(server->Url("/file.bin"));
    else
        Fake()->RaiseFileDownload(server->Url("/file.bin"), "data.bin", content);
    ASSERT_TRUE(finished(1));
    saved(0, "data.bin");
    if (Real()) {
        browser->Navigate(server->Url("/links.html"));
        ASSERT_TRUE(finished(2));
        saved(1, "named.bin");
        EXPECT_EQ(events.transfers[1]->download->Url().toString(), server->Url("/plain.bin"));
        EXPECT_TRUE(WaitFor([&] { return !browser->Busy(); })) << "a load that became a download ends";
        EXPECT_EQ(events.downloadBegins, events.downloadCompletes);
    }

    // A transfer cancelled halfway leaves no file behind.
    const QStringList done = QDir(folder.path()).entryList(QDir::Files);
    const size_t count = events.transfers.size() + 1;
    if (Real())
        browser->Navigate(server->Url("/stall.bin"));
    else
        Fake()->RaiseFileDownload(server->Url("/stall.bin"), "stall.bin", content, true);
    ASSERT_TRUE(WaitFor(
        [&] { return events.transfers.size() == count && events.transfers.back()->received > 0; }, 30000));
    auto &stalled = *events.transfers.back();
    EXPECT_EQ(stalled.download->SuggestedFileName(), "stall.bin");
    stalled.download->Cancel();
    ASSERT_TRUE(WaitFor([&] { return stalled.finished; }));
    EXPECT_FALSE(stalled.ok);
    EXPECT_FALSE(stalled.error.isEmpty());
    Pump(500);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), done);

    // A place that cannot be written to (a file stands where the folder
    // should be): the transfer fails with a reason.
    QFile blocker(folder.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    events.downloadFolder = blocker.fileName();
    if (Real())
        browser->Navigate(server->Url("/file.bin"));
    else
        Fake()->RaiseFileDownload(server->Url("/file.bin"), "data.bin", content);
    ASSERT_TRUE(finished(count + 1));
    EXPECT_FALSE(events.transfers.back()->ok);
    EXPECT_FALSE(events.transfers.back()->error.isEmpty());
}

// A disk too small for the transfer: it fails with a Japanese reason and
// leaves nothing, neither the host's file nor the engine's own.
TEST_P(EngineContract, ADownloadOntoAFullDiskFailsAndLeavesNothing)
{
    if (!Real())
        GTEST_SKIP() << "the fake engine writes no file";
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root; not tested here";
    QTemporaryDir folder;
    const QByteArray disk = QFile::encodeName(folder.path());
    if (mount("orvex-test", disk.constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "no small tmpfs here; not tested";
    const std::unique_ptr<const char, void (*)(const char *)> unmount(
        disk.constData(), [](const char *at) { umount2(at, MNT_DETACH); });
    events.downloadFolder = folder.path();
    browser->Navigate(server->Url("/file.bin"));
    ASSERT_TRUE(WaitFor([&] { return !events.transfers.empty() && events.transfers[0]->finished; }, 60000));
    const auto &transfer = *events.transfers[0];
    EXPECT_FALSE(transfer.ok);
    EXPECT_FALSE(transfer.error.contains(QRegularExpression("[A-Za-z]"))) << transfer.error.toStdString();
    EXPECT_FALSE(transfer.error.isEmpty());
    Pump(500);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
}

TEST_P(EngineContract, PageDialogsAreAnsweredByTheHost)
{
    bool answer = true;
    events.answerDialog = [&](const PageDialogRequest &request, QString *text) {
        if (request.kind == PageDialogKind::Prompt && answer)
            *text = QStringLiteral("太郎");
        return answer;
    };
    if (!Real()) {
        QString text;
        EXPECT_TRUE(Fake()->RaisePageDialog({PageDialogKind::Confirm, QUrl("http://x/"), "go?", QString()}));
        EXPECT_TRUE(
            Fake()->RaisePageDialog({PageDialogKind::Prompt, QUrl("http://x/"), "name?", "a"}, &text));
        EXPECT_EQ(text, QStringLiteral("太郎"));
        ASSERT_EQ(events.dialogs.size(), 2u);
        EXPECT_EQ(events.dialogs[1].defaultText, "a");
        return;
    }
    ASSERT_TRUE(Load(Page("dialogs.html"), QStringLiteral("c=true p=太郎")))
        << events.titles.join(" | ").toStdString();
    ASSERT_EQ(events.dialogs.size(), 3u);
    EXPECT_EQ(events.dialogs[0].kind, PageDialogKind::Alert);
    EXPECT_EQ(events.dialogs[0].message, QStringLiteral("こんにちは"));
    EXPECT_EQ(events.dialogs[1].kind, PageDialogKind::Confirm);
    EXPECT_EQ(events.dialogs[1].message, QStringLiteral("続けますか?"));
    EXPECT_EQ(events.dialogs[2].kind, PageDialogKind::Prompt);
    EXPECT_EQ(events.dialogs[2].defaultText, QStringLiteral("既定"));
    EXPECT_EQ(events.dialogs[2].origin.scheme(), "file");

    answer = false;
    browser->Refresh();
    ASSERT_TRUE(WaitFor([&] { return events.titles.contains("c=false p=null"); }))
        << events.titles.join(" | ").toStdString();

    // "Leave this page?" once the user has touched the page: staying keeps it.
    ASSERT_TRUE(Load(Page("leave.html"), "leave"));
    Click({50, 50});
    Pump(300);
    events.dialogs.clear();
    const size_t progressBefore = events.progress.size();
    browser->Navigate(Page("two.html"));
    ASSERT_TRUE(WaitFor([&] { return !events.dialogs.empty(); }, 5000));
    EXPECT_EQ(events.dialogs[0].kind, PageDialogKind::BeforeUnload);
    Pump(500);
    EXPECT_EQ(browser->LocationURL(), Page("leave.html"));
    // Staying ends what the request began: not busy, a bar begun is ended.
    EXPECT_TRUE(WaitFor([&] { return !browser->Busy(); }, 5000));
    if (events.progress.size() > progressBefore) {
        EXPECT_EQ(events.progress.back(), 100);
    }
    EXPECT_EQ(events.downloadBegins, events.downloadCompletes);
    answer = true;
    ASSERT_TRUE(Load(Page("two.html"), "Page two"));
}

TEST_P(EngineContract, ClosingAsksThePageAndStayingAnswersAtOnce)
{
    const auto answered = [&] { return WaitFor([&] { return !events.closeAnswers.empty(); }, 10000); };
    bool leave = false;
    events.answerDialog = [&](const PageDialogRequest &, QString *) { return leave; };
    if (!Real()) {
        browser->RequestClose();
        ASSERT_TRUE(answered());
        Fake()->leaveHandler = true;
        browser->RequestClose();
        Pump(50);
    } else {
        // Without a handler the page may close, unasked.
        ASSERT_TRUE(Load(Page("two.html"), "Page two"));
        browser->RequestClose();
        ASSERT_TRUE(answered());
        EXPECT_TRUE(events.dialogs.empty());
        // With one, once the user has touched the page, it asks.
        ASSERT_TRUE(Load(Page("leave.html"), "leave"));
        Click({50, 50});
        Pump(300);
        browser->RequestClose();
    }
    ASSERT_TRUE(WaitFor([&] { return events.closeAnswers.size() == 2; }, 10000));
    EXPECT_EQ(events.closeAnswers, (std::vector<bool>{true, false}));
    ASSERT_EQ(events.dialogs.size(), 1u);
    EXPECT_EQ(events.dialogs[0].kind, PageDialogKind::BeforeUnload);
    EXPECT_FALSE(browser->Busy());
    if (Real()) {
        EXPECT_EQ(browser->LocationURL(), Page("leave.html"));
    }
    // Leaving: may close; the control stays until its host closes it.
    leave = true;
    browser->RequestClose();
    ASSERT_TRUE(WaitFor([&] { return events.closeAnswers.size() == 3; }, 10000));
    EXPECT_TRUE(events.closeAnswers.back());
    EXPECT_EQ(events.dialogs.size(), 2u);
    Pump(200);
    EXPECT_EQ(events.closeAnswers.size(), 3u);
    if (Real()) {
        // Text that is no address is refused in Japanese.
        try {
            browser->Navigate(QStringLiteral("日本 語"));
            ADD_FAILURE() << "navigated";
        } catch (const std::runtime_error &e) {
            EXPECT_EQ(QString::fromUtf8(e.what()),
                      QStringLiteral("アドレス 日本 語 を開けません。アドレスが正しくありません"));
        }
    }
}

TEST_P(EngineContract, SignInIsAskedAndCancelShowsTheServersPage)
{
    if (!Real()) {
        QString user, password;
        events.signIn = true;
        EXPECT_TRUE(Fake()->RaiseAuthenticate({QUrl("http://x/"), "x", "realm", false}, user, password));
        EXPECT_EQ(user, "user");
        return;
    }
    ASSERT_TRUE(Load(server->Url("/auth"), "denied")) << events.titles.join(" | ").toStdString();
    ASSERT_EQ(events.signIns.size(), 1u);
    EXPECT_EQ(events.signIns[0].realm, "Orvex test");
    EXPECT_EQ(events.signIns[0].host, QStringLiteral("127.0.0.1:%1").arg(server->Port()));
    EXPECT_FALSE(events.signIns[0].proxy);

    events.signIn = true;
    ASSERT_TRUE(Load(server->Url("/auth/again"), "signed in")) << events.titles.join(" | ").toStdString();
    EXPECT_EQ(events.signIns.size(), 2u);
}

TEST_P(EngineContract, SelfSignedPagesAreRefusedUnlessAllowed)
{
    if (!Real()) {
        EXPECT_FALSE(Fake()->RaiseCertificateError({QUrl("https://x/"), "x", "untrusted"}));
        events.allowCertificate = true;
        EXPECT_TRUE(Fake()->RaiseCertificateError({QUrl("https://x/"), "x", "untrusted"}));
        return;
    }
    TlsServer tls;
    ASSERT_TRUE(tls.Running()) << "openssl s_server did not start";
    tls.Write("secure.html", "<html><head><title>secure</title></head><body>secure</body></html>");
    browser->Navigate(tls.Url("secure.html"));
    ASSERT_TRUE(WaitFor([&] { return !events.certificateErrors.empty() && !browser->Busy(); }));
    Pump(300);
    EXPECT_FALSE(events.titles.contains("secure")) << "refused by default";
    EXPECT_EQ(events.certificateErrors[0].host, QStringLiteral("127.0.0.1:%1").arg(tls.Port()));
    EXPECT_FALSE(events.certificateErrors[0].description.isEmpty());

    events.allowCertificate = true;
    ASSERT_TRUE(Load(tls.Url("secure.html"), "secure")) << events.titles.join(" | ").toStdString();
}

TEST_P(RenderedContract, LocalPagesShowTheirOwnFilesButReadNoOthers)
{
    g_leaks = 0;
    QImage pixel(3, 2, QImage::Format_RGB32);
    pixel.fill(Qt::red);
    ASSERT_TRUE(pixel.save(pages->filePath("pixel.png")));
    Write("own.css", "body{background:rgb(1, 2, 3)}");
    // Each attempt reports whether it read the file, and sends what it read
    // to the test server.
    Write(
        "private.html",
        "<html><head><link rel='stylesheet' href='own.css'><title>private</title></head><body>"
        "<img id='i' src='pixel.png'><script>"
        "var seen={},leak='" +
            server->Url("/leak?").toUtf8() +
            "';function done(way,text){if(way in seen)return;seen[way]=text?'read':'blocked';"
            "if(text){new Image().src=leak+encodeURIComponent(text);"
            "fetch(leak+encodeURIComponent(text),{mode:'no-cors'}).catch(function(){});}"
            "if(Object.keys(seen).length==3)document.title='done fetch='+seen.fetch+' frame='+seen.frame+"
            "' xhr='+seen.xhr+' img='+document.getElementById('i').naturalWidth+' css='+"
            "getComputedStyle(document.body).backgroundColor;}"
            "onload=function(){"
            "try{var x=new XMLHttpRequest();x.open('GET','file:///etc/hostname');"
            "x.onload=function(){done('xhr',x.responseText)};x.onerror=function(){done('xhr','')};x.send();}"
            "catch(e){done('xhr','')}"
            "fetch('file:///etc/hostname').then(function(r){return r.text()}).then("
            "function(t){done('fetch',t)},function(){done('fetch','')});"
            "var f=document.createElement('iframe');f.src='file:///etc/hostname';f.onload=function(){"
            "var t='';try{t=f.contentDocument.body.textContent}catch(e){}done('frame',t)};"
            "document.body.appendChild(f);setTimeout(function(){done('frame','')},3000);};"
            "</script></body></html>");
    browser->Navigate(Page("private.html"));
    ASSERT_TRUE(WaitFor([&] { return !events.titles.filter(QRegularExpression("^done")).isEmpty(); }))
        << events.titles.join(" | ").toStdString();
    EXPECT_EQ(events.titles.filter(QRegularExpression("^done")).first(),
              "done fetch=blocked frame=blocked xhr=blocked img=3 css=rgb(1, 2, 3)");
    Pump(500);
    EXPECT_EQ(g_leaks, 0) << "nothing read reaches a server";
}

TEST_P(RenderedContract, KilledPageShowsTheCrashPageAndReloadsWithoutAHistoryEntry)
{
    ASSERT_TRUE(Load(Page("one.html"), QStringLiteral("日本語のタイトル")));
    ASSERT_TRUE(Load(Page("two.html"), "Page two"));
    const std::vector<pid_t> processes = PageProcesses();
    ASSERT_FALSE(processes.empty());
    ASSERT_EQ(::kill(processes.front(), SIGKILL), 0);
    ASSERT_TRUE(WaitFor([&] { return CrashPageShown() != nullptr; }))
        << events.titles.join(" | ").toStdString();
    QWidget *crash = CrashPageShown();
    EXPECT_EQ(events.titles.last(), QStringLiteral("ページが停止しました")) << "the caption says so";
    EXPECT_TRUE(Texts(crash).contains(Page("two.html"))) << Texts(crash).toStdString();
    EXPECT_EQ(browser->LocationURL(), Page("two.html"));
    EXPECT_FALSE(browser->Busy());
    Pump(300);
    window.grab().save(Shot("crash"));

    auto *reload = crash->findChild<QPushButton *>();
    ASSERT_TRUE(reload);
    EXPECT_EQ(reload->text(), QStringLiteral("再読み込み"));
    const int before = events.titles.size();
    reload->click();
    ASSERT_TRUE(WaitFor([&] {
        return !browser->Busy() && !CrashPageShown() && events.titles.mid(before).contains("Page two");
    })) << events.titles.join(" | ").toStdString();
    // The crash page took no place in the history: one step back is the
    // first page, the first of all.
    browser->GoBack();
    ASSERT_TRUE(WaitFor([&] { return browser->LocationURL() == Page("one.html") && !browser->Busy(); }));
    ASSERT_TRUE(WaitFor([&] { return events.LastState(CSC_NAVIGATEBACK) == 0; }));
}

TEST_P(RenderedContract, RunawayPageIsStoppedAtTheMemoryLimitWhileOthersGoOn)
{
    QWidget otherWindow;
    new QVBoxLayout(&otherWindow);
    Recorder otherEvents;
    std::unique_ptr<WebBrowser2> other = Create(&otherWindow);
    otherWindow.layout()->addWidget(other->Control());
    other->SetEvents(&otherEvents);
    otherWindow.resize(400, 300);
    otherWindow.show();
    other->Navigate(Page("one.html"));
    ASSERT_TRUE(WaitFor(
        [&] { return !other->Busy() && otherEvents.titles.contains(QStringLiteral("日本語のタイトル")); }));

    browser->Navigate(server->Url("/runaway"));
    qint64 peakMb = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (pid_t pid : PageProcesses())
                peakMb = std::max(peakMb, AnonymousMb(pid));
            return CrashPageShown() != nullptr;
        },
        60000))
        << events.titles.join(" | ").toStdString();
    EXPECT_TRUE(Texts(CrashPageShown()).contains(QStringLiteral("メモリが足りなくなったため")))
        << Texts(CrashPageShown()).toStdString();
    EXPECT_GT(peakMb, kMemoryLimitMb / 2) << "the page did grow";
    // The engines look at a page's memory only now and then (WebKitGTK every
    // half second), and this page grows by 320 MB a second on a fast machine:
    // twice the limit is "stopped", an unlimited page reaches gigabytes.
    EXPECT_LT(peakMb, kMemoryLimitMb * 2) << "and was stopped near the limit";
    Pump(300);
    window.grab().save(Shot("memory"));

    // The other window was not touched.
    other->Navigate(Page("two.html"));
    EXPECT_TRUE(WaitFor([&] { return !other->Busy() && otherEvents.titles.contains("Page two"); }));
}

TEST_P(EngineContract, ConnectionStateFollowsThePageShown)
{
    if (!Real())
        return; // the fake reports only what a test raises
    using CS = ConnectionSecurity;
    auto last = [&] {
        return events.connections.empty() ? std::make_pair(CS::None, QStringLiteral("-"))
                                          : events.connections.back();
    };
    ASSERT_TRUE(Load(Page("one.html"), QStringLiteral("日本語のタイトル")));
    EXPECT_EQ(last(), std::make_pair(CS::None, QString())) << "a local file came over no connection";
    ASSERT_TRUE(Load(server->Url("/plain"), "served /plain"));
    EXPECT_EQ(last(), std::make_pair(CS::Insecure, QStringLiteral("127.0.0.1")));
    if (GetParam() == Engine::IE) {
        TlsServer trusted(true);
        ASSERT_TRUE(trusted.Running());
        trusted.Write("secure.html", "<html><head><title>secure</title></head><body>secure</body></html>");
        // By name: the module keeps showing an address whose certificate
        // the user once accepted (an earlier case may have) as an exception.
        ASSERT_TRUE(Load(trusted.Url("secure.html", "localhost"), "secure"));
        EXPECT_EQ(last(), std::make_pair(CS::Secure, QStringLiteral("localhost")));
        EXPECT_TRUE(events.certificateErrors.empty());
    }

    // An https page whose certificate the user accepted, with an image over
    // plain http that must not load.
    OutsideListener plain;
    ASSERT_TRUE(plain.Listening()) << "no address outside the loopback network";
    TlsServer tls;
    ASSERT_TRUE(tls.Running()) << "openssl s_server did not start";
    tls.Write("mixed.html", "<html><head><title>mixed</title></head><body><img id='i' src='" +
                                plain.Url("/mixed.png").toUtf8() +
                                "' onload=\"document.title='mixed loaded'\"></body></html>");
    browser->Navigate(tls.Url("mixed.html"));
    ASSERT_TRUE(WaitFor([&] { return !events.certificateErrors.empty() && last().first == CS::None; }))
        << "the refused page is the engine's error page";
    events.allowCertificate = true;
    ASSERT_TRUE(Load(tls.Url("mixed.html"), "mixed")) << events.titles.join(" | ").toStdString();
    EXPECT_EQ(last(), std::make_pair(CS::CertificateException, QStringLiteral("127.0.0.1")));
    Pump(1000);
    EXPECT_FALSE(events.titles.contains("mixed loaded"));
    EXPECT_EQ(plain.requests, 0) << "an https page loads nothing over plain http";

    ASSERT_TRUE(Load(server->Url("/again"), "served /again"));
    EXPECT_EQ(last(), std::make_pair(CS::Insecure, QStringLiteral("127.0.0.1")));
}

TEST_P(EngineContract, PermissionsAndUploadsAskTheHost)
{
    QTemporaryDir folder;
    const QString upload = folder.filePath("a.txt");
    QFile(upload).open(QIODevice::WriteOnly);
    events.chosenFiles = QStringList{upload};
    if (!Real()) {
        EXPECT_FALSE(Fake()->RaisePermission(QUrl("http://x/"), PagePermission::Camera));
        EXPECT_EQ(Fake()->RaiseChooseFiles({QUrl("http://x/"), true, {}}), events.chosenFiles);
        return;
    }
    // WebKit asks for notifications only on a user's gesture.
    ASSERT_TRUE(Load(Page("ask.html"), "ask"));
    Pump(300);
    Click({40, 100});
    ASSERT_TRUE(WaitFor([&] { return events.titles.contains("notify denied"); }, 5000))
        << events.titles.join(" | ").toStdString();
    ASSERT_EQ(events.permissions.size(), 1u);
    EXPECT_EQ(events.permissions[0].second, PagePermission::Notifications);

    // The Gecko module refuses a page's full screen without asking: its
    // WebKitGTK view lives in a window no window manager handles, where
    // leaving full screen never completes.
    if (GetParam() != Engine::Gecko) {
        // Full screen: refused by default, then allowed, and Esc leaves it.
        Click({40, 60});
        ASSERT_TRUE(WaitFor([&] { return events.titles.contains("left"); }, 5000))
            << events.titles.join(" | ").toStdString();
        EXPECT_EQ(events.permissions.back().second, PagePermission::FullScreen);
        EXPECT_TRUE(events.fullScreen.empty());
        events.titles.clear();
        events.allowPermission = true;
        Click({40, 60});
        ASSERT_TRUE(WaitFor([&] { return events.titles.contains("full"); }, 5000))
            << events.titles.join(" | ").toStdString();
        EXPECT_EQ(events.fullScreen, std::vector<bool>{true});
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(browser->Control()->focusProxy(), &escape);
        ASSERT_TRUE(WaitFor([&] { return events.titles.contains("left"); }, 5000))
            << events.titles.join(" | ").toStdString();
        EXPECT_EQ(events.fullScreen, (std::vector<bool>{true, false}));
    }

    Click({40, 20});
    ASSERT_TRUE(WaitFor([&] { return events.titles.contains("files 1 a.txt"); }, 5000))
        << events.titles.join(" | ").toStdString();
    ASSERT_EQ(events.fileRequests.size(), 1u);
    EXPECT_TRUE(events.fileRequests[0].multiple);
}

// A page allowed to ask for its position gets an answer: a position or an
// error, never silence (this machine has no position source).
TEST_P(EngineContract, AnAllowedPositionRequestIsAnswered)
{
    if (!Real())
        GTEST_SKIP() << "only the real engines locate";
    events.allowPermission = true;
    browser->Navigate(server->Url("/geo.html"));
    ASSERT_TRUE(
        WaitFor([&] { return !events.titles.filter(QRegularExpression("position")).isEmpty(); }, 40000))
        << events.titles.join(" | ").toStdString();
    ASSERT_EQ(events.permissions.size(), 1u);
    EXPECT_EQ(events.permissions[0].second, PagePermission::Geolocation);
}

TEST_P(EngineContract, RequestsAskForJapanese)
{
    if (!Real())
        GTEST_SKIP() << "only the real engines send requests";
    browser->Navigate(server->Url("/language"));
    ASSERT_TRUE(WaitFor([&] { return !events.titles.filter(QRegularExpression("^language ")).isEmpty(); }));
    EXPECT_TRUE(events.titles.filter(QRegularExpression("^language ")).first().startsWith("language ja,en"))
        << events.titles.join(" | ").toStdString();
}

TEST_P(EngineContract, LoadsTellWhetherThePageShowedAndClearingRemovesCookies)
{
    if (!Real())
        GTEST_SKIP() << "the fake reports what a test scripts";
    ASSERT_TRUE(Load(Page("two.html"), "Page two"));
    const std::pair<QString, bool> shown(Page("two.html"), true);
    EXPECT_NE(std::find(events.documents.begin(), events.documents.end(), shown), events.documents.end());
    // Nothing listens on a port just given back: the error page is no visit.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    probe.close();
    events.documents.clear();
    browser->Navigate(refused);
    ASSERT_TRUE(WaitFor([&] { return !events.documents.empty() && !browser->Busy(); }, 15000));
    Pump(500);
    for (const auto &document : events.documents)
        EXPECT_FALSE(document.second) << document.first.toStdString();

    const EngineKind kind = GetParam() == Engine::IE ? EngineKind::InternetExplorer : EngineKind::Gecko;
    ASSERT_TRUE(Load(server->Url("/setcookie"), "cookie set"));
    ASSERT_TRUE(Load(server->Url("/cookie1"), "cookie [orvex=kept]"))
        << events.titles.join(" | ").toStdString();
    ClearDataRequest request;
    request.kinds = CLEARDATA_COOKIES;
    ASSERT_TRUE(ClearEngineData(kind, request));
    // The engines clear in the background: ask until the cookie is gone.
    int round = 2;
    EXPECT_TRUE(WaitFor(
        [&] {
            if (!browser->Busy())
                browser->Navigate(server->Url(QStringLiteral("/cookie%1").arg(round++)));
            Pump(300);
            return events.titles.contains("cookie []");
        },
        15000))
        << events.titles.join(" | ").toStdString();
}

TEST_P(EngineContract, CommandStatesComeAfterEveryNavigation)
{
    if (!Real()) {
        Fake()->simulateLoads = true;
        Fake()->pageTitles = {{Page("one.html"), QStringLiteral("日本語のタイトル")},
                              {Page("two.html"), "Page two"}};
    }
    // Each navigation is bracketed by DownloadBegin / DownloadComplete and
    // reports both history states, whether they changed or not.
    auto navigate = [&](const std::function<void()> &go, const QString &title, int back, int forward) {
        const size_t before = events.commands.size();
        const int begins = events.downloadBegins;
        events.titles.clear();
        go();
        const bool loaded = WaitFor([&] {
            return events.downloadCompletes > begins && !browser->Busy() &&
                   (title.isEmpty() || events.titles.contains(title));
        });
        std::set<int> reported;
        for (size_t i = before; i < events.commands.size(); ++i)
            reported.insert(events.commands[i].first);
        return loaded && reported.count(CSC_NAVIGATEBACK) && reported.count(CSC_NAVIGATEFORWARD) &&
               events.LastState(CSC_NAVIGATEBACK) == back &&
               events.LastState(CSC_NAVIGATEFORWARD) == forward &&
               events.downloadBegins == events.downloadCompletes;
    };
    const QString one = QStringLiteral("日本語のタイトル");
    EXPECT_TRUE(navigate([&] { browser->Navigate(Page("one.html")); }, one, 0, 0));
    EXPECT_TRUE(navigate([&] { browser->Navigate(Page("two.html")); }, "Page two", 1, 0));
    EXPECT_TRUE(navigate([&] { browser->GoBack(); }, one, 0, 1));
    EXPECT_TRUE(navigate([&] { browser->GoForward(); }, "Page two", 1, 0));
    EXPECT_TRUE(navigate([&] { browser->Refresh(); }, QString(), 1, 0));
}

TEST_P(EngineContract, FindCountsMatchesAndPrintWritesPdf)
{
    if (Real())
        ASSERT_TRUE(Load(Page("find.html"), "find"));
    else
        Fake()->pageText = "apple Apple APPLE pineapple";
    auto find = [&](const QString &text, bool matchCase, bool backward = false) {
        const size_t before = events.findResults.size();
        browser->Find({text, backward, matchCase});
        if (!WaitFor([&] { return events.findResults.size() > before; }, 5000))
            return -1;
        Pump(100);
        EXPECT_EQ(events.findResults.back().first, text);
        return events.findResults.back().second;
    };
    EXPECT_EQ(find("apple", false), 4);
    EXPECT_EQ(find("apple", false, true), 4) << "the previous match";
    EXPECT_EQ(find("apple", true), 2);
    EXPECT_EQ(find("APPLE", false), 4);
    EXPECT_EQ(find("pear", false), 0);
    EXPECT_EQ(find("", false), 0);

    QTemporaryDir folder;
    const QString pdf = folder.filePath("page.pdf");
    browser->Print({QString(), pdf, false, 1});
    ASSERT_TRUE(WaitFor([&] { return !events.printResults.empty(); }, 30000));
    EXPECT_TRUE(events.printResults[0].first) << events.printResults[0].second.toStdString();
    EXPECT_TRUE(ReadFile(pdf).startsWith("%PDF"));
    // A new file is as readable as any file the user makes (0666 less the
    // umask), not left to its owner alone.
    const mode_t mask = umask(0);
    umask(mask);
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(pdf).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    // No such printer: a failure with a reason, not silence.
    browser->Print({"Orvex no such printer", QString(), false, 1});
    ASSERT_TRUE(WaitFor([&] { return events.printResults.size() == 2; }, 10000));
    EXPECT_FALSE(events.printResults[1].first);
    EXPECT_FALSE(events.printResults[1].second.isEmpty());
}

TEST_P(EngineContract, SleepingPagesNameWhatTheyWouldLose)
{
    auto blockers = [&] {
        std::optional<uint32_t> answer;
        browser->QuerySleepBlockers([&](uint32_t bits) { answer = bits; });
        return WaitFor([&] { return answer.has_value(); }) ? *answer : ~0u;
    };
    if (!Real()) {
        Fake()->sleepBlockers = SLEEP_BLOCKER_MEDIA;
        EXPECT_EQ(blockers(), SLEEP_BLOCKER_MEDIA);
        browser->SetLifecycle(PageLifecycle::Discarded);
        EXPECT_EQ(browser->Lifecycle(), PageLifecycle::Discarded);
        browser->Navigate("about:blank");
        EXPECT_EQ(browser->Lifecycle(), PageLifecycle::Active) << "navigating wakes the page";
        return;
    }
    events.answerDialog = [](const PageDialogRequest &, QString *) { return true; }; // leave
    ASSERT_TRUE(Load(Page("keep.html"), "keep"));
    EXPECT_EQ(blockers(), 0u) << "an untouched page loses nothing";
    const struct {
        const char *page;
        uint32_t bit;
    } cases[] = {{"typed.html", SLEEP_BLOCKER_FORM_INPUT},
                 {"listen.html", SLEEP_BLOCKER_BEFOREUNLOAD},
                 {"media.html", SLEEP_BLOCKER_MEDIA}};
    for (const auto &c : cases) {
        events.titles.clear();
        browser->Navigate(Page(c.page));
        ASSERT_TRUE(WaitFor([&] { return !browser->Busy() && browser->LocationURL() == Page(c.page); }));
        if (c.bit == SLEEP_BLOCKER_MEDIA) {
            Click(QPoint(100, 100)); // the engines play sound only after the user touched the page
            ASSERT_TRUE(WaitFor([&] { return events.titles.contains("playing"); }))
                << events.titles.join(',').toStdString();
        }
        EXPECT_TRUE(WaitFor([&] { return (blockers() & c.bit) != 0; }, 5000)) << c.page;
    }
    ASSERT_TRUE(Load(Page("leave.html"), "leave"));
    EXPECT_EQ(blockers() & SLEEP_BLOCKER_BEFOREUNLOAD, SLEEP_BLOCKER_BEFOREUNLOAD) << "onbeforeunload";
}

TEST_P(RenderedContract, FrozenPagesStopTheirTimersUntilWoken)
{
    ASSERT_TRUE(Load(Page("tick.html"), "tick 1"));
    browser->SetLifecycle(PageLifecycle::Frozen);
    if (GetParam() == Engine::Gecko) {
        // WebKitGTK has no frozen state: the page stays awake.
        EXPECT_EQ(browser->Lifecycle(), PageLifecycle::Active);
        return;
    }
    ASSERT_EQ(browser->Lifecycle(), PageLifecycle::Frozen);
    Pump(1000); // the page's process hears of it a moment later
    events.titles.clear();
    Pump(1000);
    EXPECT_TRUE(events.titles.isEmpty()) << events.titles.join(',').toStdString();
    browser->SetLifecycle(PageLifecycle::Active);
    EXPECT_EQ(browser->Lifecycle(), PageLifecycle::Active);
    ASSERT_TRUE(
        WaitFor([&] { return !events.titles.isEmpty() && events.titles.back().mid(5).toInt() >= 3; }));
    EXPECT_FALSE(events.titles.contains("tick 1")) << "the same page goes on, not a reload";
}

TEST_P(RenderedContract, APageOutOfSightIsToldItIsHidden)
{
    // What lets the engine slow a hidden page's timers and stop drawing it.
    // The page says how it is seen every 300 ms.
    const auto says = [&](const char *state) {
        return WaitFor([&] { return !events.titles.isEmpty() && events.titles.back().startsWith(state); });
    };
    ASSERT_TRUE(Load(Page("seen.html"), "visible"));
    browser->Control()->hide();
    EXPECT_TRUE(says("hidden")) << events.titles.join(',').toStdString();
    browser->Control()->show();
    EXPECT_TRUE(says("visible")) << events.titles.join(',').toStdString();
}

TEST_P(RenderedContract, DiscardedPagesComeBackWithHistoryAndScrollPosition)
{
    ASSERT_TRUE(Load(Page("one.html"), QStringLiteral("日本語のタイトル")));
    browser->Navigate(Page("tall.html"));
    ASSERT_TRUE(WaitFor([&] { return events.titles.contains("y 1500"); }));
    Pump(1500); // the engine records the scroll position a moment after the scroll
    browser->SetLifecycle(PageLifecycle::Discarded);
    ASSERT_EQ(browser->Lifecycle(), PageLifecycle::Discarded);
    Pump(500);
    events.titles.clear();
    EXPECT_EQ(browser->LocationURL(), Page("tall.html")) << "the address stays while it sleeps";
    browser->SetLifecycle(PageLifecycle::Active);
    ASSERT_TRUE(WaitFor([&] { return !events.titles.isEmpty() && events.titles.back().startsWith("y "); }));
    EXPECT_TRUE(WaitFor([&] { return events.titles.back() == "y 1500"; }, 5000))
        << events.titles.join(',').toStdString();
    browser->GoBack();
    EXPECT_TRUE(WaitFor([&] { return browser->LocationURL() == Page("one.html") && !browser->Busy(); }));
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineContract, ::testing::Values(Engine::Fake, Engine::IE, Engine::Gecko),
                         EngineLabel);
INSTANTIATE_TEST_SUITE_P(Engines, RenderedContract, ::testing::Values(Engine::IE, Engine::Gecko),
                         EngineLabel);

// iexplore's own menu: Japanese, and its "save link" hands the transfer to
// the host like any other download. Screenshots of the menu and of the
// engine's error page go to /tmp for a look.
TEST(IexploreServices, JapaneseContextMenuSavesTheLink)
{
    test::HttpServer server(Serve);
    QWidget window;
    window.resize(800, 600);
    new QVBoxLayout(&window);
    window.layout()->setContentsMargins(0, 0, 0, 0);
    auto browser = CreateWebBrowser(EngineKind::InternetExplorer, &window);
    Recorder events;
    QTemporaryDir folder;
    events.downloadFolder = folder.path();
    browser->SetEvents(&events);
    window.layout()->addWidget(browser->Control());
    window.show();
    browser->Navigate(server.Url("/menu.html"));
    ASSERT_TRUE(WaitFor([&] { return !browser->Busy() && events.titles.contains("menu"); }));
    Pump(300);

    // Opens the menu at a point and returns its texts; choose triggers one.
    QMenu *menu = nullptr;
    auto openMenu = [&](QPoint at) {
        RightClick(browser->Control(), at);
        QStringList texts;
        if (WaitFor([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); }, 5000))
            for (QAction *action : menu->actions())
                texts << action->text();
        return texts;
    };
    auto choose = [&](const QString &text) {
        for (QAction *action : menu->actions())
            if (action->text() == text)
                action->trigger();
        menu->close();
    };

    QStringList texts = openMenu({100, 100});
    Pump(300);
    QGuiApplication::primaryScreen()->grabWindow(0).save("/tmp/orvex-iexplore-menu.png");
    EXPECT_TRUE(texts.contains(QStringLiteral("新しいウィンドウでリンクを開く")))
        << texts.join(" | ").toStdString();
    ASSERT_TRUE(texts.contains(QStringLiteral("リンク先を保存"))) << texts.join(" | ").toStdString();
    choose(QStringLiteral("リンク先を保存"));
    ASSERT_TRUE(WaitFor([&] { return !events.transfers.empty() && events.transfers[0]->finished; }, 30000));
    EXPECT_TRUE(events.transfers[0]->ok);
    EXPECT_TRUE(QFile(folder.filePath("data.bin.part")).size() == kFileSize);

    // "Save page" saves as SAVEAS does; it is no transfer for the host.
    const QString page = folder.filePath("page.html");
    qputenv("ORVEX_SAVEAS_PATH", page.toLocal8Bit());
    texts = openMenu({600, 400});
    ASSERT_TRUE(texts.contains(QStringLiteral("ページを保存"))) << texts.join(" | ").toStdString();
    choose(QStringLiteral("ページを保存"));
    EXPECT_TRUE(WaitFor([&] { return QFile(page).size() > 0; }, 10000));
    qunsetenv("ORVEX_SAVEAS_PATH");
    EXPECT_EQ(events.transfers.size(), 1u);

    // Nothing listens on a port just freed: the engine's error page shows.
    const int freed = test::HttpServer([](const test::HttpRequest &) { return test::HttpReply(); }).Port();
    browser->Navigate(QStringLiteral("http://127.0.0.1:%1/").arg(freed));
    ASSERT_TRUE(WaitFor([&] { return !browser->Busy(); }));
    Pump(800);
    window.grab().save("/tmp/orvex-iexplore-error.png");
}

// The page's source shows without the page being fetched or run again.
TEST(IexploreServices, ViewSourceShowsThePageWithoutLoadingItAgain)
{
    test::HttpServer server(Serve);
    QWidget window;
    window.resize(800, 600);
    new QVBoxLayout(&window);
    window.layout()->setContentsMargins(0, 0, 0, 0);
    auto browser = CreateWebBrowser(EngineKind::InternetExplorer, &window);
    Recorder events, source;
    QWidget catcherParent;
    std::unique_ptr<WebBrowser2> catcher;
    events.catcher = [&] {
        catcher = CreateWebBrowser(EngineKind::InternetExplorer, &catcherParent);
        catcher->SetEvents(&source);
        return catcher.get();
    };
    browser->SetEvents(&events);
    window.layout()->addWidget(browser->Control());
    window.show();
    {
        std::lock_guard<std::mutex> lock(requestLogMutex);
        requestLog.clear();
    }
    browser->Navigate(server.Url("/source.html"));
    ASSERT_TRUE(WaitFor([&] { return !browser->Busy() && RequestsFor("/ran").size() == 1; }));
    Pump(300);
    RightClick(browser->Control(), {400, 400});
    QMenu *menu = nullptr;
    ASSERT_TRUE(
        WaitFor([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); }, 5000));
    for (QAction *action : menu->actions())
        if (action->text() == QStringLiteral("ページのソースを表示"))
            action->trigger();
    menu->close();
    const QString address = "view-source:" + server.Url("/source.html");
    ASSERT_TRUE(WaitFor([&] { return !source.titles.isEmpty() && !catcher->Busy(); }));
    EXPECT_EQ(source.beforeNavigate.value(0), address);
    // The window shows the page's markup, script and all, as text.
    QWidget shown;
    shown.resize(600, 400);
    (new QVBoxLayout(&shown))->addWidget(catcher->Control());
    shown.show();
    QApplication::clipboard()->setText("before");
    const QString markup = QStringLiteral("<p>ソース</p><script>fetch('/ran');</script>");
    bool copied = false;
    for (int attempt = 0; attempt < 5 && !copied; ++attempt) {
        catcher->SelectAll();
        Pump(300 + 300 * attempt);
        catcher->Copy();
        copied = WaitFor([&] { return QApplication::clipboard()->text().contains(markup); }, 2000);
    }
    EXPECT_TRUE(copied) << QApplication::clipboard()->text().toStdString();
    shown.grab().save("/tmp/orvex-iexplore-source.png");
    EXPECT_EQ(RequestsFor("/source.html").size(), 1);
    EXPECT_EQ(RequestsFor("/ran").size(), 1);
}

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
    void SetUp() override
    {
        saved = QDir::currentPath();
        bin = BinDir();
    }
    void TearDown() override
    {
        QDir::setCurrent(saved);
        SetProgramFolderOverride(bin);
    }
    static std::string BinDir();
    QString saved;
    std::string bin; // the program folder before the test moved it
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

TEST_F(LoaderPlaces, GeckoModuleInTheGeckoFolderComesFirstWhateverTheWorkingFolder)
{
    QTemporaryDir program, gecko, empty;
    // A file that is no module: loading it must fail with its path.
    QFile bogus(gecko.filePath("mozctl.so"));
    ASSERT_TRUE(bogus.open(QIODevice::WriteOnly));
    bogus.write("not an ELF file");
    bogus.close();
    const auto settings = [&](const QString &mozPath) {
        QFile config(program.filePath("config.ini"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
        config.write("[Option_Main]\r\nMozilla=1\r\nMozPath=" + mozPath.toUtf8() + "\r\n");
    };
    settings(gecko.path());
    SetProgramFolderOverride(program.path().toStdString() + "/");
    QDir::setCurrent(empty.path());
    EXPECT_EQ(FindEngineModule(EngineKind::Gecko), gecko.filePath("mozctl.so").toStdString());
    QWidget parent;
    try {
        CreateWebBrowser(EngineKind::Gecko, &parent);
        FAIL() << "a broken module must fail";
    } catch (const Error &e) {
        EXPECT_NE(std::string(e.what()).find(gecko.filePath("mozctl.so").toStdString()), std::string::npos)
            << e.what();
    }
    // A module in the working folder is no module of ours; one beside the
    // program is used when the Gecko folder has none.
    settings(empty.path());
    QDir::setCurrent(gecko.path());
    EXPECT_EQ(FindEngineModule(EngineKind::Gecko), "");
    QFile beside(program.filePath("mozctl.so"));
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
    beside.close();
    EXPECT_EQ(FindEngineModule(EngineKind::Gecko), program.filePath("mozctl.so").toStdString());
    SetProgramFolderOverride(bin);
    EXPECT_EQ(FindEngineModule(EngineKind::InternetExplorer), bin + "iexplore.so");
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
    g_trusted = new QTemporaryDir;
    if (MakeCertificate(g_trusted->path())) {
        QProcess hash;
        hash.setWorkingDirectory(g_trusted->path());
        hash.start("sh", {"-c", "openssl x509 -in cert.pem -pubkey -noout | openssl pkey -pubin -outform der"
                                " | openssl dgst -sha256 -binary | base64"});
        hash.waitForFinished();
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        flags += " --ignore-certificate-errors-spki-list=" + hash.readAllStandardOutput().trimmed();
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    }
    // A small memory limit per page, so a runaway page reaches it soon.
    qputenv("ORVEX_PAGE_MEMORY_LIMIT_MB", QByteArray::number(kMemoryLimitMb));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
