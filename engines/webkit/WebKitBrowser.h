// The "Gecko" engine module (mozctl.so) on WebKitGTK, embedded in the Qt
// window (see GtkEmbed.h). All controls of a run share one web context,
// whose cookies, cache and local storage live in the data folder.
#pragma once

#include "EngineBase.h"

#include <QPointer>
#include <glib-object.h>

typedef struct _GtkWidget GtkWidget;
typedef struct _GTlsCertificate GTlsCertificate;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitUserContentManager WebKitUserContentManager;
typedef struct _WebKitFindController WebKitFindController;
typedef struct _WebKitWebViewSessionState WebKitWebViewSessionState;
typedef struct _WebKitUserMessage WebKitUserMessage;
typedef struct _GtkPrintSettings GtkPrintSettings;

namespace orvex::webkit {

class GtkViewHost;

// What a context menu was opened on.
struct MenuTarget {
    QString link;
    QString image;
    QString media;
};

class WebKitBrowser : public engine::BrowserBase {
public:
    explicit WebKitBrowser(QWidget *parent);
    ~WebKitBrowser() override;

    QWidget *Control() override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    void Stop() override;
    QString LocationURL() const override;
    QString EngineName() const override;
    void Find(const FindRequest &request) override;
    void Print(const PrintRequest &request) override;
    void SetLifecycle(PageLifecycle state) override;
    void Copy() override;
    void SelectAll() override;

    WebKitWebView *View() const { return view_; }
    // The control a view of this module belongs to, if any.
    static WebKitBrowser *FromView(WebKitWebView *view);

protected:
    void Load(const QUrl &url) override;
    void ApplyZoom(qreal textFactor, qreal pageFactor) override;
    void WritePage(const QString &path) override;
    void AskToClose() override;
    void ApplyHostOptions(const HostOptions &options) override;
    QString SuggestedSaveName() const override;
    QString SaveFilter() const override;
    void LookForSleepBlockers(std::function<void(uint32_t)> answer) override;

private:
    // Makes `view` this page's view, in the host's GTK window.
    void AttachView(GtkWidget *view);
    void ConnectView();
    // Reloads a discarded page from its saved history, at its scroll position.
    void RestoreSession();
    // Puts text dropped on the page into the page's field at `at`.
    void DropTextAt(const QPoint &at, const QString &text, std::function<void(bool)> taken);
    void ForgetView();
    void ReportTitle();
    void ShowErrorPage(const QString &address, const QString &reason);
    void ReportConnectionOfPage();
    QString CurrentUri() const;
    void LoadRequested();
    // A page that names no character set and is not UTF-8 (Shift_JIS,
    // EUC-JP, ISO-2022-JP or Latin-1) is read again in its own encoding:
    // once per load, and never a form's answer.
    void GuessPageEncoding();
    void ReadPageAgain(const char *encoding);
    void RestoreDefaultCharset();
    void RunMenuAction(int action, const MenuTarget &target);
    void OpenInNewWindow(const QString &address);
    // Prints with settings that name the printer; `outputFile` is the PDF
    // file, empty for a printer.
    void StartPrint(GtkPrintSettings *settings, int orientation, const QString &outputFile);

    // GTK signal handlers; `self` is the control.
    static void OnLoadChanged(WebKitWebView *, int event, gpointer self);
    static gboolean OnLoadFailed(WebKitWebView *, int event, const char *uri, GError *error, gpointer self);
    static gboolean OnTlsErrors(WebKitWebView *, const char *uri, GTlsCertificate *certificate, int errors,
                                gpointer self);
    static void OnProgress(GObject *, GParamSpec *, gpointer self);
    static void OnTitle(GObject *, GParamSpec *, gpointer self);
    static void OnHistoryChanged(GObject *, gpointer, gpointer, gpointer self);
    static void OnAddressChanged(GObject *, GParamSpec *, gpointer self);
    static void OnMouseTarget(WebKitWebView *, gpointer hitTest, guint modifiers, gpointer self);
    static gboolean OnDecidePolicy(WebKitWebView *, gpointer decision, int type, gpointer self);
    static gpointer OnCreate(WebKitWebView *, gpointer action, gpointer self);
    static void OnClose(WebKitWebView *, gpointer self);
    static gboolean OnScriptDialog(WebKitWebView *, gpointer dialog, gpointer self);
    static gboolean OnAuthenticate(WebKitWebView *, gpointer request, gpointer self);
    static gboolean OnFileChooser(WebKitWebView *, gpointer request, gpointer self);
    static gboolean OnPermission(WebKitWebView *, gpointer request, gpointer self);
    static gboolean OnContextMenu(WebKitWebView *, gpointer menu, gpointer event, gpointer hitTest,
                                  gpointer self);
    static gboolean OnButtonPress(GtkWidget *, gpointer event, gpointer self);
    static gboolean OnKey(GtkWidget *, gpointer event, gpointer self);
    static gboolean OnScroll(GtkWidget *, gpointer event, gpointer self);
    static gboolean OnWindowKey(GtkWidget *, gpointer event, gpointer self);
    static gboolean OnPrintRequest(WebKitWebView *, gpointer operation, gpointer self);
    static void OnFullScreenRequest(WebKitUserContentManager *, gpointer value, gpointer self);
    static void OnWebProcessGone(WebKitWebView *, int reason, gpointer self);
    static gboolean OnPageMessage(WebKitWebView *, WebKitUserMessage *message, gpointer self);
    // A requested load that never began (the user stayed on the page, or
    // nothing was to load): the bar it started ends.
    void EndRequest();
    void RequestLapsed() override { EndRequest(); }
    static void OnFindCount(WebKitFindController *, guint count, gpointer self);

    QPointer<GtkViewHost> host_;
    WebKitWebView *view_ = nullptr;
    // The opener this view was made for (a catcher), which it shares its
    // web process and content rules with.
    WebKitWebView *relatedTo_ = nullptr;
    WebKitWebViewSessionState *session_ = nullptr; // while discarded
    bool opened_ = false; // this page asked for a new window (that may share its process)
    QString status_;
    QString titleShown_;
    // The address of the page shown. WebKit's own address moves to a
    // requested one before its load commits and stays there when the page
    // keeps it (the user stays on a "leave this page?"), so the shown one
    // is kept apart until the next page commits.
    QString shownAddress_;
    bool awaitingCommit_ = false;
    // The page's process said it holds more memory than a page may.
    bool processOverMemory_ = false;
    // The load in progress failed, or shows our error page (the page
    // loaded in place of a failed one): either way no page was visited.
    bool loadFailed_ = false;
    // How often a load lost below WebKit (see OnLoadFailed) is started
    // again before its error page shows, and how often the current
    // request's was; at the limit from a commit until the module's next
    // request.
    static constexpr int kLostLoadRetries = 3;
    int lostLoadsRetried_ = kLostLoadRetries;
    enum class ErrorPage { None, Pending, Showing } errorPage_ = ErrorPage::None;
    bool showingErrorPage_ = false; // the next commit is the module's error page
    int progress_ = -1;
    int loadSerial_ = 0; // counts the loads begun, for answers that come later
    enum class Guess { None, Reloading, Done } guess_ = Guess::None;
    bool defaultCharsetMoved_ = false; // to the guessed encoding, until the reload commits
    bool postPending_ = false;         // a navigation decided on sends a form
    bool pagePosted_ = false;          // the current load sends one
    QString findText_;
    unsigned findOptions_ = 0;
    double wheelRest_ = 0; // Ctrl+wheel turning short of a notch
};

} // namespace orvex::webkit
