// WebKitGTK views inside the Qt window, in one process on X11.
//
// Qt and GDK each talk to the X server over a connection of their own; the
// GTK sources run on Qt's GLib event loop. A GtkWindow of type POPUP (no
// window manager takes it) holds the view; its X window is put inside the
// native X window of GtkViewHost, the widget the host places in its window. What the two toolkits do not do
// for each other is done here: X input focus between the page and Qt's widgets, keys that X delivers to the
// wrong toolkit, the clipboard, and a teardown that never leaves GDK drawing on a window Qt has destroyed.
#pragma once

#include <QWidget>

#include <functional>

class QDropEvent;
typedef struct _GtkWidget GtkWidget;
typedef struct _GdkEventKey GdkEventKey;

namespace orvex::webkit {

// Starts GTK on Qt's X display, once, with the focus and key filters and
// the clipboard bridge. Throws std::runtime_error without an X display.
void EnsureGtk();

// Opens GTK's display ahead of the first view, on the thread that mapped
// this module, while the user-interface thread builds the main window. Only
// the toolkit's own start is done there; EnsureGtk waits for it and does the
// rest on the user-interface thread, which GTK uses from then on.
void StartGtkEarly();

// Puts text on the clipboard through Qt, which may hold an older X time
// than GTK's last claim.
void SetClipboardText(const QString &text);

// Ends the pointer grab X gave the page's window with a button press, so
// that a Qt pop-up opened meanwhile can take the pointer.
void ReleasePointerGrab();

class GtkViewHost : public QWidget {
    Q_OBJECT
public:
    explicit GtkViewHost(QWidget *parent);
    ~GtkViewHost() override;

    // Places the engine's view in the GTK window, in place of the one there;
    // the GTK window owns it.
    void SetView(GtkWidget *view);
    GtkWidget *View() const { return view_; }
    // The page has something to show (its first load committed or ended):
    // the view is shown from now on. Drawn before that, WebKit's
    // non-compositing path waits for the web process's first picture on
    // the main thread, which while many web processes start at once adds
    // up to seconds.
    void RevealView();

    // The page was clicked: Qt's focus comes to this widget and X focus to
    // the page, with the click's time.
    void TakeFocusFromClick(unsigned int time);

    // Text dragged from a page and let go at `screen` over this page: the
    // engine puts it into the page's field there (the point given in the
    // view's pixels) and answers whether it did.
    using TextDrop = std::function<void(const QPoint &, const QString &, std::function<void(bool)>)>;
    void SetTextDrop(TextDrop drop) { textDrop_ = std::move(drop); }
    void DropText(const QPoint &screen, const QString &text, std::function<void(bool)> taken);

    // A key the page did not use, or one the host keeps from the page:
    // delivered to Qt as X would have, so the host's shortcuts see it.
    void PassKeyToHost(const GdkEventKey *event);

    // True for a key event GTK built from one Qt delivered to this widget.
    static bool CameFromQt(const GdkEventKey *event);

Q_SIGNALS:
    // The view is about to be destroyed: nothing may touch it afterwards.
    void ViewClosing();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // Input Qt hands to this widget (tests, or keys that reach Qt's window
    // while the page has Qt's focus) goes on to the page.
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;

private:
    // Puts the GTK window into this widget's X window.
    void Embed();
    // Plain text dragged from a page, which a field of this page may take.
    bool TakesDrag(const QDropEvent *event) const;
    void SyncSize();
    void GiveXFocusToPage(unsigned int time);
    void ForwardKey(QKeyEvent *event, bool press);
    void ForwardMouse(QMouseEvent *event);

    GtkWidget *window_ = nullptr;
    GtkWidget *view_ = nullptr;
    unsigned long xid_ = 0;
    bool embedded_ = false;
    TextDrop textDrop_;
    bool shown_ = false;
    bool revealed_ = false;
};

} // namespace orvex::webkit
