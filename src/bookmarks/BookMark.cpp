#include "bookmarks/BookMark.h"

#include "platform/Look.h"
#include "platform/UiServices.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <utility>
#include <vector>

namespace orvex {

Tfrm_BMEdit *frm_BMEdit = nullptr;

namespace {

constexpr int kUrlRole = Qt::UserRole;
constexpr int kPictureRole = Qt::UserRole + 1;

QPushButton *MakeButton(QWidget *parent, const char *caption, int top, int height)
{
    auto *button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setGeometry(355, top, 89, height);
    button->setAutoDefault(false);
    return button;
}

// Expansion is a property of the view, lost when an item leaves the tree;
// these keep it across a move.
void SaveExpansion(QTreeWidgetItem *item, std::vector<std::pair<QTreeWidgetItem *, bool>> &states)
{
    states.emplace_back(item, item->isExpanded());
    for (int i = 0; i < item->childCount(); ++i) {
        SaveExpansion(item->child(i), states);
    }
}

void RestoreExpansion(const std::vector<std::pair<QTreeWidgetItem *, bool>> &states)
{
    for (const auto &[item, expanded] : states) {
        item->setExpanded(expanded);
    }
}

BookmarkNode ToBookmark(const QTreeWidgetItem *item)
{
    BookmarkNode node;
    node.caption = FromQ(item->text(0));
    node.url = FromQ(Tfrm_BMEdit::NodeURL(item));
    node.folder = Tfrm_BMEdit::NodePicture(item) == Tfrm_BMEdit::kFolderPicture;
    for (int i = 0; i < item->childCount(); ++i) {
        node.children.push_back(ToBookmark(item->child(i)));
    }
    return node;
}

} // namespace

Tfrm_BMEdit::Tfrm_BMEdit(BookmarkEditorHost &host, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      host_(host)
{
    setWindowTitle(QStringLiteral("ブックマークの編集"));
    UseFormFont(this);
    // An outer size of 461 × 288 is a client area of 453 × 261 inside the
    // usual sizeable frame; the frame itself is the window manager's.
    move(254, 120);
    resize(453, 261);

    images_[kFolderPicture] = PaintPicture(orvex::Picture::Folder);
    images_[kPagePicture] = PaintPicture(orvex::Picture::WebPage);

    Label2 = new QLabel(QStringLiteral("名前："), this);
    Label2->move(16, 8);
    Label2->adjustSize();
    txtName = new QLineEdit(QStringLiteral("txtName"), this);
    txtName->setGeometry(48, 8, 153, 20);
    Label1 = new QLabel(QStringLiteral("URL："), this);
    Label1->move(16, 32);
    Label1->adjustSize();
    txtURL = new QLineEdit(QStringLiteral("txtURL"), this);
    txtURL->setGeometry(48, 32, 297, 20);

    TreeView1 = new QTreeWidget(this);
    TreeView1->setGeometry(48, 64, 297, 161);
    TreeView1->setHeaderHidden(true);
    TreeView1->setColumnCount(1);
    TreeView1->setIndentation(19);
    TreeView1->setIconSize(QSize(16, 16));
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView1->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    TreeView1->setDragDropMode(QAbstractItemView::InternalMove);
    TreeView1->setDefaultDropAction(Qt::MoveAction);

    btnAdd = MakeButton(this, "追   加", 16, 17);
    btnDel = MakeButton(this, "削　  除", 40, 17);
    btnEdit = MakeButton(this, "編　集", 64, 17);
    btnMD = MakeButton(this, "フォルダの作成", 88, 17);
    btnSubMD = MakeButton(this, "サブフォルダ作成", 112, 17);
    UseFormFont(btnSubMD, 11);
    btnOK = MakeButton(this, "O   K", 192, 25);
    btnCancel = MakeButton(this, "キャンセル", 224, 25);

    PopupMenu1 = new QMenu(this);
    popEdit = PopupMenu1->addAction(QStringLiteral("編集(&E)"));
    popReName = PopupMenu1->addAction(QStringLiteral("名前の変更(&R)"));
    M1 = PopupMenu1->addAction(QStringLiteral("サブフォルダの作成(&M)"));
    popDel = PopupMenu1->addAction(QStringLiteral("削除(&D)"));
    N1 = PopupMenu1->addSeparator();
    popMoveUp = PopupMenu1->addAction(QStringLiteral("上に移動&"));
    popMoveDown = PopupMenu1->addAction(QStringLiteral("下に移動&"));

    ConnectHandlers();
    FormCreate();
}

void Tfrm_BMEdit::ConnectHandlers()
{
    using Handler = void (Tfrm_BMEdit::*)();
    const std::pair<QPushButton *, Handler> buttons[] = {
        {btnAdd, &Tfrm_BMEdit::btnAddClick},       {btnDel, &Tfrm_BMEdit::btnDelClick},
        {btnEdit, &Tfrm_BMEdit::btnEditClick},     {btnMD, &Tfrm_BMEdit::btnMDClick},
        {btnSubMD, &Tfrm_BMEdit::btnSubMDClick},   {btnOK, &Tfrm_BMEdit::btnOKClick},
        {btnCancel, &Tfrm_BMEdit::btnCancelClick},
    };
    for (const auto &[button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, Guard([this, h = handler] { (this->*h)(); }));
    const std::pair<QAction *, Handler> items[] = {
        {popEdit, &Tfrm_BMEdit::popEditClick},     {popReName, &Tfrm_BMEdit::popReNameClick},
        {M1, &Tfrm_BMEdit::popMakeSubClick},       {popDel, &Tfrm_BMEdit::popDelClick},
        {popMoveUp, &Tfrm_BMEdit::popMoveUpClick}, {popMoveDown, &Tfrm_BMEdit::popMoveDownClick},
    };
    for (const auto &[item, handler] : items)
        connect(item, &QAction::triggered, this, Guard([this, h = handler] { (this->*h)(); }));

    connect(TreeView1, &QTreeWidget::currentItemChanged, this,
            Guard([this](QTreeWidgetItem *current) { TreeView1Change(current); }));
    connect(TreeView1, &QWidget::customContextMenuRequested, this, Guard([this](const QPoint &pos) {
                PopupMenu1Popup(pos);
                PopupMenu1->popup(TreeView1->viewport()->mapToGlobal(pos));
            }));
}

QString Tfrm_BMEdit::NodeURL(const QTreeWidgetItem *node)
{
    return node->data(0, kUrlRole).toString();
}

int Tfrm_BMEdit::NodePicture(const QTreeWidgetItem *node)
{
    return node->data(0, kPictureRole).toInt();
}

QTreeWidgetItem *Tfrm_BMEdit::NewNode(const QString &caption, const QString &url, int picture) const
{
    auto *node = new QTreeWidgetItem(QStringList(caption));
    node->setData(0, kUrlRole, url);
    node->setData(0, kPictureRole, picture);
    node->setIcon(0, images_[picture]);
    // Every entry can be dragged; only folders take entries dropped on them.
    Qt::ItemFlags flags =
        Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    if (picture == kFolderPicture)
        flags |= Qt::ItemIsDropEnabled;
    node->setFlags(flags);
    return node;
}

void Tfrm_BMEdit::AddNodes(QTreeWidgetItem *parent, const BookmarkTree &entries)
{
    // Built apart from the view, which then hears of them once.
    QList<QTreeWidgetItem *> nodes;
    nodes.reserve(static_cast<int>(entries.size()));
    for (const BookmarkNode &entry : entries) {
        QTreeWidgetItem *node =
            NewNode(ToQ(entry.caption), ToQ(entry.url), entry.folder ? kFolderPicture : kPagePicture);
        AddNodes(node, entry.children);
        nodes.append(node);
    }
    if (parent != nullptr) {
        parent->addChildren(nodes);
    } else {
        TreeView1->addTopLevelItems(nodes);
    }
}

void Tfrm_BMEdit::FormCreate()
{
    TreeView1->clear();
    CurNode = nullptr;
    AddNodes(nullptr, ReadBookmarkFile()->tree);
}

BookmarkTree Tfrm_BMEdit::Tree() const
{
    BookmarkTree tree;
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        tree.push_back(ToBookmark(TreeView1->topLevelItem(i)));
    }
    return tree;
}

void Tfrm_BMEdit::TreeView1Change(QTreeWidgetItem *node)
{
    CurNode = node;
}

void Tfrm_BMEdit::PopupMenu1Popup(const QPoint &pos)
{
    if (QTreeWidgetItem *node = TreeView1->itemAt(pos)) {
        TreeView1->setCurrentItem(node);
    }
}

QTreeWidgetItem *Tfrm_BMEdit::TakeCurrentNode()
{
    if (CurNode == nullptr) {
        CurNode = TreeView1->itemAt(0, 0);
        if (CurNode == nullptr) {
            CurNode = TreeView1->topLevelItem(0); // not laid out yet
        }
    }
    return CurNode;
}

void Tfrm_BMEdit::InsertBefore(QTreeWidgetItem *node, QTreeWidgetItem *target)
{
    if (QTreeWidgetItem *parent = target->parent()) {
        parent->insertChild(parent->indexOfChild(target), node);
    } else {
        TreeView1->insertTopLevelItem(TreeView1->indexOfTopLevelItem(target), node);
    }
}

void Tfrm_BMEdit::btnAddClick()
{
    QTreeWidgetItem *node = NewNode(txtName->text(), txtURL->text(), kPagePicture);
    QTreeWidgetItem *current = TakeCurrentNode();
    if (current == nullptr) {
        // The very first bookmark of an empty tree.
        TreeView1->addTopLevelItem(node);
        return;
    }
    QTreeWidgetItem *placeholder = nullptr;
    QTreeWidgetItem *target = current;
    if (NodePicture(current) == kFolderPicture) {
        // Inserting goes before a node, so an empty folder gets a
        // stand-in first child for the time of the insertion.
        if (current->childCount() == 0) {
            placeholder = NewNode(QStringLiteral("123"), QString(), kPagePicture);
            current->addChild(placeholder);
        }
        target = current->child(0);
    }
    InsertBefore(node, target);
    delete placeholder;
}

void Tfrm_BMEdit::btnDelClick()
{
    if (CurNode == nullptr) {
        return;
    }
    QTreeWidgetItem *doomed = CurNode;
    CurNode = nullptr;
    delete doomed; // its children go with it
    QTreeWidgetItem *next = TreeView1->currentItem();
    if (next != nullptr) {
        next->setSelected(true);
    }
    CurNode = next;
}

void Tfrm_BMEdit::btnEditClick()
{
    QTreeWidgetItem *node = TakeCurrentNode();
    if (node == nullptr || NodePicture(node) != kPagePicture) {
        return; // a folder's name is changed by renaming it
    }
    const QString url = Ui().InputBox(this, QStringLiteral("編集"), node->text(0), NodeURL(node));
    node->setData(0, kUrlRole, url);
}

void Tfrm_BMEdit::btnMDClick()
{
    QTreeWidgetItem *node = NewNode(QStringLiteral("新しいフォルダ"), txtURL->text(), kFolderPicture);
    QTreeWidgetItem *current = TakeCurrentNode();
    if (current == nullptr) {
        TreeView1->addTopLevelItem(node);
    } else {
        InsertBefore(node, current);
    }
    StartEditing(node);
}

void Tfrm_BMEdit::btnSubMDClick()
{
    QTreeWidgetItem *current = TakeCurrentNode();
    if (current == nullptr || NodePicture(current) != kFolderPicture) {
        return;
    }
    QTreeWidgetItem *placeholder = nullptr;
    if (current->childCount() == 0) {
        placeholder = NewNode(QStringLiteral("123"), QString(), kPagePicture);
        current->addChild(placeholder);
    }
    QTreeWidgetItem *node =
        NewNode(QStringLiteral("新しいフォルダ"), QString::fromUtf8(kFolderMarker), kFolderPicture);
    InsertBefore(node, current->child(0));
    delete placeholder;
    StartEditing(node);
}

void Tfrm_BMEdit::popReNameClick()
{
    if (CurNode != nullptr) {
        StartEditing(CurNode);
    }
}

// Editing a caption selects its node, as a native tree does, so the node
// being named is the one the next command acts on.
void Tfrm_BMEdit::StartEditing(QTreeWidgetItem *node)
{
    TreeView1->setCurrentItem(node);
    TreeView1->scrollToItem(node);
    TreeView1->editItem(node, 0);
}

// Moves the selected node one place among its siblings by moving the
// neighbour over it, so the selection and any open caption editor stay put.
void Tfrm_BMEdit::MoveSelected(int step)
{
    QTreeWidgetItem *node = TreeView1->currentItem();
    if (node == nullptr) {
        return;
    }
    QTreeWidgetItem *parent = node->parent();
    const int index = parent ? parent->indexOfChild(node) : TreeView1->indexOfTopLevelItem(node);
    const int count = parent ? parent->childCount() : TreeView1->topLevelItemCount();
    const int neighbourIndex = index + step;
    if (neighbourIndex < 0 || neighbourIndex >= count) {
        Ui().Beep();
        return;
    }
    QTreeWidgetItem *neighbour =
        parent ? parent->child(neighbourIndex) : TreeView1->topLevelItem(neighbourIndex);
    std::vector<std::pair<QTreeWidgetItem *, bool>> expansion;
    SaveExpansion(neighbour, expansion);
    if (parent != nullptr) {
        parent->takeChild(neighbourIndex);
        parent->insertChild(index, neighbour);
    } else {
        TreeView1->takeTopLevelItem(neighbourIndex);
        TreeView1->insertTopLevelItem(index, neighbour);
    }
    RestoreExpansion(expansion);
}

void Tfrm_BMEdit::popMoveUpClick()
{
    MoveSelected(-1);
}

void Tfrm_BMEdit::popMoveDownClick()
{
    MoveSelected(+1);
}

void Tfrm_BMEdit::btnOKClick()
{
    WriteBookmarks(Tree());
    host_.BuildBookmarkMenu();
    host_.BuildBookmarkBar();
    close();
}

void Tfrm_BMEdit::btnCancelClick()
{
    close();
}

void Tfrm_BMEdit::closeEvent(QCloseEvent *event)
{
    putAway_ = true;
    QWidget::closeEvent(event);
}

void Tfrm_BMEdit::showEvent(QShowEvent *event)
{
    // What was not saved is gone, and the file may have changed meanwhile.
    if (putAway_ && !event->spontaneous()) {
        putAway_ = false;
        FormCreate();
    }
    QWidget::showEvent(event);
}

} // namespace orvex
