// Large downloads through an engine module, against curl in the same run.
// A local server (threads of this process) sends a generated file; the
// engine's control takes it as a download the host starts, exactly as the
// program does; curl and the bare engine (a small program of the engine
// alone: download_floor/) fetch the same file. For each size it prints:
//  - throughput engine / curl (target at least 0.8) and engine / bare engine,
//    which shows what the module adds to the engine's own transfer;
//  - the memory this process and its engine processes grew by during the
//    transfer, which must not grow with the size (compare the sizes);
//  - the longest gap of a 10 ms timer on the main event loop during the
//    transfer (target at most 50 ms).
//
//   xvfb-run -a build/bin/download_bench [iexplore|mozctl] [MiB ...]
//   (default: iexplore 256 1024)
#include "browser/WebBrowser.h"
#include "support/HttpServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

using namespace orvex;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

// Resident memory in kB of this process and every process below it.
long TreeRssKb()
{
    std::map<int, int> parents;
    std::map<int, long> rss;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        std::ifstream status("/proc/" + entry.toStdString() + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("PPid:", 0) == 0)
                parents[pid] = std::stoi(line.substr(5));
            else if (line.rfind("VmRSS:", 0) == 0)
                rss[pid] = std::stol(line.substr(6));
        }
    }
    const int self = int(QCoreApplication::applicationPid());
    long total = 0;
    for (const auto &[pid, kb] : rss) {
        for (int p = pid; p > 1; p = parents.count(p) ? parents[p] : 0) {
            if (p == self) {
                total += kb;
                break;
            }
        }
    }
    return total;
}

// Samples the memory on a thread of its own, so that the event loop being
// measured does none of the work.
class MemorySampler {
public:
    void Start()
    {
        base_ = TreeRssKb();
        peak_ = base_.load();
        running_ = true;
        thread_ = std::thread([this] {
            while (running_) {
                peak_ = std::max(peak_.load(), TreeRssKb());
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    long StopGrowthKb()
    {
        running_ = false;
        thread_.join();
        return peak_ - base_;
    }

private:
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<long> base_{0}, peak_{0};
};

// The host side of one download: start it into the folder, note the end.
class Host : public WebBrowserEvents, public DownloadEvents {
public:
    QString folder;
    std::unique_ptr<Download> download;
    bool finished = false, ok = false;
    QString error;

    void OnStatusTextChange(const QString &) override {}
    void OnProgressChange(int, int) override {}
    void OnCommandStateChange(int, bool) override {}
    void OnTitleChange(const QString &) override {}
    void OnNewWindow2(WebBrowser2 *&, bool &) override {}
    void OnBeforeNavigate2(const QString &, bool &) override {}
    void OnFileDownload(Download *transfer) override
    {
        download.reset(transfer);
        transfer->SetEvents(this);
        transfer->Start(folder + "/" + transfer->SuggestedFileName() + ".part");
    }
    qint64 received = 0;
    void OnDownloadProgress(qint64 bytes, qint64) override { received = bytes; }
    void OnDownloadFinished(bool success, const QString &why) override
    {
        finished = true;
        ok = success;
        error = why;
    }
};

struct Run {
    double seconds = 0;
    long growthKb = 0;
    double longestGapMs = 0;
    qint64 gapAtBytes = 0; // bytes received when the longest gap ended (-1: after the end)
    bool ok = false;
    QString error;
};

// Runs the event loop until done() or the time-out, timing a 10 ms timer.
// `at` receives where() when the longest gap ended.
double LongestTimerGap(const std::function<bool()> &done, int timeoutMs, const std::function<qint64()> &where,
                       qint64 *at)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.elapsed();
    double longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QEventLoop loop;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (now - last > longest) {
            longest = double(now - last);
            *at = where();
        }
        last = now;
        if (done() || now > timeoutMs)
            loop.quit();
    });
    ticker.start(10);
    loop.exec();
    return longest;
}

Run ThroughEngine(CreateWebBrowserFn create, const QString &url, const QString &folder, qint64 size)
{
    QWidget window;
    window.resize(640, 480);
    std::unique_ptr<WebBrowser2> browser(create(&window));
    Host host;
    host.folder = folder;
    browser->SetEvents(&host);
    window.show();
    // Let the engine settle (first renderer) before the clock starts.
    browser->Navigate("about:blank");
    QEventLoop settle;
    QTimer::singleShot(1500, &settle, &QEventLoop::quit);
    settle.exec();

    Run run;
    MemorySampler memory;
    memory.Start();
    QElapsedTimer clock;
    clock.start();
    browser->Navigate(url);
    run.longestGapMs = LongestTimerGap([&] { return host.finished; }, 600000,
                                       [&] { return host.finished ? -1 : host.received; }, &run.gapAtBytes);
    run.seconds = clock.elapsed() / 1000.0;
    run.growthKb = memory.StopGrowthKb();
    run.ok = host.ok && QFileInfo(folder + "/big.bin.part").size() == size;
    run.error = host.finished ? host.error : QStringLiteral("no download arrived");
    host.download.reset();
    browser.reset();
    QFile::remove(folder + "/big.bin.part");
    return run;
}

Run ThroughCurl(const QString &url, const QString &folder, qint64 size)
{
    Run run;
    const QString file = folder + "/curl.bin";
    QElapsedTimer clock;
    clock.start();
    const int status = QProcess::execute("curl", {"-s", "-o", file, url});
    run.seconds = clock.elapsed() / 1000.0;
    run.ok = status == 0 && QFileInfo(file).size() == size;
    QFile::remove(file);
    return run;
}

// The bare engine's program; it prints the seconds of its transfer, which
// leave out its start-up.
Run ThroughFloor(const QString &engine, const QString &url, const QString &folder, qint64 size)
{
    Run run;
    const QString file = folder + "/floor.bin";
    const QString program =
        QCoreApplication::applicationDirPath() +
        (engine == "mozctl" ? "/webkitgtk_download_floor" : "/qtwebengine_download_floor");
    QProcess floor;
    floor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    floor.start(program, {url, file});
    floor.waitForFinished(-1);
    run.seconds = floor.readAllStandardOutput().trimmed().toDouble();
    run.ok = floor.exitCode() == 0 && run.seconds > 0 && QFileInfo(file).size() == size;
    QFile::remove(file);
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString engine = !args.isEmpty() && !args.first().at(0).isDigit() ? args.takeFirst() : "iexplore";
    std::vector<qint64> sizes;
    for (const QString &arg : args)
        sizes.push_back(arg.toLongLong() * kMiB);
    if (sizes.empty())
        sizes = {256 * kMiB, 1024 * kMiB};

    const QString module = QCoreApplication::applicationDirPath() + "/" + engine + ".so";
    void *handle = ::dlopen(module.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    auto version =
        handle ? reinterpret_cast<ContractVersionFn>(::dlsym(handle, ContractVersionSymbol)) : nullptr;
    auto create =
        handle ? reinterpret_cast<CreateWebBrowserFn>(::dlsym(handle, CreateWebBrowserSymbol)) : nullptr;
    if (!version || version() != EngineContractVersion || !create) {
        std::fprintf(stderr, "cannot use %s: %s\n", qPrintable(module),
                     handle ? "wrong contract" : ::dlerror());
        return 1;
    }
    QTemporaryDir folder(QDir::tempPath() + "/orvex-download-bench.XXXXXX");
    if (auto setup = reinterpret_cast<SetupEngineFn>(::dlsym(handle, SetupEngineSymbol))) {
        EngineEnvironment environment;
        environment.dataFolder = folder.path() + "/";
        setup(&environment);
    }
    {
        QWidget probe;
        std::unique_ptr<WebBrowser2> browser(create(&probe));
        std::printf("engine %s (%s)\n", qPrintable(engine), qPrintable(browser->EngineName()));
    }

    qint64 serving = 0;
    orvex::test::HttpServer server([&](const orvex::test::HttpRequest &) {
        orvex::test::HttpReply reply;
        reply.contentType = "application/octet-stream";
        reply.headers << "Content-Disposition: attachment; filename=\"big.bin\"";
        reply.generatedSize = serving;
        return reply;
    });
    const QString url = server.Url("/big.bin");

    // The same timer with nothing to do: what the machine's load alone costs.
    QElapsedTimer idleClock;
    idleClock.start();
    qint64 unused = 0;
    const double idleGap =
        LongestTimerGap([&] { return idleClock.elapsed() > 3000; }, 4000, [] { return qint64(0); }, &unused);
    std::printf("longest 10 ms timer gap with the event loop idle for 3 s: %.0f ms\n", idleGap);

    std::map<qint64, long> growth;
    bool allOk = true;
    for (qint64 size : sizes) {
        serving = size;
        const Run curl = ThroughCurl(url, folder.path(), size);
        const Run floor = ThroughFloor(engine, url, folder.path(), size);
        const Run run = ThroughEngine(create, url, folder.path(), size);
        allOk = allOk && curl.ok && floor.ok && run.ok;
        growth[size] = run.growthKb;
        const double mb = size / 1e6;
        std::printf("%5lld MiB: curl %.2f s (%.0f MB/s)%s, engine %.2f s (%.0f MB/s)%s\n", size / kMiB,
                    curl.seconds, mb / curl.seconds, curl.ok ? "" : " FAILED", run.seconds, mb / run.seconds,
                    run.ok ? "" : qPrintable(" FAILED: " + run.error));
        std::printf("           bare engine %.2f s (%.0f MB/s)%s\n", floor.seconds, mb / floor.seconds,
                    floor.ok ? "" : " FAILED");
        std::printf("           throughput engine/curl %.2f (target >= 0.8), engine/bare engine %.2f\n",
                    curl.seconds / run.seconds, floor.seconds / run.seconds);
        std::printf("           memory growth during the transfer %.1f MiB\n", run.growthKb / 1024.0);
        std::printf("           longest 10 ms timer gap %.0f ms (target <= 50), at %lld MiB\n",
                    run.longestGapMs, run.gapAtBytes / kMiB);
        std::fflush(stdout);
    }
    if (growth.size() >= 2) {
        const long small = std::max(1L, growth.begin()->second), large = growth.rbegin()->second;
        std::printf("memory growth %lld MiB / %lld MiB: %.2f (flat is 1; the size ratio is %.0f)\n",
                    growth.rbegin()->first / kMiB, growth.begin()->first / kMiB, double(large) / small,
                    double(growth.rbegin()->first) / growth.begin()->first);
    }
    return allOk ? 0 : 1;
}
