#include "browser/UIWebBrowser.h"

#include "browser/EngineLoader.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <algorithm>

namespace orvex {

namespace {

// The flag of each download-control member, in declaration order.
constexpr uint32_t kDownloadFlags[] = {
    DLCTL_DLIMAGES,          // CS_Images
    DLCTL_VIDEOS,            // CS_Videos
    DLCTL_BGSOUNDS,          // CS_BGSounds
    DLCTL_NO_SCRIPTS,        // CS_NoScripts
    DLCTL_NO_JAVA,           // CS_NoJava
    DLCTL_NO_RUNACTIVEXCTLS, // CS_NoActiveXRun
    DLCTL_NO_DLACTIVEXCTLS,  // cs_NoActiveXDownLoad
    DLCTL_DOWNLOADONLY,      // CS_DownLoadOnly
    DLCTL_RESYNCHRONIZE,     // CS_ReSynchronize
    DLCTL_PRAGMA_NO_CACHE,   // CS_NoCash
    DLCTL_NO_FRAMEDOWNLOAD,  // CS_NoFrame
    DLCTL_FORCEOFFLINE,      // CS_ForceOffLine
    DLCTL_NO_CLIENTPULL,     // CS_NoClientPull
    DLCTL_SILENT,            // CS_Silent
    DLCTL_OFFLINE,           // CS_OffLine
};
constexpr int kMemberCount = sizeof kDownloadFlags / sizeof kDownloadFlags[0];

QPointer<THookApplicationMessage> &HookInstance()
{
    static QPointer<THookApplicationMessage> hook;
    return hook;
}

using HandlerList = std::vector<std::pair<THookApplicationMessage::Handler, void *>>;

// Calls the pairs in list order until one sets "handled". A handler may add
// or remove pairs (a control closing its window): the walk goes over a copy
// and, once the list has changed under it, skips pairs removed meanwhile.
// Returns handled; eat tells whether a handler asked to keep the event from
// its target.
bool RunHandlers(const HandlerList &live, const uint64_t &version, QObject *watched, QEvent *event, bool &eat)
{
    const HandlerList snapshot = live;
    const uint64_t startVersion = version;
    bool handled = false;
    eat = false;
    for (const auto &pair : snapshot) {
        if (version != startVersion && std::find(live.begin(), live.end(), pair) == live.end())
            continue;
        if (pair.first(pair.second, watched, event, handled))
            eat = true;
        if (handled)
            break;
    }
    return handled;
}

// Keys the page keeps for itself while it has the focus: moving between its
// fields and links, scrolling, and deleting backwards in its edits.
bool IsPageKey(int key)
{
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Backspace:
        return true;
    default:
        return false;
    }
}

} // namespace

uint32_t DownloadControlFlags(TDownLoadControl set)
{
    uint32_t flags = 0;
    for (int member = 0; member < kMemberCount; ++member)
        if (set & (1u << member))
            flags |= kDownloadFlags[member];
    return flags;
}

THookApplicationMessage *THookApplicationMessage::Instance()
{
    QPointer<THookApplicationMessage> &hook = HookInstance();
    if (!hook) {
        // Owned by the application, so it goes at program end; until then it
        // stays installed even when no IE control is left.
        hook = new THookApplicationMessage;
        if (QCoreApplication *app = QCoreApplication::instance()) {
            hook->setParent(app);
            app->installEventFilter(hook);
        }
    }
    return hook;
}

void THookApplicationMessage::AddHandler(Handler handler, void *object)
{
    handlers_.emplace_back(handler, object);
    ++version_;
}

void THookApplicationMessage::RemoveHandler(Handler handler, void *object)
{
    auto it = std::find(handlers_.begin(), handlers_.end(), std::make_pair(handler, object));
    if (it != handlers_.end()) {
        handlers_.erase(it);
        ++version_;
    }
}

bool THookApplicationMessage::CallHandlers(QObject *watched, QEvent *event)
{
    bool eat = false;
    return RunHandlers(handlers_, version_, watched, event, eat);
}

bool THookApplicationMessage::eventFilter(QObject *watched, QEvent *event)
{
    // The filters work on keyboard messages only; every other event passes
    // without a walk over the list, which grows with every IE window.
    const QEvent::Type type = event->type();
    if (handlers_.empty() ||
        (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride))
        return false;
    bool eat = false;
    RunHandlers(handlers_, version_, watched, event, eat);
    return eat;
}

TUIWebBrowser::TUIWebBrowser(QWidget *parent, std::unique_ptr<WebBrowser2> adopted)
    : browser_(adopted ? std::move(adopted) : CreateWebBrowser(EngineKind::InternetExplorer, parent))
{
    ApplyOptions();
    THookApplicationMessage::Instance()->AddHandler(&TUIWebBrowser::AppMessageFilter, this);
}

TUIWebBrowser::~TUIWebBrowser()
{
    // The hook may already be gone with the application at program end.
    if (THookApplicationMessage *hook = HookInstance())
        hook->RemoveHandler(&TUIWebBrowser::AppMessageFilter, this);
}

uint32_t TUIWebBrowser::HostFlags() const
{
    const std::pair<bool, DocHostUIFlag> options[] = {
        {IeSCROLL_hidden, DOCHOSTUIFLAG_SCROLL_NO},
        {IeNO3DBORDER, DOCHOSTUIFLAG_NO3DBORDER},
        {IeDontSCRIPT, DOCHOSTUIFLAG_DISABLE_SCRIPT_INACTIVE},
        {IeNoBehavior, DOCHOSTUIFLAG_OVERRIDEBEHAVIORFACTORY},
        {IeAutoComplete, DOCHOSTUIFLAG_ENABLE_FORMS_AUTOCOMPLETE},
    };
    uint32_t flags = 0;
    for (const auto &[on, flag] : options)
        if (on)
            flags |= flag;
    return flags;
}

void TUIWebBrowser::ApplyOptions()
{
    HostOptions options;
    options.enableAccelerator = IeEnableAccelerator;
    options.noContext = IeNoContext;
    options.hostFlags = HostFlags();
    options.downloadControl = DownloadControl();
    browser_->SetHostOptions(options);
}

// Keys typed while this control's page has the focus belong to this control:
// they are marked handled so that the filters of other controls (and any
// later handler) never see them. The page keeps Tab, the arrows and
// Backspace even where the host has a shortcut on them; other keys reach the
// page unless a host shortcut takes them first. Keys of other widgets pass
// untouched.
bool TUIWebBrowser::AppMessageFilter(void *self, QObject *watched, QEvent *event, bool &handled)
{
    if (handled)
        return false;
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return false;
    if (!watched || !watched->isWidgetType())
        return false;
    auto *control = static_cast<TUIWebBrowser *>(self);
    QWidget *root = control->browser_ ? control->browser_->Control() : nullptr;
    auto *widget = static_cast<QWidget *>(watched);
    if (!root || (widget != root && !root->isAncestorOf(widget)))
        return false;

    handled = true;
    auto *key = static_cast<QKeyEvent *>(event);
    if (type == QEvent::ShortcutOverride && IsPageKey(key->key()) &&
        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        key->accept(); // the page, not a host shortcut, takes the key
    return false;
}

} // namespace orvex
