#include "GtkEmbed.h"

#include "Texts.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QBackingStore>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QX11Info>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <xcb/xcb.h>

// X11 headers last: their macros (KeyPress, FocusIn, None...) collide with
// Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace orvex::webkit {

namespace {

int g_xiOpcode = -1;
// The drag over Qt's window now comes from a page (a GTK window).
bool g_dragFromPage = false;

Display *GdkXDisplay()
{
    return GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
}

// A window GDK made (a page's GTK window), not one it merely knows of.
bool IsGtkWindow(Window window)
{
    GdkWindow *known = gdk_x11_window_lookup_for_display(gdk_display_get_default(), window);
    return known && gdk_window_get_window_type(known) != GDK_WINDOW_FOREIGN;
}

Window XFocus()
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(GdkXDisplay(), &focus, &revert);
    return focus;
}

void SetXFocus(Window window, unsigned long time)
{
    // A window that is not viewable refuses the focus with BadMatch, which
    // GDK's error handler would take for a fatal error.
    GdkDisplay *display = gdk_display_get_default();
    gdk_x11_display_error_trap_push(display);
    XSetInputFocus(GDK_DISPLAY_XDISPLAY(display), window, RevertToParent, time);
    gdk_x11_display_error_trap_pop_ignored(display);
}

void SendKey(Display *display, Window target, bool press, unsigned int keycode, unsigned int state,
             unsigned long time, int rootX, int rootY)
{
    XKeyEvent key{};
    key.type = press ? KeyPress : KeyRelease;
    key.send_event = True;
    key.display = display;
    key.window = target;
    key.root = DefaultRootWindow(display);
    key.subwindow = None;
    key.time = time;
    key.x_root = rootX;
    key.y_root = rootY;
    key.state = state;
    key.keycode = keycode;
    key.same_screen = True;
    GdkDisplay *gdk = gdk_display_get_default();
    gdk_x11_display_error_trap_push(gdk);
    XSendEvent(display, target, False, press ? KeyPressMask : KeyReleaseMask,
               reinterpret_cast<XEvent *>(&key));
    XFlush(display);
    gdk_x11_display_error_trap_pop_ignored(gdk);
}

// While Qt's window has X focus and the pointer rests on a page, X delivers
// the keys to the page's window, the innermost one under the pointer. They
// belong to the focus window: send them on there and drop them here. GDK
// reads keys as XI2 events, which only a filter for all windows sees.
GdkFilterReturn KeyFilter(GdkXEvent *native, GdkEvent *, gpointer)
{
    auto *xevent = static_cast<XEvent *>(native);
    if (xevent->type != GenericEvent || xevent->xcookie.extension != g_xiOpcode)
        return GDK_FILTER_CONTINUE;
    const int type = xevent->xcookie.evtype;
    if (type != XI_KeyPress && type != XI_KeyRelease)
        return GDK_FILTER_CONTINUE;
    auto *device = static_cast<XIDeviceEvent *>(xevent->xcookie.data);
    if (!device || !IsGtkWindow(device->event))
        return GDK_FILTER_CONTINUE;
    const Window focus = XFocus();
    if (focus == None || focus == PointerRoot || IsGtkWindow(focus))
        return GDK_FILTER_CONTINUE;
    const unsigned int state = device->mods.effective | (device->group.effective << 13);
    SendKey(xevent->xcookie.display, focus, type == XI_KeyPress, device->detail, state, device->time,
            int(device->root_x), int(device->root_y));
    return GDK_FILTER_REMOVE;
}

// X focus moving from Qt's window into the page's window, which lives
// inside it, reaches Qt as a focus-out; Qt would take the program for
// inactive and its window shortcuts would stop. The focus is still within
// the window, so Qt does not hear of it.
class FocusKeeper : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray &type, void *message, long *) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        auto *event = static_cast<xcb_generic_event_t *>(message);
        if ((event->response_type & ~0x80) != XCB_FOCUS_OUT)
            return false;
        return reinterpret_cast<xcb_focus_out_event_t *>(event)->detail == XCB_NOTIFY_DETAIL_INFERIOR;
    }
};

// Two connections on one thread: a read of the clipboard through Qt while
// GTK owns it waits for an answer GTK cannot give until Qt returns. When a
// page puts something on the clipboard, Qt takes it over at once.
void ClaimForQt(QClipboard::Mode mode, QMimeData *data)
{
    // Qt claims the selection with its own last X time, older than GTK's
    // claim; the server would ignore it.
    QX11Info::setAppTime(QX11Info::getTimestamp());
    QApplication::clipboard()->setMimeData(data, mode);
}

void OnImage(GtkClipboard *, GdkPixbuf *pixbuf, gpointer mode)
{
    auto *data = new QMimeData;
    if (pixbuf) {
        GdkPixbuf *rgba = gdk_pixbuf_add_alpha(pixbuf, FALSE, 0, 0, 0);
        const QImage image(gdk_pixbuf_get_pixels(rgba), gdk_pixbuf_get_width(rgba),
                           gdk_pixbuf_get_height(rgba), gdk_pixbuf_get_rowstride(rgba),
                           QImage::Format_RGBA8888);
        data->setImageData(image.copy());
        g_object_unref(rgba);
    }
    ClaimForQt(static_cast<QClipboard::Mode>(GPOINTER_TO_INT(mode)), data);
}

void OnText(GtkClipboard *clipboard, const gchar *text, gpointer mode)
{
    if (!text) {
        gtk_clipboard_request_image(clipboard, OnImage, mode);
        return;
    }
    auto *data = new QMimeData;
    data->setText(QString::fromUtf8(text));
    ClaimForQt(static_cast<QClipboard::Mode>(GPOINTER_TO_INT(mode)), data);
}

void OnOwnerChange(GtkClipboard *clipboard, GdkEvent *event, gpointer mode)
{
    GdkWindow *owner = event->owner_change.owner;
    if (!owner || gdk_window_get_window_type(owner) == GDK_WINDOW_FOREIGN)
        return; // another program, or Qt, owns it
    gtk_clipboard_request_text(clipboard, OnText, mode);
}

// The page's selection is the X primary selection while it lasts; WebKit
// collapses it as soon as another window takes the primary selection, so
// Qt cannot take it over on every change (a drag would select nothing).
// Qt reads it when a middle click pastes into one of its widgets, as the
// button comes up: that release waits until Qt has taken the text over.
class PrimaryBridge : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::MouseButtonRelease || !watched->isWidgetType() ||
            qobject_cast<GtkViewHost *>(watched))
            return false;
        auto *release = static_cast<QMouseEvent *>(event);
        if (release->button() != Qt::MiddleButton ||
            !IsGtkWindow(XGetSelectionOwner(GdkXDisplay(), XA_PRIMARY)))
            return false;
        auto *pending = new Pending{QPointer<QWidget>(static_cast<QWidget *>(watched)),
                                    QMouseEvent(release->type(), release->localPos(), release->windowPos(),
                                                release->screenPos(), release->button(), release->buttons(),
                                                release->modifiers(), release->source())};
        gtk_clipboard_request_text(gtk_clipboard_get(GDK_SELECTION_PRIMARY), OnText, pending);
        return true;
    }

private:
    struct Pending {
        QPointer<QWidget> widget;
        QMouseEvent release;
    };

    static void OnText(GtkClipboard *, const gchar *text, gpointer data)
    {
        std::unique_ptr<Pending> pending(static_cast<Pending *>(data));
        auto *mime = new QMimeData;
        if (text)
            mime->setText(QString::fromUtf8(text));
        ClaimForQt(QClipboard::Selection, mime);
        if (pending->widget)
            QApplication::sendEvent(pending->widget, &pending->release);
    }
};

xcb_atom_t QtAtom(const char *name)
{
    xcb_connection_t *connection = QX11Info::connection();
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// Something dragged out of a page and dropped on a Qt widget. Qt would
// fetch the data with a read that waits for GTK, which cannot answer
// before Qt returns: the drag hung until Qt gave up. Qt takes the drop
// for the end of the drag instead (a leave); the data comes from GTK in
// the loop, then the widget gets the drop and GTK hears the drag is over.
class DropBridge : public QAbstractNativeEventFilter {
public:
    DropBridge()
        : position_(QtAtom("XdndPosition")), drop_(QtAtom("XdndDrop")), leave_(QtAtom("XdndLeave")),
          finished_(QtAtom("XdndFinished")), copy_(QtAtom("XdndActionCopy"))
    {
    }

    bool nativeEventFilter(const QByteArray &type, void *message, long *) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        auto *event = static_cast<xcb_generic_event_t *>(message);
        if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE)
            return false;
        auto *client = reinterpret_cast<xcb_client_message_event_t *>(event);
        const uint32_t source = client->data.data32[0];
        if (client->type == position_) {
            g_dragFromPage = IsGtkWindow(source);
            const uint32_t at = client->data.data32[2];
            // Screen pixels; Qt's widgets count in device-independent ones.
            const qreal ratio = qApp->devicePixelRatio();
            dropAt_ = QPoint(qRound((at >> 16) / ratio), qRound((at & 0xffff) / ratio));
        } else if (client->type == leave_) {
            g_dragFromPage = false;
        } else if (client->type == drop_ && IsGtkWindow(source)) {
            g_dragFromPage = false;
            client->type = leave_;
            auto *drop = new Drop{this, source, client->window, dropAt_};
            gtk_clipboard_request_uris(gtk_clipboard_get(gdk_atom_intern_static_string("XdndSelection")),
                                       OnUris, drop);
        }
        return false;
    }

private:
    struct Drop {
        DropBridge *bridge;
        uint32_t source;
        uint32_t target;
        QPoint at; // on the screen
        QMimeData *data = new QMimeData;
    };

    static void OnUris(GtkClipboard *clipboard, gchar **uris, gpointer pointer)
    {
        auto *drop = static_cast<Drop *>(pointer);
        QList<QUrl> urls;
        for (gchar **uri = uris; uri && *uri; ++uri)
            urls << QUrl(QString::fromUtf8(*uri));
        if (!urls.isEmpty())
            drop->data->setUrls(urls);
        gtk_clipboard_request_text(clipboard, OnText, drop);
    }

    static void OnText(GtkClipboard *, const gchar *text, gpointer pointer)
    {
        std::unique_ptr<Drop> drop(static_cast<Drop *>(pointer));
        if (text)
            drop->data->setText(QString::fromUtf8(text));
        // Text let go over a page goes into the page's field under it, as
        // in a browser of its own; anything else, or text over no field,
        // goes to the widgets around the page.
        GtkViewHost *page = nullptr;
        for (QWidget *under = QApplication::widgetAt(drop->at); under && !page; under = under->parentWidget())
            page = qobject_cast<GtkViewHost *>(under);
        if (page && !drop->data->hasUrls() && drop->data->hasText()) {
            const QString dropped = drop->data->text();
            const QPoint at = drop->at;
            page->DropText(at, dropped, [drop = drop.release()](bool taken) {
                std::unique_ptr<Drop> owned(drop);
                if (!taken)
                    return Deliver(std::move(owned));
                delete owned->data;
                owned->bridge->Finish(*owned, true);
            });
            return;
        }
        Deliver(std::move(drop));
    }

    static void Deliver(std::unique_ptr<Drop> drop)
    {
        std::unique_ptr<QMimeData> data(drop->data);
        bool accepted = false;
        // The widget under the drop that takes drops, as Qt would choose it;
        // the page widget takes only text from a page, done above.
        QWidget *target = QApplication::widgetAt(drop->at);
        while (target && (!target->acceptDrops() || qobject_cast<GtkViewHost *>(target)) &&
               !target->isWindow())
            target = target->parentWidget();
        if (target && target->acceptDrops() && (data->hasUrls() || data->hasText())) {
            const QPoint local = target->mapFromGlobal(drop->at);
            const Qt::DropActions actions = Qt::CopyAction | Qt::LinkAction;
            QDragEnterEvent enter(local, actions, data.get(), Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            if (enter.isAccepted()) {
                QDragMoveEvent move(local, actions, data.get(), Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(target, &move);
                QDropEvent dropped(local, actions, data.get(), Qt::NoButton, Qt::NoModifier);
                if (move.isAccepted())
                    QApplication::sendEvent(target, &dropped);
                accepted = move.isAccepted() && dropped.isAccepted();
            }
        }
        drop->bridge->Finish(*drop, accepted);
    }

    void Finish(const Drop &drop, bool accepted) const
    {
        xcb_client_message_event_t finished{};
        finished.response_type = XCB_CLIENT_MESSAGE;
        finished.format = 32;
        finished.window = drop.source;
        finished.type = finished_;
        finished.data.data32[0] = drop.target;
        finished.data.data32[1] = accepted ? 1 : 0;
        finished.data.data32[2] = accepted ? copy_ : xcb_atom_t(XCB_ATOM_NONE);
        xcb_send_event(QX11Info::connection(), 0, drop.source, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&finished));
        xcb_flush(QX11Info::connection());
    }

    const xcb_atom_t position_, drop_, leave_, finished_, copy_;
    QPoint dropAt_;
};

// Keys GTK built from Qt events and keys handed back to Qt, recognised
// when Qt delivers them to the host widget so they are not sent round again.
struct SentKey {
    unsigned int keycode;
    unsigned long time;
};
std::deque<SentKey> &KeysSentToQt()
{
    static std::deque<SentKey> keys;
    return keys;
}

bool IsKeyWeSent(const QKeyEvent *event)
{
    auto &keys = KeysSentToQt();
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (it->keycode == event->nativeScanCode() && it->time == event->timestamp()) {
            keys.erase(it);
            return true;
        }
    }
    return false;
}

unsigned int GdkState(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons = Qt::NoButton)
{
    unsigned int state = 0;
    if (modifiers & Qt::ShiftModifier)
        state |= GDK_SHIFT_MASK;
    if (modifiers & Qt::ControlModifier)
        state |= GDK_CONTROL_MASK;
    if (modifiers & Qt::AltModifier)
        state |= GDK_MOD1_MASK;
    if (modifiers & Qt::MetaModifier)
        state |= GDK_MOD4_MASK;
    if (buttons & Qt::LeftButton)
        state |= GDK_BUTTON1_MASK;
    if (buttons & Qt::MiddleButton)
        state |= GDK_BUTTON2_MASK;
    if (buttons & Qt::RightButton)
        state |= GDK_BUTTON3_MASK;
    return state;
}

// The GDK key of a Qt key event that carries no X key of its own.
unsigned int KeyvalForQtKey(int key, const QString &text, bool shift)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return (shift ? GDK_KEY_A : GDK_KEY_a) + unsigned(key - Qt::Key_A);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return GDK_KEY_F1 + unsigned(key - Qt::Key_F1);
    static const struct {
        int qt;
        unsigned int gdk;
    } named[] = {
        {Qt::Key_Return, GDK_KEY_Return},
        {Qt::Key_Enter, GDK_KEY_KP_Enter},
        {Qt::Key_Escape, GDK_KEY_Escape},
        {Qt::Key_Tab, GDK_KEY_Tab},
        {Qt::Key_Backtab, GDK_KEY_ISO_Left_Tab},
        {Qt::Key_Backspace, GDK_KEY_BackSpace},
        {Qt::Key_Delete, GDK_KEY_Delete},
        {Qt::Key_Insert, GDK_KEY_Insert},
        {Qt::Key_Home, GDK_KEY_Home},
        {Qt::Key_End, GDK_KEY_End},
        {Qt::Key_Left, GDK_KEY_Left},
        {Qt::Key_Up, GDK_KEY_Up},
        {Qt::Key_Right, GDK_KEY_Right},
        {Qt::Key_Down, GDK_KEY_Down},
        {Qt::Key_PageUp, GDK_KEY_Page_Up},
        {Qt::Key_PageDown, GDK_KEY_Page_Down},
        {Qt::Key_Space, GDK_KEY_space},
        {Qt::Key_Shift, GDK_KEY_Shift_L},
        {Qt::Key_Control, GDK_KEY_Control_L},
        {Qt::Key_Alt, GDK_KEY_Alt_L},
        {Qt::Key_Menu, GDK_KEY_Menu},
    };
    for (const auto &entry : named)
        if (entry.qt == key)
            return entry.gdk;
    if (!text.isEmpty() && text.at(0).isPrint())
        return gdk_unicode_to_keyval(text.at(0).unicode());
    if (key > 0 && key < 0x10000)
        return gdk_unicode_to_keyval(QChar(key).toLower().unicode());
    return 0;
}

// GTK's XIM input method (its choice under Japanese, Chinese and Korean
// locales when none is named) gives the page's widget an X window of its
// own, which stays unpainted inside Qt's window: at the first text field
// the page froze on screen. The input method named by GTK_IM_MODULE, or by
// XMODIFIERS for IBus and Fcitx, is kept; XIM gives way to GTK's own input.
void AvoidXim()
{
    QList<QByteArray> modules = qgetenv("GTK_IM_MODULE").split(':');
    modules.removeAll(QByteArray());
    modules.removeAll(QByteArray("xim"));
    if (modules.isEmpty()) {
        const QByteArray server = qgetenv("XMODIFIERS").toLower();
        if (server.contains("@im=ibus"))
            modules << "ibus";
        else if (server.contains("@im=fcitx"))
            modules << "fcitx";
    }
    modules << "gtk-im-context-simple";
    qputenv("GTK_IM_MODULE", modules.join(':'));
}

// Held while GTK starts: by the early start on the loader's thread, and by
// EnsureGtk, which so waits for an early start still under way.
std::mutex &GtkStartLock()
{
    static std::mutex lock;
    return lock;
}

// GTK's own start, on X11 only, leaving the locale Qt has set alone.
bool StartGtk()
{
    gdk_set_allowed_backends("x11");
    gtk_disable_setlocale();
    return gtk_init_check(nullptr, nullptr);
}

} // namespace

void SetClipboardText(const QString &text)
{
    auto *data = new QMimeData;
    data->setText(text);
    ClaimForQt(QClipboard::Clipboard, data);
}

void ReleasePointerGrab()
{
    Display *display = GdkXDisplay();
    XUngrabPointer(display, CurrentTime);
    XFlush(display);
}

void EnsureGtk()
{
    static bool started = false;
    if (started)
        return;
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !QX11Info::display())
        throw std::runtime_error(texts::kNoDisplay);
    std::lock_guard<std::mutex> lock(GtkStartLock());
    // GTK opens the display Qt uses, through X11 only.
    const char *qtDisplay = DisplayString(QX11Info::display());
    qputenv("DISPLAY", qtDisplay);
    // Qt's GTK platform theme or the early start may have started GTK
    // already; otherwise GTK starts here and leaves the locale Qt has set
    // alone.
    if (!gdk_display_get_default()) {
        if (!StartGtk())
            throw std::runtime_error(texts::kNoDisplay);
    } else if (std::strcmp(gdk_display_get_name(gdk_display_get_default()), qtDisplay) != 0) {
        // The early start took the environment's display; Qt was given
        // another one on its command line.
        GdkDisplay *other = gdk_display_open(qtDisplay);
        if (!other)
            throw std::runtime_error(texts::kNoDisplay);
        gdk_display_manager_set_default_display(gdk_display_manager_get(), other);
    }

    AvoidXim();

    GdkDisplay *display = gdk_display_get_default();
    // GDK ends the program on any X error it did not expect. Windows it
    // draws on live inside Qt's, and Qt may destroy them first (at exit, or
    // a parent closed out of order): such errors are never fatal here. The
    // trap stays for the whole run.
    gdk_x11_display_error_trap_push(display);

    int event = 0, error = 0;
    if (!XQueryExtension(GDK_DISPLAY_XDISPLAY(display), "XInputExtension", &g_xiOpcode, &event, &error))
        g_xiOpcode = -1;
    gdk_window_add_filter(nullptr, KeyFilter, nullptr);
    qApp->installNativeEventFilter(new FocusKeeper);
    qApp->installNativeEventFilter(new DropBridge);

    g_signal_connect(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "owner-change", G_CALLBACK(OnOwnerChange),
                     GINT_TO_POINTER(int(QClipboard::Clipboard)));
    qApp->installEventFilter(new PrimaryBridge(qApp));
    started = true;
}

void StartGtkEarly()
{
    // Only where the user-interface thread will want it: Qt on X, with the
    // display in the environment (not one given on Qt's command line, which
    // EnsureGtk opens itself).
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !std::getenv("DISPLAY"))
        return;
    std::lock_guard<std::mutex> lock(GtkStartLock());
    if (gdk_display_get_default())
        return;
    // A failure is met again, and reported, by EnsureGtk.
    if (!StartGtk())
        return;
    // The settings load the theme's style sheets, which the first window
    // would otherwise read on the user-interface thread.
    gtk_settings_get_default();
}

GtkViewHost::GtkViewHost(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    // The GTK window lives in this widget's own X window, at its origin,
    // clipped to it wherever Qt places the widget. Qt's window container
    // would add two X windows per page (a stand-in top-level and the
    // container), each made with several round trips to the server, which
    // while many pages open held the event loop for a tenth of a second.
    setAttribute(Qt::WA_NativeWindow);
    setAcceptDrops(true);
    window_ = gtk_window_new(GTK_WINDOW_POPUP);
    // A first size only: the window follows this widget once it is shown.
    // The widget itself gives no size hint, as the other engine's view, so
    // the MDI area's cascade sizes Gecko windows as it sizes the others.
    gtk_window_resize(GTK_WINDOW(window_), 800, 600);
}

GtkViewHost::~GtkViewHost()
{
    Q_EMIT ViewClosing();
    // GTK lets go first, then the window goes back under the root and the
    // server has seen that before this widget's X window, and with it any
    // window inside, is destroyed: GDK never draws on a window X destroyed.
    gtk_widget_hide(window_);
    if (xcb_connection_t *connection = QX11Info::connection()) {
        if (embedded_) {
            xcb_unmap_window(connection, xcb_window_t(xid_));
            xcb_reparent_window(connection, xcb_window_t(xid_), QX11Info::appRootWindow(), 0, 0);
        }
        free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    gtk_widget_destroy(window_);
}

void GtkViewHost::SetView(GtkWidget *view)
{
    // A view in its place goes (the window held the only reference), and
    // the new one is shown once its page has something to show, as a first
    // one is: shown at once, WebKit waited half a second for its picture.
    if (view_) {
        gtk_container_remove(GTK_CONTAINER(window_), view_);
        revealed_ = false;
    }
    view_ = view;
    gtk_container_add(GTK_CONTAINER(window_), view);
    if (shown_ && revealed_ && isVisible())
        gtk_widget_show(view);
}

void GtkViewHost::DropText(const QPoint &screen, const QString &text, std::function<void(bool)> taken)
{
    // The point in the view, counted from where GDK has the view's window on
    // the screen.
    GdkWindow *window = view_ && gtk_widget_get_realized(view_) ? gtk_widget_get_window(view_) : nullptr;
    if (!textDrop_ || !window) {
        taken(false);
        return;
    }
    int x = 0, y = 0;
    gdk_window_get_origin(window, &x, &y);
    const qreal ratio = qApp->devicePixelRatio();
    textDrop_(QPoint(qRound(screen.x() * ratio) - x, qRound(screen.y() * ratio) - y), text, std::move(taken));
}

void GtkViewHost::dragEnterEvent(QDragEnterEvent *event)
{
    // Plain text dragged from a page may go into a page's field; the drop
    // itself comes by the drop bridge. Anything else is for the widgets
    // around the page, as before.
    if (TakesDrag(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void GtkViewHost::dragMoveEvent(QDragMoveEvent *event)
{
    if (TakesDrag(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

bool GtkViewHost::TakesDrag(const QDropEvent *event) const
{
    // A drag of Qt's own widgets has its source; one from a page has none.
    const QMimeData *data = event->mimeData();
    return g_dragFromPage && !event->source() && textDrop_ && data->hasText() && !data->hasUrls();
}

void GtkViewHost::RevealView()
{
    if (revealed_)
        return;
    revealed_ = true;
    if (shown_ && view_ && isVisible())
        gtk_widget_show(view_);
}

void GtkViewHost::Embed()
{
    if (embedded_)
        return;
    const WId parent = winId();
    if (!parent)
        return;
    // GTK makes its window only now: a window opened behind others is not
    // shown until it comes to the front, and each X window GTK makes, with
    // the page's view in it, costs the event loop several round trips to
    // the server.
    gtk_widget_realize(window_);
    xid_ = gdk_x11_window_get_xid(gtk_widget_get_window(window_));
    // In on GDK's connection, so that the server sees it there before GTK
    // maps it.
    XReparentWindow(GdkXDisplay(), Window(xid_), Window(parent), 0, 0);
    embedded_ = true;
}

void GtkViewHost::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    SyncSize();
    // Only now has Qt taken the window in and mapped it.
    if (!shown_) {
        shown_ = true;
        Embed();
        gtk_widget_show(window_);
    }
    if (revealed_ && view_)
        gtk_widget_show(view_);
}

void GtkViewHost::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Out of sight (its window minimised, hidden, or this widget taken
    // out), the view is unmapped as well: WebKit then takes the page for
    // hidden, slows its timers and stops drawing it. Inside this widget's
    // unmapped X window it would only be out of view, and the page would
    // go on drawing as if seen.
    if (view_)
        gtk_widget_hide(view_);
}

void GtkViewHost::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    SyncSize();
}

void GtkViewHost::SyncSize()
{
    const int width = std::max(1, this->width());
    const int height = std::max(1, this->height());
    // GTK learns the size from neither Qt nor the server: tell it, or the
    // page keeps GTK's default size.
    gtk_window_resize(GTK_WINDOW(window_), width, height);
    if (GdkWindow *window = gtk_widget_get_window(window_))
        gdk_window_move_resize(window, 0, 0, width, height);
}

void GtkViewHost::GiveXFocusToPage(unsigned int time)
{
    if (!shown_ || !isVisible())
        return;
    SetXFocus(xid_, time ? time : CurrentTime);
    if (view_)
        gtk_widget_grab_focus(view_);
}

void GtkViewHost::TakeFocusFromClick(unsigned int time)
{
    // Nothing gives the embedded window X focus by itself.
    GiveXFocusToPage(time);
    if (!hasFocus())
        setFocus(Qt::MouseFocusReason);
}

void GtkViewHost::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    if (isActiveWindow())
        GiveXFocusToPage(CurrentTime);
}

void GtkViewHost::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    // Qt's focus went to one of its own widgets: X focus follows, on GDK's
    // connection, where the page's focus was set.
    QWidget *now = QApplication::focusWidget();
    if (!now || qobject_cast<GtkViewHost *>(now))
        return;
    if (IsGtkWindow(XFocus()))
        SetXFocus(Window(now->window()->winId()), CurrentTime);
}

void GtkViewHost::paintEvent(QPaintEvent *)
{
    // On screen the page's own window covers this widget. When the widget
    // is rendered into a picture (QWidget::grab), the page is drawn from
    // its last frame, which WebKit keeps in the view.
    QPaintDevice *target = redirected(nullptr);
    QBackingStore *store = backingStore();
    if (!target || (store && target == store->paintDevice()) || !view_ || !gtk_widget_get_visible(window_))
        return;
    // A size just given to GTK is laid out first.
    gtk_container_check_resize(GTK_CONTAINER(window_));
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    cairo_surface_t *surface = cairo_image_surface_create_for_data(
        image.bits(), CAIRO_FORMAT_ARGB32, image.width(), image.height(), image.bytesPerLine());
    cairo_t *cr = cairo_create(surface);
    gtk_widget_draw(view_, cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    QPainter(this).drawImage(0, 0, image);
}

void GtkViewHost::PassKeyToHost(const GdkEventKey *event)
{
    if (CameFromQt(event))
        return; // Qt has seen it already
    QWidget *top = window();
    if (!top || !top->windowHandle())
        return;
    auto &keys = KeysSentToQt();
    keys.push_back({event->hardware_keycode, event->time});
    if (keys.size() > 32)
        keys.pop_front();
    const unsigned int state = event->state | (unsigned(event->group) << 13);
    SendKey(GdkXDisplay(), Window(top->winId()), event->type == GDK_KEY_PRESS, event->hardware_keycode, state,
            event->time, 0, 0);
}

bool GtkViewHost::CameFromQt(const GdkEventKey *event)
{
    return event->send_event;
}

void GtkViewHost::ForwardKey(QKeyEvent *event, bool press)
{
    if (!view_ || !gtk_widget_get_realized(view_) || IsKeyWeSent(event)) {
        event->ignore();
        return;
    }
    unsigned int keyval = event->nativeVirtualKey();
    unsigned int keycode = event->nativeScanCode();
    unsigned int state = event->nativeModifiers();
    if (!keycode) {
        keyval = KeyvalForQtKey(event->key(), event->text(), event->modifiers() & Qt::ShiftModifier);
        state = GdkState(event->modifiers());
        GdkKeymapKey *keys = nullptr;
        gint count = 0;
        if (keyval &&
            gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval,
                                              &keys, &count) &&
            count > 0)
            keycode = keys[0].keycode;
        g_free(keys);
    }
    if (!keyval) {
        event->ignore();
        return;
    }
    GdkEvent *key = gdk_event_new(press ? GDK_KEY_PRESS : GDK_KEY_RELEASE);
    key->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view_)));
    key->key.send_event = TRUE;
    key->key.time = event->timestamp() ? event->timestamp() : GDK_CURRENT_TIME;
    key->key.state = state;
    key->key.keyval = keyval;
    key->key.hardware_keycode = guint16(keycode);
    GdkSeat *seat = gdk_display_get_default_seat(gdk_display_get_default());
    gdk_event_set_device(key, gdk_seat_get_keyboard(seat));
    gtk_widget_event(view_, key);
    gdk_event_free(key);
    event->accept();
}

void GtkViewHost::ForwardMouse(QMouseEvent *event)
{
    if (!view_ || !gtk_widget_get_realized(view_))
        return;
    GdkEventType type = GDK_MOTION_NOTIFY;
    if (event->type() == QEvent::MouseButtonPress)
        type = GDK_BUTTON_PRESS;
    else if (event->type() == QEvent::MouseButtonRelease)
        type = GDK_BUTTON_RELEASE;
    GdkEvent *mouse = gdk_event_new(type);
    GdkWindow *window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view_)));
    const guint32 time = event->timestamp() ? guint32(event->timestamp()) : GDK_CURRENT_TIME;
    // The button state before the event, as X gives it.
    const unsigned int state =
        GdkState(event->modifiers(),
                 type == GDK_MOTION_NOTIFY ? event->buttons() : event->buttons() ^ event->button());
    if (type == GDK_MOTION_NOTIFY) {
        mouse->motion.window = window;
        mouse->motion.send_event = TRUE;
        mouse->motion.time = time;
        mouse->motion.x = event->localPos().x();
        mouse->motion.y = event->localPos().y();
        mouse->motion.x_root = event->screenPos().x();
        mouse->motion.y_root = event->screenPos().y();
        mouse->motion.state = state;
    } else {
        mouse->button.window = window;
        mouse->button.send_event = TRUE;
        mouse->button.time = time;
        mouse->button.x = event->localPos().x();
        mouse->button.y = event->localPos().y();
        mouse->button.x_root = event->screenPos().x();
        mouse->button.y_root = event->screenPos().y();
        mouse->button.state = state;
        mouse->button.button = event->button() == Qt::RightButton    ? 3
                               : event->button() == Qt::MiddleButton ? 2
                                                                     : 1;
    }
    GdkDevice *pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
    gdk_event_set_device(mouse, pointer);
    gdk_event_set_source_device(mouse, pointer);
    gtk_widget_event(view_, mouse);
    gdk_event_free(mouse);
}

void GtkViewHost::keyPressEvent(QKeyEvent *event)
{
    ForwardKey(event, true);
}

void GtkViewHost::keyReleaseEvent(QKeyEvent *event)
{
    ForwardKey(event, false);
}

void GtkViewHost::mousePressEvent(QMouseEvent *event)
{
    ForwardMouse(event);
}

void GtkViewHost::mouseReleaseEvent(QMouseEvent *event)
{
    ForwardMouse(event);
}

void GtkViewHost::mouseMoveEvent(QMouseEvent *event)
{
    ForwardMouse(event);
}

void GtkViewHost::contextMenuEvent(QContextMenuEvent *event)
{
    // The page opens its menu from the right button itself.
    event->accept();
}

} // namespace orvex::webkit
