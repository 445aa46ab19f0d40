// The main window: the MDI frame that holds the browser child windows, the
// menus, the two top bars, the side bar, the tab bar and the status strip,
// and the state the other windows share; the open windows themselves are
// kept by its WindowRegistry. Its handlers are spread over several files by
// concern: Main.cpp (construction, start-up, shutdown), MainMenus.cpp (the
// menus as tables, the window menu), MainOpen.cpp (opening pages),
// MainTabs.cpp (tab bar), MainCommands.cpp (commands on the active page),
// MainLayout.cpp (bars and view toggles), MainPopups.cpp (new windows,
// recently closed), MainBookmarks.cpp and MainWebList.cpp.
#pragma once

#include "bookmarks/BookMark.h"
#include "bookmarks/EditWebList.h"
#include "browser/BrowserHost.h"
#include "core/ClosedList.h"
#include "core/Settings.h"
#include "dialogs/Option.h"
#include "platform/Look.h"
#include "shell/Band.h"
#include "shell/SessionWriter.h"
#include "shell/WindowRegistry.h"

#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QVector>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QActionGroup;
class QDialog;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QMimeData;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvex {

class HistoryStore;
class TAddressCompleter;
class THistoryPanel;
class SleepPolicy;
class TChildForm;
struct CaughtPage;
class TFindBar;
class TTabControl;
struct ClearDataChoice;
struct CompletionBookmark;

// The main window's controls and menus, under the design's names. The main
// window's own code uses them directly; tests and other units reach them
// through Controls(), which lets them use a control but not replace it.
struct MainControls {
    QMdiArea *mdiArea = nullptr;
    TBand *ToolBar2 = nullptr; // band 0: the "標準" bar
    TBand *ToolBar3 = nullptr; // band 1: the address bar
    QAction *ToolButton1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtAddress = nullptr;
    QLabel *lblConnection = nullptr; // the connection of the page in front
    QPushButton *btnMove = nullptr;
    QWidget *JBar = nullptr;
    QTreeWidget *TreeView1 = nullptr;
    QToolButton *btnBar = nullptr;
    TFindBar *FindBar1 = nullptr; // above the tab bar while finding in the page
    QWidget *TabBar = nullptr;
    TTabControl *TabControl1 = nullptr; // follows the window list
    QMenu *TabPopup = nullptr;
    QWidget *ToolBar1 = nullptr; // the status strip
    QLabel *StatusBar1 = nullptr;
    QLabel *ZoomPanel = nullptr; // inside StatusBar1
    QProgressBar *ProgressBar1 = nullptr;

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
};

class TMainForm : public QMainWindow,
                  public BrowserHost,
                  public OptionHost,
                  public BookmarkEditorHost,
                  public WebListHost,
                  private MainControls {
    Q_OBJECT
public:
    // Runs the construction steps; opens no page. `params` are the
    // command-line addresses.
    explicit TMainForm(const QStringList &params, QWidget *parent = nullptr);
    ~TMainForm() override;

    // ---- state others read ----
    const MainControls &Controls() const { return *this; }
    // The open windows in tab order, their numbers and tab texts.
    const WindowRegistry &Windows() const { return windows_; }
    SleepPolicy &Sleep() const { return *sleep_; }
    bool FirstResize() const { return firstResize_; }
    bool HasParams() const { return hasParams_; }
    int PopupTab() const { return popupTab_; }
    void SetPopupTab(int index) { popupTab_ = index; } // as a press on the tab bar sets it
    const ClosedList &RecentlyClosed() const { return closedList; }
    int BtnBarTag() const { return btnBarTag; }
    void SetAboutBox(QDialog *box) { AboutBoxDialog = box; }

    SettingsFile Settings() const { return SettingsFile(AppDirPath + "config.ini"); }
    QIcon Image(Picture picture) const;

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
    // A new window of engine `kind`, navigated to `address`, with `caption`
    // until its page reports a title. `caught`: a page caught for a new
    // window; the window adopts its control (and its engine) instead of
    // navigating a new one. Returns the new window, nullptr when the tab
    // limit refused it.
    TChildForm *OpenNewWindow(EngineKind kind, const QString &address, const QString &caption,
                              CaughtPage *caught = nullptr);
    // The tab limit is on and reached.
    bool TabLimitReached();
    // The engine new windows take: "General"/"LastEngine" at start, then the
    // user's choice in the Tools menu, whose check marks show it.
    EngineKind ToolsEngine() const { return toolsEngine_; }
    void txtAddressKeyDown(int key);
    void btnMoveClick();
    // Typed text in a window: an address as it stands, words through the
    // search address of the settings (core/AddressText.h).
    void NavigateTyped(TChildForm *child, const QString &text);
    QString SearchAddressFor(const QString &words) const;
    void FileNew1Execute();
    void ToolButton1Click() { FileNew1Execute(); }
    void mnuNew_CilpClick();
    void FileOpen1Execute();
    void IE_ItemClick();
    void Moz_ItemClick();
    void WebListItemClick(QAction *item);
    void LeastURLItemClick(QAction *item);
    void OpenLines(const std::vector<std::string> &lines, const QString &caption);
    // Where the next new window goes in the MDI area (its normal geometry).
    QRect NextWindowPlace(const QWidget &window);

    // ---- tab bar ----
    int FindTab(int32_t number) const;
    void RemoveTab(int32_t number) override;
    void HitTestTab(const QPoint &pos);
    bool CloseTab(int index); // false when the page asked to stay
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
    // Keys of the tab bar: the tab `steps` away in tab order (wrapping), the
    // tab at an index (-1: the last), the most recently closed address again
    // (each press one further back), and the address box to type in.
    void SelectTabBy(int steps);
    void SelectTabAt(int index);
    void ReopenClosed();
    void FocusAddress();
    void TabControl1DblClick(const QPoint &pos);

    // ---- commands on the active page ----
    void BackCtrlClick();
    void FrwrdCtrlClick();
    void StopCtrlClick();
    void ReLoadCtrlClick();
    void mnuEdit_CopyClick();
    void mnuEdit_slrAllClick();
    void mnuFile_SaveAsClick();
    void mnuEdit_FindClick();
    void mnuFile_PrintClick();
    void SetTextSize(int size);
    // Page zoom of the active window: steps along, 0 back to 100 %.
    void ZoomPage(int steps);
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
    // A band dragged by its handle from `from` and let go at `to` (global
    // coordinates): let go past the middle of the other band on its row, the
    // two change places.
    void ReorderBandsAfterDrag(QToolBar *dragged, const QPoint &from, const QPoint &to);
    void LayoutRules();
    int JBarWidth() const;
    void SetJBarWidth(int width);

    // ---- remembered place of the main window (MainSession.cpp) ----
    // "left,top,width,height,maximised", as Option_Ext keeps it.
    QString PlaceText() const;
    void RestorePlace();
    // The windows of the last run, at start: offered back after a crash,
    // opened again when the settings say so. True when they were opened.
    bool OfferSession();
    Session CurrentSession() const;
    // Before quitting with several windows, when the settings say so; false
    // keeps the program running.
    bool ConfirmQuit();

    // ---- new windows and recently closed ----
    bool IsPopupURL(const QString &address) override;
    // Starts compiling the block list in the background when blocking is on.
    void PreparePopupCheck();
    void mnuLeastURLClick();

    // ---- bookmarks (MainBookmarks.cpp) ----
    void BuildBookmarkMenu() override;
    void BuildBookmarkBar() override;
    void iventMenuClick(QAction *item);
    void TreeView1Change(QTreeWidgetItem *node);
    void mnuBMEditClick();
    void popAddBookMarkClick();

    // ---- history (MainHistory.cpp) ----
    HistoryStore *History() const { return history_.get(); }
    THistoryPanel *HistoryPanel() const { return historyPanel_; }
    TAddressCompleter *Completer() const { return completer_.get(); }
    void mnuHistoryClick();   // 表示 > 履歴: the history panel, shown or hidden
    void mnuClearDataClick(); // ツール > 閲覧データの消去
    // Clears what the choice names, in the history and in both engines'
    // profiles.
    void ClearBrowsingData(const ClearDataChoice &choice);
    void PageVisited(const QString &url, const QString &title) override;
    void PageTitled(const QString &url, const QString &title) override;

    // ---- web lists (MainWebList.cpp) ----
    void EnumFiles(const std::string &folder) override;

    // The data folder, with its trailing "/".
    std::string AppDir() const { return AppDirPath; }

    // ---- OptionHost ----
    void SetGeckoItemEnabled(bool enabled) override;
    void ApplyTabWidth(int width) override;
    void ApplyTabType(int tabType) override;

    // ---- BrowserHost ----
    QWidget *Window() override { return this; }
    PageIndicators &Indicators() override { return indicators; }
    TChildForm *ActiveChild() override;
    ChildState &ChildWinState() override { return childWinState; }
    bool Arranging() const override { return arranging_ > 0; }
    uint8_t MojiSize() const override { return mojiSize; }
    void CheckMojiSize(int size) override;
    int AllClosing() const override { return windows_.AllClosing(); }
    void SetAllClosing(int value) override { windows_.SetAllClosing(value); }
    void SelectTabOfWindow(int32_t number) override;
    void SetTabCaptionOfWindow(int32_t number, const QString &caption) override;
    void AddClosedURL(const QString &address) override;
    void ChildClosed(TChildForm *child) override;
    void NewWindowRequested(EngineKind requester, WebBrowser2 *&ppDisp, bool &cancel) override;

    // ---- window menu (MainMenus.cpp) ----
    void mnuFile_CloseClick();
    void TileWindows(bool horizontal);
    void MinimizeAll();
    void ArrangeIcons();

    // ---- helpers ----
    // The live child windows in tab order.
    std::vector<TChildForm *> Children() const { return windows_.Children(); }
    TChildForm *FindChild(int32_t number) const { return windows_.Child(number); }
    int ChildCount() const { return windows_.ChildCount(); }
    WebBrowser2 *ActiveBrowser();
    // "0:loading* 1:Example": tabs with their window numbers, '*' on the selected one.
    QString DescribeTabs() const { return windows_.Describe(); }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildImages();
    void SetToolsEngine(EngineKind kind);
    void BuildMenus();
    void AddKeyCommands();
    void BuildBars();
    void OnSubWindowActivated(QMdiSubWindow *window);
    void UpdateChildCommands();
    void UpdateCoveredPages();
    void RebuildWindowList();

    void ConnectTabBar();
    void BuildHistory();
    const std::vector<CompletionBookmark> &CompletionBookmarks();
    // Dropped links (MainDrops.cpp).
    void AcceptDrops();
    bool DropFilter(QObject *watched, QEvent *event);
    QStringList DroppedAddresses(const QMimeData *data) const;
    // The windows go without their own close handling (shutdown).
    void DiscardWindows();

    // ---- shared state ----
    bool firstResize_ = true;
    bool hasParams_ = false;
    int popupTab_ = 0; // tab last hit by a right or middle press; 255 when none
    WindowRegistry windows_;
    SleepPolicy *sleep_ = nullptr;
    ClosedList closedList;
    std::string AppDirPath; // the data folder (DataFolder), with its trailing "/"
    ChildState childWinState = ChildState::Normal;
    uint8_t mojiSize = 2;
    PageIndicators indicators;
    int btnBarTag = 0;                 // remembered side bar width; 0 while expanded
    QDialog *AboutBoxDialog = nullptr; // the About box made at start-up

    QStringList params_;
    EngineKind toolsEngine_ = EngineKind::InternetExplorer;
    QVector<QIcon> images_;
    std::vector<QAction *> keyCommands_; // the key-only commands (AddKeyCommands)
    std::optional<QPoint> lastPlace_;    // where the last new window was put
    bool jbarDragging_ = false;
    QToolBar *bandPressed_ = nullptr;        // the band whose handle the mouse holds
    QPoint bandPressPos_;                    // where it was pressed, in global coordinates
    std::array<int, 2> bandWidthsAtPress_{}; // of ToolBar2 and ToolBar3 then
    size_t reopened_ = 0;                    // closed addresses reopened by ReopenClosed in a row
    std::vector<std::string> reopenedFrom_;  // the closed list they were taken from
    QString placeAtStart_;                   // the main window's place once first drawn
    std::unique_ptr<SessionWriter> session_;
    bool sessionOffered_ = false;
    bool closing_ = false;
    bool drawn_ = false;      // the window has been shown and painted once
    bool startingUp_ = false; // the start-up actions are running
    int arranging_ = 0;
    bool coverPending_ = false; // pages to cover or uncover once the arranging ends
    // The history: its store, the panel beside the side bar and the address
    // box's completion; the bookmarks completion offers, with the file they
    // were read from.
    std::unique_ptr<HistoryStore> history_;
    THistoryPanel *historyPanel_ = nullptr;
    std::unique_ptr<TAddressCompleter> completer_;
    QAction *mnuShow_History = nullptr;
    std::shared_ptr<const void> completionSource_;
    std::unique_ptr<std::vector<CompletionBookmark>> completionBookmarks_;
    std::unique_ptr<Tfrm_BMEdit> ownBookmarkEditor_; // when the application made none
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

} // namespace orvex
