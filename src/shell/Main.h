// The main window: the MDI frame that holds the browser child windows, the
// menus, the two top bars, the side bar, the tab bar and the status strip,
// and the state the other windows share. Its handlers are spread over
// several files by concern: Main.cpp (construction, start-up, shutdown),
// MainOpen.cpp (opening pages), MainTabs.cpp (tab bar), MainCommands.cpp
// (commands on the active page), MainLayout.cpp (bars and view toggles),
// MainPopups.cpp (new windows, recently closed), MainBookmarks.cpp and
// MainWebList.cpp.
#pragma once

#include "browser/BrowserHost.h"
#include "browser/ClosedList.h"
#include "platform/MainLink.h"
#include "settings/Settings.h"

#include <QIcon>
#include <QMainWindow>
#include <QStringList>
#include <QVector>
#include <cstdint>
#include <vector>

class QAction;
class QActionGroup;
class QDialog;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvex {

class TChildForm;
class TTabControl;

class TMainForm : public QMainWindow, public MainLink, public BrowserHost {
    Q_OBJECT
public:
    // Runs the construction steps; opens no page. `params` are the
    // command-line addresses.
    explicit TMainForm(const QStringList &params, QWidget *parent = nullptr);
    ~TMainForm() override;

    // ---- shared state ----
    bool FirstResize = true;
    bool HasParams = false;
    int PopupTab = 0; // tab last hit by a right or middle press; 255 when none
    int32_t WinCount = -1;
    QStringList WinTags;
    bool TabClosing = false;
    ClosedList closedList;
    std::string AppDirPath; // the data folder (DataFolder), with its trailing "/"
    ChildState childWinState = ChildState::Normal;
    uint8_t mojiSize = 2;

    SettingsFile Settings() const { return SettingsFile(AppDirPath + "config.ini"); }
    QIcon Image(int index) const;

    // ---- controls ----
    QMdiArea *mdiArea = nullptr;
    QToolBar *ToolBar2 = nullptr; // band 0: the "標準" bar
    QToolBar *ToolBar3 = nullptr; // band 1: the address bar
    QAction *ToolButton1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtAddress = nullptr;
    QPushButton *btnMove = nullptr;
    QWidget *JBar = nullptr;
    QTreeWidget *TreeView1 = nullptr;
    QToolButton *btnBar = nullptr;
    int btnBarTag = 0; // remembered side bar width; 0 while expanded
    QWidget *TabBar = nullptr;
    TTabControl *TabControl1 = nullptr;
    QMenu *TabPopup = nullptr;
    QWidget *ToolBar1 = nullptr; // the status strip
    QLabel *StatusBar1 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    PageIndicators indicators;
    QDialog *AboutBoxDialog = nullptr; // the About box made at start-up

    // ---- menus ----
    QMenu *mnuFile = nullptr;
    QMenu *mnuLeastURL = nullptr;
    QAction *mnuLeastURL_Child = nullptr;
    QAction *mnuFile_Close = nullptr;
    QMenu *mnuEdit = nullptr;
    QMenu *mnuShow = nullptr;
    QAction *mnuShow_default = nullptr, *mnuShow_Address = nullptr, *mnuShow_Status = nullptr,
            *mnuShow_Tab = nullptr, *mnuShow_J = nullptr;
    QMenu *mnuSize = nullptr;
    QAction *mnuSize_Max = nullptr, *mnuSize_Large = nullptr, *mnuSize_middle = nullptr,
            *mnuSize_Small = nullptr, *mnuSize_Min = nullptr;
    QMenu *mnuBookMark = nullptr;
    QAction *mnuBMEdit = nullptr;
    QMenu *mnuWebList = nullptr;
    QAction *mnuWebList_Edit = nullptr;
    QAction *IE_item = nullptr;
    QAction *Moz_Item = nullptr;
    QMenu *mnuWindow = nullptr;
    QList<QAction *> windowCommands; // cascade, tile, minimize all, arrange

    // ---- start-up and shutdown ----
    void FormCreate();
    void FormResize();
    void OpenParams();
    void OpenStartUp();
    bool FormClose(); // throws when a write failed: the window stays open
    void mnuOptionClick();
    void HelpAbout1Execute();
    void mnuWebList_EditClick();

    // ---- opening pages ----
    void OpenNewWindow(const QString &caption, const QString &address);
    void txtAddressKeyDown(int key);
    void btnMoveClick();
    void FileNew1Execute();
    void ToolButton1Click() { FileNew1Execute(); }
    void mnuNew_CilpClick();
    void FileOpen1Execute();
    void IE_ItemClick();
    void Moz_ItemClick();
    void WebListItemClick(QAction *item);
    void LeastURLItemClick(QAction *item);
    void OpenLines(const std::vector<std::string> &lines, const QString &caption);

    // ---- tab bar ----
    int FindTab(int32_t number) const;
    void RemoveTab(int32_t number) override;
    void HitTestTab(const QPoint &pos);
    void CloseTab(int index);
    void AddCloseURL(int index);
    void ShowTab(int index);
    void ReadTabColors(uint32_t colors[4]) const;
    void TabControl1Change();
    void TabControl1MouseDown(Qt::MouseButton button, const QPoint &pos);
    void TabControl1DrawTab(QPainter &painter, int index, const QRect &rect, bool active);
    // The drawing of one tab with colours already read (ActivateCh, ActivateBG,
    // DeActivateCh, DeActivateBG).
    void PaintTab(QPainter &painter, int index, const QRect &rect, bool active, const uint32_t colors[4]);
    void popTabCloseClick();
    void popAddCloseClick();
    void mnu_AllCloseClick();
    void mnu_AllCloseNotMeClick();

    // ---- commands on the active page ----
    void BackCtrlClick();
    void FrwrdCtrlClick();
    void StopCtrlClick();
    void ReLoadCtrlClick();
    void mnuEdit_CopyClick();
    void mnuEdit_slrAllClick();
    void mnuFile_SaveAsClick();
    void SetTextSize(int size);
    void ReadMojiSize();

    // ---- bars ----
    void BandPositionRead();
    void ViewToolBar();
    void BandPositionWrite();
    void ToggleBar(QAction *item, QWidget *bar);
    void btnBarClick();
    void JBarMouseUp(int x);
    void JBarResize();
    void CoolBar1MouseUp();
    void LayoutRules();
    int JBarWidth() const;
    void SetJBarWidth(int width);

    // ---- new windows and recently closed ----
    bool IsPopupURL(const QString &address);
    void mnuLeastURLClick();

    // ---- bookmarks (MainBookmarks.cpp) ----
    void BuildBookmarkMenu() override;
    void BuildBookmarkBar() override;
    void iventMenuClick(QAction *item);
    void TreeView1Change(QTreeWidgetItem *node);
    void mnuBMEditClick();
    void popAddBookMarkClick();

    // ---- web lists (MainWebList.cpp) ----
    void EnumFiles(const std::string &folder) override;

    // ---- MainLink ----
    std::string AppDir() const override { return AppDirPath; }
    QWidget *Window() override { return this; }
    void SetGeckoItemEnabled(bool enabled) override;
    void ApplyTabWidth(int width) override;
    void ApplyTabType(int tabType) override;

    // ---- BrowserHost ----
    PageIndicators &Indicators() override { return indicators; }
    TChildForm *ActiveChild() override;
    ChildState &ChildWinState() override { return childWinState; }
    bool Arranging() const override { return arranging_ > 0; }
    uint8_t MojiSize() const override { return mojiSize; }
    void CheckMojiSize(int size) override;
    void SelectTabOfWindow(int32_t number) override;
    void SetTabCaptionOfWindow(int32_t number, const QString &caption) override;
    void AddClosedURL(const QString &address) override;
    void ChildClosed(TChildForm *child) override;
    void NewWindowRequested(EngineKind requester, WebBrowser2 *&ppDisp, bool &cancel) override;

    // ---- window menu ----
    void TileWindows(bool horizontal);
    void ArrangeIcons();

    // ---- helpers ----
    const std::vector<TChildForm *> &Children() const { return children_; }
    TChildForm *FindChild(int32_t number) const;
    int ChildCount() const { return static_cast<int>(children_.size()); }
    WebBrowser2 *ActiveBrowser();
    // "0:loading* 1:Example": tabs with their window numbers, '*' on the selected one.
    QString DescribeTabs() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildImages();
    void BuildMenus();
    void BuildBars();
    void OnSubWindowActivated(QMdiSubWindow *window);
    void UpdateChildCommands();
    void UpdateCoveredPages();
    void RebuildWindowList();
    QAction *AddItem(QMenu *menu, const QString &caption, void (TMainForm::*handler)(),
                     const QKeySequence &shortcut = QKeySequence(), int image = -1);

    QStringList params_;
    QVector<QIcon> images_;
    std::vector<TChildForm *> children_;
    bool jbarDragging_ = false;
    bool closing_ = false;
    int arranging_ = 0;
    bool coverPending_ = false; // pages to cover or uncover once the arranging ends
    friend class ArrangingScope;
};

// Marks the main window's own placing of windows (see Arranging()).
class ArrangingScope {
public:
    explicit ArrangingScope(TMainForm &form);
    ~ArrangingScope();

private:
    TMainForm &form_;
};

// The one main window, reachable from every window.
TMainForm *MainForm();

} // namespace orvex
