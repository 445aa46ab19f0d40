// The Bookmarks menu and the side bar tree: both are rebuilt from the
// bookmark file, and choosing a bookmark in either opens its address in a
// new child window or in the active one, as "Option_Window"/"BookMark" says.
#include "shell/Main.h"

#include "bookmarks/BookMark.h"
#include "browser/ChildForm.h"
#include "core/BookmarkStore.h"
#include "platform/UiServices.h"
#include "shell/BarLayout.h"
#include "shell/MenuText.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QTreeWidget>

namespace orvex {

namespace {

// Caption of a generated item: "&" and the entry's name, so the name's first
// character is the access key; the name itself is shown as written.
QString ItemCaption(const BookmarkNode &entry)
{
    return QStringLiteral("&") + MenuLiteral(ToQ(entry.caption));
}

constexpr int kFixedBookmarkItems = 3; // "ブックマークに追加(&A)", "ブックマークを編集(&E)", the separator
constexpr Picture kFolderImage = Picture::Folder;
constexpr Picture kPageImage = Picture::WebPage;

// A menu holds at most this many generated items (the design counts them in
// 8 bits); the rest follow in a sub-menu at its end, and so on. Every menu
// stays short, so each insertion costs the same and building is linear.
constexpr size_t kItemsPerMenu = 255;
const char *const kMoreItems = "続き(&N)";

void AddBookmarkItems(TMainForm *form, QMenu *menu, const BookmarkTree &entries);

// The item of one entry, appended to `menu`. A folder with entries is a
// sub-menu; an empty folder is a plain item with an empty hint, which opens
// nothing.
void AddBookmarkItem(TMainForm *form, QMenu *menu, const BookmarkNode &entry)
{
    if (entry.folder && !entry.children.empty()) {
        auto *sub = new QMenu(ItemCaption(entry), menu);
        menu->addMenu(sub);
        sub->setIcon(form->Image(kFolderImage));
        AddBookmarkItems(form, sub, entry.children);
        return;
    }
    auto *item = new QAction(ItemCaption(entry), menu);
    menu->addAction(item);
    item->setIcon(form->Image(entry.folder ? kFolderImage : kPageImage));
    item->setStatusTip(entry.folder ? QString() : ToQ(entry.url));
    QObject::connect(item, &QAction::triggered, form, Guard([form, item] { form->iventMenuClick(item); }));
}

void AddBookmarkItems(TMainForm *form, QMenu *menu, const BookmarkTree &entries)
{
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0 && i % kItemsPerMenu == 0) {
            auto *more = new QMenu(QString::fromUtf8(kMoreItems), menu);
            menu->addMenu(more);
            menu = more;
        }
        AddBookmarkItem(form, menu, entries[i]);
    }
}

// The nodes of `entries`, built apart from the view so that the view hears
// of them once, not once per node.
QList<QTreeWidgetItem *> BookmarkNodes(TMainForm *form, const BookmarkTree &entries)
{
    QList<QTreeWidgetItem *> nodes;
    nodes.reserve(static_cast<int>(entries.size()));
    for (const BookmarkNode &entry : entries) {
        auto *node = new QTreeWidgetItem(QStringList(ToQ(entry.caption)));
        node->setIcon(0, form->Image(entry.folder ? kFolderImage : kPageImage));
        node->setData(0, Qt::UserRole, ToQ(entry.folder ? std::string(kFolderMarker) : entry.url));
        node->addChildren(BookmarkNodes(form, entry.children));
        nodes.append(node);
    }
    return nodes;
}

// Puts the address into the address box and opens it: in a new window when
// the setting asks for it or when no window is open, else in the active one.
void OpenBookmark(TMainForm *form, const QString &address)
{
    form->Controls().txtAddress->setText(address);
    bool newWindow = form->Settings().LowByteOne(keys::BookMark);
    WebBrowser2 *active = form->ChildCount() > 0 ? form->ActiveBrowser() : nullptr;
    if (active == nullptr) {
        newWindow = true;
    }
    if (newWindow) {
        form->OpenNewWindow(form->ToolsEngine(), form->Controls().txtAddress->text(), QString());
    } else {
        active->Navigate(form->Controls().txtAddress->text());
    }
}

} // namespace

void TMainForm::BuildBookmarkMenu()
{
    const QList<QAction *> old = menu_.mnuBookMark->actions();
    for (int i = kFixedBookmarkItems; i < old.size(); ++i) {
        menu_.mnuBookMark->removeAction(old[i]);
        if (QMenu *sub = old[i]->menu()) {
            delete sub; // takes its own action and everything below it
        } else {
            delete old[i];
        }
    }
    const std::shared_ptr<const BookmarkFile> file = ReadBookmarkFile();
    AddBookmarkItems(this, menu_.mnuBookMark, file->tree);
}

void TMainForm::BuildBookmarkBar()
{
    // Emptying the tree moves its selection; that must not open anything.
    const QSignalBlocker quiet(bars_->Widgets().TreeView1);
    bars_->Widgets().TreeView1->clear();
    const std::shared_ptr<const BookmarkFile> file = ReadBookmarkFile();
    bars_->Widgets().TreeView1->addTopLevelItems(BookmarkNodes(this, file->tree));
    // An item view without a current item that has ever been set makes its
    // first node current when it gets the keyboard focus, which would open
    // that bookmark. Setting "none" explicitly stops it.
    bars_->Widgets().TreeView1->setCurrentItem(nullptr);
}

void TMainForm::iventMenuClick(QAction *item)
{
    const QString hint = item->statusTip();
    if (hint.isEmpty()) {
        return; // a folder without entries
    }
    OpenBookmark(this, hint);
}

void TMainForm::TreeView1Change(QTreeWidgetItem *node)
{
    if (node == nullptr) {
        return;
    }
    const QString url = node->data(0, Qt::UserRole).toString();
    if (url == QString::fromUtf8(kFolderMarker)) {
        return;
    }
    OpenBookmark(this, url);
}

void TMainForm::mnuBMEditClick()
{
    // With no selection left, one click opens the same bookmark again.
    bars_->Widgets().TreeView1->setCurrentItem(nullptr);
    if (frm_BMEdit == nullptr) {
        // A main window made without the application's forms (the tests')
        // makes an editor of its own, which goes with it.
        ownBookmarkEditor_ = std::make_unique<Tfrm_BMEdit>(*this);
        frm_BMEdit = ownBookmarkEditor_.get();
    }
    frm_BMEdit->show();
    frm_BMEdit->raise();
    frm_BMEdit->activateWindow();
    frm_BMEdit->txtURL->setText(bars_->Widgets().txtAddress->text());
    TChildForm *child = ActiveChild();
    frm_BMEdit->txtName->setText(child != nullptr ? child->Caption() : QString());
}

void TMainForm::popAddBookMarkClick()
{
    mnuBMEditClick();
}

} // namespace orvex
