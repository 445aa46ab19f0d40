#include "bookmarks/BookMark.h"

#include "platform/MainLink.h"
#include "platform/UiServices.h"

#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <utility>
#include <vector>

namespace orvex {

Tfrm_BMEdit *frm_BMEdit = nullptr;

namespace {

constexpr int kUrlRole = Qt::UserRole;
constexpr int kPictureRole = Qt::UserRole + 1;

QIcon DrawFolderPicture()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x9a, 0x74, 0x10));
    painter.setBrush(QColor(0xe8, 0xb8, 0x30));
    painter.drawRect(1, 3, 6, 2); // tab
    painter.setBrush(QColor(0xf8, 0xd8, 0x68));
    painter.drawRect(1, 5, 13, 9); // body
    return QIcon(pixmap);
}

QIcon DrawPagePicture()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.setBrush(Qt::white);
    const QPoint sheet[] = {{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}};
    painter.drawPolygon(sheet, 5);
    painter.drawLine(10, 1, 10, 4);
    painter.drawLine(10, 4, 13, 4);
    painter.setPen(QColor(0x30, 0x60, 0xc0));
    for (int y = 7; y <= 12; y += 2) {
        painter.drawLine(5, y, 11, y);
    }
    return QIcon(pixmap);
}

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

Tfrm_BMEdit::Tfrm_BMEdit(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("ブックマークの編集"));
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    // An outer size of 461 × 288 is a client area of 453 × 261 inside the
    // usual sizeable frame; the frame itself is the window manager's.
    move(254, 120);
    resize(453, 261);

    images_[kFolderPicture] = DrawFolderPicture();
    images_[kPagePicture] = DrawPagePicture();

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

    btnAdd = MakeButton(this, "追   加", 16, 17);
    btnDel = MakeButton(this, "削　  除", 40, 17);
    btnEdit = MakeButton(this, "編　集", 64, 17);
    btnMD = MakeButton(this, "フォルダの作成", 88, 17);
    btnSubMD = MakeButton(this, "サブフォルダ作成", 112, 17);
    QFont smaller = font;
    smaller.setPixelSize(11);
    btnSubMD->setFont(smaller);
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
    const auto guard = [this](void (Tfrm_BMEdit::*handler)()) {
        return [this, handler] { Guarded([this, handler] { (this->*handler)(); }); };
    };
    connect(btnAdd, &QPushButton::clicked, this, guard(&Tfrm_BMEdit::btnAddClick));
    connect(btnDel, &QPushButton::clicked, this, guard(&Tfrm_BMEdit::btnDelClick));
    connect(btnEdit, &QPushButton::clicked, this, guard(&Tfrm_BMEdit::btnEditClick));
    connect(btnMD, &QPushButton::clicked, this, guard(&Tfrm_BMEdit::btnMDClick));
    connect(btnSubMD, &QPushButton::clicked, this, guard(&Tfrm_BMEdit::btnSubMDClick));
    connect(btnOK, &QPushButton::clicked, this, guard(&Tfrm_BMEdit::btnOKClick));
    connect(btnCancel, &QPushButton::clicked, this, guard(&Tfrm_BMEdit::btnCancelClick));
    connect(popEdit, &QAction::triggered, this, guard(&Tfrm_BMEdit::popEditClick));
    connect(popReName, &QAction::triggered, this, guard(&Tfrm_BMEdit::popReNameClick));
    connect(M1, &QAction::triggered, this, guard(&Tfrm_BMEdit::popMakeSubClick));
    connect(popDel, &QAction::triggered, this, guard(&Tfrm_BMEdit::popDelClick));
    connect(popMoveUp, &QAction::triggered, this, guard(&Tfrm_BMEdit::popMoveUpClick));
    connect(popMoveDown, &QAction::triggered, this, guard(&Tfrm_BMEdit::popMoveDownClick));

    connect(TreeView1, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current, QTreeWidgetItem *) { TreeView1Change(current); });
    connect(TreeView1, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        PopupMenu1Popup(pos);
        PopupMenu1->popup(TreeView1->viewport()->mapToGlobal(pos));
    });
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
    node->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
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
    if (MainLink *main = Main()) {
        main->BuildBookmarkMenu();
        main->BuildBookmarkBar();
    }
    hide();
}

void Tfrm_BMEdit::btnCancelClick()
{
    hide();
}

} // namespace orvex
