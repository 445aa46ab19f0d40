#include "support/FakeEngine.h"

#include "core/Errors.h"

#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>

namespace orvex::test {

namespace {

std::vector<CreatedFake> &Registry()
{
    static std::vector<CreatedFake> fakes;
    return fakes;
}

bool failCreate[2] = {false, false};

int KindIndex(EngineKind kind)
{
    return kind == EngineKind::InternetExplorer ? 0 : 1;
}

std::string Hex(uint32_t value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", value);
    return buffer;
}

// A transfer of bytes held in memory, written to the host's path.
class FakeDownload : public QObject, public Download {
public:
    FakeDownload(const QUrl &url, const QString &fileName, const QByteArray &content, bool holdHalfway)
        : url_(url), fileName_(fileName), content_(content), hold_(holdHalfway)
    {
    }
    ~FakeDownload() override
    {
        events_ = nullptr;
        if (running_)
            QFile::remove(path_);
    }
    QUrl Url() const override { return url_; }
    QString SuggestedFileName() const override { return fileName_; }
    QString MimeType() const override { return QStringLiteral("application/octet-stream"); }
    qint64 TotalBytes() const override { return content_.size(); }
    qint64 ReceivedBytes() const override { return received_; }
    void SetEvents(DownloadEvents *events) override { events_ = events; }
    void Start(const QString &path) override
    {
        if (running_ || finished_)
            return;
        path_ = path;
        file_.setFileName(path);
        if (!file_.open(QIODevice::WriteOnly)) {
            Finish(false, QStringLiteral("cannot write ") + path);
            return;
        }
        running_ = true;
        Write(content_.size() / 2);
        if (!hold_)
            QTimer::singleShot(0, this, [this] {
                if (!running_)
                    return;
                Write(content_.size() - received_);
                file_.close();
                running_ = false;
                Finish(true, QString());
            });
    }
    void Cancel() override
    {
        if (finished_)
            return;
        if (running_) {
            file_.close();
            QFile::remove(path_);
            running_ = false;
        }
        Finish(false, QStringLiteral("cancelled"));
    }

private:
    void Write(qint64 n)
    {
        file_.write(content_.constData() + received_, n);
        file_.flush();
        received_ += n;
        if (events_)
            events_->OnDownloadProgress(received_, content_.size());
    }
    void Finish(bool ok, const QString &error)
    {
        finished_ = true;
        if (DownloadEvents *events = events_)
            events->OnDownloadFinished(ok, error);
    }

    QUrl url_;
    QString fileName_;
    QByteArray content_;
    bool hold_;
    DownloadEvents *events_ = nullptr;
    QString path_;
    QFile file_;
    qint64 received_ = 0;
    bool running_ = false;
    bool finished_ = false;
};

} // namespace

FakeEngine::FakeEngine(QWidget *parent, EngineKind kind) : kind_(kind), widget_(new QWidget(parent))
{
    widget_->setObjectName(kind == EngineKind::InternetExplorer ? "FakeIE" : "FakeGecko");
    if (nativeControls)
        widget_->setAttribute(Qt::WA_NativeWindow);
}

FakeEngine::~FakeEngine()
{
    for (CreatedFake &fake : Registry())
        if (fake.engine == this) {
            fake.engine = nullptr;
            fake.sinkAtEnd = sink_;
        }
    delete widget_.data(); // nothing when the parent already deleted it
}

void FakeEngine::SetEvents(WebBrowserEvents *sink)
{
    sink_ = sink;
    log.push_back(sink ? "SetEvents(set)" : "SetEvents(null)");
}

void FakeEngine::SetHostOptions(const HostOptions &options)
{
    hostOptions = options;
    hostOptionsSet = true;
    log.push_back("SetHostOptions(accel=" + std::to_string(options.enableAccelerator) +
                  ",noContext=" + std::to_string(options.noContext) + ",flags=" + Hex(options.hostFlags) +
                  ",dl=" + Hex(options.downloadControl) + ")");
}

void FakeEngine::Navigate(const QString &url)
{
    log.push_back("Navigate(" + url.toStdString() + ")");
    lifecycle_ = PageLifecycle::Active;
    if (!failNavigate_.empty()) {
        std::string message;
        message.swap(failNavigate_);
        throw std::runtime_error(message);
    }
    if (navigateSetsLocation)
        location_ = url.isEmpty() ? QStringLiteral("about:blank") : url;
    if (DuringNavigate())
        DuringNavigate()(*this, url);
    if (simulateLoads) {
        history_.resize(size_t(historyIndex_ + 1));
        history_.push_back(location_);
        historyIndex_ = int(history_.size()) - 1;
        SimulateLoad();
    }
}

void FakeEngine::GoBack()
{
    log.push_back("GoBack()");
    lifecycle_ = PageLifecycle::Active;
    if (simulateLoads && historyIndex_ > 0) {
        location_ = history_[size_t(--historyIndex_)];
        SimulateLoad();
    }
}
void FakeEngine::GoForward()
{
    log.push_back("GoForward()");
    lifecycle_ = PageLifecycle::Active;
    if (simulateLoads && historyIndex_ + 1 < int(history_.size())) {
        location_ = history_[size_t(++historyIndex_)];
        SimulateLoad();
    }
}
void FakeEngine::Refresh()
{
    log.push_back("Refresh()");
    lifecycle_ = PageLifecycle::Active;
    if (simulateLoads && historyIndex_ >= 0)
        SimulateLoad();
}

void FakeEngine::SimulateLoad()
{
    busy_ = true;
    QPointer<QWidget> alive = widget_;
    if (!alive)
        return;
    QTimer::singleShot(0, widget_, [this, alive] {
        // The host may destroy the control in any of its handlers.
        auto step = [&](const std::function<void()> &raise) {
            if (alive)
                raise();
        };
        step([&] { RaiseDownloadBegin(); });
        step([&] { RaiseCommandState(CSC_NAVIGATEBACK, historyIndex_ > 0); });
        step([&] { RaiseCommandState(CSC_NAVIGATEFORWARD, historyIndex_ + 1 < int(history_.size())); });
        step([&] { RaiseProgress(0); });
        step([&] {
            auto title = pageTitles.find(location_);
            RaiseTitle(title != pageTitles.end() ? title->second : location_);
        });
        step([&] { RaiseProgress(100); });
        step([&] {
            busy_ = false;
            RaiseDocumentComplete(location_, failingPages.count(location_) == 0);
        });
        step([&] { RaiseDownloadComplete(); });
    });
}
void FakeEngine::SetLifecycle(PageLifecycle state)
{
    static const char *const names[] = {"Active", "Frozen", "Discarded"};
    log.push_back(std::string("SetLifecycle(") + names[int(state)] + ")");
    const bool reload = lifecycle_ == PageLifecycle::Discarded && state == PageLifecycle::Active;
    lifecycle_ = state;
    // A discarded page comes back by reloading, as the real engines do.
    if (reload && simulateLoads && historyIndex_ >= 0)
        SimulateLoad();
}

void FakeEngine::QuerySleepBlockers(std::function<void(uint32_t)> answer)
{
    log.push_back("QuerySleepBlockers()");
    QTimer::singleShot(0, widget_, [this, answer] { answer(sleepBlockers); });
}

void FakeEngine::Stop()
{
    log.push_back("Stop()");
}

void FakeEngine::Command(const std::string &entry)
{
    log.push_back(entry);
    if (!failCommand_.empty()) {
        std::string message;
        message.swap(failCommand_);
        throw std::runtime_error(message);
    }
}

void FakeEngine::Zoom(int level)
{
    Command("Zoom(" + std::to_string(level) + ")");
    if (level < 0 || level > 4)
        throw std::runtime_error("text size out of range");
    zoom = level;
}

void FakeEngine::SaveTo(const QString &path)
{
    Command("SaveTo(" + path.toStdString() + ")");
    if (path.isEmpty())
        return;
    QFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write("saved " + location_.toUtf8()) > 0;
    const QString error = ok ? QString() : QStringLiteral("cannot write ") + path;
    if (widget_)
        QTimer::singleShot(0, widget_, [this, ok, error] {
            if (sink_)
                sink_->OnSaveFinished(ok, error);
        });
}

void FakeEngine::Copy()
{
    Command("Copy()");
}

void FakeEngine::SelectAll()
{
    Command("SelectAll()");
}

QString FakeEngine::EngineName() const
{
    return kind_ == EngineKind::InternetExplorer ? QStringLiteral("FakeIE 1.0")
                                                 : QStringLiteral("FakeGecko 1.0");
}

void FakeEngine::Find(const FindRequest &request)
{
    log.push_back("Find(" + request.text.toStdString() + (request.backward ? ",back" : "") +
                  (request.matchCase ? ",case" : "") + ")");
    const Qt::CaseSensitivity cs = request.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    int matches = 0;
    if (!request.text.isEmpty())
        for (int at = pageText.indexOf(request.text, 0, cs); at >= 0;
             at = pageText.indexOf(request.text, at + request.text.size(), cs))
            ++matches;
    const QString text = request.text;
    if (widget_) // the answer comes later, as from a real engine
        QTimer::singleShot(0, widget_, [this, text, matches] {
            if (sink_)
                sink_->OnFindResult(text, matches);
        });
}

void FakeEngine::RequestClose()
{
    log.push_back("RequestClose()");
    if (!widget_)
        return;
    QPointer<QWidget> alive = widget_;
    QTimer::singleShot(0, widget_, [this, alive] {
        bool leave = true;
        if (leaveHandler && sink_) {
            leave = sink_->OnPageDialog({PageDialogKind::BeforeUnload, QUrl(location_), QString(), QString()},
                                        nullptr);
            if (!alive)
                return; // the host closed the control meanwhile
        }
        if (sink_)
            sink_->OnCloseAnswer(leave);
    });
}

void FakeEngine::Print(const PrintRequest &request)
{
    log.push_back("Print(" + request.printerName.toStdString() + "," + request.outputFile.toStdString() +
                  ")");
    bool ok = false;
    QString error = QStringLiteral("no printer");
    if (!request.outputFile.isEmpty()) {
        QFile pdf(request.outputFile);
        ok = pdf.open(QIODevice::WriteOnly) && pdf.write("%PDF-1.4\n%fake\n") > 0;
        error = ok ? QString() : QStringLiteral("cannot write ") + request.outputFile;
    }
    if (widget_)
        QTimer::singleShot(0, widget_, [this, ok, error] {
            if (sink_)
                sink_->OnPrintFinished(ok, error);
        });
}

bool FakeEngine::Called(const std::string &entry) const
{
    return std::find(log.begin(), log.end(), entry) != log.end();
}

int FakeEngine::CountOf(const std::string &prefix) const
{
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string &e) {
        return e.compare(0, prefix.size(), prefix) == 0;
    }));
}

void FakeEngine::RaiseStatus(const QString &text)
{
    if (sink_)
        sink_->OnStatusTextChange(text);
}

void FakeEngine::RaiseProgress(int progress, int progressMax)
{
    if (sink_)
        sink_->OnProgressChange(progress, progressMax);
}

void FakeEngine::RaiseCommandState(int command, bool enable)
{
    if (sink_)
        sink_->OnCommandStateChange(command, enable);
}

void FakeEngine::RaiseTitle(const QString &title)
{
    if (sink_)
        sink_->OnTitleChange(title);
}

bool FakeEngine::RaiseNewWindow(WebBrowser2 *&ppDisp)
{
    bool cancel = false;
    ppDisp = nullptr;
    if (sink_)
        sink_->OnNewWindow2(ppDisp, cancel);
    return cancel;
}

bool FakeEngine::RaiseBeforeNavigate(const QString &url)
{
    bool cancel = false;
    if (sink_)
        sink_->OnBeforeNavigate2(url, cancel);
    return cancel;
}

void FakeEngine::RaiseWindowClosing()
{
    if (sink_)
        sink_->OnWindowClosing();
}

std::function<void(FakeEngine &, const QString &url)> &DuringNavigate()
{
    static std::function<void(FakeEngine &, const QString &)> hook;
    return hook;
}

void FakeEngine::RaiseDownloadBegin()
{
    if (sink_)
        sink_->OnDownloadBegin();
}

void FakeEngine::RaiseDocumentComplete(const QString &url, bool ok)
{
    if (sink_)
        sink_->OnDocumentComplete(url, ok);
}

void FakeEngine::RaiseDownloadComplete()
{
    if (sink_)
        sink_->OnDownloadComplete();
}

void FakeEngine::RaiseZoomWheel(int steps)
{
    if (sink_)
        sink_->OnZoomWheel(steps);
}

void FakeEngine::SetZoomFactor(double factor)
{
    if (!(factor > 0.0) || factor > 10.0)
        throw std::runtime_error("zoom factor out of range");
    char text[32];
    std::snprintf(text, sizeof text, "SetZoomFactor(%g)", factor);
    log.push_back(text);
    zoomFactor_ = factor;
}

bool FakeEngine::RaisePageDialog(const PageDialogRequest &request, QString *text)
{
    return sink_ && sink_->OnPageDialog(request, text);
}

bool FakeEngine::RaiseAuthenticate(const AuthenticationRequest &request, QString &user, QString &password)
{
    return sink_ && sink_->OnAuthenticate(request, user, password);
}

bool FakeEngine::RaiseCertificateError(const CertificateErrorInfo &error)
{
    return sink_ && sink_->OnCertificateError(error);
}

QStringList FakeEngine::RaiseChooseFiles(const FileChooserRequest &request)
{
    return sink_ ? sink_->OnChooseFiles(request) : QStringList();
}

bool FakeEngine::RaisePermission(const QUrl &origin, PagePermission permission)
{
    return sink_ && sink_->OnPermissionRequest(origin, permission);
}

void FakeEngine::RaiseFullScreen(bool fullScreen)
{
    if (sink_)
        sink_->OnFullScreenChange(fullScreen);
}

void FakeEngine::RaiseFileDownload(const QUrl &url, const QString &fileName, const QByteArray &content,
                                   bool holdHalfway)
{
    auto *download = new FakeDownload(url, fileName, content, holdHalfway);
    if (sink_) {
        sink_->OnFileDownload(download);
    } else {
        download->Cancel();
        delete download;
    }
}

std::vector<CreatedFake> &CreatedFakes()
{
    return Registry();
}

std::vector<CreatedFake> &InstallFakeEngines()
{
    Registry().clear();
    failCreate[0] = failCreate[1] = false;
    DuringNavigate() = nullptr;
    SetEngineFactoryForTesting([](EngineKind kind, QWidget *parent) -> WebBrowser2 * {
        if (failCreate[KindIndex(kind)]) {
            failCreate[KindIndex(kind)] = false;
            const char *file = kind == EngineKind::InternetExplorer ? "iexplore.so" : "mozctl.so";
            throw Error(std::string("エンジン モジュール ") + file + " が見つかりません");
        }
        auto *fake = new FakeEngine(parent, kind);
        Registry().push_back({fake, kind, parent});
        return fake;
    });
    return Registry();
}

void RemoveFakeEngines()
{
    SetEngineFactoryForTesting(nullptr);
    failCreate[0] = failCreate[1] = false;
}

std::vector<FakeEngine *> LiveFakes(EngineKind kind)
{
    std::vector<FakeEngine *> live;
    for (const CreatedFake &fake : Registry())
        if (fake.engine && fake.kind == kind)
            live.push_back(fake.engine);
    return live;
}

void FailNextCreate(EngineKind kind, bool fail)
{
    failCreate[KindIndex(kind)] = fail;
}

} // namespace orvex::test
