#include "EngineBase.h"

#include "EngineTexts.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <stdexcept>
#include <unistd.h>

namespace orvex::engine {

namespace {

// How long a catcher waits for its first navigation before it takes the
// request for a window.open('') of an empty page.
constexpr int kBlankCatchDelayMs = 300;
// How long a request counts as busy without the engine telling a load began.
constexpr int kRequestWaitMs = 1500;
// How long the answer "stay" to a close request waits (see AskPageDialog).
constexpr int kStayAnswerDelayMs = 300;

} // namespace

const char *const SleepWatchScript = R"JS((function () {
    if (window.__orvexLeaveHandlers !== undefined)
        return;
    var handlers = 0;
    var add = EventTarget.prototype.addEventListener;
    var remove = EventTarget.prototype.removeEventListener;
    EventTarget.prototype.addEventListener = function (type) {
        if (this === window && type === 'beforeunload')
            ++handlers;
        return add.apply(this, arguments);
    };
    EventTarget.prototype.removeEventListener = function (type) {
        if (this === window && type === 'beforeunload' && handlers > 0)
            --handlers;
        return remove.apply(this, arguments);
    };
    Object.defineProperty(window, '__orvexLeaveHandlers', { get: function () { return handlers; } });
})();)JS";

const char *const SleepBlockerScript = R"JS((function () {
    var bits = 0;
    var fields = document.querySelectorAll('input, textarea, select');
    for (var i = 0; i < fields.length && !(bits & 1); ++i) {
        var f = fields[i];
        if (f.tagName === 'SELECT') {
            var first = 0; // a single choice shows its last preset, else its first option
            for (var j = 0; j < f.options.length; ++j) {
                if (f.options[j].defaultSelected)
                    first = j;
                if (f.multiple && f.options[j].selected !== f.options[j].defaultSelected)
                    bits |= 1;
            }
            if (!f.multiple && f.options.length && f.selectedIndex !== first)
                bits |= 1;
        } else if (f.type === 'checkbox' || f.type === 'radio') {
            if (f.checked !== f.defaultChecked)
                bits |= 1;
        } else if (!/^(hidden|submit|button|reset|image|file)$/.test(f.type) && f.value !== f.defaultValue) {
            bits |= 1;
        }
    }
    if (window.onbeforeunload || window.__orvexLeaveHandlers > 0)
        bits |= 2;
    var media = document.querySelectorAll('audio, video');
    for (var k = 0; k < media.length; ++k)
        if (!media[k].paused && !media[k].ended)
            bits |= 4;
    return bits;
})())JS";

qreal ZoomFactorForLevel(int level)
{
    static const qreal factors[] = {0.6, 0.8, 1.0, 1.3, 1.6};
    if (level < 0 || level > 4)
        throw std::runtime_error("text size " + std::to_string(level) + " is out of range 0..4");
    return factors[level];
}

QUrl AddressToUrl(const QString &address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return QUrl(QStringLiteral("about:blank"));
    // A plain path given to load() silently shows about:blank.
    if (text.startsWith(QLatin1Char('/')) && QFileInfo::exists(text))
        return QUrl::fromLocalFile(text);
    // A relative name of an existing file in the working directory opens
    // that file; anything else is read as a web address.
    QUrl url = QUrl::fromUserInput(text, QDir::currentPath());
    if (!url.isValid())
        throw std::runtime_error(QString::fromUtf8(texts::kInvalidAddress).arg(address).toStdString());
    return url;
}

QString HostWithPort(const QUrl &url)
{
    return url.port() < 0 ? url.host() : url.host() + QLatin1Char(':') + QString::number(url.port());
}

int PageMemoryLimitMb()
{
    bool given = false;
    const int wanted = qEnvironmentVariableIntValue("ORVEX_PAGE_MEMORY_LIMIT_MB", &given);
    if (given && wanted > 0)
        return wanted;
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    const qint64 physicalMb = pages > 0 && pageSize > 0 ? qint64(pages) * pageSize / (1024 * 1024) : 4096;
    return int(std::clamp<qint64>(physicalMb / 4, 1024, 2048));
}

ConnectionSecurity SecurityOf(const QUrl &url, bool accepted)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https") || scheme == QLatin1String("wss"))
        return accepted ? ConnectionSecurity::CertificateException : ConnectionSecurity::Secure;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("ws"))
        return ConnectionSecurity::Insecure;
    return ConnectionSecurity::None;
}

QString ChooseSavePath(QWidget *parent, const QString &given, const QString &suggestedName,
                       const QString &filter)
{
    if (!given.isEmpty())
        return given;
    const QByteArray scripted = qgetenv("ORVEX_SAVEAS_PATH");
    if (!scripted.isEmpty())
        return QString::fromLocal8Bit(scripted);
    return QFileDialog::getSaveFileName(parent, QString::fromUtf8(texts::kSaveAsTitle), suggestedName,
                                        filter);
}

bool AcceleratorBlocker::eventFilter(QObject *watched, QEvent *event)
{
    if (blocking) {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto modifiers = static_cast<QKeyEvent *>(event)->modifiers();
            if (modifiers & (Qt::ControlModifier | Qt::AltModifier))
                return true;
            break;
        }
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

BrowserBase::BrowserBase() : keyBlocker_(new AcceleratorBlocker(this))
{
    catchTimer_.setSingleShot(true);
    catchTimer_.setInterval(kBlankCatchDelayMs);
    connect(&catchTimer_, &QTimer::timeout, this,
            [this] { RaiseBeforeNavigate(QStringLiteral("about:blank")); });
    requestTimer_.setSingleShot(true);
    requestTimer_.setInterval(kRequestWaitMs);
    connect(&requestTimer_, &QTimer::timeout, this, [this] { RequestLapsed(); });
}

BrowserBase::~BrowserBase()
{
    Detach();
}

void BrowserBase::SetHostOptions(const HostOptions &options)
{
    options_ = options;
    keyBlocker_->blocking = !options.enableAccelerator;
    ApplyHostOptions(options);
}

void BrowserBase::Navigate(const QString &url)
{
    Load(AddressToUrl(url));
}

void BrowserBase::Zoom(int level)
{
    ApplyZoom(ZoomFactorForLevel(level), pageZoom_);
    zoomLevel_ = level;
}

void BrowserBase::SaveTo(const QString &path)
{
    QWidget *parent = Control() ? Control()->window() : nullptr;
    const QString chosen = ChooseSavePath(parent, path, SuggestedSaveName(), SaveFilter());
    if (!chosen.isEmpty())
        WritePage(chosen);
}

// Find and Print are built per engine; until an engine has them they fail
// with a message rather than pretend to work.
void BrowserBase::Find(const FindRequest &)
{
    throw std::runtime_error(texts::kFindUnsupported);
}

void BrowserBase::Print(const PrintRequest &)
{
    throw std::runtime_error(texts::kPrintUnsupported);
}

QString BrowserBase::SuggestedSaveName() const
{
    return QString();
}

QString BrowserBase::SaveFilter() const
{
    return QString::fromUtf8(texts::kSaveFilterHtml);
}

void BrowserBase::EmitStatus(const QString &text)
{
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnStatusTextChange(text);
    }
}

void BrowserBase::EmitProgress(int progress)
{
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnProgressChange(progress, 100);
    }
}

void BrowserBase::EmitTitle(const QString &title)
{
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnTitleChange(title);
    }
}

void BrowserBase::EmitCommandState(int command, bool enable)
{
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnCommandStateChange(command, enable);
    }
}

void BrowserBase::UpdateCommandStates(bool backEnabled, bool forwardEnabled, bool always)
{
    // Engines report spurious disable/enable pairs (a right click); between
    // navigations only real changes reach the host.
    QPointer<BrowserBase> self(this);
    if (always || backEnabled != backEnabled_) {
        backEnabled_ = backEnabled;
        EmitCommandState(CSC_NAVIGATEBACK, backEnabled);
    }
    if (self && (always || forwardEnabled != forwardEnabled_)) {
        forwardEnabled_ = forwardEnabled;
        EmitCommandState(CSC_NAVIGATEFORWARD, forwardEnabled);
    }
}

void BrowserBase::LoadBegan(bool backEnabled, bool forwardEnabled)
{
    QPointer<BrowserBase> self(this);
    const bool wasBusy = busy_;
    busy_ = true;
    requestTimer_.stop();
    if (crashPage_)
        crashPage_->hide();
    if (!wasBusy) {
        if (WebBrowserEvents *sink = sink_) {
            DeliveryScope scope;
            sink->OnDownloadBegin();
        }
    }
    if (self)
        UpdateCommandStates(backEnabled, forwardEnabled, true);
}

void BrowserBase::ReportConnection(const QUrl &url, bool certificateAccepted)
{
    const ConnectionSecurity security = SecurityOf(url, certificateAccepted);
    const QString host = security == ConnectionSecurity::None ? QString() : url.host();
    if (connectionReported_ && security == connection_ && host == connectionHost_)
        return;
    connectionReported_ = true;
    connection_ = security;
    connectionHost_ = host;
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnConnectionChange(security, host);
    }
}

void BrowserBase::PageProcessEnded(PageEnd why)
{
    QWidget *control = Control();
    if (!control)
        return;
    if (!crashPage_)
        crashPage_ = new CrashPage(control, [self = QPointer<BrowserBase>(this)] {
            if (self)
                self->Refresh();
        });
    crashPage_->Show(LocationURL(), why);
    QPointer<BrowserBase> self(this);
    LoadEnded(false);
    if (self)
        EmitTitle(QString::fromUtf8(texts::kPageEndedTitle));
}

void BrowserBase::LoadEnded(bool ok)
{
    if (!busy_)
        return;
    busy_ = false;
    QPointer<BrowserBase> self(this);
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnDocumentComplete(LocationURL(), ok);
    }
    if (!self)
        return;
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnDownloadComplete();
    }
}

bool BrowserBase::AskPageDialog(const PageDialogRequest &request, QString *text)
{
    WebBrowserEvents *sink = sink_;
    if (!sink)
        return false;
    QPointer<BrowserBase> alive(this);
    bool answer = false;
    {
        DeliveryScope scope;
        answer = sink->OnPageDialog(request, text);
    }
    // Staying on a page that was asked to close answers the request, once
    // the engine has had a moment to take the answer to its page: a new
    // request sent while the page still finishes the old question is
    // dropped by the engine, unanswered. Leaving is answered when the
    // engine closes the page.
    // The request is answered from here: a late close from the engine is
    // not taken for leaving.
    if (alive && request.kind == PageDialogKind::BeforeUnload && !answer && closeRequested_) {
        closeRequested_ = false;
        QTimer::singleShot(kStayAnswerDelayMs, this, [this] { ReportCloseAnswer(false); });
    }
    return answer;
}

void BrowserBase::RequestClose()
{
    closeRequested_ = true;
    AskToClose();
}

void BrowserBase::PageMayClose()
{
    if (closeRequested_)
        ReportCloseAnswer(true);
}

void BrowserBase::ReportCloseAnswer(bool mayClose)
{
    closeRequested_ = false;
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnCloseAnswer(mayClose);
    }
}

bool BrowserBase::AskAuthentication(const AuthenticationRequest &request, QString &user, QString &password)
{
    WebBrowserEvents *sink = sink_;
    if (!sink)
        return false;
    DeliveryScope scope;
    return sink->OnAuthenticate(request, user, password);
}

bool BrowserBase::AskCertificateError(const CertificateErrorInfo &error)
{
    WebBrowserEvents *sink = sink_;
    if (!sink)
        return false;
    DeliveryScope scope;
    return sink->OnCertificateError(error);
}

QStringList BrowserBase::AskFiles(const FileChooserRequest &request)
{
    WebBrowserEvents *sink = sink_;
    if (!sink)
        return QStringList();
    DeliveryScope scope;
    return sink->OnChooseFiles(request);
}

bool BrowserBase::AskPermission(const QUrl &origin, PagePermission permission)
{
    WebBrowserEvents *sink = sink_;
    if (!sink)
        return false;
    DeliveryScope scope;
    return sink->OnPermissionRequest(origin, permission);
}

void BrowserBase::ReportFullScreen(bool fullScreen)
{
    fullScreen_ = fullScreen;
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnFullScreenChange(fullScreen);
    }
}

void BrowserBase::QuerySleepBlockers(std::function<void(uint32_t)> answer)
{
    std::weak_ptr<bool> alive = alive_;
    auto deliver = [this, alive, answer](uint32_t blockers) {
        if (alive.expired())
            return;
        if (fullScreen_)
            blockers |= SLEEP_BLOCKER_FULLSCREEN;
        lastBlockers_ = blockers;
        DeliveryScope scope;
        answer(blockers);
    };
    if (lifecycle_ != PageLifecycle::Active)
        QTimer::singleShot(0, this, [deliver, blockers = lastBlockers_] { deliver(blockers); });
    else
        LookForSleepBlockers(deliver);
}

void BrowserBase::HandOverDownload(Download *download)
{
    WebBrowserEvents *sink = sink_;
    if (!sink) {
        download->Cancel();
        delete download;
        return;
    }
    DeliveryScope scope;
    sink->OnFileDownload(download);
}

void BrowserBase::ReportFindResult(const QString &text, int matches)
{
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnFindResult(text, matches);
    }
}

void BrowserBase::ReportPrintFinished(bool ok, const QString &error)
{
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnPrintFinished(ok, error);
    }
}

void BrowserBase::ReportSaveFinished(bool ok, const QString &error)
{
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnSaveFinished(ok, error);
    }
}

void BrowserBase::ReportWindowClosing()
{
    // The engines close a page the same way whether a script asked or the
    // page agreed to a close request: the pending request takes it.
    if (closeRequested_) {
        ReportCloseAnswer(true);
        return;
    }
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnWindowClosing();
    }
}

void BrowserBase::ReportZoomWheel(int steps)
{
    if (WebBrowserEvents *sink = sink_) {
        DeliveryScope scope;
        sink->OnZoomWheel(steps);
    }
}

void BrowserBase::SetZoomFactor(double factor)
{
    if (!(factor > 0.0) || factor > 10.0)
        throw std::runtime_error("zoom factor out of range");
    pageZoom_ = factor;
    ApplyZoom(ZoomFactorForLevel(zoomLevel_), pageZoom_);
}

WebBrowser2 *BrowserBase::RequestNewWindow()
{
    WebBrowserEvents *sink = sink_;
    if (!sink)
        return nullptr;
    WebBrowser2 *target = nullptr;
    bool cancel = false;
    {
        DeliveryScope scope;
        sink->OnNewWindow2(target, cancel);
    }
    return cancel ? nullptr : target;
}

bool BrowserBase::RaiseBeforeNavigate(const QString &url)
{
    catchTimer_.stop();
    WebBrowserEvents *sink = sink_;
    if (!sink)
        return false;
    bool cancel = false;
    DeliveryScope scope;
    sink->OnBeforeNavigate2(url, cancel);
    return cancel;
}

void BrowserBase::BeginCatch()
{
    catchTimer_.start();
}

void BrowserBase::ReleaseView(QWidget *view)
{
    if (!view)
        return;
    if (DeliveryScope::Active()) {
        view->hide();
        view->setParent(nullptr);
        view->deleteLater();
    } else {
        delete view;
    }
}

} // namespace orvex::engine

extern "C" __attribute__((visibility("default"))) int OrvexContractVersion()
{
    return orvex::EngineContractVersion;
}
