// The engine contract: what Orvex asks of a browser engine and what the
// engine reports back. Both engines are loadable modules (iexplore.so on
// QtWebEngine, mozctl.so on WebKitGTK) that export a contract version, a
// set-up function and one factory; the program itself links neither engine.
// Nothing engine-specific crosses this interface: plain Qt value types in and
// out, one widget to embed.
//
// Besides the IWebBrowser2 operations and events of the Windows design, the
// contract carries the services the Windows engine controls brought with
// them (downloads, page dialogs, sign-in, certificate warnings, file upload,
// permissions, find, print). The engine asks; the host answers with its own
// Japanese dialogs. Every question has a refusing default, so a sink that
// does not care (the new-window catcher) refuses safely.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

class QWidget;

namespace orvex {

// ExecWB command identifiers and execution options (the published values),
// for the design's calls through WebBrowser2::ExecWB.
enum OLECMDID : int {
    OLECMDID_SAVEAS = 4,
    OLECMDID_COPY = 12,
    OLECMDID_SELECTALL = 17,
    OLECMDID_ZOOM = 19,
};

enum OLECMDEXECOPT : int {
    OLECMDEXECOPT_DODEFAULT = 0,
    OLECMDEXECOPT_PROMPTUSER = 1,
    OLECMDEXECOPT_DONTPROMPTUSER = 2,
    OLECMDEXECOPT_SHOWHELP = 3,
};

// OnCommandStateChange command values.
enum CommandStateId : int {
    CSC_NAVIGATEFORWARD = 1,
    CSC_NAVIGATEBACK = 2,
};

// Host flags (DOCHOSTUIFLAG_*) an engine may honour.
enum DocHostUIFlag : uint32_t {
    DOCHOSTUIFLAG_NO3DBORDER = 0x4,
    DOCHOSTUIFLAG_SCROLL_NO = 0x8,
    DOCHOSTUIFLAG_DISABLE_SCRIPT_INACTIVE = 0x10,
    DOCHOSTUIFLAG_OVERRIDEBEHAVIORFACTORY = 0x400,
    DOCHOSTUIFLAG_ENABLE_FORMS_AUTOCOMPLETE = 0x4000,
};

// Download-control flags (DLCTL_*), the ambient property of the IE host.
enum DownloadControlFlag : uint32_t {
    DLCTL_DLIMAGES = 0x10,
    DLCTL_VIDEOS = 0x20,
    DLCTL_BGSOUNDS = 0x40,
    DLCTL_NO_SCRIPTS = 0x80,
    DLCTL_NO_JAVA = 0x100,
    DLCTL_NO_RUNACTIVEXCTLS = 0x200,
    DLCTL_NO_DLACTIVEXCTLS = 0x400,
    DLCTL_DOWNLOADONLY = 0x800,
    DLCTL_NO_FRAMEDOWNLOAD = 0x1000,
    DLCTL_RESYNCHRONIZE = 0x2000,
    DLCTL_PRAGMA_NO_CACHE = 0x4000,
    DLCTL_FORCEOFFLINE = 0x10000000,
    DLCTL_NO_CLIENTPULL = 0x20000000,
    DLCTL_SILENT = 0x40000000,
    DLCTL_OFFLINE = 0x80000000,
};

class WebBrowser2;

// ---- Services the engine asks the host for ----

// window.alert / confirm / prompt and the "leave this page?" question.
enum class PageDialogKind { Alert, Confirm, Prompt, BeforeUnload };

struct PageDialogRequest {
    PageDialogKind kind = PageDialogKind::Alert;
    QUrl origin;         // the page that asks; its host titles the box
    QString message;     // the page's text (empty for BeforeUnload in most engines)
    QString defaultText; // Prompt only
};

// An HTTP (basic, digest) or proxy server asks who the user is.
struct AuthenticationRequest {
    QUrl url;      // the address being loaded
    QString host;  // the server (or proxy) asking, with ":port" when not the default
    QString realm; // the server's realm text
    bool proxy = false;
};

// The server's certificate could not be trusted.
struct CertificateErrorInfo {
    QUrl url;
    QString host;
    QString description; // the engine's reason, as it gives it
};

// <input type=file>.
struct FileChooserRequest {
    QUrl origin;
    bool multiple = false;
    QStringList acceptedTypes; // MIME types or extensions the page names
};

// What a page may ask to use; denied unless the user allows it.
enum class PagePermission { Geolocation, Notifications, Camera, Microphone, CameraAndMicrophone, FullScreen };

// One file transfer. The engine creates it and hands it to the host, which
// owns it from then on (and may delete it at any time: deleting a transfer
// that is still running cancels it). A transfer goes on when the page that
// started it is closed.
class DownloadEvents;

class Download {
public:
    virtual ~Download() = default;
    virtual QUrl Url() const = 0;
    virtual QString SuggestedFileName() const = 0; // the server's name, else one from the address
    virtual QString MimeType() const = 0;
    virtual qint64 TotalBytes() const = 0; // -1 when the server did not say
    virtual qint64 ReceivedBytes() const = 0;
    virtual void SetEvents(DownloadEvents *events) = 0;
    // Writes the transfer to `path` (a full file name the host chose; the
    // host renames it when it is complete). Besides `path` the engine may
    // use a temporary file beside it ("<path>.download") that it renames or
    // removes itself.
    virtual void Start(const QString &path) = 0;
    // Stops the transfer and removes what was written to the path.
    virtual void Cancel() = 0;
};

class DownloadEvents {
public:
    virtual ~DownloadEvents() = default;
    virtual void OnDownloadProgress(qint64 received, qint64 total) = 0;
    // Once, at the end: ok, or the reason it failed or was cancelled.
    virtual void OnDownloadFinished(bool ok, const QString &error) = 0;
};

// Find in page.
struct FindRequest {
    QString text; // empty clears the highlighting
    bool backward = false;
    bool matchCase = false;
};

// Print: to a printer by name, or to a PDF file when outputFile is set.
struct PrintRequest {
    QString printerName;
    QString outputFile;
    bool landscape = false;
    int copies = 1;
};

// How the page shown reached the program, for the address box's indicator.
enum class ConnectionSecurity {
    None,                 // no connection: a local file, about:blank, the engine's own pages
    Secure,               // https, with a certificate the engine trusts
    Insecure,             // plain http: anyone on the way can read and change it
    CertificateException, // https, with a certificate the user chose to accept anyway
};

// The event sink. Every event arrives on the user-interface thread.
class WebBrowserEvents {
public:
    virtual ~WebBrowserEvents() = default;
    virtual void OnStatusTextChange(const QString &text) = 0;
    virtual void OnProgressChange(int progress, int progressMax) = 0;
    virtual void OnCommandStateChange(int command, bool enable) = 0;
    virtual void OnTitleChange(const QString &text) = 0;
    // A page asks for a new window. The host may set ppDisp to the automation
    // object of a control of the same engine (a catcher); the engine then
    // loads the requested page there, as the opener's own new window (its
    // opener, a form's POST, what the opener writes), and the host may show
    // that control as the new window. Leaving it null, or Cancel = true,
    // refuses the window.
    virtual void OnNewWindow2(WebBrowser2 *&ppDisp, bool &cancel) = 0;
    // A navigation is about to begin in this control. Cancel = true stops it
    // before any request is sent.
    virtual void OnBeforeNavigate2(const QString &url, bool &cancel) = 0;

    // DownloadBegin (106) and DownloadComplete (104) of the IE control: the
    // page starts loading, and is done loading (finished, failed or stopped).
    // Every Begin is followed by one Complete.
    virtual void OnDownloadBegin() {}
    virtual void OnDownloadComplete() {}
    // DocumentComplete (259): a page's load ended with `url` shown; ok is
    // false when it failed or was stopped (the engine's error page shows).
    virtual void OnDocumentComplete(const QString &url, bool ok)
    {
        (void)url;
        (void)ok;
    }

    // ---- host services; the defaults refuse ----

    // Returns the user's answer: OK / leave (true) or Cancel / stay (false);
    // for Prompt, *text receives the text entered. Alert ignores the answer.
    virtual bool OnPageDialog(const PageDialogRequest &request, QString *text)
    {
        (void)request;
        (void)text;
        return false;
    }
    // true with user and password filled in: try them; false: cancel, and
    // the server's own answer (its 401 page) shows.
    virtual bool OnAuthenticate(const AuthenticationRequest &request, QString &user, QString &password)
    {
        (void)request;
        (void)user;
        (void)password;
        return false;
    }
    // true: load the page anyway; false: refuse (the engine shows its error page).
    virtual bool OnCertificateError(const CertificateErrorInfo &error)
    {
        (void)error;
        return false;
    }
    // The files the user chose; empty when cancelled.
    virtual QStringList OnChooseFiles(const FileChooserRequest &request)
    {
        (void)request;
        return QStringList();
    }
    virtual bool OnPermissionRequest(const QUrl &origin, PagePermission permission)
    {
        (void)origin;
        (void)permission;
        return false;
    }
    // After a FullScreen permission was granted, and when the page leaves
    // full screen: the host shows the control full screen or puts it back.
    virtual void OnFullScreenChange(bool fullScreen) { (void)fullScreen; }
    // A response to save instead of show (a download link, a type the engine
    // cannot show, "save link as"). The host owns `download` and decides
    // before it returns: Start (after a modal save dialog, say) or Cancel; a
    // transfer left undecided is refused. The default refuses it.
    virtual void OnFileDownload(Download *download)
    {
        download->Cancel();
        delete download;
    }
    // The answer to Find: how many matches the page holds (0 when none).
    virtual void OnFindResult(const QString &text, int matches) { (void)text, (void)matches; }
    // The answer to Print.
    virtual void OnPrintFinished(bool ok, const QString &error) { (void)ok, (void)error; }
    // The answer to SaveTo, once the file is written whole (ok) or the save
    // failed: `error` is the Japanese message to show.
    virtual void OnSaveFinished(bool ok, const QString &error) { (void)ok, (void)error; }
    // The answer to RequestClose: true when the page may close (it has no
    // "leave this page?" handler, or the user chose to leave), false when
    // the user chose to stay. The page is left as it was either way.
    virtual void OnCloseAnswer(bool mayClose) { (void)mayClose; }
    // The connection of the page shown, with its host: when a page is shown
    // and when its state changes (a certificate accepted).
    virtual void OnConnectionChange(ConnectionSecurity security, const QString &host)
    {
        (void)security, (void)host;
    }
    // WindowClosing of the IE control: a script closes this window (the
    // page itself, or the opener of a window it opened). The host closes
    // the window; the default leaves it open.
    virtual void OnWindowClosing() {}
    // The wheel turned over the page with Ctrl held, `steps` notches away
    // from the user (negative: towards). The engine zooms nothing itself;
    // the host decides through SetZoomFactor.
    virtual void OnZoomWheel(int steps) { (void)steps; }
};

// A page out of sight may sleep. Frozen: its scripts and timers stop and
// nothing reloads. Discarded: the engine gives the page's memory back and
// keeps its address, history and scroll position; the page reloads from them
// when it is made Active again. The control, its widget and its sink stay.
enum class PageLifecycle { Active, Frozen, Discarded };

// What a page would lose if it slept now (bits of the QuerySleepBlockers answer).
enum SleepBlocker : uint32_t {
    SLEEP_BLOCKER_FORM_INPUT = 0x1,   // text typed into a form and not submitted
    SLEEP_BLOCKER_BEFOREUNLOAD = 0x2, // a "leave this page?" handler
    SLEEP_BLOCKER_MEDIA = 0x4,        // audio or video playing
    SLEEP_BLOCKER_FULLSCREEN = 0x8,
    SLEEP_BLOCKER_UNKNOWN = 0x10, // the engine could not look into the page
};

// Host options of the IE control (see UIWebBrowser.h); engines apply what
// they have a counterpart for.
struct HostOptions {
    bool enableAccelerator = true; // false: Ctrl/Alt keys never reach the page
    bool noContext = false;        // true: no context menu
    uint32_t hostFlags = DOCHOSTUIFLAG_ENABLE_FORMS_AUTOCOMPLETE;
    uint32_t downloadControl = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS;
};

// One engine control: IWebBrowser2 in the Windows design. It is also the
// automation object handed to another control as the target of a new window.
class WebBrowser2 {
public:
    virtual ~WebBrowser2() = default;

    virtual QWidget *Control() = 0; // the widget to place in a window
    virtual void SetEvents(WebBrowserEvents *sink) = 0;
    virtual void SetHostOptions(const HostOptions &options) = 0;

    // Operations. A failure throws std::runtime_error with the message.
    virtual void Navigate(const QString &url) = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Refresh() = 0;
    virtual void Stop() = 0;
    virtual QString LocationURL() const = 0;
    virtual bool Busy() const = 0;

    // The engine's name and version ("QtWebEngine", "5.15.13").
    virtual QString EngineName() const = 0;

    // Find in page; the answer comes as OnFindResult.
    virtual void Find(const FindRequest &request) = 0;
    // Print the page; the answer comes as OnPrintFinished.
    virtual void Print(const PrintRequest &request) = 0;
    // Asks the page whether it may close: its "leave this page?" handler
    // runs, and asks the user through OnPageDialog (BeforeUnload) when it
    // wants to. The answer comes as OnCloseAnswer, later or before this
    // returns; the control itself is never closed by it.
    virtual void RequestClose() = 0;

    // The page commands.
    // Text size 0 (smallest) to 4 (largest), 2 by default; throws outside
    // 0..4 and keeps the size it had. It stays for the control's later pages.
    virtual void Zoom(int level) = 0;
    virtual int ZoomLevel() const = 0;
    // Saves the page shown to `path`: ".mht"/".mhtml" the page with its
    // images and style sheets in one file, else its HTML. An empty path asks
    // the user in the engine's save dialog (nothing happens when cancelled).
    // Throws when there is nothing to save; the end comes as OnSaveFinished.
    virtual void SaveTo(const QString &path) = 0;
    // The selection to the clipboard; the whole page selected.
    virtual void Copy() = 0;
    virtual void SelectAll() = 0;

    // Page zoom: the whole page scales by `factor` (1 = 100 %), its layout
    // width in CSS pixels shrinking as it grows; it stays for the control's
    // later pages. The text size (Zoom) works beside it.
    virtual void SetZoomFactor(double factor) = 0;
    virtual double ZoomFactor() const = 0;

    // Sleeping pages (see PageLifecycle). Navigate, GoBack, GoForward and
    // Refresh wake a sleeping page first.
    virtual void SetLifecycle(PageLifecycle state) = 0;
    virtual PageLifecycle Lifecycle() const = 0;
    // Answers, later and on the user-interface thread, with the SleepBlocker
    // bits of what the page would lose now; never after the control is gone.
    virtual void QuerySleepBlockers(std::function<void(uint32_t blockers)> answer) = 0;

    // The design's command multiplexer, kept for its calls: the published
    // OLECMDID values onto the page commands above. SAVEAS takes a file
    // name as input (else the user chooses one); ZOOM takes the text size as
    // input and gives the size as output. Other commands throw.
    void ExecWB(int cmdID, int cmdexecopt, const QVariant &in = QVariant(), QVariant *out = nullptr);
};

inline void WebBrowser2::ExecWB(int cmdID, int cmdexecopt, const QVariant &in, QVariant *out)
{
    switch (cmdID) {
    case OLECMDID_SAVEAS:
        SaveTo(in.type() == QVariant::String ? in.toString() : QString());
        break;
    case OLECMDID_COPY:
        Copy();
        break;
    case OLECMDID_SELECTALL:
        SelectAll();
        break;
    case OLECMDID_ZOOM:
        if (in.isValid()) {
            bool ok = false;
            const int level = in.toInt(&ok);
            if (!ok)
                throw std::runtime_error("text size is not a number");
            Zoom(level);
        }
        if (out)
            *out = ZoomLevel();
        break;
    default:
        throw std::runtime_error("unsupported command " + std::to_string(cmdID) + " (option " +
                                 std::to_string(cmdexecopt) + ")");
    }
}

// Given to a module once, before its first control: where it keeps its
// profile and which language it speaks.
struct EngineEnvironment {
    // The data folder, with its trailing "/". The module keeps cookies,
    // cache and local storage in a folder of its own inside it, so two
    // copies of the program with different data folders never share them.
    QString dataFolder;
    QString locale = QStringLiteral("ja");             // context menus, error pages
    QString acceptLanguages = QStringLiteral("ja,en"); // the Accept-Language of requests
};

// The version of this contract. A module exports the version it was built
// for; the loader refuses a module of another version.
inline constexpr int EngineContractVersion = 5;

// The functions each engine module exports.
extern "C" {
typedef int (*ContractVersionFn)();
typedef void (*SetupEngineFn)(const EngineEnvironment *environment);
typedef WebBrowser2 *(*CreateWebBrowserFn)(QWidget *parent);
// Optional: makes ready what every control of the engine needs (a toolkit to
// start, a profile to open), so that a host can do it in a turn of its event
// loop of its own before the first control. Reports nothing: what failed is
// reported when the control is made.
typedef void (*WarmEngineFn)();
// Optional: called once, on the thread that maps the module ahead of its
// first use, right after mapping it. Starts what may start off the
// user-interface thread (a toolkit's connection to the display) while that
// thread builds the main window; whatever the user-interface thread later
// needs of it, the module waits for there. Reports nothing.
typedef void (*StartEngineEarlyFn)();
}
inline constexpr const char *ContractVersionSymbol = "OrvexContractVersion";
inline constexpr const char *SetupEngineSymbol = "OrvexSetupEngine";
inline constexpr const char *CreateWebBrowserSymbol = "OrvexCreateWebBrowser";
inline constexpr const char *WarmEngineSymbol = "OrvexWarmEngine";
inline constexpr const char *StartEngineEarlySymbol = "OrvexStartEngineEarly";

// What a module clears of its profile when the user clears browsing data.
enum ClearDataKind : uint32_t {
    CLEARDATA_COOKIES = 1, // cookies and site data (local storage, databases)
    CLEARDATA_CACHE = 2,
};
struct ClearDataRequest {
    uint32_t kinds = 0;
    qint64 since = 0; // milliseconds since the epoch; 0: everything
};
// Optional: a module without it keeps its data. The clearing may finish
// after the call returns.
extern "C" {
typedef void (*ClearBrowsingDataFn)(const ClearDataRequest *request);
}
inline constexpr const char *ClearBrowsingDataSymbol = "OrvexClearBrowsingData";

// The program starts with WebKit's allocator variable set to this value, so
// that its own process uses the system's allocator; a module whose engine
// starts helper processes takes the variable back first, if it still holds
// this value (a user's own stands), so that they keep WebKit's.
inline constexpr const char *UiAllocatorVariable = "Malloc";
inline constexpr const char *UiAllocatorValue = "orvex-ui";

} // namespace orvex
