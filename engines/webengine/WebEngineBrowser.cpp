#include "WebEngineBrowser.h"

#include "EngineTexts.h"
#include "WebEngineProfile.h"

#include <QAction>
#include <QAuthenticator>
#include <QChildEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPageLayout>
#include <QPrinter>
#include <QSet>
#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineDownloadItem>
#include <QWebEngineFindTextResult>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <qtwebenginewidgetsversion.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace orvex::webengine {

namespace {

// Chromium writes a printed PDF readable by its owner only, whatever the
// umask. A file the print made gets what the program's other files get,
// 0666 less the umask (read from /proc: setting it to read it would change
// it for every thread for a moment).
void GiveNewFileMode(const QString &path)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (!line.startsWith("Umask:"))
            continue;
        bool ok = false;
        const unsigned mask = line.mid(6).trimmed().toUInt(&ok, 8);
        if (ok)
            chmod(QFile::encodeName(path).constData(), 0666 & ~mask);
        return;
    }
}

// QtWebEngine asks "leave this page?" through javaScriptConfirm with this
// text of its own, translated like every text of its classes.
bool IsLeaveQuestion(const QString &message)
{
    return message ==
           QCoreApplication::translate(
               "QWebEnginePage",
               "Are you sure you want to leave this page? Changes that you made may not be saved.");
}

QString CertificateReason(QWebEngineCertificateError::Error error)
{
    using E = QWebEngineCertificateError;
    switch (error) {
    case E::CertificateAuthorityInvalid:
        return QString::fromUtf8(engine::texts::kCertificateUntrusted);
    case E::CertificateCommonNameInvalid:
    case E::CertificateNonUniqueName:
    case E::CertificateNameConstraintViolation:
        return QString::fromUtf8(engine::texts::kCertificateWrongHost);
    case E::CertificateDateInvalid:
    case E::CertificateValidityTooLong:
        return QString::fromUtf8(engine::texts::kCertificateDate);
    case E::CertificateRevoked:
        return QString::fromUtf8(engine::texts::kCertificateRevoked);
    case E::CertificateWeakSignatureAlgorithm:
    case E::CertificateWeakKey:
        return QString::fromUtf8(engine::texts::kCertificateWeak);
    default:
        return QString::fromUtf8(engine::texts::kCertificateInvalid);
    }
}

// Hosts whose certificate the user accepted in this run; the engine goes on
// trusting them for the profile's whole session.
QSet<QString> &AcceptedHosts()
{
    static QSet<QString> hosts;
    return hosts;
}

// The text of /proc/<pid>/<name>, read with plain system calls (they are
// read for every page twice a second); false when it cannot be read.
bool ReadProcessFile(qint64 pid, const char *name, char *text, size_t size)
{
    char path[48];
    std::snprintf(path, sizeof path, "/proc/%lld/%s", static_cast<long long>(pid), name);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const ssize_t got = ::read(fd, text, size - 1);
    ::close(fd);
    if (got <= 0)
        return false;
    text[got] = '\0';
    return true;
}

// The anonymous resident memory of a process in MB: what the page's own
// data takes; -1 when it cannot be read. In /proc/<pid>/statm, the cheap
// file, these are the resident pages less the shared (file-backed) ones.
qint64 AnonymousMemoryMb(qint64 pid)
{
    char text[128];
    long long size = 0, resident = 0, shared = 0;
    if (!ReadProcessFile(pid, "statm", text, sizeof text) ||
        std::sscanf(text, "%lld %lld %lld", &size, &resident, &shared) != 3)
        return -1;
    static const long pageSize = ::sysconf(_SC_PAGESIZE);
    return (resident - shared) * pageSize / (1024 * 1024);
}

// Whether `pid` is a process this program started (the engine's page
// processes are grandchildren, under its zygote): a process number that went
// to another program is never ended.
bool OwnProcess(qint64 pid)
{
    const pid_t self = ::getpid();
    for (int depth = 0; depth < 4 && pid > 1; ++depth) {
        char text[512];
        if (!ReadProcessFile(pid, "stat", text, sizeof text))
            return false;
        // "pid (name) state ppid ...": the name may hold spaces and brackets.
        const char *close = std::strrchr(text, ')');
        char state = 0;
        long long parent = 0;
        if (!close || std::sscanf(close + 1, " %c %lld", &state, &parent) != 2)
            return false;
        if (parent == self)
            return true;
        pid = parent;
    }
    return false;
}

// Watches the memory of the pages' processes from a thread of its own, and
// ends a process that holds more than a page may. Every page's process is
// looked at twice a second (a page that allocates in a loop gains a few
// hundred MB a second); on the user-interface thread that came to a tenth of
// its work with a hundred windows open. Several pages may share one process,
// and each learns from here why it ended.
class MemoryWatch {
public:
    static MemoryWatch &Instance()
    {
        static MemoryWatch watch;
        return watch;
    }
    ~MemoryWatch()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    // The page's process from now on; 0 when it has none.
    void Watch(const void *page, qint64 pid)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pid > 0)
            pids_[page] = pid;
        else
            pids_.erase(page);
        if (!thread_.joinable() && !pids_.empty())
            thread_ = std::thread([this] { Run(); });
    }
    bool EndedForMemory(qint64 pid)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return ended_.count(pid) != 0;
    }

private:
    static constexpr auto kEvery = std::chrono::milliseconds(500);

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, kEvery, [this] { return stopping_; })) {
            const qint64 limit = engine::PageMemoryLimitMb();
            std::unordered_set<qint64> pids;
            for (const auto &watched : pids_)
                pids.insert(watched.second);
            lock.unlock();
            std::vector<qint64> over;
            for (qint64 pid : pids)
                if (AnonymousMemoryMb(pid) >= limit)
                    over.push_back(pid);
            lock.lock();
            for (qint64 pid : over) {
                if (!OwnProcess(pid))
                    continue;
                // The crash page says why; ended before the engine could be
                // told, so that the page learns it in time.
                ended_.insert(pid);
                ::kill(pid_t(pid), SIGKILL);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::unordered_map<const void *, qint64> pids_;
    std::unordered_set<qint64> ended_;
    bool stopping_ = false;
    std::thread thread_;
};

QWebEngineDownloadItem::SavePageFormat SaveFormatFor(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return (suffix == QLatin1String("mht") || suffix == QLatin1String("mhtml"))
               ? QWebEngineDownloadItem::MimeHtmlSaveFormat
               : QWebEngineDownloadItem::SingleHtmlSaveFormat;
}

} // namespace

WebEnginePage::WebEnginePage(WebEngineBrowser *owner, QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent), owner_(owner)
{
}

QWebEnginePage *WebEnginePage::createWindow(WebWindowType)
{
    WebEngineBrowser *owner = owner_;
    if (!owner)
        return nullptr;
    // The host may hand back only a control of this engine: the new page has
    // to be a page of the same profile and kind.
    auto *catcher = dynamic_cast<WebEngineBrowser *>(owner->RequestNewWindow());
    if (!catcher || !catcher->Page())
        return nullptr;
    catcher->BeginCatch();
    return catcher->Page();
}

void WebEnginePage::triggerAction(WebAction action, bool checked)
{
    // The engine's own source view would fetch the address again.
    if (action == ViewSource && owner_) {
        owner_->ShowSource();
        return;
    }
    QWebEnginePage::triggerAction(action, checked);
}

bool WebEnginePage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    WebEngineBrowser *owner = owner_;
    if (!owner || !isMainFrame)
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    // The host may destroy the control in its handler; only locals from here.
    return !owner->RaiseBeforeNavigate(url.toString());
}

// The page's questions go to the host, which may close the control while it
// asks: after an answer only the answer is used.
void WebEnginePage::javaScriptAlert(const QUrl &origin, const QString &message)
{
    if (WebEngineBrowser *owner = owner_)
        owner->AskPageDialog({PageDialogKind::Alert, origin, message, QString()}, nullptr);
}

bool WebEnginePage::javaScriptConfirm(const QUrl &origin, const QString &message)
{
    WebEngineBrowser *owner = owner_;
    if (!owner)
        return false;
    if (IsLeaveQuestion(message))
        return owner->AskPageDialog({PageDialogKind::BeforeUnload, origin, QString(), QString()}, nullptr);
    return owner->AskPageDialog({PageDialogKind::Confirm, origin, message, QString()}, nullptr);
}

bool WebEnginePage::javaScriptPrompt(const QUrl &origin, const QString &message, const QString &defaultValue,
                                     QString *result)
{
    WebEngineBrowser *owner = owner_;
    if (!owner)
        return false;
    QString text = defaultValue;
    if (!owner->AskPageDialog({PageDialogKind::Prompt, origin, message, defaultValue}, &text))
        return false;
    if (result)
        *result = text;
    return true;
}

bool WebEnginePage::certificateError(const QWebEngineCertificateError &error)
{
    WebEngineBrowser *owner = owner_;
    if (!owner || !error.isOverridable())
        return false;
    if (!owner->AskCertificateError(
            {error.url(), engine::HostWithPort(error.url()), CertificateReason(error.error())}))
        return false;
    AcceptedHosts().insert(error.url().host().toLower());
    return true;
}

QStringList WebEnginePage::chooseFiles(FileSelectionMode mode, const QStringList &,
                                       const QStringList &acceptedMimeTypes)
{
    WebEngineBrowser *owner = owner_;
    if (!owner)
        return QStringList();
    const bool multiple = mode == FileSelectOpenMultiple;
    QStringList files = owner->AskFiles({url(), multiple, acceptedMimeTypes});
    if (!multiple && files.size() > 1)
        files = files.mid(0, 1);
    return files;
}

WebEngineBrowser::WebEngineBrowser(QWidget *parent)
{
    view_ = new QWebEngineView(parent);
    page_ = new WebEnginePage(this, ModuleProfile(), view_);
    view_->setPage(page_);
    viewObject_ = view_.data();
    view_->installEventFilter(this);
    // A page opened from disk shows its own images and style sheets, but
    // may neither read other local files nor send what it read anywhere.
    QWebEngineSettings *settings = page_->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
    // A page that names no character set and whose bytes the engine does
    // not take for another encoding is read as UTF-8, not as Latin-1: the
    // engine guesses the older Japanese encodings itself, but never UTF-8
    // over the network.
    settings->setDefaultTextEncoding(QStringLiteral("UTF-8"));

    QWebEngineScript watch;
    watch.setSourceCode(QString::fromUtf8(engine::SleepWatchScript));
    watch.setInjectionPoint(QWebEngineScript::DocumentCreation);
    watch.setWorldId(QWebEngineScript::MainWorld);
    watch.setRunsOnSubFrames(false);
    page_->scripts().insert(watch);
    ConnectPage();
    SetHostOptions(HostOptions());
}

void WebEngineBrowser::ConnectPage()
{
    WebEnginePage *page = page_;
    connect(page, &QWebEnginePage::loadStarted, this, [this] {
        // As the IE control does: DownloadBegin, then the real back and
        // forward states on every navigation.
        QPointer<WebEngineBrowser> self(this);
        LoadBegan(page_->action(QWebEnginePage::Back)->isEnabled(),
                  page_->action(QWebEnginePage::Forward)->isEnabled());
        // The engine keeps its title when the page comes back after a crash
        // and tells no change: the caption gets it back here.
        if (self && titleStale_ && page_) {
            titleStale_ = false;
            EmitTitle(page_->title());
        }
    });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        QPointer<WebEngineBrowser> self(this);
        // A failed load shows the engine's error page, which came over no
        // connection.
        if (page_)
            ReportConnection(ok ? page_->url() : QUrl(),
                             AcceptedHosts().contains(page_->url().host().toLower()));
        if (self)
            OnLoadFinished(ok);
    });
    // Within a page (fragments, pushState) the address changes without a load.
    connect(page, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) {
        if (!Busy())
            ReportConnection(url, AcceptedHosts().contains(url.host().toLower()));
    });
    connect(page, &QWebEnginePage::loadProgress, this, [this](int p) { EmitProgress(p); });
    connect(page, &QWebEnginePage::titleChanged, this, [this](const QString &t) {
        titleStale_ = false;
        EmitTitle(t);
    });
    // The page's process, for the memory watch: it changes only as a
    // navigation commits, and the engine does not tell every change.
    connect(page, &QWebEnginePage::loadProgress, this, [this] { WatchProcess(); });
    connect(page, &QWebEnginePage::loadFinished, this, [this] { WatchProcess(); });
    connect(page, &QWebEnginePage::urlChanged, this, [this] { WatchProcess(); });
    connect(page, &QWebEnginePage::renderProcessPidChanged, this, [this] { WatchProcess(); });
    WatchProcess();
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                // Its number may go to another process: no longer watched.
                watchedPid_ = 0;
                MemoryWatch::Instance().Watch(this, 0);
                OnRenderProcessEnded(status);
            });

    connect(page, &QWebEnginePage::titleChanged, this, [this](const QString &t) { EmitTitle(t); });
    // The page wakes by itself when it is shown (a restored window).
    connect(page, &QWebEnginePage::lifecycleStateChanged, this, [this](QWebEnginePage::LifecycleState state) {
        lifecycle_ = PageLifecycle(int(state));
        WatchProcess(); // a discarded page has none
    });
    connect(page, &QWebEnginePage::linkHovered, this, [this](const QString &u) { EmitStatus(u); });
    for (auto action : {QWebEnginePage::Back, QWebEnginePage::Forward})
        connect(page->action(action), &QAction::changed, this, [this] { ReportCommandStates(); });

    connect(page, &QWebEnginePage::authenticationRequired, this,
            [this](const QUrl &url, QAuthenticator *authenticator) {
                Authenticate(url, authenticator, QString());
            });
    connect(page, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl &url, QAuthenticator *authenticator, const QString &proxyHost) {
                Authenticate(url, authenticator, proxyHost);
            });
    connect(page, &QWebEnginePage::featurePermissionRequested, this, &WebEngineBrowser::AskFeature);
    connect(page, &QWebEnginePage::fullScreenRequested, this, &WebEngineBrowser::OnFullScreenRequest);
    // The host closes the window; the engine only asks.
    connect(page, &QWebEnginePage::windowCloseRequested, this, [this] { ReportWindowClosing(); });
    connect(page, &QWebEnginePage::findTextFinished, this, [this](const QWebEngineFindTextResult &result) {
        ReportFindResult(findText_, result.numberOfMatches());
    });
    connect(page, &QWebEnginePage::pdfPrintingFinished, this, [this](const QString &path, bool ok) {
        printing_ = false;
        if (ok && printMadeFile_)
            GiveNewFileMode(path);
        ReportPrintFinished(ok, ok ? QString() : QString::fromUtf8(engine::texts::kPdfFailed).arg(path));
    });
}

void WebEngineBrowser::WatchProcess()
{
    const qint64 pid = page_ ? page_->renderProcessPid() : 0;
    if (pid == watchedPid_)
        return;
    watchedPid_ = pid;
    if (pid > 0)
        renderPid_ = pid;
    MemoryWatch::Instance().Watch(this, pid);
}

void WebEngineBrowser::OnRenderProcessEnded(QWebEnginePage::RenderProcessTerminationStatus status)
{
    // A discarded page's process goes on purpose.
    if (status == QWebEnginePage::NormalTerminationStatus || lifecycle_ == PageLifecycle::Discarded)
        return;
    const engine::PageEnd why =
        MemoryWatch::Instance().EndedForMemory(renderPid_)  ? engine::PageEnd::OutOfMemory
        : status == QWebEnginePage::KilledTerminationStatus ? engine::PageEnd::Killed
                                                            : engine::PageEnd::Crashed;
    titleStale_ = true;
    PageProcessEnded(why);
}

void WebEngineBrowser::OnLoadFinished(bool ok)
{
    QPointer<WebEngineBrowser> self(this);
    // A finished load is reported as progress -1, as the Internet Explorer
    // control does, so the host's bar empties again.
    EmitProgress(-1);
    if (self)
        LoadEnded(ok);
    // Chromium keeps zoom per site; the chosen text size and page zoom stay
    // with the control.
    const qreal factor = engine::ZoomFactorForLevel(zoomLevel_) * pageZoom_;
    if (self && view_ && !qFuzzyCompare(view_->zoomFactor(), factor))
        view_->setZoomFactor(factor);
}

void WebEngineBrowser::Authenticate(const QUrl &url, QAuthenticator *authenticator, const QString &proxyHost)
{
    AuthenticationRequest request;
    request.url = url;
    request.proxy = !proxyHost.isEmpty();
    request.host = request.proxy ? proxyHost : engine::HostWithPort(url);
    request.realm = authenticator->realm();
    QString user, password;
    if (AskAuthentication(request, user, password)) {
        authenticator->setUser(user);
        authenticator->setPassword(password);
    } else {
        // A null authenticator cancels: the server's own answer shows.
        *authenticator = QAuthenticator();
    }
}

void WebEngineBrowser::AskFeature(const QUrl &origin, QWebEnginePage::Feature feature)
{
    QPointer<WebEnginePage> page = page_;
    bool granted = false;
    switch (feature) {
    case QWebEnginePage::Geolocation:
        granted = AskPermission(origin, PagePermission::Geolocation);
        break;
    case QWebEnginePage::Notifications:
        granted = AskPermission(origin, PagePermission::Notifications);
        break;
    case QWebEnginePage::MediaVideoCapture:
        granted = AskPermission(origin, PagePermission::Camera);
        break;
    case QWebEnginePage::MediaAudioCapture:
        granted = AskPermission(origin, PagePermission::Microphone);
        break;
    case QWebEnginePage::MediaAudioVideoCapture:
        granted = AskPermission(origin, PagePermission::CameraAndMicrophone);
        break;
    default: // pointer lock and screen capture are never offered
        break;
    }
    if (page)
        page->setFeaturePermission(origin, feature,
                                   granted ? QWebEnginePage::PermissionGrantedByUser
                                           : QWebEnginePage::PermissionDeniedByUser);
}

void WebEngineBrowser::OnFullScreenRequest(QWebEngineFullScreenRequest request)
{
    if (request.toggleOn()) {
        QPointer<WebEngineBrowser> self(this);
        const bool allowed = AskPermission(request.origin(), PagePermission::FullScreen);
        if (!self) {
            request.reject();
            return;
        }
        if (!allowed) {
            // A rejected request stays pending in the page, which can then
            // never ask again: grant it and leave at once, as an Esc would.
            request.accept();
            QPointer<WebEnginePage> page = page_;
            QTimer::singleShot(0, page, [page] { page->triggerAction(QWebEnginePage::ExitFullScreen); });
            return;
        }
    }
    request.accept();
    if (fullScreen_ != request.toggleOn()) {
        fullScreen_ = request.toggleOn();
        ReportFullScreen(fullScreen_);
    }
}

WebEngineBrowser::~WebEngineBrowser()
{
    Detach();
    MemoryWatch::Instance().Watch(this, 0);
    if (page_) {
        page_->Disown();
        disconnect(page_, nullptr, this, nullptr);
        for (auto action : {QWebEnginePage::Back, QWebEnginePage::Forward})
            disconnect(page_->action(action), nullptr, this, nullptr);
    }
    if (view_) {
        view_->removeEventFilter(this);
        ReleaseView(view_);
    }
}

QWidget *WebEngineBrowser::Control()
{
    return view_;
}

void WebEngineBrowser::SetLifecycle(PageLifecycle state)
{
    if (!page_ || state == lifecycle_)
        return;
    static_assert(int(QWebEnginePage::LifecycleState::Discarded) == int(PageLifecycle::Discarded));
    // QtWebEngine refuses to put a visible page to sleep; a covered window's
    // page still counts as visible, so it is told otherwise while it sleeps.
    if (state == PageLifecycle::Active) {
        page_->setLifecycleState(QWebEnginePage::LifecycleState::Active);
        page_->setVisible(view_ && view_->isVisible());
    } else {
        page_->setVisible(false);
        page_->setLifecycleState(QWebEnginePage::LifecycleState(int(state)));
    }
    lifecycle_ = PageLifecycle(int(page_->lifecycleState()));
}

void WebEngineBrowser::LookForSleepBlockers(std::function<void(uint32_t)> answer)
{
    if (!page_) {
        QTimer::singleShot(0, this, [answer] { answer(SLEEP_BLOCKER_UNKNOWN); });
        return;
    }
    const uint32_t audible = page_->recentlyAudible() ? uint32_t(SLEEP_BLOCKER_MEDIA) : 0u;
    page_->runJavaScript(QString::fromUtf8(engine::SleepBlockerScript), QWebEngineScript::MainWorld,
                         [answer, audible](const QVariant &bits) {
                             answer(bits.canConvert<int>() && bits.isValid()
                                        ? uint32_t(bits.toInt()) | audible
                                        : SLEEP_BLOCKER_UNKNOWN | audible);
                         });
}

void WebEngineBrowser::GoBack()
{
    SetLifecycle(PageLifecycle::Active);
    Trigger(page_.data(), QWebEnginePage::Back);
}

void WebEngineBrowser::GoForward()
{
    SetLifecycle(PageLifecycle::Active);
    Trigger(page_.data(), QWebEnginePage::Forward);
}

void WebEngineBrowser::Refresh()
{
    SetLifecycle(PageLifecycle::Active);
    Trigger(page_.data(), QWebEnginePage::Reload);
}

void WebEngineBrowser::Stop()
{
    DropRequest();
    Trigger(page_.data(), QWebEnginePage::Stop);
}

QString WebEngineBrowser::LocationURL() const
{
    return page_ ? page_->url().toString() : QString();
}

QString WebEngineBrowser::EngineName() const
{
    return QStringLiteral("QtWebEngine " QTWEBENGINEWIDGETS_VERSION_STR);
}

void WebEngineBrowser::Load(const QUrl &url)
{
    SetLifecycle(PageLifecycle::Active);
    if (page_) {
        StartRequest();
        page_->load(url);
    }
}

void WebEngineBrowser::ApplyZoom(qreal textFactor, qreal pageFactor)
{
    // QtWebEngine has no text-only zoom: the whole page scales.
    if (view_)
        view_->setZoomFactor(textFactor * pageFactor);
}

void WebEngineBrowser::WritePage(const QString &path)
{
    // Written asynchronously by the engine's own download of the page,
    // which the profile hands to WatchSave.
    if (page_)
        page_->save(path, SaveFormatFor(path));
}

void WebEngineBrowser::WatchSave(QWebEngineDownloadItem *item)
{
    // An interrupted save is not finished (it could be resumed) and says so
    // only through its state; either way the save is reported once.
    QPointer<WebEngineBrowser> self(this);
    auto reported = std::make_shared<bool>(false);
    auto report = [self, item, reported] {
        if (*reported || !self || !item->isFinished())
            return;
        *reported = true;
        // QtWebEngine reports a page it could not write as completed: the
        // file itself tells.
        const QFileInfo file(QDir(item->downloadDirectory()).filePath(item->downloadFileName()));
        const bool ok = item->state() == QWebEngineDownloadItem::DownloadCompleted && file.isFile();
        // A cancelled save is the user's choice and nothing to report.
        if (item->state() == QWebEngineDownloadItem::DownloadCancelled)
            return;
        self->ReportSaveFinished(ok, ok ? QString() : QString::fromUtf8(engine::texts::kSaveFailed));
    };
    connect(item, &QWebEngineDownloadItem::finished, this, report);
    connect(item, &QWebEngineDownloadItem::stateChanged, this, report);
}

void WebEngineBrowser::SavePageRequested(QWebEngineDownloadItem *item)
{
    QWidget *parent = view_ ? view_->window() : nullptr;
    const QString path = engine::ChooseSavePath(parent, QString(), SuggestedSaveName(), SaveFilter());
    if (path.isEmpty()) {
        item->cancel();
        return;
    }
    const QFileInfo target(path);
    item->setDownloadDirectory(target.absolutePath());
    item->setDownloadFileName(target.fileName());
    item->setSavePageFormat(SaveFormatFor(path));
    WatchSave(item);
    item->accept();
}

void WebEngineBrowser::ShowSource()
{
    if (!page_)
        return;
    QPointer<WebEngineBrowser> self(this);
    const QUrl url = page_->url();
    page_->toHtml([self, url](const QString &html) {
        if (!self)
            return;
        // A new window as a page asks for one, so the host's rules apply.
        auto *target = dynamic_cast<WebEngineBrowser *>(self->RequestNewWindow());
        if (!target || !target->page_)
            return;
        // The host learns the window's address as the source's name, not
        // as the text that shows it.
        const QString address = QStringLiteral("view-source:") + url.toString();
        QPointer<WebEnginePage> page = target->page_;
        if (target->RaiseBeforeNavigate(address) || !page)
            return;
        // Under a view-source address the engine shows the HTML as its
        // marked-up text, as its own source view does, and runs nothing.
        page->setHtml(html, QUrl(address));
    });
}

void WebEngineBrowser::Find(const FindRequest &request)
{
    if (!page_)
        return;
    // Another case rule for the same text starts a new search, so that the
    // engine counts the matches again.
    if (request.text.isEmpty() || request.matchCase != findMatchCase_)
        page_->findText(QString());
    findText_ = request.text;
    findMatchCase_ = request.matchCase;
    if (request.text.isEmpty()) {
        ReportFindResult(QString(), 0);
        return;
    }
    QWebEnginePage::FindFlags flags;
    if (request.backward)
        flags |= QWebEnginePage::FindBackward;
    if (request.matchCase)
        flags |= QWebEnginePage::FindCaseSensitively;
    // The engine counts the matches itself: findTextFinished answers.
    page_->findText(request.text, flags);
}

void WebEngineBrowser::Print(const PrintRequest &request)
{
    using namespace engine::texts;
    if (!page_)
        return;
    if (printing_) {
        ReportPrintFinished(false, QString::fromUtf8(kPrintBusy));
        return;
    }
    const auto orientation = request.landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    if (!request.outputFile.isEmpty()) {
        printing_ = true;
        // A file printed over keeps its permissions.
        printMadeFile_ = !QFileInfo::exists(request.outputFile);
        page_->printToPdf(request.outputFile,
                          QPageLayout(QPageSize(QPageSize::A4), orientation, QMarginsF(10, 10, 10, 10),
                                      QPageLayout::Millimeter));
        return;
    }
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    if (!request.printerName.isEmpty())
        printer->setPrinterName(request.printerName);
    if (!printer->isValid()) {
        ReportPrintFinished(false, QString::fromUtf8(kPrinterNotFound).arg(request.printerName));
        return;
    }
    printer->setPageOrientation(orientation);
    printer->setCopyCount(std::max(1, request.copies));
    printing_ = true;
    QPointer<WebEngineBrowser> self(this);
    // The printer has to live until the engine is done with it.
    page_->print(printer.get(), [self, printer](bool ok) {
        if (!self)
            return;
        self->printing_ = false;
        self->ReportPrintFinished(ok, ok ? QString() : QString::fromUtf8(kPrintFailed));
    });
}

void WebEngineBrowser::Copy()
{
    if (page_)
        page_->triggerAction(QWebEnginePage::Copy);
}

void WebEngineBrowser::AskToClose()
{
    // The page's handler runs; windowCloseRequested follows unless the user
    // stays, which the leave question answers.
    if (page_)
        page_->triggerAction(QWebEnginePage::RequestClose);
    else
        PageMayClose();
}

void WebEngineBrowser::SelectAll()
{
    if (!view_)
        return;
    // Select all does nothing unless the page has the focus, and the
    // renderer learns of a new focus only a moment after the widget gets it:
    // an unfocused view selects once the focus has arrived.
    const bool focused = view_->hasFocus() || (view_->focusProxy() && view_->focusProxy()->hasFocus());
    page_->triggerAction(QWebEnginePage::SelectAll);
    if (focused)
        return;
    view_->activateWindow();
    view_->setFocus();
    QPointer<WebEnginePage> page = page_;
    for (int delayMs : {50, 250})
        QTimer::singleShot(delayMs, page, [page] { page->triggerAction(QWebEnginePage::SelectAll); });
}

void WebEngineBrowser::ApplyHostOptions(const HostOptions &options)
{
    if (!view_ || !page_)
        return;
    view_->setContextMenuPolicy(options.noContext ? Qt::PreventContextMenu : Qt::DefaultContextMenu);
    AttachKeyBlocker();

    const uint32_t dl = options.downloadControl;
    QWebEngineSettings *settings = page_->settings();
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, (dl & DLCTL_DLIMAGES) != 0);
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, !(dl & DLCTL_NO_SCRIPTS));
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, !(dl & DLCTL_NO_RUNACTIVEXCTLS));
    // Videos have no switch here, nor Java, nor any of the download-only,
    // cache, frame, offline and client-pull flags. Without background
    // sounds the page is muted, the nearest counterpart.
    page_->setAudioMuted(!(dl & DLCTL_BGSOUNDS));

    // DOCHOSTUIFLAG_SCROLL_NO hides the scroll bars. NO3DBORDER has nothing
    // to remove (the view draws no border), and DISABLE_SCRIPT_INACTIVE,
    // OVERRIDEBEHAVIORFACTORY and ENABLE_FORMS_AUTOCOMPLETE have no
    // counterpart in QtWebEngine.
    settings->setAttribute(QWebEngineSettings::ShowScrollBars,
                           !(options.hostFlags & DOCHOSTUIFLAG_SCROLL_NO));
    // A page may ask for full screen; the host answers (AskPermission).
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
}

QString WebEngineBrowser::SuggestedSaveName() const
{
    const QString title = page_ ? page_->title() : QString();
    QString name = title.isEmpty() ? QStringLiteral("page") : title;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name + QStringLiteral(".html");
}

QString WebEngineBrowser::SaveFilter() const
{
    return QString::fromUtf8(engine::texts::kSaveFilterHtmlAndArchive);
}

bool WebEngineBrowser::eventFilter(QObject *watched, QEvent *event)
{
    // The render widget that takes the keys is replaced on the first load
    // and whenever the renderer process changes; follow it.
    if (watched == viewObject_ && event->type() == QEvent::ChildAdded) {
        QObject *child = static_cast<QChildEvent *>(event)->child();
        if (child && child->isWidgetType())
            child->installEventFilter(keyBlocker_);
        QMetaObject::invokeMethod(
            this, [this] { AttachKeyBlocker(); }, Qt::QueuedConnection);
    }
    // Ctrl and the wheel zoom the page: the host decides by how much.
    if (event->type() == QEvent::Wheel && watched != view_) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            wheelRest_ += wheel->angleDelta().y();
            const int steps = wheelRest_ / 120;
            wheelRest_ -= steps * 120;
            if (steps != 0)
                ReportZoomWheel(steps);
            return true;
        }
    }
    // Esc leaves full screen, before any shortcut of the host sees it.
    if (fullScreen_ && page_ &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        event->accept();
        if (event->type() == QEvent::KeyPress)
            page_->triggerAction(QWebEnginePage::ExitFullScreen);
        return true;
    }
    return engine::BrowserBase::eventFilter(watched, event);
}

void WebEngineBrowser::AttachKeyBlocker()
{
    if (!view_)
        return;
    view_->installEventFilter(keyBlocker_);
    if (QWidget *proxy = view_->focusProxy()) {
        proxy->installEventFilter(keyBlocker_);
        proxy->installEventFilter(this);
    }
}

void WebEngineBrowser::ReportCommandStates()
{
    if (!page_)
        return;
    UpdateCommandStates(page_->action(QWebEnginePage::Back)->isEnabled(),
                        page_->action(QWebEnginePage::Forward)->isEnabled());
}

} // namespace orvex::webengine

extern "C" __attribute__((visibility("default"))) orvex::WebBrowser2 *OrvexCreateWebBrowser(QWidget *parent)
{
    return new orvex::webengine::WebEngineBrowser(parent);
}
