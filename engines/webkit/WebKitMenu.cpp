#include "Texts.h"
#include "WebKitBrowser.h"

#include "GtkEmbed.h"

#include <QMenu>

#include <webkit2/webkit2.h>

// The page's context menu: the engine proposes its items for what was
// clicked, Orvex shows them as a Qt menu in Japanese and carries out the
// chosen one itself.
namespace orvex::webkit {

namespace {

const char *MenuLabel(WebKitContextMenuAction action)
{
    for (const auto &entry : texts::kMenuLabels)
        if (entry.action == action)
            return entry.label;
    return nullptr;
}

// The engine's menu as a Qt menu, in Japanese; each entry carries the
// engine's action for it.
void AddMenuItems(QMenu *target, WebKitContextMenu *menu)
{
    for (GList *node = webkit_context_menu_get_items(menu); node; node = node->next) {
        auto *item = WEBKIT_CONTEXT_MENU_ITEM(node->data);
        if (webkit_context_menu_item_is_separator(item)) {
            if (!target->isEmpty() && !target->actions().constLast()->isSeparator())
                target->addSeparator();
            continue;
        }
        const WebKitContextMenuAction action = webkit_context_menu_item_get_stock_action(item);
        const char *label = MenuLabel(action);
        if (!label)
            continue;
        if (WebKitContextMenu *submenu = webkit_context_menu_item_get_submenu(item)) {
            QMenu *sub = target->addMenu(QString::fromUtf8(label));
            AddMenuItems(sub, submenu);
            if (sub->isEmpty())
                target->removeAction(sub->menuAction());
            continue;
        }
        GAction *engineAction = webkit_context_menu_item_get_gaction(item);
        QAction *entry = target->addAction(QString::fromUtf8(label));
        entry->setEnabled(!engineAction || g_action_get_enabled(engineAction));
        entry->setData(int(action));
    }
    while (!target->isEmpty() && target->actions().constLast()->isSeparator())
        target->removeAction(target->actions().constLast());
}

} // namespace

gboolean WebKitBrowser::OnContextMenu(WebKitWebView *, gpointer menuPointer, gpointer eventPointer,
                                      gpointer hitTestPointer, gpointer self)
{
    auto *browser = static_cast<WebKitBrowser *>(self);
    if (browser->options_.noContext || !browser->host_)
        return TRUE;
    auto *menu = new QMenu(browser->host_);
    AddMenuItems(menu, WEBKIT_CONTEXT_MENU(menuPointer));
    if (menu->isEmpty()) {
        delete menu;
        return TRUE;
    }
    auto *hitTest = WEBKIT_HIT_TEST_RESULT(hitTestPointer);
    MenuTarget target;
    target.link = QString::fromUtf8(webkit_hit_test_result_get_link_uri(hitTest));
    target.image = QString::fromUtf8(webkit_hit_test_result_get_image_uri(hitTest));
    target.media = QString::fromUtf8(webkit_hit_test_result_get_media_uri(hitTest));
    gdouble x = 0, y = 0;
    QPoint at = browser->host_->mapToGlobal(browser->host_->rect().center());
    if (eventPointer && gdk_event_get_root_coords(static_cast<GdkEvent *>(eventPointer), &x, &y))
        at = QPoint(int(x), int(y));
    // The menu opens and the engine's call returns: no Qt loop runs inside
    // GTK's signal (a control closed meanwhile would lose its view under
    // the engine). The choice arrives from Qt's loop.
    QObject::connect(menu, &QMenu::triggered, browser, [browser, target](QAction *chosen) {
        browser->RunMenuAction(chosen->data().toInt(), target);
    });
    QObject::connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    // A right button still held keeps the page's window grabbing the
    // pointer, and the menu could not take it: a click elsewhere would not
    // close it.
    ReleasePointerGrab();
    menu->popup(at);
    return TRUE;
}

void WebKitBrowser::RunMenuAction(int action, const MenuTarget &target)
{
    if (!view_)
        return;
    auto command = [this](const char *name) { webkit_web_view_execute_editing_command(view_, name); };
    auto download = [this](const QString &uri) {
        if (!uri.isEmpty())
            webkit_web_view_download_uri(view_, uri.toUtf8().constData());
    };
    switch (action) {
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK:
        webkit_web_view_load_uri(view_, target.link.toUtf8().constData());
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW:
        OpenInNewWindow(target.link);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW:
        OpenInNewWindow(target.image);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW:
        OpenInNewWindow(target.media);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_LINK_TO_DISK:
        download(target.link);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_IMAGE_TO_DISK:
        download(target.image);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_VIDEO_TO_DISK:
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_AUDIO_TO_DISK:
        download(target.media);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_COPY_LINK_TO_CLIPBOARD:
        SetClipboardText(target.link);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_URL_TO_CLIPBOARD:
        SetClipboardText(target.image);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_COPY_VIDEO_LINK_TO_CLIPBOARD:
    case WEBKIT_CONTEXT_MENU_ACTION_COPY_AUDIO_LINK_TO_CLIPBOARD:
        SetClipboardText(target.media);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_GO_BACK:
        GoBack();
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_GO_FORWARD:
        GoForward();
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_STOP:
        Stop();
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_RELOAD:
        Refresh();
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_COPY:
        command(WEBKIT_EDITING_COMMAND_COPY);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_CUT:
        command(WEBKIT_EDITING_COMMAND_CUT);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_PASTE:
        command(WEBKIT_EDITING_COMMAND_PASTE);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_PASTE_AS_PLAIN_TEXT:
        command(WEBKIT_EDITING_COMMAND_PASTE_AS_PLAIN_TEXT);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_DELETE:
        command("Delete");
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL:
        command(WEBKIT_EDITING_COMMAND_SELECT_ALL);
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_BOLD:
        command("Bold");
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_ITALIC:
        command("Italic");
        break;
    case WEBKIT_CONTEXT_MENU_ACTION_UNDERLINE:
        command("Underline");
        break;
    default:
        break;
    }
}

void WebKitBrowser::OpenInNewWindow(const QString &address)
{
    if (address.isEmpty())
        return;
    // As a page's request for a window: the host answers with a catcher,
    // which learns the address.
    if (WebBrowser2 *target = RequestNewWindow()) {
        try {
            target->Navigate(address);
        } catch (const std::exception &) {
            // An address the catcher cannot take opens nothing.
        }
    }
}

} // namespace orvex::webkit
