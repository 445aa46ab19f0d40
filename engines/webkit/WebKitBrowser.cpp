#include "WebKitBrowser.h"

#include <QAction>
#include <QRegularExpression>
#include <QSaveFile>
#include <QWebFrame>
#include <QWebSettings>
#include <QWebView>
#include <qtwebkitwidgetsversion.h>
#include <stdexcept>

namespace orvex::webkit {

WebKitPage::WebKitPage(WebKitBrowser *owner, QObject *parent) : QWebPage(parent), owner_(owner) {}

QWebPage *WebKitPage::createWindow(WebWindowType)
{
    WebKitBrowser *owner = owner_;
    if (!owner)
        return nullptr;
    // The host may hand back only a control of this engine: the engine
    // loads the new window's page into a page of its own kind.
    auto *catcher = dynamic_cast<WebKitBrowser *>(owner->RequestNewWindow());
    if (!catcher || !catcher->Page())
        return nullptr;
    catcher->BeginCatch();
    return catcher->Page();
}

bool WebKitPage::acceptNavigationRequest(QWebFrame *frame, const QNetworkRequest &request,
                                         NavigationType type)
{
    WebKitBrowser *owner = owner_;
    // frame == nullptr is a request for a new window, which createWindow
    // answers; sub-frames are not the control's own navigation.
    if (!owner || !frame || frame != mainFrame())
        return QWebPage::acceptNavigationRequest(frame, request, type);
    // The host may destroy the control in its handler; only locals from here.
    return !owner->RaiseBeforeNavigate(request.url().toString());
}

WebKitBrowser::WebKitBrowser(QWidget *parent)
{
    view_ = new QWebView(parent);
    page_ = new WebKitPage(this, view_);
    view_->setPage(page_);

    QWebSettings *settings = page_->settings();
    // Text sizes scale the text only, as the text-size command means.
    settings->setAttribute(QWebSettings::ZoomTextOnly, true);
    // Pop-ups are the host's decision (its block list), as in the other
    // engine; without this window.open needs a user gesture.
    settings->setAttribute(QWebSettings::JavascriptCanOpenWindows, true);

    connect(page_, &QWebPage::loadStarted, this, [this] { SetBusy(true); });
    connect(page_, &QWebPage::loadFinished, this, [this](bool) { SetBusy(false); });
    connect(page_, &QWebPage::loadProgress, this, [this](int p) { EmitProgress(p); });
    connect(page_->mainFrame(), &QWebFrame::titleChanged, this, [this](const QString &t) { ReportTitle(t); });
    connect(page_, &QWebPage::linkHovered, this,
            [this](const QString &link, const QString &, const QString &) { EmitStatus(link); });
    connect(page_, &QWebPage::statusBarMessage, this, [this](const QString &t) { EmitStatus(t); });
    for (auto action : {QWebPage::Back, QWebPage::Forward})
        connect(page_->action(action), &QAction::changed, this, [this] { ReportCommandStates(); });

    // QtWebKit takes the keys in the view itself.
    view_->installEventFilter(keyBlocker_);
    SetHostOptions(HostOptions());
}

WebKitBrowser::~WebKitBrowser()
{
    Detach();
    if (page_) {
        page_->Disown();
        disconnect(page_, nullptr, this, nullptr);
        disconnect(page_->mainFrame(), nullptr, this, nullptr);
    }
    if (view_) {
        ReleaseView(view_);
    }
}

QWidget *WebKitBrowser::Control()
{
    return view_;
}

void WebKitBrowser::GoBack()
{
    Trigger(page_.data(), QWebPage::Back);
}

void WebKitBrowser::GoForward()
{
    Trigger(page_.data(), QWebPage::Forward);
}

void WebKitBrowser::Refresh()
{
    Trigger(page_.data(), QWebPage::Reload);
}

void WebKitBrowser::Stop()
{
    Trigger(page_.data(), QWebPage::Stop);
}

QString WebKitBrowser::LocationURL() const
{
    return page_ ? page_->mainFrame()->url().toString() : QString();
}

QString WebKitBrowser::EngineName() const
{
    return QStringLiteral("QtWebKit " QTWEBKITWIDGETS_VERSION_STR);
}

void WebKitBrowser::Load(const QUrl &url)
{
    if (page_)
        page_->mainFrame()->load(url);
}

void WebKitBrowser::ApplyZoom(qreal factor)
{
    if (page_)
        page_->mainFrame()->setZoomFactor(factor);
}

QByteArray HtmlForSaving(const QString &html)
{
    QString text = html;
    // The declaration the page came with names the encoding it was read in;
    // the saved copy is UTF-8 and must say so, or it reads back garbled.
    static const QRegularExpression declared(
        QStringLiteral("(<meta[^>]*charset\\s*=\\s*[\"']?)([A-Za-z0-9_.:-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto match = declared.match(text);
    if (match.hasMatch()) {
        text.replace(match.capturedStart(2), match.capturedLength(2), QStringLiteral("utf-8"));
    } else {
        static const QRegularExpression head(QStringLiteral("<head[^>]*>"),
                                             QRegularExpression::CaseInsensitiveOption);
        const auto headTag = head.match(text);
        const QString meta = QStringLiteral("<meta charset=\"utf-8\">");
        if (headTag.hasMatch())
            text.insert(headTag.capturedEnd(), meta);
        else
            text.prepend(meta);
    }
    return text.toUtf8();
}

void WebKitBrowser::SaveTo(const QString &path)
{
    if (!page_)
        return;
    // QtWebKit has no save of its own: write the document as it stands.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot create " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
    file.write(HtmlForSaving(page_->mainFrame()->toHtml()));
    if (!file.commit())
        throw std::runtime_error("cannot write " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
}

void WebKitBrowser::Copy()
{
    if (page_)
        page_->triggerAction(QWebPage::Copy);
}

void WebKitBrowser::SelectAll()
{
    if (page_)
        page_->triggerAction(QWebPage::SelectAll);
}

void WebKitBrowser::ApplyHostOptions(const HostOptions &options)
{
    if (!view_ || !page_)
        return;
    view_->setContextMenuPolicy(options.noContext ? Qt::PreventContextMenu : Qt::DefaultContextMenu);

    const uint32_t dl = options.downloadControl;
    QWebSettings *settings = page_->settings();
    settings->setAttribute(QWebSettings::AutoLoadImages, dl & 0x10);       // DLCTL_DLIMAGES
    settings->setAttribute(QWebSettings::MediaEnabled, dl & 0x20);         // DLCTL_VIDEOS
    settings->setAttribute(QWebSettings::WebAudioEnabled, dl & 0x40);      // DLCTL_BGSOUNDS
    settings->setAttribute(QWebSettings::JavascriptEnabled, !(dl & 0x80)); // DLCTL_NO_SCRIPTS
    settings->setAttribute(QWebSettings::JavaEnabled, !(dl & 0x100));      // DLCTL_NO_JAVA
    settings->setAttribute(QWebSettings::PluginsEnabled, !(dl & 0x200));   // DLCTL_NO_RUNACTIVEXCTLS

    // DOCHOSTUIFLAG_SCROLL_NO (0x8) hides the scroll bars; the other host
    // flags (borders, inactive scripts, behaviors, autocomplete) have no
    // counterpart in QtWebKit.
    const auto policy = (options.hostFlags & 0x8) ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    page_->mainFrame()->setScrollBarPolicy(Qt::Vertical, policy);
    page_->mainFrame()->setScrollBarPolicy(Qt::Horizontal, policy);
}

QString WebKitBrowser::SuggestedSaveName() const
{
    const QString title = page_ ? page_->mainFrame()->title() : QString();
    QString name = title.isEmpty() ? QStringLiteral("page") : title;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name + QStringLiteral(".html");
}

void WebKitBrowser::ReportTitle(const QString &title)
{
    // QtWebKit reports "" when a page commits and keeps it for a page with
    // no <title>; the host would show an empty caption. Report the address
    // instead, as the other engine does.
    if (title.isEmpty() && page_) {
        const QUrl url = page_->mainFrame()->url();
        if (!url.isEmpty())
            EmitTitle(url.toString());
        return;
    }
    EmitTitle(title);
}

void WebKitBrowser::ReportCommandStates()
{
    if (!page_)
        return;
    UpdateCommandStates(page_->action(QWebPage::Back)->isEnabled(),
                        page_->action(QWebPage::Forward)->isEnabled());
}

} // namespace orvex::webkit

extern "C" __attribute__((visibility("default"))) orvex::WebBrowser2 *OrvexCreateWebBrowser(QWidget *parent)
{
    return new orvex::webkit::WebKitBrowser(parent);
}
