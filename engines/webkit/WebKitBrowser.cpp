#include "WebKitBrowser.h"

#include "GtkEmbed.h"
#include "PageEncoding.h"
#include "Texts.h"
#include "WebKitContext.h"
#include "pageprocess/PageProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>

#include <gtk/gtkunixprint.h>
#include <webkit2/webkit2.h>

namespace orvex::webkit {

namespace {

constexpr const char *kBrowserKey = "orvex-browser";
// The encoding of a page that names none (WebKit's own is Latin-1).
constexpr const char *kDefaultCharset = "UTF-8";
// True when the page took the default encoding: it names none in a <meta>
// and nothing else (a byte-order mark, an XML declaration) gave it one.
constexpr const char *kUsesDefaultCharset =
    "document.characterSet==='UTF-8'&&!document.querySelector("
    "'meta[charset],meta[http-equiv=\"content-type\" i][content*=\"charset\" i]')";

// With full screen off, WebKit leaves a page's request for it undefined.
// This answers it as refused, as the page expects, and tells the module
// (a pop-up shares its opener's content rules: the opener's status bar).
constexpr const char *kFullScreenMessage = "orvexFullScreen";
constexpr const char *kRefuseFullScreen =
    "(function(){function refuse(){"
    "try{window.webkit.messageHandlers.orvexFullScreen.postMessage('');}catch(e){}"
    "var d=this.ownerDocument||document;"
    "setTimeout(function(){d.dispatchEvent(new Event('fullscreenerror',{bubbles:true}));},0);"
    "return Promise.reject(new TypeError('Full screen is not available'));}"
    "Element.prototype.requestFullscreen=refuse;Element.prototype.webkitRequestFullscreen=refuse;"
    "Element.prototype.webkitRequestFullScreen=refuse;})();";

// The opener whose request for a new window is being answered: a control
// made meanwhile (the host's catcher) gets a view related to it, which
// WebKit requires of a new window's view.
WebKitWebView *g_opener = nullptr;

// A page's own view with its content rules: full screen refused and the
// sleep watch. Floating, as GTK makes it.
GtkWidget *NewPageView(WebKitSettings *settings)
{
    WebKitUserContentManager *content = webkit_user_content_manager_new();
    WebKitUserScript *refuse =
        webkit_user_script_new(kRefuseFullScreen, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, refuse);
    webkit_user_script_unref(refuse);
    WebKitUserScript *watch =
        webkit_user_script_new(engine::SleepWatchScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, watch);
    webkit_user_script_unref(watch);
    webkit_user_content_manager_register_script_message_handler(content, kFullScreenMessage);
    GtkWidget *view =
        GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", SharedContext(), "user-content-manager",
                                content, "settings", settings, nullptr));
    g_object_unref(content);
    return view;
}

// A view whose web process runs already, kept while discarded pages may
// come back: a page coming back, or a new window meanwhile, takes it.
// Starting a web process (the sandbox, the process, its connections) takes
// a third of a second, most of it in other processes; in the spare, the
// page's load starts at once. One nobody took goes after a minute without
// discarded pages.
GtkWidget *g_spare = nullptr; // our reference
bool g_spareReady = false;    // its web process has started
unsigned g_spareNumber = 0;   // tells a later spare from the one a timer was set for
int g_discarded = 0;          // discarded pages of the run
constexpr int kSpareLifeMs = 60 * 1000;
// The next spare is made once the page that took the last one has loaded,
// not while it loads; after this long at the latest.
bool g_spareAfterLoad = false;
constexpr int kSpareAfterTakenMs = 3000;

void DropSpare()
{
    if (GtkWidget *spare = std::exchange(g_spare, nullptr)) {
        g_spareReady = false;
        gtk_widget_destroy(spare);
        g_object_unref(spare);
    }
}

void DropSpareUnlessWanted(unsigned number)
{
    if (g_spareNumber != number || !g_spare)
        return;
    if (g_discarded > 0)
        QTimer::singleShot(kSpareLifeMs, [number] { DropSpareUnlessWanted(number); });
    else
        DropSpare();
}

void PrepareSpare()
{
    if (g_spare || g_discarded == 0)
        return;
    WebKitSettings *settings = webkit_settings_new();
    g_spare = GTK_WIDGET(g_object_ref_sink(NewPageView(settings)));
    g_object_unref(settings);
    // A script run in the empty page starts the web process without a load,
    // so nothing enters the history of the page that takes the view; its
    // answer tells that the process runs.
    g_spareReady = false;
    const unsigned number = ++g_spareNumber;
    webkit_web_view_evaluate_javascript(
        WEBKIT_WEB_VIEW(g_spare), "0", -1, nullptr, nullptr, nullptr,
        [](GObject *view, GAsyncResult *result, gpointer number) {
            if (JSCValue *value =
                    webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr))
                g_object_unref(value);
            if (g_spare == GTK_WIDGET(view) && g_spareNumber == GPOINTER_TO_UINT(number))
                g_spareReady = true;
        },
        GUINT_TO_POINTER(number));
    QTimer::singleShot(kSpareLifeMs, [number] { DropSpareUnlessWanted(number); });
}

// Made in a turn of its own, after `delayMs`: starting the process holds
// the loop for a moment.
void KeepSpareForWakes(int delayMs = 0)
{
    if (g_discarded > 0 && !g_spare)
        QTimer::singleShot(delayMs, [] { PrepareSpare(); });
}

// The caller owns the reference; null when there is none ready. A spare
// whose process is still starting stays for the next page: a page loaded
// meanwhile into it waited longer than one in a view of its own.
GtkWidget *TakeSpare()
{
    if (!g_spareReady)
        return nullptr;
    g_spareReady = false;
    g_spareAfterLoad = true;
    GtkWidget *spare = std::exchange(g_spare, nullptr);
    KeepSpareForWakes(kSpareAfterTakenMs);
    return spare;
}

// The address a page may be shown with in a dialog or a permission.
QUrl PageOrigin(const QString &uri)
{
    return QUrl(uri).adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                              QUrl::RemoveUserInfo);
}

QString ErrorReason(const GError *error)
{
    const QString domain = QString::fromLatin1(g_quark_to_string(error->domain));
    const char *reason = texts::kErrorGeneric;
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST) ||
        g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND))
        reason = texts::kErrorNoFile;
    else if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL))
        reason = texts::kErrorScheme;
    else if (g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_USE_RESTRICTED_PORT))
        reason = texts::kErrorPort;
    else if (g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_MIME_TYPE))
        reason = texts::kErrorCannotShow;
    else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED))
        reason = texts::kErrorRefused;
    else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT))
        reason = texts::kErrorTimedOut;
    else if (error->domain == G_RESOLVER_ERROR ||
             g_error_matches(error, G_IO_ERROR, G_IO_ERROR_HOST_NOT_FOUND))
        reason = texts::kErrorHostNotFound;
    else if (error->domain == G_TLS_ERROR || domain.contains(QLatin1String("tls"), Qt::CaseInsensitive))
        reason = texts::kErrorCertificate;
    return QString::fromUtf8(reason);
}

QString CertificateDescription(GTlsCertificateFlags errors)
{
    QStringList reasons;
    for (const auto &entry : texts::kCertificateReasons)
        if (errors & entry.flag)
            reasons << QString::fromUtf8(entry.text);
    if (reasons.isEmpty())
        reasons << QString::fromUtf8(texts::kErrorCertificate);
    return reasons.join(QStringLiteral("。")) + QStringLiteral("。");
}

// A save in progress. The page's HTML is written by the module itself, through
// a temporary file, so a failed write leaves no part of a page behind.
struct SaveJob {
    QPointer<WebKitBrowser> browser;
    QString path;
    bool archive = false;

    // `content`: the HTML to write; null when the engine wrote the file.
    void Finish(GError *error, const QByteArray *content)
    {
        // The engine's message is in English: the module's own text says it.
        QString failure;
        if (error)
            failure = QString::fromUtf8(engine::texts::kSaveFailed);
        g_clear_error(&error);
        if (failure.isEmpty() && content) {
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(*content) != content->size() || !file.commit())
                failure = QString::fromUtf8(engine::texts::kSaveFailed) + QStringLiteral(": ") + path;
        }
        if (browser)
            browser->ReportSaveFinished(failure.isEmpty(), failure);
    }
};

struct PrintJob {
    QPointer<WebKitBrowser> browser;
    QString outputFile; // empty when printing to a printer
    QString error;
};

} // namespace

WebKitBrowser *WebKitBrowser::FromView(WebKitWebView *view)
{
    return static_cast<WebKitBrowser *>(g_object_get_data(G_OBJECT(view), kBrowserKey));
}

WebKitBrowser::WebKitBrowser(QWidget *parent)
{
    EnsureGtk();
    // Made before the host, which may be shown when the page's view comes.
    SharedContext();
    host_ = new GtkViewHost(parent);
    host_->setMouseTracking(true);

    // Settings of its own, also for a view made for an opener.
    WebKitSettings *settings = webkit_settings_new();
    // Text sizes scale the text only, as the text-size command means.
    webkit_settings_set_zoom_text_only(settings, TRUE);
    // A page that names no character set is read as UTF-8, not as Latin-1
    // (WebKit's default), which turns every Japanese text into other signs.
    // The engine guesses no encoding: an undeclared Shift_JIS, EUC-JP,
    // ISO-2022-JP or Latin-1 page is read again in its own (see
    // GuessPageEncoding).
    webkit_settings_set_default_charset(settings, kDefaultCharset);
    // Pop-ups are the host's decision (its block list), as in the other
    // engine.
    webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    // A page's full screen is refused: in a window no window manager
    // manages, WebKitGTK 2.50 never completes leaving full screen, and a
    // view destroyed in full screen ends the process. A request gets a
    // word in the status bar (see kRefuseFullScreen).
    webkit_settings_set_enable_fullscreen(settings, FALSE);
    // A page opened from disk shows its own images and style sheets, but
    // may neither read other local files nor send what it read anywhere
    // (both are WebKit's defaults, stated here so they stay so).
    webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
    GtkWidget *view = nullptr;
    if (g_opener) {
        // A new window's view shares the opener's web process and content
        // rules, as WebKit requires.
        relatedTo_ = g_opener;
        view = GTK_WIDGET(
            g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", g_opener, "settings", settings, nullptr));
    } else if (GtkWidget *spare = TakeSpare()) {
        view = spare;
        webkit_web_view_set_settings(WEBKIT_WEB_VIEW(view), settings);
    } else {
        view = NewPageView(settings);
    }
    g_object_unref(settings);
    AttachView(view);
    host_->SetTextDrop([this](const QPoint &at, const QString &text, std::function<void(bool)> taken) {
        DropTextAt(at, text, std::move(taken));
    });
    QObject::connect(host_.data(), &GtkViewHost::ViewClosing, this, [this] { ForgetView(); });
    host_->installEventFilter(keyBlocker_);
    SetHostOptions(HostOptions());
}

WebKitBrowser::~WebKitBrowser()
{
    if (lifecycle_ == PageLifecycle::Discarded)
        --g_discarded;
    Detach();
    if (session_)
        webkit_web_view_session_state_unref(session_);
    ForgetView();
    if (GtkViewHost *host = host_.data()) {
        // From inside one of the page's own events the view is still in
        // use by the engine: it goes once control is back in the loop.
        if (engine::DeliveryScope::Active()) {
            host->hide();
            QTimer::singleShot(0, host, [host] { delete host; });
        } else {
            delete host;
        }
    }
}

void WebKitBrowser::AttachView(GtkWidget *view)
{
    view_ = WEBKIT_WEB_VIEW(view);
    g_object_set_data(G_OBJECT(view_), kBrowserKey, this);
    // A spare comes with our reference, a new view floating: the host's GTK
    // window holds it from here on.
    const bool floating = g_object_is_floating(view);
    host_->SetView(view);
    if (!floating)
        g_object_unref(view);
    ConnectView();
    if (!relatedTo_)
        g_signal_connect(webkit_web_view_get_user_content_manager(view_),
                         "script-message-received::orvexFullScreen", G_CALLBACK(OnFullScreenRequest), this);
}

void WebKitBrowser::ConnectView()
{
    GObject *view = G_OBJECT(view_);
    g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), this);
    g_signal_connect(view, "load-failed-with-tls-errors", G_CALLBACK(OnTlsErrors), this);
    g_signal_connect(view, "notify::estimated-load-progress", G_CALLBACK(OnProgress), this);
    g_signal_connect(view, "notify::title", G_CALLBACK(OnTitle), this);
    // Going back or forward moves in the history without changing it (a
    // page from the back-forward cache even loads without load events):
    // the states are read whenever the address changes.
    g_signal_connect(view, "notify::uri", G_CALLBACK(OnAddressChanged), this);
    g_signal_connect(view, "mouse-target-changed", G_CALLBACK(OnMouseTarget), this);
    g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(view, "create", G_CALLBACK(OnCreate), this);
    // window.close(), or a close request the page agreed to (see
    // ReportWindowClosing): the view stays until the host closes it.
    g_signal_connect(view, "close", G_CALLBACK(OnClose), this);
    g_signal_connect(view, "script-dialog", G_CALLBACK(OnScriptDialog), this);
    g_signal_connect(view, "authenticate", G_CALLBACK(OnAuthenticate), this);
    g_signal_connect(view, "run-file-chooser", G_CALLBACK(OnFileChooser), this);
    g_signal_connect(view, "permission-request", G_CALLBACK(OnPermission), this);
    g_signal_connect(view, "context-menu", G_CALLBACK(OnContextMenu), this);
    g_signal_connect(view, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(view, "key-press-event", G_CALLBACK(OnKey), this);
    g_signal_connect(view, "scroll-event", G_CALLBACK(OnScroll), this);
    g_signal_connect(view, "key-release-event", G_CALLBACK(OnKey), this);
    g_signal_connect(view, "print", G_CALLBACK(OnPrintRequest), this);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(OnWebProcessGone), this);
    g_signal_connect(view, "user-message-received", G_CALLBACK(OnPageMessage), this);
    g_signal_connect(webkit_web_view_get_back_forward_list(view_), "changed", G_CALLBACK(OnHistoryChanged),
                     this);
    g_signal_connect(webkit_web_view_get_find_controller(view_), "counted-matches", G_CALLBACK(OnFindCount),
                     this);
    // Keys the page leaves alone come back to the GTK window.
    g_signal_connect_after(gtk_widget_get_toplevel(GTK_WIDGET(view_)), "key-press-event",
                           G_CALLBACK(OnWindowKey), this);
}

void WebKitBrowser::ForgetView()
{
    if (!view_)
        return;
    g_signal_handlers_disconnect_by_data(view_, this);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_back_forward_list(view_), this);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_find_controller(view_), this);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(view_), this);
    g_signal_handlers_disconnect_by_data(gtk_widget_get_toplevel(GTK_WIDGET(view_)), this);
    g_object_set_data(G_OBJECT(view_), kBrowserKey, nullptr);
    view_ = nullptr;
}

QWidget *WebKitBrowser::Control()
{
    return host_;
}

void WebKitBrowser::SetLifecycle(PageLifecycle state)
{
    if (!view_ || state == lifecycle_)
        return;
    if (state == PageLifecycle::Active) {
        if (lifecycle_ == PageLifecycle::Discarded)
            --g_discarded;
        lifecycle_ = state;
        RestoreSession();
        return;
    }
    // WebKitGTK has no frozen state (a hidden page's timers are only slowed
    // down), so Frozen is refused. Discarding ends the page's web process,
    // which a view shares with its opener and the windows it opened: such a
    // page stays.
    if (state == PageLifecycle::Frozen || relatedTo_ || opened_)
        return;
    lifecycle_ = state;
    // The history with each page's scroll position, to come back to.
    session_ = webkit_web_view_get_session_state(view_);
    webkit_web_view_terminate_web_process(view_);
    ++g_discarded;
    KeepSpareForWakes();
}

void WebKitBrowser::DropTextAt(const QPoint &at, const QString &text, std::function<void(bool)> taken)
{
    // The page's field under the point takes the text at its caret, and
    // hears of it as of typed text. The zoom scales the text only, so the
    // view's points are the page's.
    static const char *const kInsert =
        "var e=document.elementFromPoint(x,y);if(!e)return false;"
        "if(e.tagName==='TEXTAREA'||(e.tagName==='INPUT'&&"
        "/^(text|search|url|email|tel|password|number)$/i.test(e.type))){"
        "if(e.readOnly||e.disabled)return false;e.focus();"
        "var from=e.selectionStart,to=e.selectionEnd;"
        "if(from===null)e.value+=t;else e.setRangeText(t,from,to,'end');"
        "e.dispatchEvent(new InputEvent('input',{bubbles:true,inputType:'insertFromDrop',data:t}));"
        "return true;}"
        "if(e.isContentEditable){e.focus();return document.execCommand('insertText',false,t);}"
        "return false;";
    if (!view_) {
        taken(false);
        return;
    }
    GVariantDict arguments;
    g_variant_dict_init(&arguments, nullptr);
    g_variant_dict_insert(&arguments, "x", "i", at.x());
    g_variant_dict_insert(&arguments, "y", "i", at.y());
    g_variant_dict_insert(&arguments, "t", "s", text.toUtf8().constData());
    webkit_web_view_call_async_javascript_function(
        view_, kInsert, -1, g_variant_dict_end(&arguments), nullptr, nullptr, nullptr,
        [](GObject *view, GAsyncResult *result, gpointer data) {
            std::unique_ptr<std::function<void(bool)>> answer(static_cast<std::function<void(bool)> *>(data));
            JSCValue *value =
                webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
            const bool inserted = value && jsc_value_is_boolean(value) && jsc_value_to_boolean(value);
            if (value)
                g_object_unref(value);
            (*answer)(inserted);
        },
        new std::function<void(bool)>(std::move(taken)));
}

void WebKitBrowser::RestoreSession()
{
    WebKitWebViewSessionState *session = std::exchange(session_, nullptr);
    if (!session)
        return;
    if (view_) {
        // The page comes back in a spare view, whose web process runs
        // already, with this view's settings and zoom.
        if (GtkWidget *spare = TakeSpare()) {
            WebKitSettings *settings = WEBKIT_SETTINGS(g_object_ref(webkit_web_view_get_settings(view_)));
            const double zoom = webkit_web_view_get_zoom_level(view_);
            ForgetView();
            AttachView(spare);
            webkit_web_view_set_settings(view_, settings);
            g_object_unref(settings);
            webkit_web_view_set_zoom_level(view_, zoom);
        }
        webkit_web_view_restore_session_state(view_, session);
        WebKitBackForwardListItem *item =
            webkit_back_forward_list_get_current_item(webkit_web_view_get_back_forward_list(view_));
        LoadRequested();
        if (item)
            webkit_web_view_go_to_back_forward_list_item(view_, item);
        else
            webkit_web_view_load_uri(view_, shownAddress_.toUtf8().constData());
    }
    webkit_web_view_session_state_unref(session);
}

void WebKitBrowser::LookForSleepBlockers(std::function<void(uint32_t)> answer)
{
    if (!view_) {
        QTimer::singleShot(0, this, [answer] { answer(SLEEP_BLOCKER_UNKNOWN); });
        return;
    }
    struct Query {
        std::function<void(uint32_t)> answer;
        uint32_t known;
    };
    auto *query = new Query{std::move(answer),
                            webkit_web_view_is_playing_audio(view_) ? uint32_t(SLEEP_BLOCKER_MEDIA) : 0u};
    webkit_web_view_evaluate_javascript(
        view_, engine::SleepBlockerScript, -1, nullptr, nullptr, nullptr,
        [](GObject *view, GAsyncResult *result, gpointer data) {
            std::unique_ptr<Query> query(static_cast<Query *>(data));
            uint32_t bits = SLEEP_BLOCKER_UNKNOWN;
            if (JSCValue *value =
                    webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr)) {
                if (jsc_value_is_number(value))
                    bits = uint32_t(jsc_value_to_int32(value));
                g_object_unref(value);
            }
            query->answer(bits | query->known);
        },
        query);
}

void WebKitBrowser::GoBack()
{
    SetLifecycle(PageLifecycle::Active);
    if (view_ && webkit_web_view_can_go_back(view_)) {
        LoadRequested();
        webkit_web_view_go_back(view_);
    }
}

void WebKitBrowser::GoForward()
{
    SetLifecycle(PageLifecycle::Active);
    if (view_ && webkit_web_view_can_go_forward(view_)) {
        LoadRequested();
        webkit_web_view_go_forward(view_);
    }
}

void WebKitBrowser::Refresh()
{
    SetLifecycle(PageLifecycle::Active);
    if (view_) {
        LoadRequested();
        webkit_web_view_reload(view_);
    }
}

void WebKitBrowser::Stop()
{
    DropRequest();
    lostLoadsRetried_ = kLostLoadRetries; // stopped: nothing is started again
    if (view_)
        webkit_web_view_stop_loading(view_);
}

void WebKitBrowser::LoadRequested()
{
    // Busy from the request on (the engine tells the new address before
    // the load starts); a new request may again retry loads the engine lost.
    StartRequest();
    lostLoadsRetried_ = 0;
}

QString WebKitBrowser::CurrentUri() const
{
    const char *uri = view_ ? webkit_web_view_get_uri(view_) : nullptr;
    return uri ? QString::fromUtf8(uri) : QString();
}

QString WebKitBrowser::LocationURL() const
{
    return shownAddress_;
}

QString WebKitBrowser::EngineName() const
{
    return QStringLiteral("WebKitGTK %1.%2.%3")
        .arg(webkit_get_major_version())
        .arg(webkit_get_minor_version())
        .arg(webkit_get_micro_version());
}

void WebKitBrowser::Load(const QUrl &url)
{
    SetLifecycle(PageLifecycle::Active);
    if (!view_)
        return;
    if (url.scheme() != QLatin1String("javascript")) {
        LoadRequested();
        awaitingCommit_ = true;
    }
    webkit_web_view_load_uri(view_, url.toEncoded().constData());
}

void WebKitBrowser::ApplyZoom(qreal textFactor, qreal pageFactor)
{
    if (!view_)
        return;
    // At 100 % the text size scales the text only, as the text-size command
    // means; a zoomed page scales whole, the text size with it.
    WebKitSettings *settings = webkit_web_view_get_settings(view_);
    const bool textOnly = qFuzzyCompare(pageFactor, 1.0);
    if (static_cast<bool>(webkit_settings_get_zoom_text_only(settings)) != textOnly)
        webkit_settings_set_zoom_text_only(settings, textOnly);
    webkit_web_view_set_zoom_level(view_, textFactor * pageFactor);
}

void WebKitBrowser::WritePage(const QString &path)
{
    if (!view_)
        return;
    // The engine answers later; the job carries what the answer needs.
    const QString suffix = QFileInfo(path).suffix().toLower();
    auto *job = new SaveJob{this, path, suffix == QLatin1String("mht") || suffix == QLatin1String("mhtml")};
    if (job->archive) {
        // The page with its images and style sheets, in one file.
        GFile *file = g_file_new_for_path(QFile::encodeName(path).constData());
        webkit_web_view_save_to_file(
            view_, file, WEBKIT_SAVE_MODE_MHTML, nullptr,
            [](GObject *view, GAsyncResult *result, gpointer data) {
                std::unique_ptr<SaveJob> job(static_cast<SaveJob *>(data));
                GError *error = nullptr;
                webkit_web_view_save_to_file_finish(WEBKIT_WEB_VIEW(view), result, &error);
                job->Finish(error, nullptr);
            },
            job);
        g_object_unref(file);
        return;
    }
    // The page's HTML as the server sent it, in its own encoding.
    WebKitWebResource *page = webkit_web_view_get_main_resource(view_);
    if (!page) {
        delete job;
        throw std::runtime_error(engine::texts::kSaveFailed);
    }
    webkit_web_resource_get_data(
        page, nullptr,
        [](GObject *resource, GAsyncResult *result, gpointer data) {
            std::unique_ptr<SaveJob> job(static_cast<SaveJob *>(data));
            GError *error = nullptr;
            gsize length = 0;
            guchar *bytes =
                webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(resource), result, &length, &error);
            const QByteArray content(reinterpret_cast<const char *>(bytes), bytes ? int(length) : 0);
            g_free(bytes);
            job->Finish(error, &content);
        },
        job);
}

void WebKitBrowser::Copy()
{
    if (view_)
        webkit_web_view_execute_editing_command(view_, WEBKIT_EDITING_COMMAND_COPY);
}

void WebKitBrowser::SelectAll()
{
    if (view_)
        webkit_web_view_execute_editing_command(view_, WEBKIT_EDITING_COMMAND_SELECT_ALL);
}

void WebKitBrowser::AskToClose()
{
    // The page's handler runs; "close" follows unless the user stays, which
    // the leave question answers.
    if (view_)
        webkit_web_view_try_close(view_);
    else
        PageMayClose();
}

void WebKitBrowser::EndRequest()
{
    DropRequest();
    // The engine shows progress from the request on; without a load to end
    // it, the bar would stay where it is and the stop button lit.
    if (engine::BrowserBase::Busy() || progress_ < 0 || progress_ == 100)
        return;
    progress_ = 100;
    EmitProgress(100);
}

void WebKitBrowser::GuessPageEncoding()
{
    // Only a page or text file that names no character set in its HTTP
    // header; the <meta> is asked of the page once the bytes are not UTF-8.
    WebKitWebResource *page = view_ ? webkit_web_view_get_main_resource(view_) : nullptr;
    WebKitURIResponse *response = page ? webkit_web_resource_get_response(page) : nullptr;
    if (!response)
        return;
    const QByteArray type = webkit_uri_response_get_mime_type(response);
    if (type != "text/html" && type != "text/plain" && type != "application/xhtml+xml")
        return;
    if (SoupMessageHeaders *headers = webkit_uri_response_get_http_headers(response)) {
        GHashTable *parameters = nullptr;
        const bool named = soup_message_headers_get_content_type(headers, &parameters) && parameters &&
                           g_hash_table_lookup(parameters, "charset");
        if (parameters)
            g_hash_table_destroy(parameters);
        if (named)
            return;
    }
    struct GuessJob {
        QPointer<WebKitBrowser> browser;
        int load;
        const char *encoding = nullptr;
        // Still this control's view, on the page the guess is about.
        bool Current() const { return browser && browser->view_ && browser->loadSerial_ == load; }
    };
    webkit_web_resource_get_data(
        page, nullptr,
        [](GObject *resource, GAsyncResult *result, gpointer data) {
            std::unique_ptr<GuessJob> guess(static_cast<GuessJob *>(data));
            gsize length = 0;
            guchar *bytes =
                webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(resource), result, &length, nullptr);
            guess->encoding = EncodingFromBytes(
                QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), bytes ? int(length) : 0));
            g_free(bytes);
            if (!guess->encoding || !guess->Current())
                return;
            WebKitWebView *view = guess->browser->view_;
            webkit_web_view_evaluate_javascript(
                view, kUsesDefaultCharset, -1, nullptr, nullptr, nullptr,
                [](GObject *view, GAsyncResult *result, gpointer data) {
                    std::unique_ptr<GuessJob> guess(static_cast<GuessJob *>(data));
                    JSCValue *value =
                        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
                    const bool undeclared = value && jsc_value_to_boolean(value);
                    if (value)
                        g_object_unref(value);
                    if (undeclared && guess->Current())
                        guess->browser->ReadPageAgain(guess->encoding);
                },
                guess.release());
        },
        new GuessJob{this, loadSerial_});
}

void WebKitBrowser::ReadPageAgain(const char *encoding)
{
    // The default encoding goes to the guessed one for the reload only: the
    // page's decoder takes it when the page commits, and the default is
    // back from then on. A custom charset would instead hold for every
    // later page of the view, and clearing it reloads the page.
    guess_ = Guess::Reloading;
    webkit_settings_set_default_charset(webkit_web_view_get_settings(view_), encoding);
    defaultCharsetMoved_ = true;
    LoadRequested();
    webkit_web_view_reload(view_);
}

void WebKitBrowser::RestoreDefaultCharset()
{
    if (!view_ || !std::exchange(defaultCharsetMoved_, false))
        return;
    webkit_settings_set_default_charset(webkit_web_view_get_settings(view_), kDefaultCharset);
}

void WebKitBrowser::ApplyHostOptions(const HostOptions &options)
{
    if (!view_)
        return;
    const uint32_t dl = options.downloadControl;
    WebKitSettings *settings = webkit_web_view_get_settings(view_);
    webkit_settings_set_auto_load_images(settings, (dl & DLCTL_DLIMAGES) != 0);
    webkit_settings_set_enable_media(settings, (dl & DLCTL_VIDEOS) != 0);
    webkit_settings_set_enable_webaudio(settings, (dl & DLCTL_BGSOUNDS) != 0);
    // Page scripts only: the engine's own scripts (find) keep working.
    webkit_settings_set_enable_javascript_markup(settings, (dl & DLCTL_NO_SCRIPTS) == 0);
    // Java and ActiveX do not exist here; the download-only, cache, frame,
    // offline, client-pull and silent flags have no counterpart.

    // DOCHOSTUIFLAG_SCROLL_NO hides the scroll bars. A view made for an
    // opener shares the opener's content rules and leaves them alone. The
    // other host flags have no counterpart; the context menu and the
    // accelerators are answered where they arise.
    if (!relatedTo_) {
        WebKitUserContentManager *content = webkit_web_view_get_user_content_manager(view_);
        webkit_user_content_manager_remove_all_style_sheets(content);
        if (options.hostFlags & DOCHOSTUIFLAG_SCROLL_NO) {
            WebKitUserStyleSheet *sheet = webkit_user_style_sheet_new(
                "html, body { overflow: hidden !important; }", WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
            webkit_user_content_manager_add_style_sheet(content, sheet);
            webkit_user_style_sheet_unref(sheet);
        }
    }
}

QString WebKitBrowser::SuggestedSaveName() const
{
    const char *title = view_ ? webkit_web_view_get_title(view_) : nullptr;
    QString name = title && *title ? QString::fromUtf8(title) : QStringLiteral("page");
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name + QStringLiteral(".html");
}

QString WebKitBrowser::SaveFilter() const
{
    return QString::fromUtf8(engine::texts::kSaveFilterHtmlAndArchive);
}

void WebKitBrowser::ReportTitle()
{
    // A page without a <title> is shown by its address, as in the other
    // engine.
    const char *title = view_ ? webkit_web_view_get_title(view_) : nullptr;
    const QString text = title && *title ? QString::fromUtf8(title) : CurrentUri();
    if (text.isEmpty() || text == titleShown_)
        return;
    titleShown_ = text;
    EmitTitle(text);
}

void WebKitBrowser::ReportConnectionOfPage()
{
    // The module's error page came over no connection; a page shown over
    // https with TLS errors was let through by the user.
    GTlsCertificate *certificate = nullptr;
    GTlsCertificateFlags errors = GTlsCertificateFlags(0);
    const bool tls = view_ && webkit_web_view_get_tls_info(view_, &certificate, &errors);
    const QUrl url(CurrentUri());
    const bool errorPage = showingErrorPage_;
    showingErrorPage_ = false;
    if (errorPage || (url.scheme() == QLatin1String("https") && !tls))
        ReportConnection(QUrl(), false);
    else
        ReportConnection(url, tls && errors != 0);
}

void WebKitBrowser::ShowErrorPage(const QString &address, const QString &reason)
{
    if (!view_)
        return;
    errorPage_ = ErrorPage::Pending;
    showingErrorPage_ = true;
    const QString html =
        QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>"
                       "body{font-family:sans-serif;margin:3em;color:#333}h1{font-size:1.4em}"
                       ".address{color:#666;word-break:break-all}</style></head><body>"
                       "<h1>%1</h1><p>%2</p><p class=\"address\">%3</p><p>%4</p></body></html>")
            .arg(QString::fromUtf8(texts::kErrorHeading), reason.toHtmlEscaped(), address.toHtmlEscaped(),
                 QString::fromUtf8(texts::kErrorHint));
    webkit_web_view_load_alternate_html(view_, html.toUtf8().constData(), address.toUtf8().constData(),
                                        nullptr);
}

void WebKitBrowser::Find(const FindRequest &request)
{
    if (!view_)
        return;
    WebKitFindController *finder = webkit_web_view_get_find_controller(view_);
    if (request.text.isEmpty()) {
        webkit_find_controller_search_finish(finder);
        findText_.clear();
        ReportFindResult(QString(), 0);
        return;
    }
    unsigned options = WEBKIT_FIND_OPTIONS_WRAP_AROUND;
    if (!request.matchCase)
        options |= WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE;
    const QByteArray text = request.text.toUtf8();
    // The same search again moves to the next (or previous) match.
    if (request.text == findText_ && options == findOptions_) {
        if (request.backward)
            webkit_find_controller_search_previous(finder);
        else
            webkit_find_controller_search_next(finder);
    } else {
        findText_ = request.text;
        findOptions_ = options;
        const unsigned first = options | (request.backward ? WEBKIT_FIND_OPTIONS_BACKWARDS : 0);
        webkit_find_controller_search(finder, text.constData(), first, G_MAXUINT);
    }
    webkit_find_controller_count_matches(finder, text.constData(), options, G_MAXUINT);
}

void WebKitBrowser::OnFindCount(WebKitFindController *, guint count, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    browser->ReportFindResult(browser->findText_, count == G_MAXUINT ? 0 : int(count));
}

namespace {

// GTK's own file printer, found by its kind: its name is translated
// ("Print to File" is another text under a Japanese locale).
bool IsFilePrinter(GtkPrinter *printer)
{
    GtkPrintBackend *backend = gtk_printer_get_backend(printer);
    return backend && g_strcmp0(G_OBJECT_TYPE_NAME(backend), "GtkPrintBackendFile") == 0;
}

} // namespace

void WebKitBrowser::Print(const PrintRequest &request)
{
    if (!view_)
        return;
    if (request.printerName.isEmpty() && request.outputFile.isEmpty()) {
        ReportPrintFinished(false, QString::fromUtf8(texts::kPrintNoPrinter));
        return;
    }
    GtkPrintSettings *settings = gtk_print_settings_new();
    gtk_print_settings_set_n_copies(settings, std::max(1, request.copies));
    const GtkPageOrientation orientation =
        request.landscape ? GTK_PAGE_ORIENTATION_LANDSCAPE : GTK_PAGE_ORIENTATION_PORTRAIT;
    gtk_print_settings_set_orientation(settings, orientation);
    if (request.outputFile.isEmpty()) {
        gtk_print_settings_set_printer(settings, request.printerName.toUtf8().constData());
        StartPrint(settings, orientation, QString());
        return;
    }
    // GTK's file printer writes the pages as PDF. The printers are listed
    // in the background; the job starts once the file printer is found.
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
    gchar *uri = g_filename_to_uri(
        QFile::encodeName(QFileInfo(request.outputFile).absoluteFilePath()).constData(), nullptr, nullptr);
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
    g_free(uri);
    struct Search {
        QPointer<WebKitBrowser> browser;
        GtkPrintSettings *settings;
        GtkPageOrientation orientation;
        QString outputFile;
        bool found;
    };
    gtk_enumerate_printers(
        [](GtkPrinter *printer, gpointer data) -> gboolean {
            auto *search = static_cast<Search *>(data);
            if (!IsFilePrinter(printer))
                return FALSE;
            gtk_print_settings_set_printer(search->settings, gtk_printer_get_name(printer));
            search->found = true;
            return TRUE;
        },
        new Search{this, settings, orientation, request.outputFile, false},
        [](gpointer data) {
            std::unique_ptr<Search> search(static_cast<Search *>(data));
            // Called from within GTK's listing: the job starts from the loop.
            QTimer::singleShot(0, [search = search.release()] {
                std::unique_ptr<Search> owned(search);
                if (owned->browser && owned->found && owned->browser->view_)
                    owned->browser->StartPrint(owned->settings, owned->orientation, owned->outputFile);
                else if (owned->browser)
                    owned->browser->ReportPrintFinished(
                        false, QString::fromUtf8(engine::texts::kPdfFailed).arg(owned->outputFile));
                g_object_unref(owned->settings);
            });
        },
        FALSE);
}

void WebKitBrowser::StartPrint(GtkPrintSettings *settings, int orientation, const QString &outputFile)
{
    GtkPageSetup *page = gtk_page_setup_new();
    gtk_page_setup_set_orientation(page, GtkPageOrientation(orientation));
    WebKitPrintOperation *operation = webkit_print_operation_new(view_);
    webkit_print_operation_set_print_settings(operation, settings);
    webkit_print_operation_set_page_setup(operation, page);
    g_object_unref(page);

    auto *job = new PrintJob{this, outputFile, QString()};
    g_signal_connect(operation, "failed", G_CALLBACK(+[](WebKitPrintOperation *, GError *, gpointer data) {
                         auto *job = static_cast<PrintJob *>(data);
                         // GTK's message is in English: the module's own text says it.
                         job->error = job->outputFile.isEmpty()
                                          ? QString::fromUtf8(engine::texts::kPrintFailed)
                                          : QString::fromUtf8(engine::texts::kPdfFailed).arg(job->outputFile);
                     }),
                     job);
    g_signal_connect(operation, "finished", G_CALLBACK(+[](WebKitPrintOperation *operation, gpointer data) {
                         std::unique_ptr<PrintJob> job(static_cast<PrintJob *>(data));
                         g_signal_handlers_disconnect_by_data(operation, data);
                         g_object_unref(operation);
                         if (job->browser)
                             job->browser->ReportPrintFinished(job->error.isEmpty(), job->error);
                     }),
                     job);
    webkit_print_operation_print(operation);
}

// ---- engine events ----

void WebKitBrowser::OnLoadChanged(WebKitWebView *view, int event, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    QPointer<WebKitBrowser> alive(browser);
    switch (event) {
    case WEBKIT_LOAD_STARTED:
        ++browser->loadSerial_;
        // The second reading of a page is never guessed again; any other
        // load is.
        browser->guess_ = browser->guess_ == Guess::Reloading ? Guess::Done : Guess::None;
        browser->pagePosted_ = std::exchange(browser->postPending_, false);
        browser->awaitingCommit_ = true;
        browser->loadFailed_ = false;
        browser->errorPage_ =
            browser->errorPage_ == ErrorPage::Pending ? ErrorPage::Showing : ErrorPage::None;
        browser->progress_ = -1;
        browser->titleShown_.clear();
        browser->LoadBegan(webkit_web_view_can_go_back(view), webkit_web_view_can_go_forward(view));
        break;
    case WEBKIT_LOAD_COMMITTED:
        // The page has its decoder: the next ones take the default again.
        browser->RestoreDefaultCharset();
        // The page has something to show.
        if (browser->host_)
            browser->host_->RevealView();
        browser->awaitingCommit_ = false;
        // Loads the page starts itself (a link, a form sent) are never
        // started again: a form's data would not go with them.
        browser->lostLoadsRetried_ = kLostLoadRetries;
        browser->shownAddress_ = browser->CurrentUri();
        browser->ReportConnectionOfPage();
        if (alive)
            browser->ReportTitle();
        break;
    case WEBKIT_LOAD_FINISHED:
        if (std::exchange(g_spareAfterLoad, false))
            KeepSpareForWakes();
        browser->RestoreDefaultCharset();
        if (browser->host_)
            browser->host_->RevealView();
        browser->awaitingCommit_ = false;
        // Finished, failed or stopped: the bar ends at 100, which the
        // Gecko window takes for the end of loading.
        if (browser->progress_ != 100) {
            browser->progress_ = 100;
            browser->EmitProgress(100);
        }
        if (alive)
            browser->LoadEnded(!browser->loadFailed_ && browser->errorPage_ == ErrorPage::None);
        // And both history states once more, after the bar has ended: the
        // Gecko window saves its button states (the stop button's among
        // them) only when a command state arrives, and puts them back when
        // it is activated again.
        if (alive)
            browser->UpdateCommandStates(webkit_web_view_can_go_back(view),
                                         webkit_web_view_can_go_forward(view), true);
        if (alive && browser->guess_ == Guess::None && !browser->pagePosted_ && !browser->loadFailed_ &&
            browser->errorPage_ == ErrorPage::None)
            browser->GuessPageEncoding();
        break;
    default:
        break;
    }
}

gboolean WebKitBrowser::OnLoadFailed(WebKitWebView *view, int, const char *uri, GError *error, gpointer self)
{
    static_cast<WebKitBrowser *>(self)->loadFailed_ = true;
    // Stopped loads, cancelled navigations and downloads show no page.
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
        return FALSE;
    auto *browser = static_cast<WebKitBrowser *>(self);
    // WebKit opens a connection ahead of every load it is asked for, and
    // the load takes that connection over while it is still being made.
    // When the warm-up gives up on it first (it refuses an untrusted
    // certificate without asking; it has a time limit of its own), the load
    // fails as cancelled: no certificate question and no page, mostly on a
    // busy machine. Nobody stopped it (a stop is the WebKit error above), so
    // it is started again, a few times at most.
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED) &&
        browser->lostLoadsRetried_ < kLostLoadRetries) {
        ++browser->lostLoadsRetried_;
        browser->StartRequest();
        webkit_web_view_load_uri(view, uri);
        return TRUE;
    }
    browser->ShowErrorPage(QString::fromUtf8(uri), ErrorReason(error));
    return TRUE;
}

gboolean WebKitBrowser::OnTlsErrors(WebKitWebView *view, const char *uri, GTlsCertificate *certificate,
                                    int errors, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    const QUrl url(QString::fromUtf8(uri));
    CertificateErrorInfo info;
    info.url = url;
    info.host = engine::HostWithPort(url);
    info.description = CertificateDescription(GTlsCertificateFlags(errors));
    // Refused: the load fails and the error page shows.
    if (!browser->AskCertificateError(info))
        return FALSE;
    // Trusted for this host for the rest of the run only, then loaded.
    webkit_web_context_allow_tls_certificate_for_host(webkit_web_view_get_context(view), certificate,
                                                      url.host().toUtf8().constData());
    browser->lostLoadsRetried_ = 0; // the module's own load from here
    webkit_web_view_load_uri(view, uri);
    return TRUE;
}

void WebKitBrowser::OnProgress(GObject *view, GParamSpec *, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    const int progress =
        std::clamp(qRound(webkit_web_view_get_estimated_load_progress(WEBKIT_WEB_VIEW(view)) * 100), 0, 100);
    if (progress == browser->progress_ || !browser->Busy())
        return;
    browser->progress_ = progress;
    browser->EmitProgress(progress);
}

void WebKitBrowser::OnTitle(GObject *, GParamSpec *, gpointer self)
{
    static_cast<WebKitBrowser *>(self)->ReportTitle();
}

void WebKitBrowser::OnHistoryChanged(GObject *, gpointer, gpointer, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    if (browser->view_)
        browser->UpdateCommandStates(webkit_web_view_can_go_back(browser->view_),
                                     webkit_web_view_can_go_forward(browser->view_));
}

void WebKitBrowser::OnAddressChanged(GObject *, GParamSpec *, gpointer self)
{
    // Outside a load the address changes within the page (fragments,
    // pushState) or with a page from the back-forward cache.
    auto *browser = static_cast<WebKitBrowser *>(self);
    // An ended web process takes the address away; the page keeps it.
    if (!browser->awaitingCommit_ && !browser->CurrentUri().isEmpty())
        browser->shownAddress_ = browser->CurrentUri();
    OnHistoryChanged(nullptr, nullptr, nullptr, self);
}

void WebKitBrowser::OnMouseTarget(WebKitWebView *, gpointer hitTest, guint, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    auto *result = WEBKIT_HIT_TEST_RESULT(hitTest);
    const QString link = webkit_hit_test_result_context_is_link(result)
                             ? QString::fromUtf8(webkit_hit_test_result_get_link_uri(result))
                             : QString();
    if (link == browser->status_)
        return;
    browser->status_ = link;
    browser->EmitStatus(link);
}

gboolean WebKitBrowser::OnDecidePolicy(WebKitWebView *, gpointer decisionPointer, int type, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    auto *decision = WEBKIT_POLICY_DECISION(decisionPointer);
    switch (type) {
    case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
        QPointer<WebKitBrowser> alive(browser);
        WebKitNavigationAction *action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        WebKitURIRequest *request = webkit_navigation_action_get_request(action);
        const auto kind = webkit_navigation_action_get_navigation_type(action);
        // A link opened with the middle button or with Ctrl held goes to a
        // new window, as in the other engine and every browser: WebKitGTK
        // leaves that to its host and would load the link here. The window
        // is asked for once WebKit's signal is over.
        if (kind == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED &&
            (webkit_navigation_action_get_mouse_button(action) == 2 ||
             (webkit_navigation_action_get_modifiers(action) & GDK_CONTROL_MASK))) {
            const QString address = QString::fromUtf8(webkit_uri_request_get_uri(request));
            webkit_policy_decision_ignore(decision);
            QTimer::singleShot(0, browser, [alive, address] {
                if (alive)
                    alive->OpenInNewWindow(address);
            });
            return TRUE;
        }
        // A form's answer is never asked for again to read it in another
        // encoding.
        if (g_strcmp0(webkit_uri_request_get_http_method(request), "POST") == 0 ||
            kind == WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED)
            browser->postPending_ = true;
        // Only the page read again takes the guessed encoding.
        if (kind != WEBKIT_NAVIGATION_TYPE_RELOAD)
            browser->RestoreDefaultCharset();
        // The host may destroy the control in its handler: only locals
        // from here.
        const bool cancel =
            browser->RaiseBeforeNavigate(QString::fromUtf8(webkit_uri_request_get_uri(request)));
        if (cancel) {
            webkit_policy_decision_ignore(decision);
            if (alive)
                browser->DropRequest();
        } else
            webkit_policy_decision_use(decision);
        return TRUE;
    }
    case WEBKIT_POLICY_DECISION_TYPE_RESPONSE: {
        auto *response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
        SoupMessageHeaders *headers =
            webkit_uri_response_get_http_headers(webkit_response_policy_decision_get_response(response));
        const char *disposition =
            headers ? soup_message_headers_get_one(headers, "Content-Disposition") : nullptr;
        const bool attachment = disposition && g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
        // What the engine cannot show, or the server says to save, is saved.
        if (attachment || !webkit_response_policy_decision_is_mime_type_supported(response))
            webkit_policy_decision_download(decision);
        else
            webkit_policy_decision_use(decision);
        return TRUE;
    }
    default:
        // A new-window action goes on to `create`.
        webkit_policy_decision_use(decision);
        return TRUE;
    }
}

gpointer WebKitBrowser::OnCreate(WebKitWebView *view, gpointer, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    QPointer<WebKitBrowser> alive(browser);
    WebKitWebView *previous = g_opener;
    g_opener = view;
    browser->opened_ = true;
    WebBrowser2 *target = browser->RequestNewWindow();
    g_opener = previous;
    if (!alive)
        return nullptr;
    // Only a control of this engine, made for this request, can take the
    // new page.
    auto *catcher = dynamic_cast<WebKitBrowser *>(target);
    if (!catcher || !catcher->view_ || catcher->relatedTo_ != view)
        return nullptr;
    catcher->BeginCatch();
    return catcher->view_;
}

void WebKitBrowser::OnClose(WebKitWebView *, gpointer self)
{
    static_cast<WebKitBrowser *>(self)->ReportWindowClosing();
}

gboolean WebKitBrowser::OnScriptDialog(WebKitWebView *, gpointer dialogPointer, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    auto *dialog = static_cast<WebKitScriptDialog *>(dialogPointer);
    PageDialogRequest request;
    request.origin = PageOrigin(browser->CurrentUri());
    request.message = QString::fromUtf8(webkit_script_dialog_get_message(dialog));
    const auto type = webkit_script_dialog_get_dialog_type(dialog);
    switch (type) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
        request.kind = PageDialogKind::Confirm;
        break;
    case WEBKIT_SCRIPT_DIALOG_PROMPT:
        request.kind = PageDialogKind::Prompt;
        request.defaultText = QString::fromUtf8(webkit_script_dialog_prompt_get_default_text(dialog));
        break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
        request.kind = PageDialogKind::BeforeUnload;
        break;
    default:
        request.kind = PageDialogKind::Alert;
        break;
    }
    QString text = request.defaultText;
    QPointer<WebKitBrowser> alive(browser);
    const bool accepted = browser->AskPageDialog(request, &text);
    if (type == WEBKIT_SCRIPT_DIALOG_CONFIRM || type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM)
        webkit_script_dialog_confirm_set_confirmed(dialog, accepted);
    // Staying on the page: the requested load never begins.
    if (alive && type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM && !accepted) {
        browser->awaitingCommit_ = false;
        browser->EndRequest();
    } else if (type == WEBKIT_SCRIPT_DIALOG_PROMPT && accepted)
        webkit_script_dialog_prompt_set_text(dialog, text.toUtf8().constData());
    return TRUE;
}

gboolean WebKitBrowser::OnAuthenticate(WebKitWebView *, gpointer requestPointer, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    auto *challenge = WEBKIT_AUTHENTICATION_REQUEST(requestPointer);
    AuthenticationRequest request;
    request.url = QUrl(browser->CurrentUri());
    request.host = QString::fromUtf8(webkit_authentication_request_get_host(challenge));
    const guint port = webkit_authentication_request_get_port(challenge);
    if (port && port != 80 && port != 443)
        request.host += QStringLiteral(":%1").arg(port);
    request.realm = QString::fromUtf8(webkit_authentication_request_get_realm(challenge));
    request.proxy = webkit_authentication_request_is_for_proxy(challenge);
    QString user, password;
    if (browser->AskAuthentication(request, user, password)) {
        WebKitCredential *credential =
            webkit_credential_new(user.toUtf8().constData(), password.toUtf8().constData(),
                                  WEBKIT_CREDENTIAL_PERSISTENCE_FOR_SESSION);
        webkit_authentication_request_authenticate(challenge, credential);
        webkit_credential_free(credential);
    } else {
        // Going on without credentials shows the server's own answer.
        webkit_authentication_request_authenticate(challenge, nullptr);
    }
    return TRUE;
}

gboolean WebKitBrowser::OnFileChooser(WebKitWebView *, gpointer requestPointer, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    auto *chooser = WEBKIT_FILE_CHOOSER_REQUEST(requestPointer);
    FileChooserRequest request;
    request.origin = PageOrigin(browser->CurrentUri());
    request.multiple = webkit_file_chooser_request_get_select_multiple(chooser);
    if (const gchar *const *types = webkit_file_chooser_request_get_mime_types(chooser))
        for (; *types; ++types)
            request.acceptedTypes << QString::fromUtf8(*types);
    const QStringList files = browser->AskFiles(request);
    if (files.isEmpty()) {
        webkit_file_chooser_request_cancel(chooser);
        return TRUE;
    }
    QList<QByteArray> names;
    for (const QString &file : files)
        names << QFile::encodeName(file);
    std::vector<const char *> list;
    for (const QByteArray &name : names)
        list.push_back(name.constData());
    list.push_back(nullptr);
    webkit_file_chooser_request_select_files(chooser, list.data());
    return TRUE;
}

gboolean WebKitBrowser::OnPermission(WebKitWebView *, gpointer requestPointer, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    auto *request = WEBKIT_PERMISSION_REQUEST(requestPointer);
    PagePermission permission;
    if (WEBKIT_IS_GEOLOCATION_PERMISSION_REQUEST(request)) {
        permission = PagePermission::Geolocation;
    } else if (WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) {
        permission = PagePermission::Notifications;
    } else if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request) &&
               !webkit_user_media_permission_is_for_display_device(
                   WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request))) {
        auto *media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
        const bool audio = webkit_user_media_permission_is_for_audio_device(media);
        const bool video = webkit_user_media_permission_is_for_video_device(media);
        permission = audio && video ? PagePermission::CameraAndMicrophone
                     : video        ? PagePermission::Camera
                                    : PagePermission::Microphone;
    } else {
        // Anything the contract does not name is refused.
        webkit_permission_request_deny(request);
        return TRUE;
    }
    if (browser->AskPermission(PageOrigin(browser->CurrentUri()), permission))
        webkit_permission_request_allow(request);
    else
        webkit_permission_request_deny(request);
    return TRUE;
}

gboolean WebKitBrowser::OnButtonPress(GtkWidget *, gpointer eventPointer, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    auto *event = static_cast<GdkEventButton *>(eventPointer);
    if (browser->host_ && !event->send_event)
        browser->host_->TakeFocusFromClick(event->time);
    return FALSE;
}

gboolean WebKitBrowser::OnKey(GtkWidget *, gpointer eventPointer, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    auto *event = static_cast<GdkEventKey *>(eventPointer);
    // Ctrl+Tab goes through the tabs of the host, as in every browser; GTK
    // would take it to move the focus, and the host would never see it.
    const bool tabKey = event->keyval == GDK_KEY_Tab || event->keyval == GDK_KEY_ISO_Left_Tab ||
                        event->keyval == GDK_KEY_KP_Tab;
    if (tabKey && (event->state & GDK_CONTROL_MASK)) {
        if (browser->host_)
            browser->host_->PassKeyToHost(event);
        return TRUE;
    }
    // Alt+Left and Alt+Right go back and forward, as in the other engine:
    // the page would take them for scrolling, so they go to the host first.
    const bool altArrow = (event->state & GDK_MOD1_MASK) &&
                          !(event->state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK)) &&
                          (event->keyval == GDK_KEY_Left || event->keyval == GDK_KEY_Right ||
                           event->keyval == GDK_KEY_KP_Left || event->keyval == GDK_KEY_KP_Right);
    // With accelerators off, Ctrl and Alt keys never reach the page; the
    // host still gets them.
    if (!altArrow &&
        (browser->options_.enableAccelerator || !(event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK))))
        return FALSE;
    if (browser->host_)
        browser->host_->PassKeyToHost(event);
    return TRUE;
}

gboolean WebKitBrowser::OnScroll(GtkWidget *, gpointer eventPointer, gpointer self)
{
    // Ctrl and the wheel zoom the page: the host decides by how much.
    auto *event = static_cast<GdkEventScroll *>(eventPointer);
    if (!(event->state & GDK_CONTROL_MASK))
        return FALSE;
    auto *browser = static_cast<WebKitBrowser *>(self);
    int steps = 0;
    if (event->direction == GDK_SCROLL_UP) {
        steps = 1;
    } else if (event->direction == GDK_SCROLL_DOWN) {
        steps = -1;
    } else if (event->direction == GDK_SCROLL_SMOOTH) {
        browser->wheelRest_ -= event->delta_y;
        steps = static_cast<int>(browser->wheelRest_);
        browser->wheelRest_ -= steps;
    }
    if (steps != 0)
        browser->ReportZoomWheel(steps);
    return TRUE;
}

gboolean WebKitBrowser::OnWindowKey(GtkWidget *, gpointer eventPointer, gpointer self)
{
    // The page did not use the key (F5, Ctrl+L...): the host's shortcuts
    // get it.
    auto *browser = static_cast<WebKitBrowser *>(self);
    if (browser->host_)
        browser->host_->PassKeyToHost(static_cast<GdkEventKey *>(eventPointer));
    return TRUE;
}

gboolean WebKitBrowser::OnPrintRequest(WebKitWebView *, gpointer, gpointer)
{
    // window.print(): printing is the host's command, with its own dialog.
    return TRUE;
}

void WebKitBrowser::OnFullScreenRequest(WebKitUserContentManager *, gpointer, gpointer self)
{
    // The page heard a refusal; the user reads why.
    auto *browser = static_cast<WebKitBrowser *>(self);
    browser->status_ = QString::fromUtf8(texts::kFullScreenRefused);
    browser->EmitStatus(browser->status_);
}

gboolean WebKitBrowser::OnPageMessage(WebKitWebView *, WebKitUserMessage *message, gpointer self)
{
    if (std::strcmp(webkit_user_message_get_name(message), page::kOverMemoryMessage) != 0)
        return FALSE;
    // The page's process ends once its views have heard why.
    static_cast<WebKitBrowser *>(self)->processOverMemory_ = true;
    webkit_user_message_send_reply(message, webkit_user_message_new(page::kOverMemoryMessage, nullptr));
    return TRUE;
}

void WebKitBrowser::OnWebProcessGone(WebKitWebView *, int reason, gpointer self)
{
    if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API)
        return;
    auto *browser = static_cast<WebKitBrowser *>(self);
    const bool overMemory = reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT || browser->processOverMemory_;
    browser->processOverMemory_ = false;
    browser->DropRequest();
    browser->awaitingCommit_ = false;
    // The page comes back with its own title once it is loaded again.
    browser->titleShown_.clear();
    // WebKit tells an ended process only as crashed or over its memory
    // limit: a process killed from outside shows as crashed, one that ended
    // itself over the limit said so first.
    browser->PageProcessEnded(overMemory ? engine::PageEnd::OutOfMemory : engine::PageEnd::Crashed);
}

} // namespace orvex::webkit

extern "C" __attribute__((visibility("default"))) orvex::WebBrowser2 *OrvexCreateWebBrowser(QWidget *parent)
{
    return new orvex::webkit::WebKitBrowser(parent);
}
