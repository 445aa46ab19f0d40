#include "WebEngineBrowser.h"

#include <QAction>
#include <QChildEvent>
#include <QFileInfo>
#include <QTimer>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <qtwebenginewidgetsversion.h>

namespace orvex::webengine {

WebEnginePage::WebEnginePage(WebEngineBrowser *owner, QObject *parent) : QWebEnginePage(parent), owner_(owner)
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

bool WebEnginePage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    WebEngineBrowser *owner = owner_;
    if (!owner || !isMainFrame)
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    // The host may destroy the control in its handler; only locals from here.
    return !owner->RaiseBeforeNavigate(url.toString());
}

WebEngineBrowser::WebEngineBrowser(QWidget *parent)
{
    view_ = new QWebEngineView(parent);
    page_ = new WebEnginePage(this, view_);
    view_->setPage(page_);
    view_->installEventFilter(this);

    connect(page_, &QWebEnginePage::loadStarted, this, [this] { SetBusy(true); });
    connect(page_, &QWebEnginePage::loadFinished, this, [this](bool) {
        SetBusy(false);
        // A finished load is reported as progress -1, as the Internet
        // Explorer control does, so the host's bar empties again.
        EmitProgress(-1);
        // Chromium keeps zoom per site; the chosen text size stays with the
        // control.
        if (view_ && !qFuzzyCompare(view_->zoomFactor(), engine::ZoomFactorForLevel(zoomLevel_)))
            view_->setZoomFactor(engine::ZoomFactorForLevel(zoomLevel_));
    });
    connect(page_, &QWebEnginePage::loadProgress, this, [this](int p) { EmitProgress(p); });
    connect(page_, &QWebEnginePage::titleChanged, this, [this](const QString &t) { EmitTitle(t); });
    connect(page_, &QWebEnginePage::linkHovered, this, [this](const QString &u) { EmitStatus(u); });
    for (auto action : {QWebEnginePage::Back, QWebEnginePage::Forward})
        connect(page_->action(action), &QAction::changed, this, [this] { ReportCommandStates(); });

    SetHostOptions(HostOptions());
}

WebEngineBrowser::~WebEngineBrowser()
{
    Detach();
    if (page_) {
        page_->Disown();
        disconnect(page_, nullptr, this, nullptr);
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

void WebEngineBrowser::GoBack()
{
    Trigger(page_.data(), QWebEnginePage::Back);
}

void WebEngineBrowser::GoForward()
{
    Trigger(page_.data(), QWebEnginePage::Forward);
}

void WebEngineBrowser::Refresh()
{
    Trigger(page_.data(), QWebEnginePage::Reload);
}

void WebEngineBrowser::Stop()
{
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
    if (page_)
        page_->load(url);
}

void WebEngineBrowser::ApplyZoom(qreal factor)
{
    // QtWebEngine has no text-only zoom: the whole page scales.
    if (view_)
        view_->setZoomFactor(factor);
}

void WebEngineBrowser::SaveTo(const QString &path)
{
    if (!page_)
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    const auto format = (suffix == QLatin1String("mht") || suffix == QLatin1String("mhtml"))
                            ? QWebEngineDownloadItem::MimeHtmlSaveFormat
                            : QWebEngineDownloadItem::SingleHtmlSaveFormat;
    // Written asynchronously by the engine's own download of the page.
    page_->save(path, format);
}

void WebEngineBrowser::Copy()
{
    if (page_)
        page_->triggerAction(QWebEnginePage::Copy);
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
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, dl & 0x10);       // DLCTL_DLIMAGES
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, !(dl & 0x80)); // DLCTL_NO_SCRIPTS
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, !(dl & 0x200));   // DLCTL_NO_RUNACTIVEXCTLS
    // Videos (0x20) have no switch here, nor Java (0x100), nor any of the
    // download-only, cache, frame, offline and client-pull flags. Without
    // background sounds (0x40) the page is muted, the nearest counterpart.
    page_->setAudioMuted(!(dl & 0x40));

    // DOCHOSTUIFLAG_SCROLL_NO (0x8) hides the scroll bars. NO3DBORDER (0x4)
    // has nothing to remove (the view draws no border), and
    // DISABLE_SCRIPT_INACTIVE (0x10), OVERRIDEBEHAVIORFACTORY (0x400) and
    // ENABLE_FORMS_AUTOCOMPLETE (0x4000) have no counterpart in QtWebEngine.
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, !(options.hostFlags & 0x8));
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
    return QStringLiteral("Web ページ (*.html *.htm);;Web アーカイブ (*.mht *.mhtml);;すべてのファイル (*)");
}

bool WebEngineBrowser::eventFilter(QObject *watched, QEvent *event)
{
    // The render widget that takes the keys is replaced on the first load
    // and whenever the renderer process changes; follow it.
    if (watched == view_ && event->type() == QEvent::ChildAdded) {
        QObject *child = static_cast<QChildEvent *>(event)->child();
        if (child && child->isWidgetType())
            child->installEventFilter(keyBlocker_);
        QMetaObject::invokeMethod(
            this, [this] { AttachKeyBlocker(); }, Qt::QueuedConnection);
    }
    return engine::BrowserBase::eventFilter(watched, event);
}

void WebEngineBrowser::AttachKeyBlocker()
{
    if (!view_)
        return;
    view_->installEventFilter(keyBlocker_);
    if (QWidget *proxy = view_->focusProxy())
        proxy->installEventFilter(keyBlocker_);
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
