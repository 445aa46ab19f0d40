// The browser child window: one page in one engine inside the main window's
// MDI area. Tfrm_IE and Tfrm_MZ are twins; what they share stands here, and
// each names its differences (progress arithmetic, stop button, text size,
// the order of the first resize).
#pragma once

#include "browser/BrowserHost.h"
#include "browser/WebBrowser.h"

#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

class QLabel;

namespace orvex {

// The size of a window in an MDI area of `area` (its viewport): three
// quarters of it, never smaller than 320 by 240 nor larger than the area.
QSize DefaultWindowSize(const QSize &area);

// Shows a page's connection in the indicator at the address box: hidden
// for a page that came over no connection.
void ShowConnection(QLabel *indicator, ConnectionSecurity security, const QString &host);

class TChildForm;

// Asks the pages one after another, each once: `done` gets false at the first
// that stays (the rest are not asked), true once every page may go (pages
// gone meanwhile count as gone). Without pages it answers at once.
void AskPagesToClose(std::vector<QPointer<TChildForm>> pages, std::function<void(bool allMayClose)> done);

class TChildForm : public QMdiSubWindow, public WebBrowserEvents {
    Q_OBJECT
public:
    ~TChildForm() override;

    int32_t Tag = -1; // the window number, key of the window's tab; -1 until it has one
    bool BackState = false;
    bool FrwrdState = false;
    bool StopState = false;
    bool ReLoadState = false;
    bool IsOpen = false;
    int ProgressPos = 0;
    uint8_t PageMojiSize = 2; // this page's text size 0..4
    // The connection of the page shown, for the indicator while the window
    // is in front.
    ConnectionSecurity Connection = ConnectionSecurity::None;
    QString ConnectionHost;
    // A page adopted from a catcher on about:blank: the block list looks at
    // the first address it goes on to, and a blocked one closes the window.
    bool CheckNextAddress = false;

    virtual EngineKind Kind() const = 0;
    WebBrowser2 *Browser() const { return browser_; }

    // Starts the window's close handling (same as its close box): the page
    // is asked first, and the window closes once it agrees. False while the
    // page is asked (a page that stays keeps its window).
    bool CloseWindow() { return close(); }
    // Asks the page whether it may go (its "leave this page?" handler, which
    // may ask the user). The answer comes later, never before this returns:
    // true, it may close. Asked again before it answered, the one question
    // answers every asker.
    void AskPageToClose(std::function<void(bool mayClose)> answer);
    // Closes the window of a page that agreed to go, without asking again.
    bool CloseAgreed();
    // Destroys the window without its close handling (main window shutdown).
    void Discard();

    void SubChange(bool active);
    // Gives the window the state new windows take. Called at creation, where
    // a window not yet in the MDI area is left as it is, and again once the
    // window sits in the area, where the state takes effect.
    void ApplyChildWinState();
    // The window caption, shown as it is: a page title holding "[*]" does
    // not turn into the window's modified mark.
    void SetCaption(const QString &caption);
    QString Caption() const;

    // Puts the new window into the MDI area at `normal` (its place when
    // neither maximised nor minimised), shows it in the state new windows
    // take and makes it the active one. `behind`: the window goes behind a
    // maximised window, which the area restores it from in the end whatever
    // its state; it is shown normal from the start, under the others, and
    // is not made active.
    void Place(QMdiArea *area, const QRect &normal, bool behind = false);
    // The MDI area's cascade gives each window its size hint: the default
    // size, whichever engine the window shows.
    QSize sizeHint() const override;
    // The window comes to the front: the indicators show its page.
    void FormActivate();
    // The window's saved button states, progress and page commands go into
    // the main window (the address box is left as it is).
    void ShowSavedStates();
    virtual void FormResize() = 0;

    // Engine events.
    void OnStatusTextChange(const QString &text) override;
    // Progress shows only while the window is in front.
    void OnProgressChange(int progress, int progressMax) final;
    void OnTitleChange(const QString &text) override;
    void OnCommandStateChange(int command, bool enable) override;
    void OnNewWindow2(WebBrowser2 *&ppDisp, bool &cancel) override;
    void OnBeforeNavigate2(const QString &url, bool &cancel) override;
    // The page starts and ends loading: the window's stop state follows,
    // and the stop button too while the window is the active one.
    void OnDownloadBegin() override;
    void OnDownloadComplete() override;
    // A page shown goes to the history with its title.
    void OnDocumentComplete(const QString &url, bool ok) override;
    void OnCloseAnswer(bool mayClose) override;
    // A script closes the page's window: the window closes as by its close
    // box, once the engine's call has returned.
    void OnWindowClosing() override;

    // The page's questions, answered through the page services.
    bool OnPageDialog(const PageDialogRequest &request, QString *text) override;
    bool OnAuthenticate(const AuthenticationRequest &request, QString &user, QString &password) override;
    bool OnCertificateError(const CertificateErrorInfo &error) override;
    QStringList OnChooseFiles(const FileChooserRequest &request) override;
    bool OnPermissionRequest(const QUrl &origin, PagePermission permission) override;
    void OnFullScreenChange(bool fullScreen) override;
    void OnFileDownload(Download *download) override;
    void OnFindResult(const QString &text, int matches) override;
    void OnPrintFinished(bool ok, const QString &error) override;
    // A failed save shows the engine's message in the standard error box.
    void OnSaveFinished(bool ok, const QString &error) override;
    void OnConnectionChange(ConnectionSecurity security, const QString &host) override;
    void OnZoomWheel(int steps) override;

    // Page zoom of this window, kept by its engine: `steps` along the zoom
    // steps (110 %, 125 % ...), 0 back to 100 %. The status strip shows it
    // while the window is in front and not at 100 %.
    void ZoomBy(int steps);
    void ShowZoom();

    // The print dialog, then the engine prints to the chosen printer or file.
    void PrintPage();
    // The engine control's full-screen window while the page is full screen.
    QWidget *FullScreenWindow() const { return fullScreen_; }
    // The page has finished (or failed) its first load: a page put to sleep
    // before it would wait out of sight without ever loading.
    bool FirstLoadDone() const { return firstLoadDone_; }

signals:
    // The engine's answer to Find.
    void FindResult(const QString &text, int matches);

protected:
    TChildForm(BrowserHost &host, QWidget *parent);
    // Puts the engine control into the window.
    void AttachBrowser(WebBrowser2 *browser);
    // Before the engine control goes with the window: out of full screen,
    // and no more events.
    void ReleaseBrowser();
    // What activation does for each engine: the text size item, and the
    // state new windows take.
    virtual void ActivateEngine() = 0;
    // Each engine's progress arithmetic on the progress bar.
    virtual void ShowProgress(int progress, int progressMax) = 0;
    // The bar's position for progress out of progressMax, within 0..100.
    static int Percent(int progress, int progressMax);
    void FormClose();
    // The creation steps both engines share: state, saved button states,
    // open flag and the first resize.
    void FormCreate();
    // Only the window in front records its state for new windows: a window
    // the MDI area restores because another one was maximised in front of
    // it must not turn maximised windows off for every later page.
    bool RecordsWindowState();

    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

    // The owner of the dialogs a page asks for: the main window.
    QWidget *DialogParent();
    // A page that asks the user something is brought to the front first, so
    // the user sees who asks (not when the answer is known without asking).
    void BringToFront();
    void EnterFullScreen();
    // Puts the engine control back into the window.
    void LeaveFullScreen();

    BrowserHost &host_;
    WebBrowser2 *browser_ = nullptr;
    QPointer<QWidget> fullScreen_;
    bool firstLoadDone_ = false;
    bool discarding_ = false;
    bool placed_ = false;        // the area's own resizes while placing are not the user's
    bool showingBehind_ = false; // Place is showing the window behind the front one
    bool closeAllowed_ = false;  // the page agreed to go: the close goes ahead
    bool asking_ = false;        // a question of the page is on screen
    // Those waiting for the page's answer to RequestClose; empty when none
    // is pending.
    std::vector<std::function<void(bool)>> closeAskers_;
    bool requestingClose_ = false; // inside RequestClose
    QTimer closePatience_;
    QString pageTitle_; // the title of the page loading or shown, for the history
};

} // namespace orvex
