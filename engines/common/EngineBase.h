// What both engine modules share: the event sink with its delivery rules,
// the Busy flag, the back/forward state that is reported only when it really
// changes, the new-window catcher hand-off, the text size and the save
// dialog of the page commands, the accelerator key filter and the address conversion. Each module compiles
// its own copy; nothing here is exported.
#pragma once

#include "CrashPage.h"
#include "browser/WebBrowser.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace orvex::engine {

// Text sizes 0..4 as zoom factors. Throws std::runtime_error outside 0..4.
qreal ZoomFactorForLevel(int level);

// The address to load for what the user or the program typed: "" is
// about:blank, an existing local path becomes a file URL, anything else goes
// through QUrl::fromUserInput. Throws std::runtime_error when nothing valid
// comes out.
QUrl AddressToUrl(const QString &address);

// "host" or "host:port" of an address, as a question names the server.
QString HostWithPort(const QUrl &url);

// Where a save writes: `given` when it is not empty, else the path in
// ORVEX_SAVEAS_PATH when that is set (tests and scripted runs), else the
// user's answer in a save dialog. "" means the user cancelled.
QString ChooseSavePath(QWidget *parent, const QString &given, const QString &suggestedName,
                       const QString &filter);

// The memory a page's process may use, in MB: a quarter of the machine's,
// within 1 to 2 GB: below the 2.5 to 4 GB at which Chromium's script engine
// ends a page by itself, without saying why. ORVEX_PAGE_MEMORY_LIMIT_MB sets
// another (tests).
int PageMemoryLimitMb();

// What the address box's indicator shows for a page at `url`; `accepted`:
// the user accepted the certificate of its https server.
ConnectionSecurity SecurityOf(const QUrl &url, bool accepted);

// Sleeping pages. The watch script runs in the page's own world before the
// page's scripts and counts the "leave this page?" handlers added with
// addEventListener; the blocker script, run in the same world, answers with
// the SleepBlocker bits a page's document shows (typed form text, such a
// handler, audio or video playing).
extern const char *const SleepWatchScript;
extern const char *const SleepBlockerScript;

// Eats key events with Ctrl or Alt held while blocking is on, so that the page
// never sees accelerators and the host's shortcuts still work.
class AcceleratorBlocker : public QObject {
public:
    using QObject::QObject;
    bool blocking = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Counts sink calls in progress anywhere in the module. A control destroyed
// from inside one of its own events (the host closing a catcher while it
// answers OnBeforeNavigate2) must not delete its widget, and with it the
// page, while the engine is still inside that page's code.
class DeliveryScope {
public:
    DeliveryScope() { ++depth_; }
    ~DeliveryScope() { --depth_; }
    DeliveryScope(const DeliveryScope &) = delete;
    DeliveryScope &operator=(const DeliveryScope &) = delete;
    static bool Active() { return depth_ > 0; }

private:
    static inline int depth_ = 0;
};

class BrowserBase : public QObject, public WebBrowser2 {
public:
    BrowserBase();
    ~BrowserBase() override;

    void SetEvents(WebBrowserEvents *sink) override { sink_ = sink; }
    void SetHostOptions(const HostOptions &options) override;
    void Navigate(const QString &url) override;
    bool Busy() const override { return busy_ || requestTimer_.isActive(); }
    void Zoom(int level) override;
    int ZoomLevel() const override { return zoomLevel_; }
    void SaveTo(const QString &path) override;
    void Find(const FindRequest &request) override;
    void Print(const PrintRequest &request) override;
    void RequestClose() override;
    void SetZoomFactor(double factor) override;
    double ZoomFactor() const override { return pageZoom_; }

    PageLifecycle Lifecycle() const override { return lifecycle_; }
    // Looks into the page while it is Active; a sleeping page answers what it
    // answered before it slept, since nothing in it can change meanwhile.
    void QuerySleepBlockers(std::function<void(uint32_t)> answer) override;

    // Called by the engine's page. None of them touches the control after
    // the sink returns, so the host may destroy the control in its handler.
    void EmitStatus(const QString &text);
    void EmitProgress(int progress);
    void EmitTitle(const QString &title);
    // Asks the host for a catcher; nullptr when it refuses.
    WebBrowser2 *RequestNewWindow();
    // A main-frame navigation is about to begin here; returns cancel.
    bool RaiseBeforeNavigate(const QString &url);

    // Loading begins / ends (finished, failed or stopped). Begin raises
    // DownloadBegin and, as the IE control does after every navigation, the
    // real back and forward states; End raises DownloadComplete once per
    // Begin. Both keep Busy.
    void LoadBegan(bool backEnabled, bool forwardEnabled);
    // ok: the page loaded (false when it failed or was stopped).
    void LoadEnded(bool ok = true);

    // The host services (see WebBrowser.h). Without a sink each refuses.
    bool AskPageDialog(const PageDialogRequest &request, QString *text);
    bool AskAuthentication(const AuthenticationRequest &request, QString &user, QString &password);
    bool AskCertificateError(const CertificateErrorInfo &error);
    QStringList AskFiles(const FileChooserRequest &request);
    bool AskPermission(const QUrl &origin, PagePermission permission);
    void ReportFullScreen(bool fullScreen);
    // Hands a transfer to the host, which owns it from then on; without a
    // sink the transfer is cancelled and deleted.
    void HandOverDownload(Download *download);
    void ReportFindResult(const QString &text, int matches);
    void ReportPrintFinished(bool ok, const QString &error);
    void ReportSaveFinished(bool ok, const QString &error);
    // The engine closes the page (no handler, or the user chose to leave):
    // the answer to a pending RequestClose; nothing without one.
    void PageMayClose();

    // The connection of the page shown; reported when it changed.
    void ReportConnection(const QUrl &url, bool certificateAccepted);

    // The page's process ended: the crash page covers the control, the
    // caption says so and loading ends. Nothing is added to the history;
    // Refresh loads the page again, and the next load takes the crash page
    // away.
    void PageProcessEnded(PageEnd why);
    // window.close() on this control's page, by the page or its opener.
    void ReportWindowClosing();
    void ReportZoomWheel(int steps);

    // This control was handed to a page as the target of a new window. A
    // window.open('') never asks to navigate: after a short wait the catcher
    // reports about:blank itself.
    void BeginCatch();

protected:
    // Engine specifics behind the shared operations.
    virtual void Load(const QUrl &url) = 0;
    // The text size's factor and the page zoom; engines without a separate
    // text zoom scale the page by their product.
    virtual void ApplyZoom(qreal textFactor, qreal pageFactor) = 0;
    // Starts writing the page to `path`; the end is reported through
    // ReportSaveFinished.
    virtual void WritePage(const QString &path) = 0;
    virtual void ApplyHostOptions(const HostOptions &options) = 0;
    // Runs the page's "leave this page?" handler as a close of the page.
    virtual void AskToClose() = 0;
    virtual QString SuggestedSaveName() const;
    virtual QString SaveFilter() const;
    // The engine's half of QuerySleepBlockers: runs SleepBlockerScript and
    // adds what the engine itself knows. `answer` may be called at any time,
    // also after the control is gone (it then does nothing).
    virtual void LookForSleepBlockers(std::function<void(uint32_t)> answer) = 0;

    // A navigation was asked for. The engines tell a load started only
    // after a round trip to the page, so the control is busy from the
    // request on; LoadBegan ends the wait. A request that starts no load (an
    // anchor in the same page, a refused navigation) stops counting after a
    // moment, and RequestLapsed runs.
    void StartRequest() { requestTimer_.start(); }
    void DropRequest() { requestTimer_.stop(); }
    virtual void RequestLapsed() {}

    // Releases the engine's view: at once, or, when the control is destroyed
    // from inside one of its own events (the engine is still inside the
    // page's code), once control is back in the event loop.
    static void ReleaseView(QWidget *view);
    // A history or loading action on the page, when there still is one.
    template <typename Page, typename Action> static void Trigger(Page *page, Action action)
    {
        if (page)
            page->triggerAction(action);
    }

    void SetBusy(bool busy) { busy_ = busy; }
    // Reports back/forward when they changed; `always` reports both anyway.
    void UpdateCommandStates(bool backEnabled, bool forwardEnabled, bool always = false);
    // Stops every event: the destructors of the engine classes call it first.
    void Detach()
    {
        sink_ = nullptr;
        catchTimer_.stop();
        requestTimer_.stop();
        alive_.reset();
    }

    int zoomLevel_ = 2;
    qreal pageZoom_ = 1.0;

    PageLifecycle lifecycle_ = PageLifecycle::Active;
    HostOptions options_;
    AcceleratorBlocker *keyBlocker_;

private:
    void EmitCommandState(int command, bool enable);
    void ReportCloseAnswer(bool mayClose);

    WebBrowserEvents *sink_ = nullptr;
    bool busy_ = false;
    bool backEnabled_ = false;
    bool forwardEnabled_ = false;
    bool closeRequested_ = false;
    bool fullScreen_ = false;
    uint32_t lastBlockers_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    QTimer catchTimer_;
    QTimer requestTimer_;
    QPointer<CrashPage> crashPage_;
    bool connectionReported_ = false;
    ConnectionSecurity connection_ = ConnectionSecurity::None;
    QString connectionHost_;
};

} // namespace orvex::engine
