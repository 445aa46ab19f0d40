// The bookmark editor: a non-modal window whose tree is the working copy of
// the bookmark file. OK writes it back and has the main window rebuild its
// Bookmarks menu and side bar; Cancel and the close box throw the changes
// away. Each showing after the window was put away reads the file again, so
// it shows the file as it is. Entries move by drag and drop inside the tree.
#pragma once

#include "core/BookmarkStore.h"

#include <QIcon>
#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvex {

// What OK asks of the main window once the file is written.
class BookmarkEditorHost {
public:
    virtual ~BookmarkEditorHost() = default;
    virtual void BuildBookmarkMenu() = 0;
    virtual void BuildBookmarkBar() = 0;
};

class Tfrm_BMEdit : public QWidget {
    Q_OBJECT
public:
    // Pictures of the editor's own list.
    enum Picture { kFolderPicture = 0, kPagePicture = 1 };

    explicit Tfrm_BMEdit(BookmarkEditorHost &host, QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtName = nullptr;
    QLineEdit *txtURL = nullptr;
    QTreeWidget *TreeView1 = nullptr;
    QPushButton *btnAdd = nullptr;
    QPushButton *btnDel = nullptr;
    QPushButton *btnEdit = nullptr;
    QPushButton *btnMD = nullptr;
    QPushButton *btnSubMD = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;

    QMenu *PopupMenu1 = nullptr;
    QAction *popEdit = nullptr;
    QAction *popReName = nullptr;
    QAction *M1 = nullptr;
    QAction *popDel = nullptr;
    QAction *N1 = nullptr;
    QAction *popMoveUp = nullptr;
    QAction *popMoveDown = nullptr;

    // Handlers.
    void FormCreate();
    void TreeView1Change(QTreeWidgetItem *node);
    void PopupMenu1Popup(const QPoint &pos); // pos in the tree's viewport
    void btnAddClick();
    void btnDelClick();
    void popDelClick() { btnDelClick(); }
    void btnEditClick();
    void popEditClick() { btnEditClick(); }
    void btnMDClick();
    void btnSubMDClick();
    void popMakeSubClick() { btnSubMDClick(); }
    void popReNameClick();
    void popMoveUpClick();
    void popMoveDownClick();
    void btnOKClick();
    void btnCancelClick();

    // The node the commands act on (empty until the tree first reports a
    // selection, and again after deleting the last selected node).
    QTreeWidgetItem *CurrentNode() const { return CurNode; }

    // The tree in the form the writer takes.
    BookmarkTree Tree() const;

    // A node's data: its URL string and its picture (0 folder, 1 page).
    static QString NodeURL(const QTreeWidgetItem *node);
    static int NodePicture(const QTreeWidgetItem *node);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QTreeWidgetItem *NewNode(const QString &caption, const QString &url, int picture) const;
    void AddNodes(QTreeWidgetItem *parent, const BookmarkTree &entries);
    // CurNode, or else the node at the top of the view, which becomes CurNode.
    QTreeWidgetItem *TakeCurrentNode();
    void InsertBefore(QTreeWidgetItem *node, QTreeWidgetItem *target);
    void MoveSelected(int step);
    void StartEditing(QTreeWidgetItem *node);
    void ConnectHandlers();

    BookmarkEditorHost &host_;
    QTreeWidgetItem *CurNode = nullptr;
    QIcon images_[2];
    bool putAway_ = false; // hidden by OK, Cancel or the close box: read the file at the next showing
};

// The one editor window, made at start-up after the main window.
extern Tfrm_BMEdit *frm_BMEdit;

} // namespace orvex
